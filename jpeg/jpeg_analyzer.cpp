#include "jpeg/jpeg_analyzer.h"

#include <algorithm>
#include <cstring>
#include <utility>
#include <string>

#include "core/analysis_app.h"
#include "core/analysis_tree.h"
#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "image/image_buffer.h"
#include "codec/jpeg_scan_decoder.h"

namespace {

// Value of the reader's byte cache after a read that met the end of the file;
// it never counts as a 0xFF byte.
constexpr uint32_t kEndOfFile = 0x100;

// A comment line is "[%08lx] Comment : " and the text; the text gets what is
// left of the 511 bytes.
constexpr size_t kCommentPrefixBytes = 21;
constexpr size_t kMaxCommentBytes = kMaxLineBytes - kCommentPrefixBytes;

#if defined(__GLIBC__) || defined(__unix__)
inline int GetByte(FILE* fp) { return getc_unlocked(fp); }
#else
inline int GetByte(FILE* fp) { return std::getc(fp); }
#endif

struct MarkerRule {
    uint32_t marker;
    uint32_t needed;     // seen-marker members that must all be present
    uint32_t excluded;   // members of which none may be present
    uint32_t seen;       // the member that an accepted marker adds
};

// Where each marker is accepted; any marker not listed never is. SOI only
// comes first, the tables and the frame only before the scan, and the scan
// only after both tables and the frame; APP0 to APP15 anywhere after SOI, any
// number of times (kAppRule).
constexpr MarkerRule kMarkerRules[] = {
    {0xFFD8, 0, ~0u, CJpegAnalyzer::kSeenSOI},
    {0xFFDB, CJpegAnalyzer::kSeenSOI, CJpegAnalyzer::kSeenSOS, CJpegAnalyzer::kSeenDQT},
    {0xFFC4, CJpegAnalyzer::kSeenSOI, CJpegAnalyzer::kSeenSOS, CJpegAnalyzer::kSeenDHT},
    {0xFFC0, CJpegAnalyzer::kSeenSOI, CJpegAnalyzer::kSeenSOF0 | CJpegAnalyzer::kSeenSOS, CJpegAnalyzer::kSeenSOF0},
    {0xFFDD, CJpegAnalyzer::kSeenSOI, CJpegAnalyzer::kSeenDRI | CJpegAnalyzer::kSeenSOS, CJpegAnalyzer::kSeenDRI},
    {0xFFDA, CJpegAnalyzer::kSeenSOI | CJpegAnalyzer::kSeenDQT | CJpegAnalyzer::kSeenDHT | CJpegAnalyzer::kSeenSOF0,
     CJpegAnalyzer::kSeenSOS, CJpegAnalyzer::kSeenSOS},
    {0xFFFE, 0, 0, CJpegAnalyzer::kSeenCOM},
    {0xFFD9, 0, 0, CJpegAnalyzer::kSeenEOI},
};

constexpr MarkerRule kAppRule = {0xFFE0, CJpegAnalyzer::kSeenSOI, 0, 0};

// Application segments: their marker's low nibble is n.
constexpr bool IsAppMarker(uint32_t marker)
{
    return marker >= 0xFFE0 && marker <= 0xFFEF;
}

constexpr const MarkerRule* FindMarkerRule(uint32_t marker)
{
    if (IsAppMarker(marker))
        return &kAppRule;
    for (const MarkerRule& rule : kMarkerRules)
        if (rule.marker == marker)
            return &rule;
    return nullptr;
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

// The chroma text of two sampling bytes (horizontal factor in the high
// nibble); none for a ratio that is not a whole number or has no name.
const char* ChromaText(uint32_t first, uint32_t second)
{
    const uint32_t h1 = first >> 4, v1 = first & 0x0F, h2 = second >> 4, v2 = second & 0x0F;
    if (h2 == 0 || v2 == 0 || h1 % h2 != 0 || v1 % v2 != 0)
        return nullptr;
    for (const ChromaLayout& layout : kChromaLayouts)
        if (h1 / h2 == layout.horizontal && v1 / v2 == layout.vertical)
            return layout.text;
    return nullptr;
}

}  // namespace

uint32_t CJpegAnalyzer::Read(FILE* fp, uint32_t bits)
{
    JpegBits out;
    return reader.ReadBits(&out, fp, bits)->value;
}

void CJpegAnalyzer::SeekTo(FILE* fp, uint64_t offset)
{
    std::fseek(fp, static_cast<long>(offset < fileSize_ ? offset : fileSize_), SEEK_SET);
}

ByteRange CJpegAnalyzer::Span(uint64_t start, uint64_t end) const
{
    return {start, std::min(end, fileSize_)};
}

HTREEITEM CJpegAnalyzer::Field(FILE* fp, HTREEITEM parent, uint64_t start, const std::string& text)
{
    return out_.Insert(parent, text, Span(start, StreamPosition(fp)));
}

HTREEITEM CJpegAnalyzer::Head(uint64_t offset, const std::string& text)
{
    Entry(text);
    head_ = out_.Insert(parentItem, text, Span(offset, offset + 2));
    headOffset_ = offset;
    return head_;
}

void CJpegAnalyzer::Entry(const std::string& text)
{
    // The segments of a top-level file are entries of level 1.
    if (!Detailed())
        request_.app->AddEntry(request_.level + 1, text.c_str());
}

void CJpegAnalyzer::Summary(const char* text)
{
    if (!Detailed() && text)
        request_.app->AppendResultText(0, text);
}

void CJpegAnalyzer::SetRange(HTREEITEM item, uint64_t start, uint64_t end)
{
    if (item && out_.Tree())
        out_.Tree()->SetItemRange(item, Span(start, end));
}

void CJpegAnalyzer::EndImageData(uint64_t end)
{
    SetRange(imageData_, imageDataStart_, end);
    imageData_ = 0;
}

void CJpegAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    FILE* fp = request.fp;
    ITreeControl* tree = request.app->ActiveTree();
    parentItem = tree ? ChooseBaseParent(*tree, request.level) : TVI_ROOT;
    out_ = CTreeWriter(Detailed() ? tree : nullptr);
    const uint64_t size = StreamSize(fp);
    fileSize_ = size ? size : UINT64_MAX;
    appLayout_ = std::make_unique<CJpegAppLayout>(request_, out_, fileSize_);

    uint32_t seenMarkers = 0;
    for (;;) {
        if (std::feof(fp)) {
            EndImageData(fileSize_);
            break;
        }
        const uint32_t marker = ReadMarker(fp);
        const uint64_t position = StreamPosition(fp);
        // The entropy-coded data runs up to the first marker after it that
        // is not a restart marker (those belong to the data, ITU-T T.81 B.2.1).
        if (marker < 0xFFD0 || marker > 0xFFD7)
            EndImageData(marker ? position - 2 : fileSize_);
        const uint64_t segmentEnd = SegmentEnd(fp, marker, position);
        head_ = 0;
        if (!Dispatch(fp, marker, position, seenMarkers))
            break;
        // Accepted or not, a segment is passed over by its length, so that
        // 0xFF bytes in its payload (a thumbnail, a profile) are never taken
        // for markers of the file's own. The walk never goes back.
        if (segmentEnd != 0 && segmentEnd >= StreamPosition(fp)) {
            SeekTo(fp, segmentEnd);
            reader.Reset();
            scanPreviousByte_ = 0;
        }
        // A segment's head line covers the bytes the walk passed over for it:
        // the segment by its length, or what was read of it when the length
        // cannot be trusted.
        SetRange(head_, headOffset_, std::max(StreamPosition(fp), headOffset_ + 2));
        if (Detailed() && (seenMarkers & kSeenSOS) && !(seenMarkers & kSeenImageData)) {
            OnImageData(fp);
            reader.Reset();
            seenMarkers |= kSeenImageData;
        }
    }
    if (Detailed())
        appLayout_->Finish(fp);
}

bool CJpegAnalyzer::Dispatch(FILE* fp, uint32_t marker, uint64_t position, uint32_t& seenMarkers)
{
    const MarkerRule* rule = FindMarkerRule(marker);
    if (!rule || (seenMarkers & rule->needed) != rule->needed || (seenMarkers & rule->excluded) != 0) {
        OnInvalidMarker(fp, position, marker);
        return true;
    }
    lengthRead_ = false;
    switch (marker) {
    case 0xFFD8: OnSOI(fp, position); break;
    case 0xFFDB: OnDQT(fp, position); break;
    case 0xFFC4: OnDHT(fp, position); break;
    case 0xFFC0: OnSOF(fp, position); break;
    case 0xFFDD: OnDRI(fp, position); break;
    case 0xFFDA: OnSOS(fp, position); break;
    case 0xFFFE: OnCOM(fp, position); break;
    case 0xFFD9: OnEOI(fp, position); return false;
    default:
        if (IsAppMarker(marker))
            OnAPPn(fp, position, marker);
        break;
    }
    // Each segment is read once, whichever the mode. Rough mode lists it and
    // passes it over by its length, the reader as it stood after the length.
    if (!Detailed() && lengthRead_) {
        reader = afterLength_;
        SeekTo(fp, skipTo_);
    }
    seenMarkers |= rule->seen;
    return true;
}

// Takes bytes until a byte other than 0xFF follows a 0xFF byte that was not
// stuffing; returns the pair as the marker, or 0 at the end of the file. The first byte goes
// through the reader, whose cache decides whether it is stuffing; the rest are
// taken straight from the stream by the reader's own rules (a 0x00 after a
// 0xFF is skipped, the end of the file is never a 0xFF), and the reader is left
// in the state those reads would have left it in.
uint32_t CJpegAnalyzer::ReadMarker(FILE* fp)
{
    if (std::feof(fp))
        return 0;
    uint32_t accumulator = Read(fp, 8);
    if (std::feof(fp))
        return 0;
    uint32_t previous = accumulator;
    for (;;) {
        int c = GetByte(fp);
        bool stuffed = false;
        if (c == 0 && previous == 0xFF) {
            c = GetByte(fp);
            stuffed = true;
        }
        previous = c < 0 ? kEndOfFile : static_cast<uint32_t>(c);
        accumulator = accumulator * 256 + (c < 0 ? 0xFFu : previous);
        // A 0xFF after a 0xFF is a fill byte (ITU-T T.81 B.1.1.2): the
        // marker is the last 0xFF of the run and the byte after it.
        const bool marker = !stuffed && ((accumulator >> 8) & 0xFF) == 0xFF && (accumulator & 0xFF) != 0xFF;
        if (c < 0 || marker) {
            // Bring the reader's cache up to the last byte taken.
            if (c >= 0)
                std::ungetc(c, fp);
            reader.Reset();
            Read(fp, 8);
            return marker ? accumulator & 0xFFFF : 0;
        }
    }
}

uint64_t CJpegAnalyzer::SegmentEnd(FILE* fp, uint32_t marker, uint64_t position)
{
    // Markers without a length: RST0-RST7, SOI and EOI (ITU-T T.81 B.1.1.4),
    // and everything below 0xFFC0.
    if (marker < 0xFFC0 || marker > 0xFFFE || (marker >= 0xFFD0 && marker <= 0xFFD9))
        return 0;
    if (uint64_t{position} + 2 > fileSize_)
        return 0;
    // The length is peeked straight from the stream; the reader, whose cache
    // the handler starts from, is left as it is.
    const int high = GetByte(fp);
    const int low = GetByte(fp);
    std::fseek(fp, static_cast<long>(position), SEEK_SET);
    if (high < 0 || low < 0)
        return 0;
    const uint64_t length = static_cast<uint32_t>(high) << 8 | static_cast<uint32_t>(low);
    const uint64_t end = uint64_t{position} + length;
    return length >= 2 && end <= fileSize_ ? end : 0;
}

void CJpegAnalyzer::OnSOI(FILE*, uint64_t position)
{
    soiOffset_ = position - 2;
    Head(soiOffset_, ResultLine("[%08lx] SOI", soiOffset_));
}

void CJpegAnalyzer::OnEOI(FILE*, uint64_t position)
{
    eoiOffset_ = position - 2;
    Head(eoiOffset_, ResultLine("[%08lx] EOI", eoiOffset_));
}

void CJpegAnalyzer::OnInvalidMarker(FILE*, uint64_t position, uint32_t marker)
{
    // Fill bytes and stuffing are no markers worth an entry; the detailed
    // tree shows only what the walk accepted.
    if (marker == 0xFFFF || marker == 0xFF00)
        return;
    Entry(ResultLine("[%08lx] 不正なマーカ(0x%04X)", position - 2, marker));
}

uint32_t CJpegAnalyzer::ReadLength(FILE* fp, uint64_t position)
{
    const uint32_t length = Read(fp, 16);
    lengthRead_ = true;
    skipTo_ = position + length;
    afterLength_ = reader;
    return length;
}

uint32_t CJpegAnalyzer::SegmentLength(FILE* fp, HTREEITEM head)
{
    const uint64_t p = StreamPosition(fp);
    const uint32_t length = ReadLength(fp, p);
    Field(fp, head, p, ResultLine("[%08lx] Field Length = %d [byte]", p, static_cast<int>(length)));
    return length;
}

// The head line says APPn with n in decimal; in detailed mode the payload is
// read and laid out by CJpegAppLayout, with a few bytes beyond it for the
// fixed fields that the JFIF layout reads past a short segment's end (14,
// and the stuffed bytes its reader may skip).
void CJpegAnalyzer::OnAPPn(FILE* fp, uint64_t position, uint32_t marker)
{
    const uint64_t offset = position - 2;
    const HTREEITEM head = Head(offset, ResultLine("[%08lx] APP%u", offset, marker - 0xFFE0));
    const uint32_t length = SegmentLength(fp, head);
    if (!Detailed())
        return;
    constexpr uint64_t kSlack = 64;
    const uint64_t payload = StreamPosition(fp);
    const uint64_t wanted = (length >= 2 ? length - 2 : 0) + kSlack;
    appBytes_.resize(static_cast<size_t>(std::min(wanted, fileSize_ > payload ? fileSize_ - payload : 0)));
    appBytes_.resize(std::fread(appBytes_.data(), 1, appBytes_.size(), fp));
    appLayout_->LayOut(fp, marker, offset, length, appBytes_, head);
    // The walk resumes at the segment's end, whatever a nested analysis left.
    SeekTo(fp, offset + length + 2);
    reader.Reset();
}

void CJpegAnalyzer::KeepQuantTable(const QuantTable& table)
{
    for (const QuantTable& t : quantTables_)
        if (t.selector == table.selector)
            return;
    quantTables_.push_back(table);
}

void CJpegAnalyzer::KeepHuffmanTable(HuffmanTable&& table)
{
    for (const HuffmanTable& t : huffmanTables_)
        if (t.classDestination == table.classDestination)
            return;
    huffmanTables_.push_back(std::move(table));
}

void CJpegAnalyzer::OnDQT(FILE* fp, uint64_t position)
{
    dqtOffset_ = position - 2;
    const HTREEITEM head = Head(dqtOffset_, ResultLine("[%08lx] DQT", dqtOffset_));
    dqtLength_ = SegmentLength(fp, head);
    const uint64_t tablesStart = StreamPosition(fp);
    const HTREEITEM group = out_.Insert(head, ResultLine("[%08lx] Quantization Table", tablesStart));
    const uint64_t end = uint64_t{dqtOffset_} + dqtLength_ + 2;
    for (;;) {
        QuantTable table;
        const uint64_t p = StreamPosition(fp);
        table.selector = Read(fp, 8);
        // One byte per value whatever the precision nibble says.
        for (int k = 0; k < 64; ++k)
            table.value[kZigzag[k] >> 4][kZigzag[k] & 0x0F] = Read(fp, 8);
        const uint64_t last = StreamPosition(fp) - 1;
        Field(fp, group, p,
              ResultLine("Quantization Table #%d (0x%08lX - 0x%08lX)", static_cast<int>(table.selector), p, last));
        out_.Expand(group);
        KeepQuantTable(table);
        if (StreamPosition(fp) >= end || std::feof(fp))
            break;
    }
    SetRange(group, tablesStart, StreamPosition(fp));
    out_.Expand(head);
}

// One table of a DHT segment: its class and destination, the code counts
// per length and the symbols. Codes are generated canonically (ITU-T T.81
// Annex C): consecutive within a length, doubled when the length grows.
HuffmanTable CJpegAnalyzer::ReadHuffmanTable(FILE* fp)
{
    HuffmanTable table;
    table.classDestination = Read(fp, 8);
    uint32_t code = 0;
    for (uint32_t length = 1; length <= 16; ++length) {
        const uint32_t count = Read(fp, 8);
        for (uint32_t i = 0; i < count; ++i)
            table.codes.push_back({code++, length, 0});
        code <<= 1;
    }
    for (HuffmanCode& c : table.codes)
        c.symbol = Read(fp, 8);
    return table;
}

void CJpegAnalyzer::OnDHT(FILE* fp, uint64_t position)
{
    dhtOffset_ = position - 2;
    const HTREEITEM head = Head(dhtOffset_, ResultLine("[%08lx] DHT", dhtOffset_));
    dhtLength_ = SegmentLength(fp, head);
    const uint64_t tablesStart = StreamPosition(fp);
    const HTREEITEM group = out_.Insert(head, ResultLine("[%08lx] Define Huffman Table", tablesStart));
    const uint64_t end = uint64_t{dhtOffset_} + dhtLength_ + 2;
    for (;;) {
        const uint64_t p = StreamPosition(fp);
        HuffmanTable table = ReadHuffmanTable(fp);
        const uint64_t last = StreamPosition(fp) - 1;
        const char* kind = (table.classDestination >> 4) != 0 ? "AC" : "DC";
        Field(fp, group, p,
              ResultLine("Huffman Table (%s) #%d (0x%08lX - 0x%08lX)", kind,
                         static_cast<int>(table.classDestination & 0x0F), p, last));
        out_.Expand(group);
        KeepHuffmanTable(std::move(table));
        if (StreamPosition(fp) >= end || std::feof(fp))
            break;
    }
    SetRange(group, tablesStart, StreamPosition(fp));
    out_.Expand(head);
}

void CJpegAnalyzer::OnSOF(FILE* fp, uint64_t position)
{
    sofOffset_ = position - 2;
    const HTREEITEM head = Head(sofOffset_, ResultLine("[%08lx] SOF", sofOffset_));
    sofLength_ = SegmentLength(fp, head);
    uint64_t p = StreamPosition(fp);
    sofPrecision_ = Read(fp, 8);
    Field(fp, head, p, ResultLine("[%08lx] Bit Accuracy = %d [bits/pixel]", p, static_cast<int>(sofPrecision_)));
    p = StreamPosition(fp);
    sofLines_ = Read(fp, 16);
    Field(fp, head, p, ResultLine("[%08lx] Vertical Size = %d [lines]", p, static_cast<int>(sofLines_)));
    p = StreamPosition(fp);
    sofSamples_ = Read(fp, 16);
    Field(fp, head, p, ResultLine("[%08lx] Horizontal Size = %d [pixels]", p, static_cast<int>(sofSamples_)));
    Summary(ResultLine("[画像サイズ]%5d x %5d ", static_cast<int>(sofSamples_), static_cast<int>(sofLines_)).c_str());
    const uint64_t countAt = StreamPosition(fp);
    sofCount_ = Read(fp, 8);
    const HTREEITEM count =
        Field(fp, head, countAt, ResultLine("[%08lx] Component Number = %d", countAt, static_cast<int>(sofCount_)));
    const size_t first = frameComponents_.size();
    for (uint32_t i = 0; i < sofCount_; ++i) {
        FrameComponent& comp = frameComponents_.emplace_back();
        comp.offset = StreamPosition(fp);
        comp.identifier = Read(fp, 8);
        const HTREEITEM item = out_.Insert(
            count, ResultLine("[%08lx] Number of Component = %d", comp.offset, static_cast<int>(comp.identifier)),
            Span(comp.offset, comp.offset + 3));
        comp.sampling = Read(fp, 8);
        out_.Insert(item, ResultLine("Ratio = 0x%x", comp.sampling));
        comp.quantSelector = Read(fp, 8);
        out_.Insert(item, ResultLine("Quantization Table Selection = %d", static_cast<int>(comp.quantSelector)));
        out_.Expand(item);
    }
    // The count's line holds the components it counts.
    SetRange(count, countAt, StreamPosition(fp));
    out_.Expand(count);
    out_.Expand(head);
    if (sofCount_ == 1)
        Summary("[クロマフォーマット]モノクロ ");
    else if (sofCount_ >= 2)
        Summary(ChromaText(frameComponents_[first].sampling, frameComponents_[first + 1].sampling));
}

void CJpegAnalyzer::OnDRI(FILE* fp, uint64_t position)
{
    driOffset_ = position - 2;
    const HTREEITEM head = Head(driOffset_, ResultLine("[%08lx] DRI", driOffset_));
    driLength_ = SegmentLength(fp, head);
    const uint64_t p = StreamPosition(fp);
    restartInterval_ = Read(fp, 16);
    Field(fp, head, p, ResultLine("[%08lx] Restart Interval = %d [MCU]", p, static_cast<int>(restartInterval_)));
    out_.Expand(head);
    SeekTo(fp, uint64_t{position} + driLength_);
}

void CJpegAnalyzer::OnSOS(FILE* fp, uint64_t position)
{
    sosOffset_ = position - 2;
    const HTREEITEM head = Head(sosOffset_, ResultLine("[%08lx] SOS", sosOffset_));
    sosLength_ = SegmentLength(fp, head);
    const uint64_t countAt = StreamPosition(fp);
    sosCount_ = Read(fp, 8);
    const HTREEITEM count =
        Field(fp, head, countAt, ResultLine("[%08lx] Component Number = %d", countAt, static_cast<int>(sosCount_)));
    for (uint32_t i = 0; i < sosCount_; ++i) {
        ScanComponent& comp = scanComponents_.emplace_back();
        const uint64_t p = StreamPosition(fp);
        comp.selector = Read(fp, 8);
        const HTREEITEM item =
            Field(fp, count, p, ResultLine("[%08lx] Component Selector = %d", p, static_cast<int>(comp.selector)));
        comp.tableSelection = Read(fp, 8);
        out_.Insert(item, ResultLine("Huffman Table Selection (DC, AC) = (#%d, #%d)",
                                     static_cast<int>(comp.tableSelection >> 4),
                                     static_cast<int>(comp.tableSelection & 0x0F)));
        out_.Expand(item);
        out_.Expand(count);
    }
    SetRange(count, countAt, StreamPosition(fp));
    out_.Expand(head);
    uint64_t p = StreamPosition(fp);
    sosStart_ = Read(fp, 8);
    Field(fp, head, p, ResultLine("[%08lx] Scan Start Position = %d", p, static_cast<int>(sosStart_)));
    p = StreamPosition(fp);
    sosEnd_ = Read(fp, 8);
    Field(fp, head, p, ResultLine("[%08lx] Scan End Position = %d", p, static_cast<int>(sosEnd_)));
    p = StreamPosition(fp);
    sosApprox_ = Read(fp, 8);
    Field(fp, head, p, ResultLine("[%08lx] Successive Approximation = %d", p, static_cast<int>(sosApprox_)));
    scanPreviousByte_ = std::feof(fp) ? kEndOfFile : sosApprox_;
}

void CJpegAnalyzer::OnCOM(FILE* fp, uint64_t position)
{
    comOffset_ = position - 2;
    const HTREEITEM head = Head(comOffset_, ResultLine("[%08lx] COM", comOffset_));
    comLength_ = SegmentLength(fp, head);

    // A line-oriented read of at most L - 3 bytes: it stops after a newline,
    // which stays in the text. A text longer than the line can show is cut
    // (at a character boundary, counting the bytes it has in the file).
    const uint64_t p = StreamPosition(fp);
    const size_t limit = comLength_ > 3 ? comLength_ - 3 : 0;
    char text[kMaxCommentBytes + 4] = {};
    const size_t room = limit < kMaxCommentBytes + 3 ? limit : kMaxCommentBytes + 3;
    size_t n = 0;
    while (n < room) {
        const int c = std::fgetc(fp);
        if (c == EOF)
            break;
        text[n++] = static_cast<char>(c);
        if (c == '\n')
            break;
    }
    size_t kept = 0;
    const std::string shown = FileText(text, n, kMaxCommentBytes, &kept);
    if (kept < n)
        SeekTo(fp, uint64_t{p} + kept);
    // A length below 2 leaves no room for a comment, not even an empty one.
    if (comLength_ >= 2)
        Field(fp, head, p, ResultLine("[%08lx] Comment : %s", p, shown.c_str()));
    out_.Expand(head);
}

void CJpegAnalyzer::OnImageData(FILE* fp)
{
    imageDataStart_ = StreamPosition(fp);
    // The range ends where the walk finds the next marker (EndImageData).
    imageData_ = out_.Insert(parentItem, ResultLine("[%08lx] Image Data", imageDataStart_),
                             Span(imageDataStart_, imageDataStart_ + 1));

    IShell& shell = request_.app->Shell();
    const int32_t width = static_cast<int32_t>(sofSamples_);
    const int32_t height = static_cast<int32_t>(sofLines_);
    ImageRect rect{0, 0, width, height};
    shell.AddImageWindow(PathFileName(request_.path ? request_.path : ""), rect);
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(width);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(height);
    uint8_t* pixels = nullptr;
    shell.PrepareImage(bitmapWidth, bitmapWidth - width, bitmapHeight, bitmapHeight - height, &pixels);

    // From here on, whatever lies outside the decoder's tables (an identifier
    // above 7, a fourth component, a missing table, an unsupported sampling
    // layout) ends the step: the line and the window, without pixels, stay.

    // Per component identifier: the Huffman tables that the scan selects.
    struct Slot {
        const HuffmanTable* dc = nullptr;
        const HuffmanTable* ac = nullptr;
    };
    Slot slots[8];
    for (const ScanComponent& s : scanComponents_) {
        if (s.selector > 7)
            return;
        Slot slot;
        for (const HuffmanTable& t : huffmanTables_) {
            if (!slot.dc && t.classDestination == (s.tableSelection >> 4))
                slot.dc = &t;
            if (!slot.ac && t.classDestination == (s.tableSelection & 0x0F) + 0x10)
                slot.ac = &t;
        }
        slots[s.selector] = slot;
    }

    CJpegScanDecoder::Frame frame;
    frame.width = sofSamples_;
    frame.height = sofLines_;
    frame.restartInterval = restartInterval_;
    for (const FrameComponent& f : frameComponents_) {
        if (frame.componentCount == CJpegScanDecoder::kMaxComponents || f.identifier > 7)
            return;
        CJpegScanDecoder::Component& c = frame.components[frame.componentCount++];
        c.identifier = f.identifier;
        c.horizontal = f.sampling >> 4;
        c.vertical = f.sampling & 0x0F;
        for (const QuantTable& q : quantTables_)
            if (!c.quant && q.selector == f.quantSelector)
                c.quant = &q;
        c.dc = slots[f.identifier].dc;
        c.ac = slots[f.identifier].ac;
    }
    // A scan of one component is not interleaved: its MCU is one block,
    // whatever sampling factors the frame gives the component (ITU-T T.81 A.2.2).
    if (frame.componentCount == 1) {
        frame.components[0].horizontal = 1;
        frame.components[0].vertical = 1;
    }
    if (!CJpegScanDecoder::Supported(frame))
        return;

    CJpegScanDecoder::Target target;
    target.pixels = pixels;
    target.bitmapWidth = bitmapWidth;
    target.bitmapHeight = bitmapHeight;
    CJpegScanDecoder decoder;
    decoder.Decode(fp, scanPreviousByte_, frame, target);
}
