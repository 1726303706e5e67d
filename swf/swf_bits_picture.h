#pragma once
// The bitmaps of an SWF file. DefineBits, DefineBitsJPEG2/3/4 and JPEGTables
// hold JPEG data (or, in JPEG2/3, PNG or GIF89a data), which the analyzers
// of those formats lay out and draw as embedded structures; DefineBitsJPEG3/4
// keep an alpha plane beside it, applied here to the JPEG data's picture.
// DefineBitsLossless and DefineBitsLossless2 hold a zlib-compressed
// colour-mapped, 15-bit or 32-bit bitmap, drawn here.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "core/result_line.h"
#include "swf/body_place.h"

class CSwfBitsPicture {
public:
    // The largest side drawn; anything larger is laid out but not drawn.
    static constexpr uint32_t kMaxSide = 16384;

    struct Lossless {
        uint32_t id = 0;
        uint32_t format = 0;     // 3 colour-mapped, 4 15-bit, 5 32-bit
        uint32_t width = 0;
        uint32_t height = 0;
        uint32_t colours = 0;    // colour table entries (format 3)
        bool alpha = false;      // DefineBitsLossless2
        uint64_t at = 0;         // the zlib data and its length
        uint64_t length = 0;
    };

    // The alpha plane of a DefineBitsJPEG3 or DefineBitsJPEG4 tag: zlib data
    // at [at, at + length) that inflates to one opacity byte per pixel, rows
    // top-down, and the colour the picture shows through it.
    struct Alpha {
        uint64_t at = 0;
        uint64_t length = 0;
        uint8_t background[3] = {};
    };

    CSwfBitsPicture(const AnalysisRequest& request, CTreeWriter out, FILE* fp, BodyPlace place)
        : request_(request), out_(out), fp_(fp), place_(place) {}

    // JPEG, PNG or GIF data at [at, at + length) under parent. tables are
    // the JPEGTables tag's for DefineBits; draw false lays it out only.
    void Embedded(LineId parent, uint64_t at, uint64_t length, const std::string& label,
                  const std::vector<uint8_t>& tables, bool draw);
    // The image data of a DefineBitsJPEG3/4 tag under tag, as Embedded lays
    // it out, then the alpha plane's line. The picture of JPEG data is
    // composited over the background through the plane; PNG and GIF data
    // carry their own transparency, and players leave the plane unused
    // (SWF 19, DefineBitsJPEG3).
    void EmbeddedWithAlpha(LineId tag, uint64_t at, uint64_t length, const std::string& label, const Alpha& alpha);
    // Inflates and draws a lossless bitmap over the background colour rgb.
    void DrawLossless(LineId parent, const Lossless& bitmap, const uint8_t rgb[3]);

    // The bytes the erroneous SOI/EOI pair before a JPEG stream takes, 0
    // when there is none.
    static size_t ErroneousHeader(const uint8_t* data, size_t n);

private:
    // How much of a picture the alpha plane covered.
    struct AlphaOutcome {
        bool applied = false;
        uint64_t inflated = 0;
        uint64_t expected = 0;
    };

    // Embedded, with finish applied to the picture of JPEG data.
    void Nest(LineId parent, uint64_t at, uint64_t length, const std::string& label,
              const std::vector<uint8_t>& tables, bool draw, const std::function<void(ResultPicture&)>& finish);
    void Composite(ResultPicture& picture, const Alpha& alpha, AlphaOutcome& outcome) const;
    void RunNested(uint32_t format, LineId parent, uint64_t at, uint64_t length, const std::string& label,
                   const std::vector<uint8_t>& tables, bool draw);
    // The bitmap's bytes once inflated: the colour table then the rows.
    static uint64_t ExpectedBytes(const Lossless& bitmap);
    std::vector<uint8_t> Inflate(const Lossless& bitmap, uint64_t expected, bool& complete);
    void Paint(uint8_t* pixels, int32_t stride, const Lossless& bitmap, const std::vector<uint8_t>& data,
               const uint8_t rgb[3]) const;
    // The bytes of a body held in memory lie in no file: the lines after
    // before, and the anomalies from anomaliesBefore on, lose their ranges.
    void ClearRangesAfter(LineId before, size_t anomaliesBefore) const;
    ByteRange Range(uint64_t at, uint64_t length) const;

    const AnalysisRequest& request_;
    CTreeWriter out_;
    FILE* fp_;
    BodyPlace place_;
};
