#include "png/png_picture_painter.h"

#include <algorithm>
#include <vector>

#include "codec/alpha_compositor.h"
#include "core/result_text.h"
#include "image/image_buffer.h"

namespace {

// Bitmaps hold sizes as int32_t, with up to 16 columns of margin.
constexpr uint32_t kMaxSide = INT32_MAX - 16;

}  // namespace

void CPngPicturePainter::DrawAll(const DataProblem& problem)
{
    CPngPictureDecoder decoder(request_.fp, record_);
    for (size_t picture = 0; picture < decoder.PictureCount(); ++picture)
        if (!Draw(decoder, picture, problem))
            break;
}

bool CPngPicturePainter::Draw(CPngPictureDecoder& decoder, size_t picture, const DataProblem& problem)
{
    CAnalysisRun& run = *request_.run;
    const std::string label = picture == 0 ? request_.pictureLabel : decoder.Label(picture);
    if (const char* problem = record_.header.Problem()) {
        run.RecordDecode(label, DecodeOutcome::NotSupported, problem);
        return true;
    }
    if (record_.unknownMethod) {
        run.RecordDecode(label, DecodeOutcome::NotSupported, "圧縮方式かフィルタ方式が定義にない");
        return true;
    }
    const uint32_t w = decoder.Width(picture);
    const uint32_t h = decoder.Height(picture);
    if (w > kMaxSide || h > kMaxSide) {
        run.RecordDecode(label, DecodeOutcome::NotSupported, "画像が大きすぎる");
        return true;
    }
    const auto width = static_cast<int32_t>(w);
    const auto height = static_cast<int32_t>(h);
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(width);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(height);
    const uint64_t bytes = uint64_t{static_cast<uint32_t>(bitmapWidth)} * static_cast<uint32_t>(bitmapHeight) * 3;
    if (picture > 0 && bytes > kMaxBitmapBytes - std::min(bitmapBytes_, kMaxBitmapBytes)) {
        run.RecordDecode(label, DecodeOutcome::NotSupported, "フレームが多すぎる");
        return false;
    }
    bitmapBytes_ += bytes;
    const size_t index = run.AddPicture(PathFileName(request_.path ? request_.path : ""), width, height, label);
    uint8_t* pixels = run.PreparePicture(bitmapWidth, bitmapWidth - width, bitmapHeight, bitmapHeight - height);
    if (!pixels) {
        run.RecordDecode(label, DecodeOutcome::NotSupported, "画像が大きすぎる");
        return true;
    }
    const CAlphaCompositor compositor = record_.hasBackground
                                            ? CAlphaCompositor(record_.background[0], record_.background[1],
                                                               record_.background[2])
                                            : CAlphaCompositor();
    std::vector<uint8_t> rgb(size_t{w} * 3);
    const size_t rowBytes = size_t{static_cast<uint32_t>(bitmapWidth)} * 3;
    const auto onRow = [&](uint32_t y, const uint8_t* rgba) {
        if (y >= h)
            return true;
        compositor.CompositeRow(y, rgba, w, rgb.data());
        uint8_t* row = pixels + size_t{static_cast<uint32_t>(bitmapHeight - 1) - y} * rowBytes;
        for (uint32_t x = 0; x < w; ++x) {
            row[3 * x] = rgb[3 * x + 2];
            row[3 * x + 1] = rgb[3 * x + 1];
            row[3 * x + 2] = rgb[3 * x];
        }
        return !run.CancelRequested();
    };
    const PngPictureOutcome outcome = decoder.Decode(picture, onRow);
    const bool cancelled = outcome.outcome == DecodeOutcome::Cancelled || run.CancelRequested();
    run.RecordDecode(label, cancelled ? DecodeOutcome::Cancelled : outcome.outcome, outcome.reason);
    run.PictureDone(index);
    if ((outcome.endedEarly || outcome.extraBytes > 0 || outcome.badFilter) && problem)
        problem(picture, outcome);
    return !cancelled;
}
