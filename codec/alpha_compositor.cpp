#include "codec/alpha_compositor.h"

namespace {

inline uint8_t Blend(uint32_t c, uint32_t a, uint32_t b)
{
    return static_cast<uint8_t>((c * a + b * (255 - a) + 127) / 255);
}

}  // namespace

CAlphaCompositor::CAlphaCompositor() : checkerboard_(true), colour_{kWhite, kWhite, kWhite} {}

CAlphaCompositor::CAlphaCompositor(uint8_t red, uint8_t green, uint8_t blue)
    : checkerboard_(false), colour_{red, green, blue}
{
}

void CAlphaCompositor::Background(uint32_t x, uint32_t y, uint8_t* rgb) const
{
    if (!checkerboard_) {
        rgb[0] = colour_[0];
        rgb[1] = colour_[1];
        rgb[2] = colour_[2];
        return;
    }
    const uint8_t grey = ((x / kSquare + y / kSquare) & 1) == 0 ? kWhite : kLight;
    rgb[0] = rgb[1] = rgb[2] = grey;
}

void CAlphaCompositor::CompositeRow(uint32_t y, const uint8_t* rgba, uint32_t width, uint8_t* rgb, uint32_t x) const
{
    uint8_t back[3];
    Background(x, y, back);
    for (uint32_t i = 0; i < width; ++i, rgba += 4, rgb += 3) {
        // The checkerboard changes colour every kSquare columns.
        if (checkerboard_ && (x + i) % kSquare == 0)
            Background(x + i, y, back);
        const uint32_t a = rgba[3];
        rgb[0] = Blend(rgba[0], a, back[0]);
        rgb[1] = Blend(rgba[1], a, back[1]);
        rgb[2] = Blend(rgba[2], a, back[2]);
    }
}
