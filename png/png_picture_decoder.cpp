#include "png/png_picture_decoder.h"

#include <algorithm>

#include "codec/inflater.h"
#include "core/result_line.h"
#include "png/chunk_data_stream.h"

namespace {

PngPictureOutcome OutcomeOf(const PngDecodeResult& result, const InflateResult& inflate)
{
    PngPictureOutcome o;
    o.extraBytes = result.extraBytes;
    switch (result.status) {
    case PngDecodeStatus::Complete: break;
    case PngDecodeStatus::EndedEarly:
        o.outcome = DecodeOutcome::EndedEarly;
        o.endedEarly = true;
        o.reason = inflate.status == InflateStatus::Malformed ? "zlib ストリームが壊れている"
                                                              : "画像データが途中で終わっている";
        break;
    case PngDecodeStatus::Malformed:
        o.outcome = DecodeOutcome::EndedEarly;
        o.badFilter = true;
        o.reason = result.reason;
        break;
    case PngDecodeStatus::TooLarge: o.outcome = DecodeOutcome::NotSupported, o.reason = "画像が大きすぎる"; break;
    case PngDecodeStatus::Stopped: o.outcome = DecodeOutcome::Cancelled; break;
    }
    return o;
}

// The worse of two outcomes, the earlier one where they are alike.
const PngPictureOutcome& Worse(const PngPictureOutcome& a, const PngPictureOutcome& b)
{
    return static_cast<int>(b.outcome) > static_cast<int>(a.outcome) ? b : a;
}

}  // namespace

CPngPictureDecoder::CPngPictureDecoder(FILE* file, const PngPictureRecord& record) : file_(file), record_(record) {}

CPngPictureDecoder::~CPngPictureDecoder() = default;

size_t CPngPictureDecoder::PictureCount() const
{
    if (!record_.headerRead)
        return 0;
    if (!record_.animated || record_.frames.empty())
        return 1;
    const size_t frames = std::min(record_.frames.size(), kMaxFramePictures);
    return record_.frames.front().defaultImage ? frames : frames + 1;
}

size_t CPngPictureDecoder::FrameOf(size_t picture) const
{
    if (!record_.animated || record_.frames.empty())
        return SIZE_MAX;
    if (record_.frames.front().defaultImage)
        return picture;
    return picture == 0 ? SIZE_MAX : picture - 1;
}

std::string CPngPictureDecoder::Label(size_t picture) const
{
    const size_t frame = FrameOf(picture);
    return picture == 0 || frame == SIZE_MAX ? std::string() : ResultLine("APNG %zu", frame + 1);
}

uint32_t CPngPictureDecoder::Width(size_t) const
{
    return record_.header.width;
}

uint32_t CPngPictureDecoder::Height(size_t) const
{
    return record_.header.height;
}

PngPictureOutcome CPngPictureDecoder::DecodeImage(const PngImageHeader& header, const std::vector<FilePiece>& data,
                                                  const RowCallback& onRow)
{
    CPngDecoder decoder(header, record_.palette, record_.trns, onRow);
    if (!decoder.Ready()) {
        const PngDecodeResult result = decoder.Finish();
        PngPictureOutcome o;
        o.outcome = DecodeOutcome::NotSupported;
        o.reason = result.status == PngDecodeStatus::TooLarge ? "画像が大きすぎる" : result.reason;
        return o;
    }
    CChunkDataStream stream(file_, data);
    InflateResult inflate;
    if (stream.Stream()) {
        CInflater inflater;
        inflate = inflater.InflateToSink(stream.Stream(), decoder);
    }
    return OutcomeOf(decoder.Finish(), inflate);
}

PngPictureOutcome CPngPictureDecoder::ComposeFrame(size_t frame)
{
    const PngFrameRecord& f = record_.frames[frame];
    if (!composer_->BeginFrame(f.control)) {
        PngPictureOutcome o;
        o.outcome = DecodeOutcome::NotSupported;
        o.reason = composer_->Reason();
        return o;
    }
    PngImageHeader header = record_.header;
    header.width = f.control.width;
    header.height = f.control.height;
    CApngComposer& composer = *composer_;
    const PngPictureOutcome o = DecodeImage(header, f.defaultImage ? record_.imageData : f.data,
                                            [&composer](uint32_t y, const uint8_t* rgba) {
                                                composer.FrameRow(y, rgba);
                                                return true;
                                            });
    composer_->EndFrame();
    return o;
}

PngPictureOutcome CPngPictureDecoder::Decode(size_t picture, const RowCallback& onRow)
{
    const size_t frame = FrameOf(picture);
    if (frame == SIZE_MAX || picture >= PictureCount())
        return DecodeImage(record_.header, record_.imageData, onRow);
    if (!composer_ || nextFrame_ > frame) {
        composer_ = std::make_unique<CApngComposer>(record_.header.width, record_.header.height);
        nextFrame_ = 0;
        composed_ = {};
    }
    if (composer_->Problem())
        return {DecodeOutcome::NotSupported, composer_->Problem(), false, 0, false};
    // The outcome of the frames before it carries over (the canvas holds
    // what they drew), but only the frame's own data can have ended early.
    PngPictureOutcome own;
    for (; nextFrame_ <= frame; ++nextFrame_) {
        own = ComposeFrame(nextFrame_);
        composed_ = Worse(composed_, own);
    }
    PngPictureOutcome result = composed_;
    result.endedEarly = own.endedEarly;
    result.extraBytes = own.extraBytes;
    result.badFilter = own.badFilter;
    const std::vector<uint8_t>& canvas = composer_->Canvas();
    const size_t rowBytes = size_t{record_.header.width} * 4;
    for (uint32_t y = 0; y < record_.header.height && canvas.size() >= (y + size_t{1}) * rowBytes; ++y)
        if (!onRow(y, canvas.data() + y * rowBytes))
            return {DecodeOutcome::Cancelled, "", false, 0, false};
    return result;
}
