#pragma once
// Small GIF files put together byte by byte for the format's tests: a base
// file of one 8 x 8 frame, and a file holding every kind of block.
#include <cstdint>
#include <string>

#include "support/gif_test_support.h"

namespace gif_fixtures {

using gif_test::Bytes;

// The 8 x 8 frame's indices: four colours in diagonal stripes.
Bytes StripeIndices(uint16_t width, uint16_t height, uint8_t colours);
// A 4-colour global table.
Bytes FourColours();

// One 8 x 8 frame with a graphic control extension, on an 8 x 8 screen
// (header 0, screen 6, global table 13, graphic control 25, image
// descriptor 33, LZW minimum code size 43, sub-blocks from 44, the trailer
// last).
constexpr uint64_t kControlAt = 25;
constexpr uint64_t kDescriptorAt = 33;
constexpr uint64_t kCodeSizeAt = 43;
gif_test::ImageBlock BaseImage();
Bytes BaseGif();

// bytes inserted before offset at.
Bytes Insert(Bytes gif, uint64_t at, const Bytes& bytes);
// An extension block: introducer, label and the sub-blocks of data
// (cut in 255-byte pieces), then the terminator.
Bytes Extension(uint8_t label, const Bytes& data);
Bytes Text(const std::string& text);

// Header, screen with a global table, a loop count, a comment of two lines,
// XMP data with its magic trailer, a plain text extension, an unknown
// application extension, then two frames: one interlaced under a graphic
// control extension with a transparent index, one with a local table; then
// the trailer.
Bytes EveryBlockGif();

}  // namespace gif_fixtures
