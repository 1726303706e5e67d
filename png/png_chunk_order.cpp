#include "png/png_chunk_order.h"

#include <algorithm>

#include "core/result_line.h"

namespace {

enum class Place : uint8_t {
    Anywhere,
    BeforePlteAndIdat,
    AfterPlteBeforeIdat,
    BeforeIdat,
};

struct Rule {
    const char* type;
    bool once;
    Place place;
};

// PNG Third Edition 5.6, Table 7 (chunk ordering rules), with APNG's acTL.
// IHDR, IDAT and IEND have rules of their own and are checked apart.
constexpr Rule kRules[] = {
    {"PLTE", true, Place::BeforeIdat},          {"cHRM", true, Place::BeforePlteAndIdat},
    {"gAMA", true, Place::BeforePlteAndIdat},   {"iCCP", true, Place::BeforePlteAndIdat},
    {"sBIT", true, Place::BeforePlteAndIdat},   {"sRGB", true, Place::BeforePlteAndIdat},
    {"cICP", true, Place::BeforePlteAndIdat},   {"mDCV", true, Place::BeforePlteAndIdat},
    {"cLLI", true, Place::BeforePlteAndIdat},   {"tRNS", true, Place::AfterPlteBeforeIdat},
    {"bKGD", true, Place::AfterPlteBeforeIdat}, {"hIST", true, Place::AfterPlteBeforeIdat},
    {"pHYs", true, Place::BeforeIdat},          {"sPLT", false, Place::BeforeIdat},
    {"eXIf", true, Place::BeforeIdat},          {"acTL", true, Place::BeforeIdat},
    {"tIME", true, Place::Anywhere},            {"IHDR", true, Place::Anywhere},
    {"IEND", true, Place::Anywhere},
};

const Rule* RuleOf(const PngChunk& chunk)
{
    for (const Rule& rule : kRules)
        if (chunk.Is(rule.type))
            return &rule;
    return nullptr;
}

}  // namespace

void CPngChunkOrder::Report(AnomalySeverity severity, const char* kind, const PngChunk& chunk,
                            const std::string& text, LineId line)
{
    run_.ReportAnomaly(severity, kind, {chunk.at, chunk.at + 8}, text, line);
}

void CPngChunkOrder::Take(const PngChunk& chunk, LineId line, int colourType)
{
    const bool first = chunks_++ == 0;
    if (first && !chunk.Is("IHDR"))
        Report(AnomalySeverity::Error, "png.ihdr-not-first", chunk, "最初のチャンクが IHDR ではありません", line);
    if (chunk.Is("IHDR"))
        ihdr_ = true;
    if (chunk.Is("IDAT")) {
        if (idatEnded_)
            Report(AnomalySeverity::Error, "png.idat-not-consecutive", chunk,
                   "IDAT チャンクが連続していません (間に他のチャンクがあります)", line);
        idat_ = true;
    } else if (idat_) {
        idatEnded_ = true;
    }
    CheckPlace(chunk, line, colourType);
    CheckOnce(chunk, line);
    if (chunk.Is("PLTE"))
        plte_ = true;
}

void CPngChunkOrder::CheckPlace(const PngChunk& chunk, LineId line, int colourType)
{
    const Rule* rule = RuleOf(chunk);
    if (!rule)
        return;
    const std::string name = chunk.Name();
    // Critical chunks out of place make readers fail; ancillary ones only
    // lose their meaning.
    const AnomalySeverity severity = chunk.Ancillary() ? AnomalySeverity::Warning : AnomalySeverity::Error;
    const bool beforeIdat = rule->place != Place::Anywhere;
    if (beforeIdat && idat_) {
        Report(severity, "png.chunk-order", chunk, ResultLine("%s チャンクが IDAT より後にあります", name.c_str()),
               line);
        return;
    }
    if (rule->place == Place::BeforePlteAndIdat && plte_)
        Report(severity, "png.chunk-order", chunk, ResultLine("%s チャンクが PLTE より後にあります", name.c_str()),
               line);
    if (rule->place == Place::AfterPlteBeforeIdat && !plte_) {
        // hIST needs the palette it counts; tRNS and bKGD of a palette
        // picture index it. For other pictures a later PLTE is the fault.
        if (colourType == 3 || chunk.Is("hIST"))
            Report(severity, "png.chunk-order", chunk,
                   ResultLine("%s チャンクが PLTE より前にあります", name.c_str()), line);
        else
            beforePlte_.push_back(chunk.type);
    }
    if (chunk.Is("PLTE") && !beforePlte_.empty())
        Report(AnomalySeverity::Warning, "png.chunk-order", chunk,
               "tRNS か bKGD チャンクが PLTE より前にあります", line);
    if (chunk.Is("PLTE") && (colourType == 0 || colourType == 4))
        Report(AnomalySeverity::Error, "png.plte-not-allowed", chunk,
               ResultLine("カラータイプ %d の画像に PLTE チャンクがあります", colourType), line);
}

void CPngChunkOrder::CheckOnce(const PngChunk& chunk, LineId line)
{
    const Rule* rule = RuleOf(chunk);
    if (!rule || !rule->once)
        return;
    if (std::find(seen_.begin(), seen_.end(), chunk.type) == seen_.end()) {
        seen_.push_back(chunk.type);
        return;
    }
    Report(chunk.Ancillary() ? AnomalySeverity::Warning : AnomalySeverity::Error, "png.duplicate-chunk", chunk,
           ResultLine("%s チャンクは一つしか置けませんが、二つ目があります", chunk.Name().c_str()), line);
}

void CPngChunkOrder::Finish(uint64_t fileEnd, bool iendSeen, int colourType)
{
    const ByteRange end{fileEnd, fileEnd};
    if (!ihdr_)
        run_.ReportAnomaly(AnomalySeverity::Error, "png.missing-ihdr", end, "IHDR チャンクがありません");
    if (!idat_)
        run_.ReportAnomaly(AnomalySeverity::Error, "png.missing-idat", end, "IDAT チャンクがありません");
    if (colourType == 3 && !plte_)
        run_.ReportAnomaly(AnomalySeverity::Error, "png.missing-plte", end,
                           "カラータイプ 3 の画像に PLTE チャンクがありません");
    if (!iendSeen)
        run_.ReportAnomaly(AnomalySeverity::Error, "png.missing-iend", end, "IEND チャンクがありません");
}
