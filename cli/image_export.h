#pragma once
// Writes a decoded picture (without its margin) as a 24-bit BMP or a binary
// PPM file.
#include <string>

#include "image/image_buffer.h"

bool WriteBmp(const CImageBuffer& image, const std::string& path);
bool WritePpm(const CImageBuffer& image, const std::string& path);
