#include "gif/gif_frame_source.h"

#include <algorithm>

#include "core/stream_size.h"
#include "gif/gif_sub_blocks.h"

CGifFrameSource::CGifFrameSource(FILE* fp, const GifPictureRecord& record)
    : fp_(fp), record_(record), fileSize_(StreamSize(fp)), composer_(record.screenWidth, record.screenHeight)
{
}

CGifFrameSource::~CGifFrameSource() = default;

std::vector<uint8_t> CGifFrameSource::Palette(const GifFrameRecord& frame)
{
    // The analysis recorded only tables that lie wholly in the file; a
    // short read leaves the rest black, as an index beyond the table draws.
    std::vector<uint8_t> palette(size_t{3} * std::min<uint32_t>(frame.paletteEntries, 256), 0);
    if (!palette.empty() && SeekStream(fp_, frame.paletteAt))
        palette.resize(std::fread(palette.data(), 1, palette.size(), fp_) / 3 * 3);
    return palette;
}

GifLzwResult CGifFrameSource::DecodeIndices(const GifFrameRecord& frame, std::span<uint8_t> indices)
{
    // Held on the heap: the decoder's tables take some 40 KiB.
    auto decoder = std::make_unique<CGifLzwDecoder>(frame.minCodeSize, uint64_t{frame.width} * frame.height, indices);
    const uint64_t end = std::min(frame.dataEnd, fileSize_);
    CGifSubBlocks::Walk(fp_, frame.dataAt, end,
                        [&decoder](uint64_t, const uint8_t* data, size_t n) { return decoder->Write(data, n); });
    return decoder->Finish();
}

bool CGifFrameSource::Next(bool compose, GifFrameOutcome& outcome)
{
    if (next_ >= record_.frames.size())
        return false;
    const GifFrameRecord& frame = record_.frames[next_++];
    outcome = {};
    compose = compose && following_ && !composer_.Refused();
    following_ = compose;
    const uint64_t pixels = uint64_t{frame.width} * frame.height;
    const uint64_t kept = compose ? std::min(pixels, kMaxFrameIndices) : 0;
    // Only the decoded indices are read: the buffer need not be cleared.
    if (kept > indexCapacity_) {
        indices_.reset(new uint8_t[kept]);
        indexCapacity_ = kept;
    }
    const std::span<uint8_t> indices(indices_.get(), static_cast<size_t>(kept));
    outcome.lzw = DecodeIndices(frame, indices);
    if (!compose)
        return true;
    const std::vector<uint8_t> palette = Palette(frame);
    GifFrame drawn;
    drawn.left = frame.left;
    drawn.top = frame.top;
    drawn.width = frame.width;
    drawn.height = frame.height;
    drawn.interlaced = frame.interlaced;
    drawn.palette = palette;
    drawn.transparentIndex = frame.transparentIndex;
    drawn.disposal = frame.disposal;
    outcome.composed = composer_.Compose(drawn, indices, outcome.lzw.pixelsOut);
    outcome.drawn = true;
    return true;
}

void CGifFrameSource::Rows(const RowSink& sink) const
{
    const std::span<const uint8_t> canvas = composer_.Canvas();
    const size_t stride = size_t{composer_.Width()} * 4;
    for (uint32_t y = 0; y < composer_.Height(); ++y)
        sink(y, canvas.data() + y * stride, composer_.Width());
}

bool CGifFrameSource::DecodeFrame(FILE* fp, const GifPictureRecord& record, size_t k, const RowSink& sink,
                                  GifFrameOutcome* outcome)
{
    if (k >= record.frames.size())
        return false;
    CGifFrameSource source(fp, record);
    if (source.Refused())
        return false;
    GifFrameOutcome last;
    while (source.NextFrame() <= k && source.Next(true, last)) {
    }
    source.Rows(sink);
    if (outcome)
        *outcome = last;
    return true;
}
