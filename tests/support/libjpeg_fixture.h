#pragma once
// Test fixtures made and checked with libjpeg: encodes synthetic pictures as
// baseline JPEG files and decodes files for comparison.
#include <cstdint>
#include <string>
#include <vector>

namespace jpeg_fixture {

struct EncodeOptions {
    int width = 64;
    int height = 64;
    int components = 3;          // 1 or 3
    int h0 = 1;                  // sampling factors of the first component
    int v0 = 1;
    int quality = 90;
    int restartInterval = 0;     // in MCUs; 0 for none
    bool progressive = false;    // libjpeg's own progression of scans
    bool rgb = false;            // three components stored as red, green, blue (an Adobe segment says so)
};

// A picture with smooth gradients, edges and some texture, RGB or gray,
// row-major from the top.
std::vector<uint8_t> MakePicture(int width, int height, int components);

std::vector<uint8_t> Encode(const std::vector<uint8_t>& picture, const EncodeOptions& options);

// Decodes to RGB, row-major from the top (gray pictures are expanded).
// Four components are decoded as inks (CMYK, YCCK converted by libjpeg) and
// drawn as R = (255 - K)(255 - C) / 255, the inks stored as 255 minus the
// ink when the file has an Adobe segment. Returns an empty vector when
// libjpeg fails.
std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, int* width, int* height);

}  // namespace jpeg_fixture
