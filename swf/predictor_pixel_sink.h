#pragma once
// Places inflated bytes of a 4-byte-per-pixel strip into a 24-bit bottom-up
// pixel buffer. Each byte is first undone from a horizontal difference
// predictor with a distance of 4 bytes (it is added to the byte output four
// places earlier); then, of every four bytes, the first three are stored as
// red, green and blue (buffer bytes 2, 1, 0 of the pixel) and the fourth is
// dropped.
//
// The placement restarts at the first pixel of the strip with every deflate
// block, and the predictor forgets its history after every 2560 bytes of a
// block (one row of a 640-pixel RGBA image). Bytes beyond the strip's rows or
// the buffer are not stored; once the rows of the strip are full the stream is
// ended.
#include <cstddef>
#include <cstdint>

#include "swf/inflate_sink.h"

class CPredictorPixelSink : public IInflateSink {
public:
    // width: pixels per image row; rows: image rows in this strip; stride:
    // pixels per buffer row; rowBase: the buffer row below which image row r
    // (from 1) lies, at buffer row rowBase - r; pixels/pixelBytes: the buffer.
    CPredictorPixelSink(uint32_t width, uint32_t rows, uint32_t stride, uint32_t rowBase,
                        uint8_t* pixels, size_t pixelBytes);

    void BeginBlock() override;
    bool Write(const uint8_t* data, size_t n) override;

private:
    uint32_t width_;
    uint32_t rows_;
    uint32_t stride_;
    uint32_t rowBase_;
    uint8_t* pixels_;
    size_t pixelBytes_;

    uint8_t history_[4] = {0, 0, 0, 0};  // the last four output bytes
    uint32_t position_ = 0;              // bytes output in the stream, modulo 4
    uint32_t count_ = 0;                 // bytes output in the current block
    uint32_t x_ = 0;                     // column of the next stored pixel
    uint32_t r_ = 1;                     // image row, from 1
    uint32_t channel_ = 2;
};
