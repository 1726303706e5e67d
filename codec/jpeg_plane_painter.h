#pragma once
// Paints a JPEG frame held as coefficient planes into 24-bit bottom-up pixel
// memory, for any sampling factors from 1 to 4 and every colour model a
// viewer draws: the inverse DCT of each block, upsampling by repetition
// (each pixel takes the sample its position in the MCU falls on: column
// i of an MCU 8 Hmax wide takes column i h / Hmax of a component sampled h
// times across), and the colour conversion. The layouts the baseline
// painter knows go through it instead, so that a picture comes out the
// same whichever way its data was coded.
#include <cstdint>
#include <vector>

#include "codec/jpeg_coefficients.h"
#include "codec/jpeg_scan_decoder.h"

class CJpegPlanePainter {
public:
    enum class Colour {
        Grey,     // one component
        YCbCr,    // JFIF
        Rgb,      // red, green and blue as they stand
        Cmyk,     // inks
        Ycck,     // YCbCr for the first three inks (their complements), the fourth as it stands
    };

    struct Setup {
        Colour colour = Colour::YCbCr;
        // Inks stored as 255 minus the ink, as Adobe writes them (with an
        // Adobe segment present).
        bool invertedInks = false;
        uint32_t width = 0;
        uint32_t height = 0;
        // Quantization values of each component, [row][column].
        std::vector<std::vector<int32_t>> quant;
    };

    CJpegPlanePainter(const CJpegCoefficients& planes, const Setup& setup, const CJpegScanDecoder::Target& target);

    // Paints MCU rows [first, first + count); painters of separate rows may
    // run side by side.
    void PaintRows(uint32_t first, uint32_t count);

    // Whether the baseline painter can paint this frame; *frame then
    // describes it to that painter, with the planes' quantization applied
    // per MCU by PaintBaselineRows.
    bool BaselineLayout(CJpegScanDecoder::Frame* frame) const;
    void PaintBaselineRows(const CJpegScanDecoder::Frame& frame, uint32_t first, uint32_t count);

private:
    void TransformRow(uint32_t mcuRow);
    void ConvertRow(uint32_t mcuRow);

    const CJpegCoefficients& planes_;
    const Setup& setup_;
    const CJpegScanDecoder::Target& target_;
    // Samples of one MCU row of each component (level-shifted for all but
    // the chroma of YCbCr and YCCK), and for each component the sample
    // column of each pixel column of an MCU and the sample row of each
    // pixel row.
    std::vector<std::vector<int32_t>> rows_;
    std::vector<std::vector<uint32_t>> columnOf_;
    std::vector<std::vector<uint32_t>> rowOf_;
};
