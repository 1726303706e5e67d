#pragma once
// Pictures written by libtiff, and the same pictures as libtiff decodes them,
// for comparing with what the detailed analysis draws.
#if __has_include(<tiffio.h>)
#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "headless/headless_session.h"
#include "support/test_support.h"

namespace tiff_test {

struct Kind {
    const char* name;
    uint16_t compression;
    uint16_t predictor;
    uint16_t samples;
    uint16_t bits;
    uint16_t photometric;
    uint32_t group3Options = 0;  // CCITT T.4 only
    uint16_t fillOrder = FILLORDER_MSB2LSB;
};

// Writes a width x height picture of the kind, rowsPerStrip rows a strip, in
// the byte order asked for. Bilevel rows hold runs of many lengths, colour
// and grey rows gradients with repeats.
void WritePicture(const std::string& path, bool littleEndian, const Kind& kind, uint32_t width, uint32_t height,
                  uint32_t rowsPerStrip);

// The picture as libtiff decodes it, in the image window's colours (blue,
// green, red a pixel, top row first).
std::vector<uint8_t> LibtiffPicture(const std::string& path, uint32_t width, uint32_t height);

// The picture an image window shows, in the same order.
std::vector<uint8_t> DrawnPicture(const CImageBuffer& image);

// The first picture row (from 0) where two pictures of the width differ, or
// -1 when they are equal.
int FirstDifferentRow(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b, uint32_t width);

// A detailed analysis of the file at path, its pictures decoded on up to
// decodeThreads threads (0: one per processor); the windows stay valid with
// it.
struct Drawing {
    explicit Drawing(uint32_t decodeThreads) : h(decodeThreads) {}
    std::string detail;
    std::vector<const ResultPicture*> windows;
    testing_support::Headless h;
};
std::unique_ptr<Drawing> DrawFile(const std::string& path, uint32_t decodeThreads = 0);

}  // namespace tiff_test

#endif
