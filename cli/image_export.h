#pragma once
// Writes a decoded picture (without its margin) as a 24-bit BMP or a binary
// PPM file; a picture too large to hold whole, from bands of its rows.
#include <cstdint>
#include <functional>
#include <string>

#include "image/image_buffer.h"

bool WriteBmp(const CImageBuffer& image, const std::string& path);
bool WritePpm(const CImageBuffer& image, const std::string& path);

// A width x height picture whose rows band(y, rows) decodes, rows at a time
// (fewer at the end), each band an image of width x rows.
using PictureBand = std::function<CImageBuffer(uint32_t y, uint32_t rows)>;
bool WriteBmpInBands(const std::string& path, uint32_t width, uint32_t height, uint32_t rows, const PictureBand& band);
bool WritePpmInBands(const std::string& path, uint32_t width, uint32_t height, uint32_t rows, const PictureBand& band);
