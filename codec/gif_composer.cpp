#include "codec/gif_composer.h"

#include <algorithm>
#include <cstring>

namespace {

// The rows of an interlaced image in the order they are stored: every 8th
// row from 0, every 8th from 4, every 4th from 2, every 2nd from 1
// (GIF89a appendix E).
struct InterlacePass {
    uint8_t start;
    uint8_t step;
};
constexpr InterlacePass kInterlacePasses[4] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
constexpr InterlacePass kSequential[1] = {{0, 1}};

constexpr uint32_t kBytesPerPixel = 4;
constexpr uint32_t kMaxPaletteEntries = 256;

}  // namespace

// The frame's 256 possible indices as canvas pixels.
struct CGifComposer::Colours {
    enum Kind : uint8_t { Draw, Skip, OutOfPalette };
    uint8_t rgba[kMaxPaletteEntries][kBytesPerPixel];
    Kind kind[kMaxPaletteEntries];

    explicit Colours(const GifFrame& frame)
    {
        const size_t entries = std::min<size_t>(frame.palette.size() / 3, kMaxPaletteEntries);
        for (size_t i = 0; i < kMaxPaletteEntries; ++i) {
            if (i < entries) {
                std::memcpy(rgba[i], frame.palette.data() + 3 * i, 3);
                kind[i] = Draw;
            } else {
                std::memset(rgba[i], 0, 3);
                kind[i] = OutOfPalette;
            }
            rgba[i][3] = 0xFF;
        }
        if (frame.transparentIndex >= 0 && frame.transparentIndex < static_cast<int>(kMaxPaletteEntries))
            kind[frame.transparentIndex] = Skip;
    }
};

CGifComposer::CGifComposer(uint16_t screenWidth, uint16_t screenHeight)
    : width_(screenWidth), height_(screenHeight)
{
    const uint64_t bytes = uint64_t{screenWidth} * screenHeight * kBytesPerPixel;
    if (bytes > kMaxCanvasBytes) {
        refused_ = true;
        width_ = 0;
        height_ = 0;
        return;
    }
    canvas_.assign(static_cast<size_t>(bytes), 0);
}

GifFrameResult CGifComposer::Compose(const GifFrame& frame, std::span<const uint8_t> indices, uint64_t validPixels)
{
    GifFrameResult result;
    const uint64_t pixels = uint64_t{frame.width} * frame.height;
    const uint64_t valid = std::min({validPixels, pixels, uint64_t{indices.size()}});
    result.incomplete = valid < pixels;
    result.noPalette = frame.palette.size() < 3;
    if (refused_)
        return result;

    ApplyDisposal();
    // Sums of two 16-bit values: no overflow in 32 bits.
    const uint32_t right = uint32_t{frame.left} + frame.width;
    const uint32_t bottom = uint32_t{frame.top} + frame.height;
    result.outsideScreen = pixels != 0 && (right > width_ || bottom > height_);
    Area area;
    area.x0 = std::min<uint32_t>(frame.left, width_);
    area.y0 = std::min<uint32_t>(frame.top, height_);
    area.x1 = std::min<uint32_t>(right, width_);
    area.y1 = std::min<uint32_t>(bottom, height_);

    // GIF89a section 23 defines disposals 0 to 3; of the reserved values,
    // browsers read 4 as 3, after old writers that meant it so, and take
    // 5 to 7 as 0.
    constexpr Disposal kDisposals[8] = {Disposal::Keep, Disposal::Keep, Disposal::Clear, Disposal::Restore,
                                        Disposal::Restore, Disposal::Keep, Disposal::Keep,  Disposal::Keep};
    pending_ = frame.disposal < 8 ? kDisposals[frame.disposal] : Disposal::Keep;
    pendingArea_ = area;
    if (pending_ == Disposal::Restore)
        SaveArea(area);
    if (!area.Empty() && valid != 0) {
        const Colours colours(frame);
        DrawRows(frame, area, indices, valid, colours, result);
    }
    return result;
}

void CGifComposer::ApplyDisposal()
{
    const Area& a = pendingArea_;
    if (pending_ == Disposal::Keep || a.Empty())
        return;
    const size_t stride = size_t{width_} * kBytesPerPixel;
    const size_t rowBytes = size_t{a.x1 - a.x0} * kBytesPerPixel;
    for (uint32_t y = a.y0; y < a.y1; ++y) {
        uint8_t* row = canvas_.data() + y * stride + size_t{a.x0} * kBytesPerPixel;
        if (pending_ == Disposal::Clear)
            std::memset(row, 0, rowBytes);
        else
            std::memcpy(row, saved_.data() + (y - a.y0) * rowBytes, rowBytes);
    }
    pending_ = Disposal::Keep;
}

void CGifComposer::SaveArea(const Area& a)
{
    if (a.Empty()) {
        saved_.clear();
        return;
    }
    const size_t stride = size_t{width_} * kBytesPerPixel;
    const size_t rowBytes = size_t{a.x1 - a.x0} * kBytesPerPixel;
    saved_.resize(rowBytes * (a.y1 - a.y0));
    for (uint32_t y = a.y0; y < a.y1; ++y)
        std::memcpy(saved_.data() + (y - a.y0) * rowBytes,
                    canvas_.data() + y * stride + size_t{a.x0} * kBytesPerPixel, rowBytes);
}

void CGifComposer::DrawRows(const GifFrame& frame, const Area& area, std::span<const uint8_t> indices,
                            uint64_t valid, const Colours& colours, GifFrameResult& result)
{
    using Passes = std::span<const InterlacePass>;
    const Passes passes = frame.interlaced ? Passes(kInterlacePasses) : Passes(kSequential);
    uint64_t rowStart = 0;  // of the next stored row, in indices
    for (const InterlacePass& pass : passes) {
        for (uint32_t y = pass.start; y < frame.height; y += pass.step) {
            if (rowStart >= valid)
                return;
            const auto count = static_cast<uint32_t>(std::min<uint64_t>(frame.width, valid - rowStart));
            DrawRow(frame.top + y, indices.data() + rowStart, count, area, colours, result);
            rowStart += frame.width;
        }
    }
}

void CGifComposer::DrawRow(uint32_t y, const uint8_t* row, uint32_t count, const Area& area,
                           const Colours& colours, GifFrameResult& result)
{
    if (y < area.y0 || y >= area.y1)
        return;
    // The row starts at the frame's left edge, which is area.x0 unless the
    // frame lies wholly right of the screen (then the area is empty).
    const uint32_t end = std::min(count, area.x1 - area.x0);
    uint8_t* out = canvas_.data() + (size_t{y} * width_ + area.x0) * kBytesPerPixel;
    uint64_t drawn = 0;
    uint64_t black = 0;
    for (uint32_t x = 0; x < end; ++x) {
        const uint8_t index = row[x];
        const Colours::Kind kind = colours.kind[index];
        if (kind == Colours::Skip)
            continue;
        std::memcpy(out + size_t{x} * kBytesPerPixel, colours.rgba[index], kBytesPerPixel);
        ++drawn;
        black += kind == Colours::OutOfPalette;
    }
    result.pixelsDrawn += drawn;
    result.outOfPalette += black;
}
