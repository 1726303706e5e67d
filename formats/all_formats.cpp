#include "formats/all_formats.h"

#include <memory>

#include "icc/icc_analyzer.h"
#include "jpeg/jpeg_analyzer.h"
#include "swf/swf_analyzer.h"
#include "tiff/tiff_analyzer.h"

namespace {

// TIFF 6.0 section 2: "II" or "MM", the byte order of the rest.
bool IsTiff(const uint8_t* head, size_t n)
{
    return n >= 2 && head[0] == head[1] && (head[0] == 'I' || head[0] == 'M');
}

// ITU-T T.81 B.1.1.3: the SOI marker.
bool IsJpeg(const uint8_t* head, size_t n)
{
    return n >= 2 && head[0] == 0xFF && head[1] == 0xD8;
}

// "FWS" (uncompressed) or "CWS" (zlib-compressed body).
bool IsSwf(const uint8_t* head, size_t n)
{
    return n >= 3 && (head[0] == 'F' || head[0] == 'C') && head[1] == 'W' && head[2] == 'S';
}

// The analyzers are large objects; each run gets its own on the heap.
template <class Analyzer>
void RunAnalyzerOf(const AnalysisRequest& r)
{
    auto analyzer = std::make_unique<Analyzer>();
    analyzer->Analyze(r);
}

// The MP index of an MPF segment is TIFF-structured; the TIFF analyzer lays
// it out with the MPF dictionary.
void RunMpfAnalysis(const AnalysisRequest& r)
{
    auto analyzer = std::make_unique<CTiffAnalyzer>();
    analyzer->AnalyzeMpf(r);
}

// A new format is one folder and one row here.
constexpr FormatHandler kFormats[] = {
    {kFormatTiff, "TIFF", IsTiff, RunAnalyzerOf<CTiffAnalyzer>, "SA00000005", "SA00000006"},
    {kFormatJpeg, "JPEG", IsJpeg, RunAnalyzerOf<CJpegAnalyzer>, "SA00000003", "SA00000005"},
    {kFormatSwf, "SWF", IsSwf, RunAnalyzerOf<CSwfAnalyzer>, "SA00000007", "SA00000007"},
    {kFormatIcc, nullptr, nullptr, RunAnalyzerOf<CIccAnalyzer>, "SA00000007", "SA00000007"},
    {kFormatMpf, nullptr, nullptr, RunMpfAnalysis, "SA00000007", "SA00000007"},
};

}  // namespace

FormatTable AllFormats()
{
    return kFormats;
}
