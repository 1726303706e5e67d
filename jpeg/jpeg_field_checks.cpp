#include "jpeg/jpeg_field_checks.h"

#include "core/result_line.h"

using namespace jpeg_marker;

namespace {

constexpr const char* kFieldRange = "jpeg.field-range";
constexpr const char* kPastSegment = "jpeg.field-past-segment";

void Add(std::vector<JpegFieldProblem>& out, size_t at, size_t size, std::string text,
         AnomalySeverity severity = AnomalySeverity::Error, const char* kind = kFieldRange)
{
    out.push_back({at, size, kind, severity, std::move(text)});
}

// A table whose bytes run past its segment's length: the length field and
// the table disagree, and readers differ on which to trust.
void PastSegment(const JpegPayload& p, const JpegTableRecord& r, size_t next, std::vector<JpegFieldProblem>& out)
{
    if (next > p.declared && r.at < p.declared)
        Add(out, r.at, p.declared - r.at, "テーブルがセグメントの長さを超えています", AnomalySeverity::Error,
            kPastSegment);
}

}  // namespace

// T.81 B.2.4.1: Pq 0 (8-bit) or 1 (16-bit), Tq 0 to 3.
void CJpegFieldChecks::Dqt(const JpegPayload& p, const std::vector<JpegTableRecord>& records,
                           std::vector<JpegFieldProblem>& out)
{
    for (const JpegTableRecord& r : records) {
        const uint32_t precision = r.selector >> 4, destination = r.selector & 0x0F;
        if (precision > 1)
            Add(out, r.at, 1, ResultLine("量子化テーブルの精度(Pq)が%uです", precision));
        if (destination > 3)
            Add(out, r.at, 1, ResultLine("量子化テーブルの番号(Tq)が%uです", destination));
        PastSegment(p, r, r.at + 1 + (precision == 1 ? 128 : 64), out);
    }
}

// T.81 B.2.4.2: Tc 0 (DC) or 1 (AC), Th 0 to 3, at most 256 symbols in codes
// that fit their lengths.
void CJpegFieldChecks::Dht(const JpegPayload& p, const std::vector<JpegTableRecord>& records,
                           std::vector<JpegFieldProblem>& out)
{
    for (const JpegTableRecord& r : records) {
        if ((r.selector >> 4) > 1)
            Add(out, r.at, 1, ResultLine("ハフマンテーブルのクラス(Tc)が%uです", r.selector >> 4));
        if ((r.selector & 0x0F) > 3)
            Add(out, r.at, 1, ResultLine("ハフマンテーブルの番号(Th)が%uです", r.selector & 0x0F));
        HuffmanCounts(p, r, out);
    }
}

// The counts of codes of each length 1 to 16 (T.81 C.2): the codes of one
// length follow those of the last, so their number may not exceed the code
// space left at that length, and all of them together at most 256.
void CJpegFieldChecks::HuffmanCounts(const JpegPayload& p, const JpegTableRecord& r, std::vector<JpegFieldProblem>& out)
{
    if (r.at + 17 > p.size)
        return;
    const uint8_t* counts = p.data + r.at + 1;
    size_t total = 0;
    uint32_t code = 0;
    bool overfull = false;
    for (uint32_t length = 1; length <= 16; ++length) {
        total += counts[length - 1];
        code += counts[length - 1];
        overfull = overfull || code > (1u << length);
        code <<= 1;
    }
    if (total > 256)
        Add(out, r.at + 1, 16, ResultLine("ハフマン符号の数が%zu個です(256個まで)", total));
    else if (overfull)
        Add(out, r.at + 1, 16, "ハフマン符号の長さごとの数が符号の空間を超えています");
    PastSegment(p, r, r.at + 17 + total, out);
}

// T.81 B.2.2: P 8 (baseline 8 only) or 12 for DCT, 2 to 16 for lossless;
// X at least 1; Nf at least 1 (at most 4 in progressive frames); H and V
// 1 to 4; Tq 0 to 3. Y may be 0 when a DNL segment gives it.
void CJpegFieldChecks::Frame(const JpegPayload& p, const JpegFrame& frame, std::vector<JpegFieldProblem>& out)
{
    if (p.declared < 6 && p.size >= 6)
        Add(out, 0, p.declared, "フレームヘッダがセグメントの長さに収まっていません", AnomalySeverity::Error, kPastSegment);
    if (!frame.headerRead)
        return;
    const uint32_t m = frame.marker, bits = frame.precision;
    const bool precisionOk =
        m == kDhp || (IsLossless(m) ? bits >= 2 && bits <= 16 : m == kSof0 ? bits == 8 : bits == 8 || bits == 12);
    if (!precisionOk)
        Add(out, 0, 1, ResultLine("サンプル精度(P)が%uビットです", bits));
    if (frame.samplesPerLine == 0)
        Add(out, 3, 2, "水平サイズ(X)が0です");
    const size_t count = frame.components.size() + (frame.complete ? 0 : 1);
    const size_t declaredCount = p.data[frame.countAt];
    if (p.declared >= 6 && 6 + 3 * declaredCount > p.declared)
        Add(out, frame.countAt, 1,
            ResultLine("フレームヘッダの成分(%zu個)がセグメントの長さを超えています", declaredCount),
            AnomalySeverity::Error, kPastSegment);
    if (frame.complete && frame.components.empty())
        Add(out, frame.countAt, 1, "成分数(Nf)が0です");
    else if (IsProgressive(m) && !IsLossless(m) && count > 4 && frame.complete)
        Add(out, frame.countAt, 1, ResultLine("プログレッシブのフレームの成分数(Nf)が%zuです", count));
    for (const FrameComponent& c : frame.components) {
        const uint32_t h = c.sampling >> 4, v = c.sampling & 0x0F;
        if (h < 1 || h > 4 || v < 1 || v > 4)
            Add(out, c.offset + 1, 1, ResultLine("成分%uのサンプリング係数が%ux%uです", c.identifier, h, v));
        if (c.quantSelector > 3)
            Add(out, c.offset + 2, 1, ResultLine("成分%uの量子化テーブル番号(Tq)が%uです", c.identifier, c.quantSelector));
    }
}

// T.81 B.2.3: Ns 1 to 4, Td and Ta 0 to 3, then the selection fields.
void CJpegFieldChecks::Scan(const JpegPayload& p, const JpegFrame& frame, const JpegScan& scan,
                            std::vector<JpegFieldProblem>& out)
{
    if (p.size < 1)
        return;
    const size_t count = p.data[0];
    if (count < 1 || count > 4)
        Add(out, 0, 1, ResultLine("スキャンの成分数(Ns)が%zuです", count));
    if (1 + 2 * count + 3 > p.declared)
        Add(out, 0, 1, "スキャンヘッダがセグメントの長さを超えています", AnomalySeverity::Error, kPastSegment);
    // An interleaved scan's MCU holds at most 10 blocks (T.81 B.2.3).
    uint32_t blocks = 0;
    for (const JpegScanComponentField& f : scan.components)
        for (const FrameComponent& c : frame.components)
            if (c.identifier == f.component.selector)
                blocks += (c.sampling >> 4) * (c.sampling & 0x0F);
    if (count > 1 && !IsLossless(frame.marker) && blocks > 10)
        Add(out, 0, 1, ResultLine("MCUのブロック数が%uです(10まで)", blocks));
    for (const JpegScanComponentField& f : scan.components) {
        const uint32_t td = f.component.tableSelection >> 4, ta = f.component.tableSelection & 0x0F;
        if (td > 3 || ta > 3)
            Add(out, f.at + 1, 1, ResultLine("成分%uのテーブル番号(Td, Ta)が(%u, %u)です", f.component.selector, td, ta));
    }
    if (scan.complete)
        Selection(frame.marker, scan, out);
}

// Ss, Se, Ah and Al by the frame's process (T.81 Table B.3): sequential DCT
// 0, 63, 0, 0; progressive a DC scan (Ss = Se = 0) or an AC band of one
// component within 1 to 63, Ah and Al up to 13; lossless a predictor 1 to 7
// in Ss, Se and Ah 0, Al the point transform up to 15. libjpeg reads
// sequential scans with other values, warning only: those are warnings.
void CJpegFieldChecks::Selection(uint32_t frameMarker, const JpegScan& scan, std::vector<JpegFieldProblem>& out)
{
    const uint32_t ss = scan.spectralStart, se = scan.spectralEnd;
    const uint32_t ah = scan.approximation >> 4, al = scan.approximation & 0x0F;
    const size_t at = scan.selectionAt;
    const std::string values = ResultLine("Ss = %u, Se = %u, Ah = %u, Al = %u", ss, se, ah, al);
    if (IsLossless(frameMarker)) {
        if (ss < 1 || ss > 7 || se != 0 || ah != 0)
            Add(out, at, 3, "ロスレスのスキャンの値が範囲外です(" + values + ")");
    } else if (IsProgressive(frameMarker)) {
        const bool band = ss == 0 ? se == 0 : se >= ss && se <= 63 && scan.components.size() == 1;
        if (!band || ah > 13 || al > 13)
            Add(out, at, 3, "プログレッシブのスキャンの値が範囲外です(" + values + ")");
    } else if (ss != 0 || se != 63 || ah != 0 || al != 0) {
        Add(out, at, 3, "シーケンシャルのスキャンの値が規定と違います(" + values + ")", AnomalySeverity::Warning);
    }
}
