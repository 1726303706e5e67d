#include "jpeg/jpeg_analyzer.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <numeric>
#include <string>

#if defined(__SSE2__) || defined(__x86_64__)
#include <immintrin.h>
#endif

#include "codec/jpeg_frame_decoder.h"
#include "core/analysis_run.h"
#include "core/analysis_tree.h"
#include "core/file_text.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "core/tree_ranges.h"
#include "image/image_buffer.h"
#include "jpeg/jpeg_app_layout.h"

using namespace jpeg_marker;

namespace {

// The bytes read past a segment's declared end in detailed mode: the layout
// of a segment shorter than its own fields reads them from the bytes that
// follow, a JFIF header's fixed fields, or a frame's components as its count
// has them (at most a DHT table with all its symbols, 17 + 16 x 255 bytes).
constexpr size_t kShortSlackBytes = 64;
constexpr size_t kMaxSlackBytes = 8192;

// A comment line is "[%08lx] Comment : " and the text; the text gets what is
// left of the 511 bytes.
constexpr size_t kCommentPrefixBytes = 21;
constexpr size_t kMaxCommentBytes = kMaxLineBytes - kCommentPrefixBytes;

constexpr const char* kUnsupported = "未対応の形式";
constexpr const char* kTooLarge = "画像が大きすぎるため描画しません";
constexpr const char* kDataEnds = "[%08lx] EOIの前にデータが終わっています";

#if defined(__GLIBC__) || defined(__unix__)
inline int GetByte(FILE* fp) { return getc_unlocked(fp); }
#else
inline int GetByte(FILE* fp) { return std::getc(fp); }
#endif

// The coding process of each frame marker SOF0 to SOF15, ITU-T T.81
// Table B.1 (null for DHT, JPG and DAC, which are no frames).
constexpr const char* kProcesses[16] = {
    "Baseline DCT, Huffman coding",
    "Extended sequential DCT, Huffman coding",
    "Progressive DCT, Huffman coding",
    "Lossless (sequential), Huffman coding",
    nullptr,
    "Differential sequential DCT, Huffman coding",
    "Differential progressive DCT, Huffman coding",
    "Differential lossless (sequential), Huffman coding",
    nullptr,
    "Extended sequential DCT, arithmetic coding",
    "Progressive DCT, arithmetic coding",
    "Lossless (sequential), arithmetic coding",
    nullptr,
    "Differential sequential DCT, arithmetic coding",
    "Differential progressive DCT, arithmetic coding",
    "Differential lossless (sequential), arithmetic coding",
};

struct MarkerName {
    uint32_t marker;
    const char* name;
};

// Names of the markers that stand alone in their kind; frames, RSTn and
// APPn are named with their number. SOF0 is plain "SOF".
constexpr MarkerName kMarkerNames[] = {
    {kSoi, "SOI"}, {kEoi, "EOI"}, {kSos, "SOS"}, {kDqt, "DQT"}, {kDht, "DHT"}, {kDac, "DAC"},
    {kDri, "DRI"}, {kDnl, "DNL"}, {kDhp, "DHP"}, {kExp, "EXP"}, {kCom, "COM"}, {kSof0, "SOF"},
};

std::string NameOf(uint32_t marker)
{
    for (const MarkerName& n : kMarkerNames)
        if (n.marker == marker)
            return n.name;
    if (IsFrame(marker))
        return "SOF" + std::to_string(marker - kSof0);
    if (IsRestart(marker))
        return "RST" + std::to_string(marker - kRst0);
    if (IsApp(marker))
        return "APP" + std::to_string(marker - kApp0);
    return {};
}

struct ChromaLayout {
    uint32_t horizontal;   // first component's factor over the second's
    uint32_t vertical;
    const char* text;
};

// Chroma subsampling names by the ratio of the luma component's sampling
// factors to a chroma component's (ITU-T T.81 A.1.1 sampling factors).
constexpr ChromaLayout kChromaLayouts[] = {
    {1, 1, "[クロマフォーマット]4:4:4 "}, {2, 1, "[クロマフォーマット]4:2:2 "},
    {2, 2, "[クロマフォーマット]4:2:0 "}, {1, 2, "[クロマフォーマット]4:4:0 "},
    {4, 1, "[クロマフォーマット]4:1:1 "},
};

// The chroma name of two sampling bytes (horizontal factor in the high
// nibble); none for a ratio that is not a whole number or has no name.
const char* ChromaName(uint32_t first, uint32_t second)
{
    const uint32_t h1 = first >> 4, v1 = first & 0x0F, h2 = second >> 4, v2 = second & 0x0F;
    if (h2 == 0 || v2 == 0 || h1 % h2 != 0 || v1 % v2 != 0)
        return nullptr;
    for (const ChromaLayout& layout : kChromaLayouts)
        if (h1 / h2 == layout.horizontal && v1 / v2 == layout.vertical)
            return layout.text;
    return nullptr;
}

// The sampling factors of every component, "2x2,1x1,1x1".
std::string Factors(const std::vector<FrameComponent>& components)
{
    std::string text;
    for (const FrameComponent& c : components) {
        if (!text.empty())
            text += ',';
        text += std::to_string(c.sampling >> 4) + "x" + std::to_string(c.sampling & 0x0F);
    }
    return text;
}

uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

}  // namespace

CJpegAnalyzer::CJpegAnalyzer() = default;
CJpegAnalyzer::~CJpegAnalyzer() = default;

void CJpegAnalyzer::SeekTo(FILE* fp, uint64_t offset)
{
    SeekStream(fp, offset < fileSize_ ? offset : fileSize_);
}

LineId CJpegAnalyzer::Line(LineId parent, const std::string& text, uint64_t start, uint64_t end)
{
    return out_.Insert(parent, text, {start, std::min(end, fileSize_)});
}

void CJpegAnalyzer::Entry(const std::string& text)
{
    // The segments of a top-level file are entries of level 1.
    if (!Detailed())
        request_.run->AddEntry(request_.level + 1, text.c_str());
}

void CJpegAnalyzer::EndImageData(uint64_t end)
{
    if (imageData_ && out_.Tree())
        out_.Tree()->SetRange(imageData_, {imageDataStart_, std::min(end, fileSize_)});
    imageData_ = 0;
}

void CJpegAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    FILE* fp = request.fp;
    parentItem = request.parent;
    out_ = CTreeWriter(Detailed() ? request.run->Lines() : nullptr);
    const uint64_t size = StreamSize(fp);
    fileSize_ = size ? size : UINT64_MAX;
    walkEnd_ = std::min(fileSize_, request.dataEnd);
    app_ = std::make_unique<CJpegAppLayout>(request_, out_, fileSize_);
    // Tables defined outside the stream count as the stream's own.
    if (!request.jpegTables.empty()) {
        size_t scanStart = 0;
        parser_.Read(request.jpegTables.data(), request.jpegTables.size(), &scanStart);
    }
    for (;;) {
        const uint64_t from = StreamPosition(fp);
        if (std::feof(fp) || from >= walkEnd_) {
            EndWithoutEoi();
            break;
        }
        const uint32_t marker = ReadMarker(fp, from);
        const uint64_t position = StreamPosition(fp);
        // Outside entropy-coded data a marker follows each segment at once,
        // after fill bytes at most.
        if (marker != 0 && !inScan_ && position - 2 > from)
            StrayBytes(fp, from, position - 2);
        if (marker == 0) {
            EndWithoutEoi();
            break;
        }
        if (!Step(fp, marker, position))
            break;
    }
    if (decoder_)
        FinishPicture();
    // A file of tables alone is an abbreviated stream T.81 B.5 allows, but
    // no picture.
    if (request.level == 0 && scans_ == 0) {
        const uint64_t at = eoiEnd_ ? eoiEnd_ - 2 : walkEnd_;
        Report(AnomalySeverity::Warning, "jpeg.no-scan", at, at, "スキャンがありません");
    }
    if (zeroLinesAt_ && !dnlSeen_)
        Report(AnomalySeverity::Error, "jpeg.field-range", zeroLinesAt_, zeroLinesAt_ + 2,
               "垂直サイズ(Y)が0ですがDNLがありません", zeroLinesHead_);
    if (Detailed())
        app_->Finish(fp);
    if (eoiEnd_ && request.level == 0)
        AfterEoi(fp);
    // The lines of a nested analysis hang under its caller's line.
    if (parentItem != kTopLevel)
        out_.Expand(parentItem);
}

namespace {

// The bytes a stream has read ahead and not yet handed out, which a scan
// may search in place; empty where the C library does not show them (the
// scan then takes one byte at a time).
struct StreamBuffer {
    const uint8_t* bytes = nullptr;
    size_t size = 0;
};

StreamBuffer BufferedBytes(FILE* fp)
{
#if defined(__GLIBC__)
    const auto* next = reinterpret_cast<const uint8_t*>(fp->_IO_read_ptr);
    const auto* end = reinterpret_cast<const uint8_t*>(fp->_IO_read_end);
    if (next && end > next)
        return {next, static_cast<size_t>(end - next)};
#else
    (void)fp;
#endif
    return {};
}

void SkipBuffered(FILE* fp, size_t n)
{
#if defined(__GLIBC__)
    fp->_IO_read_ptr += n;
#else
    (void)fp;
    (void)n;
#endif
}

// Pairs of bytes where a marker code may stand: a 0xFF followed by a byte
// other than 0x00 and 0xFF. Outside markers a 0xFF is followed by 0x00
// (stuffing) or by another 0xFF (fill). Stuffing comes about every 256 bytes
// of entropy-coded data, too often for a search for 0xFF alone to pay: each
// pair of bytes is looked at whole, 16 or 32 pairs at a time where the
// processor can. Each search looks from at on and returns the index of the
// code, or none; at is left where the bytes it did not look at begin.
constexpr size_t kNoCode = SIZE_MAX;

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
__attribute__((target("avx2"))) size_t FindCodeAvx2(const uint8_t* bytes, size_t size, size_t& at)
{
    const __m256i ones = _mm256_set1_epi8(static_cast<char>(0xFF));
    const __m256i zero = _mm256_setzero_si256();
    for (; at + 33 <= size; at += 32) {
        const __m256i first = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
        const __m256i second = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at + 1));
        const __m256i notCode = _mm256_or_si256(_mm256_cmpeq_epi8(second, zero), _mm256_cmpeq_epi8(second, ones));
        const unsigned found =
            static_cast<unsigned>(_mm256_movemask_epi8(_mm256_andnot_si256(notCode, _mm256_cmpeq_epi8(first, ones))));
        if (found != 0)
            return at + static_cast<size_t>(__builtin_ctz(found)) + 1;
    }
    return kNoCode;
}

const bool kHasAvx2 = __builtin_cpu_supports("avx2");
#endif

size_t FindCodeSse2(const uint8_t* bytes, size_t size, size_t& at)
{
#if defined(__SSE2__)
    const __m128i ones = _mm_set1_epi8(static_cast<char>(0xFF));
    const __m128i zero = _mm_setzero_si128();
    for (; at + 17 <= size; at += 16) {
        const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
        const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at + 1));
        const __m128i notCode = _mm_or_si128(_mm_cmpeq_epi8(second, zero), _mm_cmpeq_epi8(second, ones));
        const int found = _mm_movemask_epi8(_mm_andnot_si128(notCode, _mm_cmpeq_epi8(first, ones)));
        if (found != 0)
            return at + static_cast<size_t>(__builtin_ctz(static_cast<unsigned>(found))) + 1;
    }
#else
    (void)bytes;
    (void)size;
    (void)at;
#endif
    return kNoCode;
}

// The index in bytes of the first marker code, a byte other than 0x00 and
// 0xFF whose preceding byte (previous for the first) is 0xFF; size when
// there is none.
size_t FindMarkerCode(const uint8_t* bytes, size_t size, uint32_t previous)
{
    if (size == 0)
        return 0;
    if (previous == 0xFF && bytes[0] != 0x00 && bytes[0] != 0xFF)
        return 0;
    size_t at = 0;
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
    if (kHasAvx2)
        if (const size_t code = FindCodeAvx2(bytes, size, at); code != kNoCode)
            return code;
#endif
    if (const size_t code = FindCodeSse2(bytes, size, at); code != kNoCode)
        return code;
    for (; at + 1 < size; ++at)
        if (bytes[at] == 0xFF && bytes[at + 1] != 0x00 && bytes[at + 1] != 0xFF)
            return at + 1;
    return size;
}

}  // namespace

// Takes bytes until a byte other than 0x00 or 0xFF follows a 0xFF byte;
// returns the pair as the marker, or 0 at the end of the data. A 0x00 after
// a 0xFF is stuffing and a 0xFF after a 0xFF a fill byte (ITU-T T.81 B.1.1.2,
// B.1.1.5): the marker is the last 0xFF of a run and the byte after it. The
// bytes are searched in the stream's buffer, block by block.
uint32_t CJpegAnalyzer::ReadMarker(FILE* fp, uint64_t start)
{
    if (std::feof(fp))
        return 0;
    uint32_t previous = static_cast<uint32_t>(GetByte(fp)) & 0xFF;
    if (std::feof(fp))
        return 0;
    // Bytes that may still be taken before the end of the data walked.
    uint64_t left = walkEnd_ - std::min(walkEnd_, StreamPosition(fp));
    if (walkEnd_ <= start)
        return 0;
    for (;;) {
        if (left == 0)
            return 0;
        const StreamBuffer buffer = BufferedBytes(fp);
        if (buffer.size > 0) {
            const size_t size = static_cast<size_t>(std::min<uint64_t>(buffer.size, left));
            const size_t code = FindMarkerCode(buffer.bytes, size, previous);
            if (code < size)
                return TakeMarker(fp, code);
            previous = buffer.bytes[size - 1];
            SkipBuffered(fp, size);
            left -= size;
            continue;
        }
        const int c = GetByte(fp);
        if (c < 0)
            return 0;
        --left;
        if (previous == 0xFF && c != 0x00 && c != 0xFF) {
            std::ungetc(c, fp);
            return TakeMarker(fp, 0);
        }
        previous = static_cast<uint32_t>(c);
    }
}

// Reads the marker code at index code of the stream's buffer (or the byte
// just put back).
uint32_t CJpegAnalyzer::TakeMarker(FILE* fp, size_t code)
{
    SkipBuffered(fp, code);
    return 0xFF00u | (static_cast<uint32_t>(GetByte(fp)) & 0xFF);
}

bool CJpegAnalyzer::Step(FILE* fp, uint32_t marker, uint64_t position)
{
    // The entropy-coded data runs up to the first marker after it that is
    // not a restart marker (those belong to the data, T.81 B.2.1).
    if (IsRestart(marker)) {
        if (inScan_) {
            Entry(OffsetLine(position - 2, NameOf(marker)));
            RestartMarker(marker, position - 2);
        } else {
            Invalid(position - 2, marker);
        }
        return true;
    }
    EndImageData(position - 2);
    inScan_ = false;

    Segment s;
    s.marker = marker;
    s.offset = position - 2;
    // Every marker from SOF0 on carries a length, but RSTn, SOI and EOI
    // (T.81 B.1.1.4).
    s.hasLength = marker >= kSof0 && marker <= kCom && !(marker >= kRst0 && marker <= kEoi);
    if (s.hasLength && !ReadSegment(fp, s)) {
        // A length below 2 cannot be followed: the walk scans on from the
        // marker.
        Report(AnomalySeverity::Error, "jpeg.segment-length", s.offset + 2, s.offset + 4,
               ResultLine("セグメント長が%uです(2以上のはず)", s.length));
        Invalid(s.offset, marker, false);
        SeekTo(fp, position);
        return true;
    }
    JpegScan scan;
    if (marker == kSos)
        scan = parser_.Scan(s.payload);
    const bool accepted = Accepted(s, &scan);
    if (s.pastEnd)
        return PastEnd(fp, s, scan, accepted);
    if (!accepted) {
        const bool lacking = marker == kSos && frameSeen_ && scan.valid;
        if (lacking)
            UnusableScan(s, scan);
        Invalid(s.offset, marker, !lacking);
        if (s.hasLength) {
            // Passed over by its length, so that 0xFF bytes in its payload
            // are never taken for markers of the file's own.
            SeekTo(fp, s.end);
        }
        return true;
    }
    Dispatch(fp, s, &scan);
    if (marker == kEoi) {
        eoiEnd_ = position;
        return false;
    }
    return true;
}

// The payload bytes the layout of a table, frame or scan header reads by
// the counts it holds, which a short segment declares no room for; as many
// as may be needed where a count itself lies beyond the bytes at hand.
size_t CJpegAnalyzer::WantedBytes(const Segment& s)
{
    const uint8_t* d = s.payload.data;
    const size_t size = s.payload.size, declared = s.payload.declared;
    size_t pos = 0;
    if (s.marker == kDqt || s.marker == kDht) {
        do {
            if (s.marker == kDqt)
                pos += pos < size ? 1 + ((d[pos] >> 4) == 1 ? 128 : 64) : 129;
            else if (pos + 17 > size)
                pos += 17 + 16 * 255;
            else
                pos += std::accumulate(d + pos + 1, d + pos + 17, size_t{17});
        } while (pos < declared && pos <= size);
        return pos;
    }
    if (IsFrame(s.marker) || s.marker == kDhp)
        return 6 + 3 * size_t{size >= 6 ? d[5] : 255u};
    if (s.marker == kSos)
        return 4 + 2 * size_t{size >= 1 ? d[0] : 255u};
    return 0;
}

bool CJpegAnalyzer::ReadSegment(FILE* fp, Segment& s)
{
    const uint64_t lengthAt = s.offset + 2;
    uint8_t field[2];
    if (lengthAt + 2 > walkEnd_) {
        s.pastEnd = true;
        s.end = walkEnd_;
        s.payload = {};
        return true;
    }
    SeekStream(fp, lengthAt);
    if (std::fread(field, 1, 2, fp) != 2)
        return false;
    s.length = Be16(field);
    if (s.length < 2)
        return false;
    s.end = lengthAt + s.length;
    s.pastEnd = s.end > walkEnd_;
    // What the layouts read: rough mode needs only the segments the walk's
    // rules and the summary depend on, and their payloads only.
    const uint32_t m = s.marker;
    const bool needed = Detailed() || IsFrame(m) || m == kDhp || m == kSos || m == kDht || m == 0xFFEE;
    const uint64_t declared = s.length - 2u;
    const uint64_t payloadAt = lengthAt + 2;
    const uint64_t available = fileSize_ > payloadAt ? fileSize_ - payloadAt : 0;
    const bool slack = Detailed() || IsFrame(m) || m == kDhp;
    ReadPayload(fp, s, payloadAt, std::min(needed ? declared + (slack ? kShortSlackBytes : 0) : 0, available));
    // A short table, frame or scan header is read on into what follows it.
    if (slack) {
        const uint64_t wanted = std::min<uint64_t>({WantedBytes(s), declared + kMaxSlackBytes, available});
        if (wanted > s.payload.size)
            ReadPayload(fp, s, payloadAt, wanted);
    }
    return true;
}

void CJpegAnalyzer::ReadPayload(FILE* fp, Segment& s, uint64_t at, uint64_t bytes)
{
    SeekStream(fp, at);
    bytes_.resize(static_cast<size_t>(bytes));
    const size_t got = bytes_.empty() ? 0 : std::fread(bytes_.data(), 1, bytes_.size(), fp);
    bytes_.resize(got);
    s.payload = {bytes_.data(), got, static_cast<size_t>(s.length - 2u)};
}

bool CJpegAnalyzer::Accepted(const Segment& s, const JpegScan* scan) const
{
    const uint32_t m = s.marker;
    if (m == kSoi)
        return !anySeen_;
    if (m == kEoi || m == kCom)
        return true;
    if (!soiSeen_)
        return false;
    if (IsApp(m) || m == kDqt || m == kDht || m == kDac || m == kDri)
        return true;
    // A hierarchical image (T.81 Annex J): DHP before its frames, EXP
    // between them, differential frames after the first.
    if (m == kDhp)
        return !frameSeen_ && !hierarchical_ && scans_ == 0;
    if (m == kExp)
        return hierarchical_;
    if (IsFrame(m)) {
        if (hierarchical_)
            return IsDifferential(m) ? frameSeen_ : !frameSeen_;
        return !IsDifferential(m) && !frameSeen_ && scans_ == 0;
    }
    if (m == kSos)
        return frameSeen_ && scan && parser_.ScanHasTables(*scan);
    // DNL follows the first scan of a frame (T.81 B.2.5).
    if (m == kDnl)
        return scans_ > 0;
    return false;
}

// A segment that runs past the end of the data: nothing inside it is taken
// for a marker. Detailed mode lays out what there is.
bool CJpegAnalyzer::PastEnd(FILE* fp, Segment& s, const JpegScan& scan, bool accepted)
{
    const LineId head = accepted && Detailed() ? Dispatch(fp, s, &scan) : kNoLine;
    if (!accepted || !Detailed())
        Invalid(s.offset, s.marker, false);
    if (s.length == 0)
        Report(AnomalySeverity::Error, "jpeg.segment-past-end", s.offset, walkEnd_, "セグメント長の前にデータが終わっています",
               head);
    else
        Report(AnomalySeverity::Error, "jpeg.segment-past-end", s.offset + 2, s.offset + 4,
               ResultLine("セグメント長(%u [byte])がデータの終わりを%llu [byte]超えています", s.length,
                          static_cast<unsigned long long>(s.end - walkEnd_)),
               head);
    EndWithoutEoi();
    return false;
}

void CJpegAnalyzer::Invalid(uint64_t offset, uint32_t marker, bool report)
{
    // Fill bytes and stuffing are no markers worth an entry; the detailed
    // tree shows only what the walk accepted.
    if (marker == 0xFFFF || marker == 0xFF00)
        return;
    Entry(ResultLine("[%08lx] 不正なマーカ(0x%04X)", offset, marker));
    if (report)
        Report(AnomalySeverity::Error, "jpeg.invalid-marker", offset, offset + 2,
               ResultLine("ここにあってはならないマーカ(0x%04X)です", marker));
}

LineId CJpegAnalyzer::Dispatch(FILE* fp, Segment& s, const JpegScan* scan)
{
    anySeen_ = true;
    const uint32_t m = s.marker;
    const LineId head = Head(s);
    if (m == kSoi)
        soiSeen_ = true;
    else if (m == kDqt || m == kDht)
        Tables(s, head);
    else if (m == kDac)
        Conditioning(s, head);
    else if (m == kDri || m == kDnl || m == kExp)
        SmallSegment(s, head);
    else if (m == kDhp || IsFrame(m))
        Frame(s, head);
    else if (m == kSos)
        ScanFields(s, *scan, head);
    else if (m == kCom)
        Comment(s, head);
    else if (IsApp(m))
        App(fp, s, head);
    if (m == kSos) {
        std::vector<JpegFieldProblem> problems;
        CJpegFieldChecks::Scan(s.payload, parser_.StreamFrame(), *scan, problems);
        ReportFields(problems, s, head);
        QuantTablesOf(s, *scan, head);
    }
    out_.Expand(head);
    if (!s.hasLength)
        return head;
    SeekTo(fp, s.end);
    if (m == kSos && !s.pastEnd) {
        ++scans_;
        inScan_ = true;
        nextRestart_ = 0;
        if (Detailed())
            DecodeScan(fp, head);
    }
    return head;
}

LineId CJpegAnalyzer::Head(const Segment& s)
{
    const std::string text = OffsetLine(s.offset, NameOf(s.marker));
    Entry(text);
    // A segment's head line covers the segment by its length.
    return Line(parentItem, text, s.offset, s.hasLength ? std::max(s.end, s.offset + 2) : s.offset + 2);
}

LineId CJpegAnalyzer::FieldLength(const Segment& s, LineId head)
{
    const uint64_t p = s.offset + 2;
    if (s.payload.data == nullptr && s.length == 0)
        return 0;
    return Line(head, ResultLine("[%08lx] Field Length = %d [byte]", p, static_cast<int>(s.length)), p, p + 2);
}

void CJpegAnalyzer::Tables(const Segment& s, LineId head)
{
    std::vector<JpegTableRecord> records;
    const bool quant = s.marker == kDqt;
    if (quant && !Detailed())
        return;
    if (quant)
        parser_.Dqt(s.payload, &records);
    else
        parser_.Dht(s.payload, Detailed() ? &records : nullptr);
    if (!Detailed())
        return;
    FieldLength(s, head);
    const uint64_t base = s.offset + 4;
    const LineId group = Line(head, ResultLine(quant ? "[%08lx] Quantization Table" : "[%08lx] Define Huffman Table", base),
                                 base, base + (records.empty() ? 0 : records.back().end));
    for (const JpegTableRecord& r : records) {
        const uint64_t first = base + r.at, last = base + r.end - 1;
        const std::string text =
            quant ? ResultLine("Quantization Table #%d (0x%08lX - 0x%08lX)", static_cast<int>(r.selector), first, last)
                  : ResultLine("Huffman Table (%s) #%d (0x%08lX - 0x%08lX)", (r.selector >> 4) ? "AC" : "DC",
                               static_cast<int>(r.selector & 0x0F), first, last);
        Line(group, text, first, last + 1);
        out_.Expand(group);
    }
    std::vector<JpegFieldProblem> problems;
    if (quant)
        CJpegFieldChecks::Dqt(s.payload, records, problems);
    else
        CJpegFieldChecks::Dht(s.payload, records, problems);
    for (const JpegTableRecord& r : records)
        if (quant && r.valid)
            sixteenBits_[r.selector & 0x0F] = (r.selector >> 4) == 1;
    ReportFields(problems, s, head);
}

// DAC (T.81 B.2.4.3): the conditioning of arithmetic decoding, the bounds L
// and U for DC tables and Kx for AC tables.
void CJpegAnalyzer::Conditioning(const Segment& s, LineId head)
{
    std::vector<JpegTableRecord> records;
    parser_.Dac(s.payload, &records);
    if (!Detailed())
        return;
    FieldLength(s, head);
    const uint64_t base = s.offset + 4;
    const LineId group = Line(head, ResultLine("[%08lx] Arithmetic Coding Conditioning", base), base,
                                 base + (records.empty() ? 0 : records.back().end));
    for (const JpegTableRecord& r : records) {
        const uint64_t first = base + r.at, last = base + r.end - 1;
        const int destination = static_cast<int>(r.selector & 0x0F);
        const std::string text =
            (r.selector >> 4) ? ResultLine("Conditioning Table (AC) #%d : Kx = %d (0x%08lX - 0x%08lX)", destination,
                                           static_cast<int>(r.value), first, last)
                              : ResultLine("Conditioning Table (DC) #%d : L = %d, U = %d (0x%08lX - 0x%08lX)", destination,
                                           static_cast<int>(r.value & 0x0F), static_cast<int>(r.value >> 4), first, last);
        Line(group, text, first, last + 1);
    }
    out_.Expand(group);
}

void CJpegAnalyzer::Frame(const Segment& s, LineId head)
{
    const bool first = !frameSeen_ && !hierarchical_;
    const JpegFrame frame = parser_.Frame(s.marker, s.payload);
    if (s.marker == kDhp)
        hierarchical_ = true;
    else
        frameSeen_ = true;
    if (first && !Detailed())
        Summary(frame);
    if (Detailed()) {
        if (IsFrame(s.marker))
            Line(head, ResultLine("[%08lx] %s", s.offset, kProcesses[s.marker & 0x0F]), s.offset, s.offset + 2);
        FieldLength(s, head);
        FrameFields(s, frame, head);
    }
    std::vector<JpegFieldProblem> problems;
    CJpegFieldChecks::Frame(s.payload, frame, problems);
    ReportFields(problems, s, head);
    if (first && frame.headerRead && frame.lines == 0) {
        zeroLinesAt_ = s.offset + 5;
        zeroLinesHead_ = FieldLine(head, zeroLinesAt_);
    }
}

void CJpegAnalyzer::FrameFields(const Segment& s, const JpegFrame& frame, LineId head)
{
    const uint64_t base = s.offset + 4;
    const size_t size = s.payload.size;
    if (size >= 1)
        Line(head, ResultLine("[%08lx] Bit Accuracy = %d [bits/pixel]", base, static_cast<int>(s.payload.data[0])), base,
             base + 1);
    if (size >= 3)
        Line(head, ResultLine("[%08lx] Vertical Size = %d [lines]", base + 1, static_cast<int>(Be16(s.payload.data + 1))),
             base + 1, base + 3);
    if (size >= 5)
        Line(head,
             ResultLine("[%08lx] Horizontal Size = %d [pixels]", base + 3, static_cast<int>(Be16(s.payload.data + 3))),
             base + 3, base + 5);
    if (size < 6)
        return;
    const uint64_t countAt = base + frame.countAt;
    const LineId count = Line(head, ResultLine("[%08lx] Component Number = %d", countAt, static_cast<int>(s.payload.data[5])),
                                 countAt, base + 6 + 3 * frame.components.size());
    for (const FrameComponent& comp : frame.components) {
        const uint64_t at = base + comp.offset;
        const LineId item =
            Line(count, ResultLine("[%08lx] Number of Component = %d", at, static_cast<int>(comp.identifier)), at, at + 3);
        out_.Insert(item, ResultLine("Ratio = 0x%x", comp.sampling));
        out_.Insert(item, ResultLine("Quantization Table Selection = %d", static_cast<int>(comp.quantSelector)));
        out_.Expand(item);
    }
    out_.Expand(count);
}

// The summary of the first frame: its size and how its components are
// sampled.
void CJpegAnalyzer::Summary(const JpegFrame& frame)
{
    if (!frame.headerRead)
        return;
    request_.run->AppendSummary(
        ResultLine("[画像サイズ]%5d x %5d ", static_cast<int>(frame.samplesPerLine), static_cast<int>(frame.lines)));
    // The components the frame declares, and those the file holds whole.
    const size_t declared = frame.components.size() + (frame.complete ? 0 : 1);
    const std::vector<FrameComponent>& c = frame.components;
    std::string chroma;
    if (declared == 1 && frame.complete) {
        chroma = "[クロマフォーマット]モノクロ ";
    } else if (c.size() == 4 && frame.complete) {
        chroma = std::string("[クロマフォーマット]") + (adobeTransform_ == 2 ? "YCCK " : "CMYK ") + Factors(c) + " ";
    } else if (c.size() >= 2) {
        // Cb and Cr sampled alike have a name by their ratio to luma; any
        // other layout shows every component's factors.
        const bool alike = c.size() != 3 || c[1].sampling == c[2].sampling;
        const char* name = alike && frame.complete ? ChromaName(c[0].sampling, c[1].sampling) : nullptr;
        chroma = name ? name : "[クロマフォーマット]" + Factors(c) + " ";
    }
    if (!chroma.empty())
        request_.run->AppendSummary(chroma);
}

void CJpegAnalyzer::ScanFields(const Segment& s, const JpegScan& scan, LineId head)
{
    if (!Detailed())
        return;
    FieldLength(s, head);
    const uint64_t base = s.offset + 4;
    if (s.payload.size < 1)
        return;
    const LineId count = Line(head, ResultLine("[%08lx] Component Number = %d", base, static_cast<int>(s.payload.data[0])),
                                 base, base + 1 + 2 * scan.components.size());
    const bool arithmetic = parser_.HasFrame() && IsArithmetic(parser_.StreamFrame().marker);
    for (const JpegScanComponentField& f : scan.components) {
        const uint64_t at = base + f.at;
        const LineId item = Line(count, ResultLine("[%08lx] Component Selector = %d", at, static_cast<int>(f.component.selector)),
                                    at, at + 2);
        out_.Insert(item, ResultLine(arithmetic ? "Arithmetic Conditioning Table Selection (DC, AC) = (#%d, #%d)"
                                                : "Huffman Table Selection (DC, AC) = (#%d, #%d)",
                                     static_cast<int>(f.component.tableSelection >> 4),
                                     static_cast<int>(f.component.tableSelection & 0x0F)));
        out_.Expand(item);
    }
    out_.Expand(count);
    const char* fields[] = {"[%08lx] Scan Start Position = %d", "[%08lx] Scan End Position = %d",
                            "[%08lx] Successive Approximation = %d"};
    for (size_t i = 0; i < 3; ++i) {
        const size_t at = scan.selectionAt + i;
        if (at >= s.payload.size)
            return;
        const uint32_t value = s.payload.data[at];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        const LineId item = Line(head, ResultLine(fields[i], base + at, static_cast<int>(value)), base + at, base + at + 1);
#pragma GCC diagnostic pop
        if (i == 2) {
            out_.Insert(item, ResultLine("Ah = %d / Al = %d", static_cast<int>(value >> 4), static_cast<int>(value & 0x0F)));
            out_.Expand(item);
        }
    }
}

// DRI, DNL and EXP: one field each.
void CJpegAnalyzer::SmallSegment(const Segment& s, LineId head)
{
    uint32_t value = 0;
    bool whole = false;
    if (s.marker == kDri)
        whole = parser_.Dri(s.payload, &value);
    else if (s.marker == kDnl)
        whole = dnlSeen_ = parser_.Dnl(s.payload, &value);
    else
        whole = parser_.Exp(s.payload, &value);
    if (!Detailed())
        return;
    FieldLength(s, head);
    if (!whole)
        return;
    const uint64_t p = s.offset + 4;
    if (s.marker == kDri) {
        Line(head, ResultLine("[%08lx] Restart Interval = %d [MCU]", p, static_cast<int>(value)), p, p + 2);
    } else if (s.marker == kDnl) {
        Line(head, ResultLine("[%08lx] Number of Lines = %d", p, static_cast<int>(value)), p, p + 2);
    } else {
        // Eh and Ev (T.81 B.3.3): whether the reference components are
        // expanded across and down.
        const LineId item = Line(head, ResultLine("[%08lx] Expand = 0x%02x", p, value), p, p + 1);
        out_.Insert(item, ResultLine("Horizontal = %d", static_cast<int>(value >> 4)));
        out_.Insert(item, ResultLine("Vertical = %d", static_cast<int>(value & 0x0F)));
        out_.Expand(item);
    }
}

// A comment, line by line (a line ends at a newline, which its range takes
// in with a carriage return before it), every byte of it in some line. A
// line longer than a result line can show goes on in the next one, cut at a
// character boundary.
void CJpegAnalyzer::Comment(const Segment& s, LineId head)
{
    if (!Detailed())
        return;
    FieldLength(s, head);
    const size_t size = std::min(s.payload.size, s.payload.declared);
    const char* text = reinterpret_cast<const char*>(s.payload.data);
    const uint64_t base = s.offset + 4;
    size_t pos = 0;
    while (pos < size) {
        const char* newline = static_cast<const char*>(std::memchr(text + pos, '\n', size - pos));
        const size_t lineEnd = newline ? static_cast<size_t>(newline - text) : size;
        size_t shownEnd = lineEnd;
        if (shownEnd > pos && text[shownEnd - 1] == '\r')
            --shownEnd;
        size_t used = 0;
        const std::string shown = FileText(text + pos, shownEnd - pos, kMaxCommentBytes, &used);
        // A line cut short goes on after what was shown; otherwise the next
        // line starts after the newline.
        const size_t next = pos + used < shownEnd && used > 0 ? pos + used : (newline ? lineEnd + 1 : size);
        Line(head, ResultLine("[%08lx] Comment : %s", base + pos, shown.c_str()), base + pos, base + next);
        pos = next;
    }
}

void CJpegAnalyzer::App(FILE* fp, const Segment& s, LineId head)
{
    // Adobe (APP14): version, two flag words, then the colour transform,
    // which decides what four components are and whether three are RGB.
    const JpegPayload& p = s.payload;
    const bool adobe = s.marker == 0xFFEE && p.size >= 5 && p.declared >= 5 && std::memcmp(p.data, "Adobe", 5) == 0;
    if (adobe && adobeTransform_ < 0 && p.size >= 12 && p.declared >= 12)
        adobeTransform_ = p.data[11];
    // Version, two flag words and the transform follow the identifier
    // (Adobe Technical Note 5116): readers take the transform from there.
    if (adobe && p.declared < 12)
        Report(AnomalySeverity::Error, "jpeg.app-mismatch", s.offset + 2, s.end,
               ResultLine("Adobeセグメントが%zu [byte]しかありません(12 [byte]のはず)", p.declared), head);
    // A JFIF header holds 14 bytes before its thumbnail (JFIF 1.02). The
    // rough walk does not read APP0.
    if (s.marker == kApp0 && p.size >= 5 && std::memcmp(p.data, "JFIF", 5) == 0 && p.declared < 14)
        Report(AnomalySeverity::Error, "jpeg.app-mismatch", s.offset + 2, s.end,
               ResultLine("JFIFセグメントが%zu [byte]しかありません(14 [byte]以上のはず)", p.declared), head);
    if (!Detailed())
        return;
    FieldLength(s, head);
    app_->LayOut(fp, s.marker, s.offset, s.length, {p.data, p.size}, head);
}

void CJpegAnalyzer::DecodeScan(FILE* fp, LineId scanHead)
{
    imageDataStart_ = StreamPosition(fp);
    // The range ends where the walk finds the next marker (EndImageData).
    imageData_ = Line(parentItem, ResultLine("[%08lx] Image Data", imageDataStart_), imageDataStart_, imageDataStart_ + 1);
    if (!request_.drawPictures)
        return;
    if (!pictureStarted_)
        StartPicture(scanHead);
    if (pictureDrawn_ && request_.run->CancelRequested()) {
        cancelled_ = true;
    } else if (pictureDrawn_) {
        const JpegScanOutcome outcome = decoder_->DecodeScan(fp, 0, parser_);
        if (scanOutcome_ == JpegScanOutcome::Complete)
            scanOutcome_ = outcome;
        // The decoder has passed over the restart markers the walk would
        // have met; one that broke off may have read past the data's end.
        uint64_t stop = StreamPosition(fp);
        if (parser_.Tables().restartInterval || outcome != JpegScanOutcome::Complete)
            stop = DataEndBefore(fp, imageDataStart_, stop);
        ScanOutcome(outcome, stop);
    }
}

// Paints what the scans decoded and records how the decoding went.
void CJpegAnalyzer::FinishPicture()
{
    if (!cancelled_)
        decoder_->Finish();
    DecodeOutcome outcome = DecodeOutcome::Complete;
    const char* reason = "";
    switch (scanOutcome_) {
    case JpegScanOutcome::Complete: break;
    case JpegScanOutcome::DataEnded: outcome = DecodeOutcome::EndedEarly, reason = "データが途中で終わっている"; break;
    case JpegScanOutcome::BadData: outcome = DecodeOutcome::EndedEarly, reason = "表にない符号か範囲外の値"; break;
    case JpegScanOutcome::MissingRestart: outcome = DecodeOutcome::EndedEarly, reason = "RSTnがない"; break;
    case JpegScanOutcome::Unsupported: outcome = DecodeOutcome::NotSupported, reason = "描画しないスキャン"; break;
    case JpegScanOutcome::OverBudget: outcome = DecodeOutcome::NotSupported, reason = "スキャンが多すぎる"; break;
    }
    if (noPixels_)
        outcome = DecodeOutcome::NotSupported, reason = "画像が大きすぎる";
    request_.run->RecordDecode(request_.pictureLabel, cancelled_ ? DecodeOutcome::Cancelled : outcome, reason);
    request_.run->PictureDone(pictureIndex_);
}

// The picture window of the frame, at its first scan; a frame this program
// does not draw says so under that scan and gets no window.
void CJpegAnalyzer::StartPicture(LineId scanHead)
{
    pictureStarted_ = true;
    const JpegFrame& frame = parser_.StreamFrame();
    if (hierarchical_ || !parser_.HasFrame() || !CJpegFrameDecoder::Drawable(frame)) {
        out_.Insert(scanHead, kUnsupported);
        request_.run->RecordDecode(request_.pictureLabel, DecodeOutcome::NotSupported,
                                   hierarchical_ ? "階層型"
                                   : !parser_.HasFrame()
                                       ? "フレームがない"
                                       : ResultLine("SOF%u %uビット %zu成分", frame.marker & 0x0F, frame.precision,
                                                    frame.components.size()));
        return;
    }
    const int32_t width = static_cast<int32_t>(frame.samplesPerLine);
    const int32_t height = static_cast<int32_t>(frame.lines);
    pictureIndex_ =
        request_.run->AddPicture(PathFileName(request_.path ? request_.path : ""), width, height, request_.pictureLabel);
    const bool direct = CJpegFrameDecoder::DecodesDirectly(parser_, adobeTransform_);
    // Most frames can be drawn in part: reduced beyond the picture budget,
    // or the region a shell asks for. Those decoded through coefficient
    // planes need the planes whole all the same.
    const bool inPart = direct || (!CJpegFrameDecoder::TooLarge(frame) &&
                                   CJpegFrameDecoder::DrawsInPart(parser_, adobeTransform_));
    const PictureRegion view = inPart ? request_.run->ViewOf(pictureIndex_, frame.samplesPerLine, frame.lines)
                                      : PictureRegion{0, 0, frame.samplesPerLine, frame.lines, 0};
    const bool partial = view.shift != 0 || view.width != frame.samplesPerLine || view.height != frame.lines;
    CJpegScanDecoder::Target target;
    int32_t shownWidth = width;
    int32_t shownHeight = height;
    if (partial) {
        // A view's sides, reduced, are below 2^31.
        const uint64_t step = uint64_t{1} << view.shift;
        shownWidth = static_cast<int32_t>((view.width + step - 1) >> view.shift);
        shownHeight = static_cast<int32_t>((view.height + step - 1) >> view.shift);
        target.partial = true;
        target.viewX = view.x;
        target.viewY = view.y;
        target.viewWidth = view.width;
        target.viewHeight = view.height;
        target.shift = view.shift;
    }
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(shownWidth);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(shownHeight);
    uint8_t* pixels = nullptr;
    if (inPart && !request_.run->PixelsLookedAt()) {
        // Nobody looks at the pixels: the picture is described as drawn and
        // its scans decoded, for what they find, into a working buffer that
        // holds the picture's first pixel alone.
        if (request_.run->DescribePicture(bitmapWidth, bitmapWidth - shownWidth, bitmapHeight,
                                          bitmapHeight - shownHeight)) {
            if (!workBuffer_.Pixels())
                workBuffer_.Create(16, 15, 16, 15);
            pixels = workBuffer_.Pixels();
        }
        target = {};
        target.partial = true;
        target.viewWidth = frame.samplesPerLine;
        target.viewHeight = frame.lines;
        target.shift = 31;
        target.pixels = pixels;
        target.bitmapWidth = 16;
        target.bitmapHeight = 16;
    } else {
        // A picture whose coefficients would take too much memory gets its
        // window without pixels, as one too large to draw does.
        if (direct || !CJpegFrameDecoder::TooLarge(frame))
            pixels = request_.run->PreparePicture(bitmapWidth, bitmapWidth - shownWidth, bitmapHeight,
                                                  bitmapHeight - shownHeight);
        target.pixels = pixels;
        target.bitmapWidth = bitmapWidth;
        target.bitmapHeight = bitmapHeight;
    }
    decoder_ = std::make_unique<CJpegFrameDecoder>();
    decoder_->Begin(frame, adobeTransform_, target, walkEnd_, request_.run->DecodeThreads());
    pictureDrawn_ = true;
    noPixels_ = pixels == nullptr;
    // The scans are still decoded, for what they find wrong; the line says
    // why no picture comes of them.
    if (noPixels_)
        out_.Insert(scanHead, kTooLarge);
}

void CJpegAnalyzer::EndWithoutEoi()
{
    EndImageData(walkEnd_);
    // The end of the data names where EOI would stand; it describes no
    // bytes.
    const std::string text = ResultLine(kDataEnds, walkEnd_);
    Entry(text);
    const LineId line = out_.Insert(parentItem, text);
    Report(AnomalySeverity::Error, "jpeg.missing-eoi", walkEnd_, walkEnd_, "EOIがありません", line);
}

// The bytes after EOI of a file: one line for them, then the pictures found
// there: those the MP entries of an MPF segment point to, under their
// entries, and appended JPEG streams (previews), under the line.
void CJpegAnalyzer::AfterEoi(FILE* fp)
{
    if (eoiEnd_ >= fileSize_ || fileSize_ == UINT64_MAX)
        return;
    const std::string text =
        ResultLine("[%08lx] Data after EOI (%llu [byte])", eoiEnd_, static_cast<unsigned long long>(fileSize_ - eoiEnd_));
    Entry(text);
    const LineId after = Line(parentItem, text, eoiEnd_, fileSize_);
    if (!Detailed())
        return;
    std::vector<AnalysisRequest::EmbeddedPicture> pictures = app_->MpfPictures();
    std::sort(pictures.begin(), pictures.end(),
              [](const auto& a, const auto& b) { return a.offset < b.offset; });
    for (const AnalysisRequest::EmbeddedPicture& p : pictures)
        if (p.offset < fileSize_ && p.size > 0)
            NestedJpeg(fp, p.offset, std::min(fileSize_, p.offset + std::min(p.size, fileSize_)), p.item, p.label);
    uint64_t pos = eoiEnd_;
    for (int appended = 1; pos < fileSize_; ++appended) {
        const auto covered = std::find_if(pictures.begin(), pictures.end(),
                                          [&](const auto& p) { return p.offset == pos && p.size > 0; });
        if (covered != pictures.end()) {
            pos = std::min(fileSize_, pos + covered->size);
            continue;
        }
        uint8_t head[2] = {};
        std::fseek(fp, static_cast<long>(pos), SEEK_SET);
        if (std::fread(head, 1, 2, fp) != 2 || head[0] != 0xFF || head[1] != 0xD8) {
            UnknownAfterEoi(pos, pictures, after);
            break;
        }
        NestedJpeg(fp, pos, fileSize_, after, ResultLine("EOI後の画像 %d", appended));
        const uint64_t end = StreamPosition(fp);
        if (end <= pos)
            break;
        pos = end;
    }
    out_.Expand(after);
}

void CJpegAnalyzer::NestedJpeg(FILE* fp, uint64_t offset, uint64_t end, LineId parent, const std::string& label)
{
    const CAnalysisRun::NestedScope scope(*request_.run);
    if (!scope.Allowed())
        return;
    AnalysisRequest nested;
    nested.run = request_.run;
    nested.fp = fp;
    nested.path = request_.path;
    nested.mode = request_.mode;
    nested.level = request_.level + 1;
    nested.parent = parent;
    nested.dataEnd = end;
    nested.pictureLabel = label;
    SeekTo(fp, offset);
    RunAnalyzer(kFormatJpeg, nested);
}

void CJpegAnalyzer::Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end,
                           const std::string& text, LineId line)
{
    start = std::min(start, fileSize_);
    request_.run->ReportAnomaly(severity, kind, {start, std::clamp(end, start, fileSize_)}, text, line);
}

void CJpegAnalyzer::ReportFields(const std::vector<JpegFieldProblem>& problems, const Segment& s, LineId head)
{
    const uint64_t base = s.offset + 4;
    for (const JpegFieldProblem& p : problems)
        Report(p.severity, p.kind, base + p.at, base + p.at + p.size, p.text, FieldLine(head, base + p.at));
}

// The innermost line under a segment's head whose bytes hold a field's
// first byte; the head itself when there is none (in rough mode, always).
LineId CJpegAnalyzer::FieldLine(LineId head, uint64_t at) const
{
    const CLineTree* tree = out_.Tree();
    LineId best = head;
    if (!tree || !tree->Contains(head))
        return best;
    int bestDepth = 0;
    ForEachLine(*tree, head, true, [&](LineId line, int depth) {
        ByteRange range;
        if (depth > bestDepth && tree->RangeOf(line, range) && range.Holds(at) && range.space == ByteSpace::File) {
            best = line;
            bestDepth = depth;
        }
    });
    return best;
}

// The bytes between the end of a segment and the next marker, unless they
// are all fill bytes (0xFF, T.81 B.1.1.2). Only a file broken there has
// any, so reading them again costs nothing in the common case.
void CJpegAnalyzer::StrayBytes(FILE* fp, uint64_t from, uint64_t markerAt)
{
    const uint64_t back = StreamPosition(fp);
    std::fseek(fp, static_cast<long>(from), SEEK_SET);
    uint64_t at = from;
    for (int c; at < markerAt && (c = GetByte(fp)) == 0xFF;)
        ++at;
    std::fseek(fp, static_cast<long>(back), SEEK_SET);
    if (at < markerAt)
        Report(AnomalySeverity::Error, "jpeg.marker-missing", at, markerAt,
               ResultLine("マーカがあるべき所にデータ(%llu [byte])があります",
                          static_cast<unsigned long long>(markerAt - at)));
}

// A scan the walk refuses although its frame is known: it names a component
// the frame lacks, or a Huffman table no DHT segment defined.
void CJpegAnalyzer::UnusableScan(const Segment& s, const JpegScan& scan)
{
    bool unknown = false, dc = false;
    const JpegScanComponentField* field = parser_.FirstLacking(scan, &unknown, &dc);
    if (!field)
        return;
    const uint64_t at = s.offset + 4 + field->at;
    const uint32_t selection = field->component.tableSelection;
    if (unknown)
        Report(AnomalySeverity::Error, "jpeg.undefined-component", at, at + 1,
               ResultLine("スキャンがフレームにない成分%uを指定しています", field->component.selector));
    else if ((dc ? selection >> 4 : selection & 0x0F) <= 3)
        Report(AnomalySeverity::Error, "jpeg.undefined-table", at + 1, at + 2,
               ResultLine("スキャンが定義されていないハフマンテーブル(%s) #%u を指定しています", dc ? "DC" : "AC",
                          dc ? selection >> 4 : selection & 0x0F));
}

// The quantisation tables of a DCT scan's components must be defined when
// the scan starts (T.81 B.2.4.1). Detailed mode only: the rough walk does
// not read DQT.
void CJpegAnalyzer::QuantTablesOf(const Segment& s, const JpegScan& scan, LineId head)
{
    if (!Detailed() || !parser_.HasFrame() || IsLossless(parser_.StreamFrame().marker) || !scan.valid)
        return;
    const JpegFrame& frame = parser_.StreamFrame();
    for (const JpegScanComponentField& f : scan.components) {
        const auto c = std::find_if(frame.components.begin(), frame.components.end(),
                                    [&](const FrameComponent& fc) { return fc.identifier == f.component.selector; });
        if (c == frame.components.end() || c->quantSelector > 3)
            continue;
        if (!parser_.Tables().quantPresent[c->quantSelector])
            Report(AnomalySeverity::Error, "jpeg.undefined-table", s.offset, s.offset + 2,
                   ResultLine("成分%uの量子化テーブル #%u が定義されていません", c->identifier, c->quantSelector), head);
        // Baseline frames take 8-bit tables only (T.81 B.2.4.1); decoders
        // read 16-bit ones all the same.
        else if (frame.marker == kSof0 && sixteenBits_[c->quantSelector])
            Report(AnomalySeverity::Warning, "jpeg.field-range", s.offset, s.offset + 2,
                   ResultLine("ベースラインのフレームが16ビットの量子化テーブル #%u を使っています", c->quantSelector),
                   head);
    }
}

// RST0 to RST7 follow each other in turn through a scan, from RST0 (T.81
// B.2.1): a marker out of turn means intervals were lost or repeated.
void CJpegAnalyzer::RestartMarker(uint32_t marker, uint64_t at)
{
    const uint32_t n = marker - kRst0;
    if (n != nextRestart_)
        Report(AnomalySeverity::Error, "jpeg.restart-sequence", at, at + 2,
               ResultLine("RST%uのはずがRST%uです", nextRestart_, n), imageData_);
    nextRestart_ = (n + 1) & 7;
}

// Reads the entropy-coded data [from, to) that a decoder passed over in
// blocks, checking its restart markers; returns where the first other marker
// stands (the data's end), to when none does, and leaves the stream there.
uint64_t CJpegAnalyzer::DataEndBefore(FILE* fp, uint64_t from, uint64_t to)
{
    constexpr size_t kBlock = 65536;
    std::vector<uint8_t> block(kBlock);
    std::fseek(fp, static_cast<long>(from), SEEK_SET);
    uint32_t previous = 0;
    for (uint64_t at = from; at < to;) {
        const size_t got = std::fread(block.data(), 1, static_cast<size_t>(std::min<uint64_t>(kBlock, to - at)), fp);
        if (got == 0)
            break;
        for (size_t i = 0; i < got; ++i) {
            const uint32_t marker = 0xFF00u | block[i];
            if (previous == 0xFF && IsRestart(marker)) {
                RestartMarker(marker, at + i - 1);
            } else if (previous == 0xFF && block[i] != 0 && block[i] != 0xFF) {
                to = at + i - 1;
                break;
            }
            previous = block[i];
        }
        at += got;
    }
    std::fseek(fp, static_cast<long>(to), SEEK_SET);
    return to;
}

// A scan the decoder could not finish.
void CJpegAnalyzer::ScanOutcome(JpegScanOutcome outcome, uint64_t stop)
{
    const char* text = outcome == JpegScanOutcome::DataEnded       ? "スキャンのデータが途中で終わっています"
                       : outcome == JpegScanOutcome::BadData        ? "スキャンのデータに表にない符号か範囲外の値があります"
                       : outcome == JpegScanOutcome::MissingRestart ? "スキャンの途中でRSTnが見つかりません"
                                                                    : nullptr;
    if (text)
        Report(AnomalySeverity::Error, "jpeg.scan-ended-early", imageDataStart_, stop, text, imageData_);
}

// Bytes after EOI that are neither an appended JPEG stream nor a picture an
// MPF entry points to: up to the next such picture, or the end of the file.
// Cameras append data of their own: a warning.
void CJpegAnalyzer::UnknownAfterEoi(uint64_t from, const std::vector<AnalysisRequest::EmbeddedPicture>& pictures,
                                    LineId line)
{
    uint64_t end = fileSize_;
    for (const AnalysisRequest::EmbeddedPicture& p : pictures)
        if (p.offset > from && p.size > 0)
            end = std::min(end, p.offset);
    Report(AnomalySeverity::Warning, "jpeg.data-after-eoi", from, end,
           ResultLine("EOIの後に画像ではないデータ(%llu [byte])があります", static_cast<unsigned long long>(end - from)),
           line);
}
