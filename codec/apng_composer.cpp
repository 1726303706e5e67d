#include "codec/apng_composer.h"

#include <cstring>

namespace {

// dispose_op and blend_op values, APNG specification ("fcTL").
constexpr uint8_t kDisposeNone = 0;
constexpr uint8_t kDisposeBackground = 1;
constexpr uint8_t kDisposePrevious = 2;
constexpr uint8_t kBlendSource = 0;
constexpr uint8_t kBlendOver = 1;

inline uint32_t Divide255(uint32_t x)
{
    return ((x >> 8) + x) >> 8;
}

// Source over destination on straight alpha; the formula is in the header.
inline void Over(const uint8_t* s, uint8_t* d)
{
    if (s[3] == 0)
        return;
    constexpr uint32_t kOne = 255u << 7;  // 1.0 with 7 fraction bits, times 255
    const uint32_t sa = s[3];
    const uint32_t alpha255 = sa * 255 + d[3] * (255 - sa);
    const uint32_t k = sa * 255 * 255 * 128 / alpha255;
    for (int c = 0; c < 3; ++c)
        d[c] = static_cast<uint8_t>(Divide255(s[c] * k + d[c] * (kOne - k) + (128u << 7)) >> 7);
    d[3] = static_cast<uint8_t>(Divide255(alpha255 + 128));
}

}  // namespace

CApngComposer::CApngComposer(uint32_t canvasWidth, uint32_t canvasHeight)
    : width_(canvasWidth), height_(canvasHeight)
{
    const uint64_t bytes = uint64_t{canvasWidth} * canvasHeight * 4;
    if (bytes == 0)
        problem_ = "キャンバスの幅または高さが 0";
    else if (bytes > kMaxCanvasBytes)
        problem_ = "キャンバスが大きすぎる (256 MiB 超)";
}

bool CApngComposer::BeginFrame(const ApngFrameControl& frame)
{
    if (inFrame_)
        EndFrame();
    if (problem_) {
        reason_ = problem_;
        return false;
    }
    if (frame.width == 0 || frame.height == 0) {
        reason_ = "フレームの幅または高さが 0";
        return false;
    }
    // 64 bits: offset + size may pass 2^32 in a hostile fcTL.
    if (uint64_t{frame.xOffset} + frame.width > width_ || uint64_t{frame.yOffset} + frame.height > height_) {
        reason_ = "フレームがキャンバスからはみ出している";
        return false;
    }
    if (frame.disposeOp > kDisposePrevious || frame.blendOp > kBlendOver) {
        reason_ = "dispose_op または blend_op が不明";
        return false;
    }
    if (canvas_.empty())
        canvas_.assign(static_cast<size_t>(uint64_t{width_} * height_ * 4), 0);
    if (disposePending_)
        Dispose();
    frame_ = frame;
    if (firstFrame_ && frame_.disposeOp == kDisposePrevious)
        frame_.disposeOp = kDisposeBackground;
    firstFrame_ = false;
    if (frame_.disposeOp == kDisposePrevious) {
        // The frame's rectangle as it is before the frame, to be put back.
        const size_t rowBytes = size_t{frame_.width} * 4;
        saved_.resize(rowBytes * frame_.height);
        for (uint32_t y = 0; y < frame_.height; ++y) {
            const size_t at = (size_t{frame_.yOffset} + y) * width_ * 4 + size_t{frame_.xOffset} * 4;
            std::memcpy(saved_.data() + y * rowBytes, canvas_.data() + at, rowBytes);
        }
    }
    inFrame_ = true;
    reason_ = "";
    return true;
}

void CApngComposer::FrameRow(uint32_t y, const uint8_t* rgba)
{
    if (!inFrame_ || y >= frame_.height)
        return;
    uint8_t* to = canvas_.data() + (size_t{frame_.yOffset} + y) * width_ * 4 + size_t{frame_.xOffset} * 4;
    if (frame_.blendOp == kBlendSource) {
        std::memcpy(to, rgba, size_t{frame_.width} * 4);
        return;
    }
    for (uint32_t x = 0; x < frame_.width; ++x)
        Over(rgba + 4 * size_t{x}, to + 4 * size_t{x});
}

void CApngComposer::EndFrame()
{
    if (!inFrame_)
        return;
    inFrame_ = false;
    disposePending_ = true;
}

void CApngComposer::Dispose()
{
    disposePending_ = false;
    if (frame_.disposeOp == kDisposeNone)
        return;
    const size_t rowBytes = size_t{frame_.width} * 4;
    for (uint32_t y = 0; y < frame_.height; ++y) {
        uint8_t* to = canvas_.data() + (size_t{frame_.yOffset} + y) * width_ * 4 + size_t{frame_.xOffset} * 4;
        if (frame_.disposeOp == kDisposeBackground)
            std::memset(to, 0, rowBytes);
        else
            std::memcpy(to, saved_.data() + y * rowBytes, rowBytes);
    }
}
