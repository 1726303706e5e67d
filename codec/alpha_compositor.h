#pragma once
// Puts an RGBA row (straight alpha) in front of an opaque background and
// gives RGB: a colour (the file's bKGD, already cut to 8 bits) or the
// checkerboard that shows where a picture is transparent, 8 x 8 pixel
// squares of white (0xFF) and light grey (0xCC), white at the top left.
//
// Each channel: out = (c * a + b * (255 - a) + 127) / 255, with c the
// pixel's sample, a its alpha and b the background's sample; exact for
// a = 0 (the background) and a = 255 (the pixel), and the nearest integer
// in between (a sum over 255 never lies halfway).
#include <cstdint>

class CAlphaCompositor {
public:
    // The checkerboard.
    CAlphaCompositor();
    // A single colour.
    CAlphaCompositor(uint8_t red, uint8_t green, uint8_t blue);

    // width RGBA pixels of picture row y, starting at column x, into width
    // RGB pixels. The position only matters to the checkerboard.
    void CompositeRow(uint32_t y, const uint8_t* rgba, uint32_t width, uint8_t* rgb, uint32_t x = 0) const;

    // The background's grey or colour at a pixel.
    void Background(uint32_t x, uint32_t y, uint8_t* rgb) const;

    static constexpr uint32_t kSquare = 8;
    static constexpr uint8_t kLight = 0xCC;
    static constexpr uint8_t kWhite = 0xFF;

private:
    bool checkerboard_;
    uint8_t colour_[3];
};
