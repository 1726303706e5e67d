#pragma once
// The second stage of JPEG decoding: the inverse DCT of each block in 16.16
// fixed point, the level shift of the luma samples and the colour
// conversion (JFIF YCbCr, or red, green and blue as they stand) into 24-bit
// bottom-up pixel memory, MCU after MCU, for the layouts the baseline scan
// decoder supports.
#include <cstdint>
#include <vector>

#include "codec/jpeg_scan_decoder.h"

// The dequantized coefficients of a run of consecutive MCUs, waiting for the
// transform and the colour conversion. Each block holds 64 values in [row]
// [column] order and is all zero except where a coefficient was coded; the
// painter clears what it read, so a batch can be filled again.
struct JpegCoefficientBatch {
    uint64_t firstMcu = 0;
    uint32_t mcus = 0;
    std::vector<int32_t> blocks;     // MCUs x blocks per MCU x 64
    std::vector<uint8_t> rowMasks;   // per block: bit v set when row v may be non-zero
};

// The separable inverse DCT in 16.16 fixed point. f is indexed [row v][column
// u] (vertical, horizontal frequency); rowMask has bit v set when row v may
// hold a non-zero value. out receives the samples [vertical position m]
// [horizontal position n], without level shift. All arithmetic wraps in 32
// bits, so hostile coefficients give some samples, never undefined results.
void JpegInverseDct(const int32_t* f, uint32_t rowMask, int32_t* out);
// The sample every position of a block holds when its DC term dc is the only
// one coded: what JpegInverseDct gives for that block, without level shift.
int32_t JpegDcSample(int32_t dc);

class CJpegMcuPainter {
public:
    CJpegMcuPainter(const CJpegScanDecoder::Frame& frame, const CJpegScanDecoder::Target& target);

    uint32_t BlocksPerMcu() const { return blocksPerMcu_; }
    // Transforms and paints the batch's MCUs and clears its blocks.
    void Paint(JpegCoefficientBatch& batch);

private:
    static void Transform(const int32_t* block, uint32_t rowMask, int32_t* out, bool levelShift);
    // Paint for a target that holds a view of the picture: the MCUs none of
    // whose pixels the view holds are only cleared.
    void PaintPart(JpegCoefficientBatch& batch);
    // The view's pixels of the MCU at x, y, its samples transformed: in
    // picture coordinates, from x0 and y0 (on the view's grid) up to, not
    // including, x1 and y1.
    void PaintPartOfMcu(uint64_t x, uint64_t y, uint64_t x0, uint64_t x1, uint64_t y0, uint64_t y1, bool dcOnly);

    const CJpegScanDecoder::Frame& frame_;
    const CJpegScanDecoder::Target& target_;
    const uint32_t h0_;
    const uint32_t v0_;
    uint64_t mcusAcross_ = 0;
    uint32_t blocksPerMcu_ = 0;
    // Samples of one MCU: up to four luma blocks, one block of each chroma.
    // The chroma of a one-component picture stays 0.
    int32_t luma_[4][64] = {};
    int32_t chroma_[2][64] = {};
};
