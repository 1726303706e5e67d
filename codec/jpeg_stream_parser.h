#pragma once
// Reads the marker segments of a JPEG stream that define tables, frames and
// scans (ITU-T T.81 Annex B): DQT, DHT, DAC, DRI, the frame headers SOF0 to
// SOF15 and DHP, SOS, DNL and EXP. One parser serves the analyzer, which
// lays out what it read field by field, the picture decoder, which works
// from the tables in effect when a scan starts, and the strips of TIFF files
// in new-style JPEG coding, whose tables stand in a stream of their own.
//
// Each segment is handed over as a view of its payload (the bytes after the
// length field). The view may hold bytes past the declared length: the
// layout of a segment shorter than its fields reads them from there, as the
// analyzer always has, while the tables in effect change only for segments
// whose fields lie within their length and whose values T.81 allows. Tables
// read later replace those of the same destination.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/jpeg_records.h"
#include "codec/jpeg_scan_decoder.h"

// Marker codes, ITU-T T.81 Table B.1.
namespace jpeg_marker {
inline constexpr uint32_t kSof0 = 0xFFC0;
inline constexpr uint32_t kSof1 = 0xFFC1;
inline constexpr uint32_t kSof2 = 0xFFC2;
inline constexpr uint32_t kSof3 = 0xFFC3;
inline constexpr uint32_t kDht = 0xFFC4;
inline constexpr uint32_t kJpg = 0xFFC8;
inline constexpr uint32_t kSof9 = 0xFFC9;
inline constexpr uint32_t kSof10 = 0xFFCA;
inline constexpr uint32_t kDac = 0xFFCC;
inline constexpr uint32_t kRst0 = 0xFFD0;
inline constexpr uint32_t kRst7 = 0xFFD7;
inline constexpr uint32_t kSoi = 0xFFD8;
inline constexpr uint32_t kEoi = 0xFFD9;
inline constexpr uint32_t kSos = 0xFFDA;
inline constexpr uint32_t kDqt = 0xFFDB;
inline constexpr uint32_t kDnl = 0xFFDC;
inline constexpr uint32_t kDri = 0xFFDD;
inline constexpr uint32_t kDhp = 0xFFDE;
inline constexpr uint32_t kExp = 0xFFDF;
inline constexpr uint32_t kApp0 = 0xFFE0;
inline constexpr uint32_t kApp15 = 0xFFEF;
inline constexpr uint32_t kCom = 0xFFFE;

// SOF0 to SOF15 but DHT, JPG and DAC.
constexpr bool IsFrame(uint32_t m) { return m >= kSof0 && m <= 0xFFCF && m != kDht && m != kJpg && m != kDac; }
constexpr bool IsRestart(uint32_t m) { return m >= kRst0 && m <= kRst7; }
constexpr bool IsApp(uint32_t m) { return m >= kApp0 && m <= kApp15; }
// Frames of the hierarchical process (T.81 Annex J) that follow the first.
constexpr bool IsDifferential(uint32_t m) { return (m >= 0xFFC5 && m <= 0xFFC7) || (m >= 0xFFCD && m <= 0xFFCF); }
constexpr bool IsArithmetic(uint32_t m) { return m >= kSof9 && m <= 0xFFCF; }
constexpr bool IsProgressive(uint32_t m) { return (m & 0x3) == 2; }
constexpr bool IsLossless(uint32_t m) { return (m & 0x3) == 3; }
}  // namespace jpeg_marker

// The payload of one marker segment: data[0, size) are the bytes at hand
// from the payload's first byte on, of which the first declared belong to
// the segment by its length field.
struct JpegPayload {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t declared = 0;
};

struct JpegFrame {
    uint32_t marker = 0;           // SOFn, or DHP for the hierarchical frame's header
    uint32_t precision = 0;        // sample precision P in bits
    uint32_t lines = 0;            // Y; 0 when a DNL segment gives it later
    uint32_t samplesPerLine = 0;   // X
    std::vector<FrameComponent> components;   // offsets relative to the payload
    size_t countAt = 0;            // where the component count stands
    // The fields read from the view: the header fields, and how many
    // components were whole.
    bool headerRead = false;
    bool complete = false;         // every field inside the view
    bool valid = false;            // inside the declared length, values T.81 allows
};

struct JpegScanComponentField {
    size_t at = 0;
    ScanComponent component;
};

struct JpegScan {
    std::vector<JpegScanComponentField> components;
    size_t countAt = 0;
    size_t selectionAt = 0;        // where Ss, Se and Ah/Al stand
    uint32_t spectralStart = 0;    // Ss
    uint32_t spectralEnd = 0;      // Se
    uint32_t approximation = 0;    // Ah in the high nibble, Al in the low one
    bool complete = false;
    bool valid = false;
};

// One table of a DQT, DHT or DAC segment: its bytes [at, end) in the payload.
struct JpegTableRecord {
    size_t at = 0;
    size_t end = 0;
    uint32_t selector = 0;         // the table's first byte (class or precision, destination)
    uint32_t value = 0;            // DAC: the conditioning value
    bool valid = false;
};

// The tables in effect at a point of a stream.
struct JpegTables {
    QuantTable quant[4];
    bool quantPresent[4] = {};
    HuffmanTable dc[4];
    HuffmanTable ac[4];
    bool dcPresent[4] = {};
    bool acPresent[4] = {};
    // Arithmetic conditioning (T.81 F.1.4.4.1.4 and F.1.4.4.2.1): for DC the
    // lower bound L in the low nibble and the upper bound U in the high one,
    // for AC the value Kx; these are the defaults a stream without DAC uses.
    uint8_t dcConditioning[4] = {0x10, 0x10, 0x10, 0x10};
    uint8_t acConditioning[4] = {5, 5, 5, 5};
    uint32_t restartInterval = 0;
};

class CJpegStreamParser {
public:
    CJpegStreamParser() = default;
    CJpegStreamParser(const CJpegStreamParser&) = delete;
    CJpegStreamParser& operator=(const CJpegStreamParser&) = delete;

    // Each reads one segment's payload, keeps what a valid segment defines,
    // and returns what it read for the layout; records may be null.
    void Dqt(const JpegPayload& p, std::vector<JpegTableRecord>* records);
    // records: each table with its symbols, for the layout.
    void Dht(const JpegPayload& p, std::vector<JpegTableRecord>* records);
    void Dac(const JpegPayload& p, std::vector<JpegTableRecord>* records);
    // False when the field is not whole in the view; value receives it anyway.
    bool Dri(const JpegPayload& p, uint32_t* value);
    // A frame header (SOFn) or the hierarchical frame header (DHP); the
    // frame is kept as the stream's when it is valid.
    JpegFrame Frame(uint32_t marker, const JpegPayload& p);
    JpegScan Scan(const JpegPayload& p);
    // DNL: the number of lines; EXP: the expansion byte.
    bool Dnl(const JpegPayload& p, uint32_t* lines);
    bool Exp(const JpegPayload& p, uint32_t* expand);

    // Whether a scan may stand here: a frame is known, every component the
    // scan names is one of its components, and the Huffman tables that the
    // scan uses are present (an arithmetic frame needs none: conditioning
    // has defaults).
    bool ScanHasTables(const JpegScan& scan) const;
    // What keeps a valid scan from its frame and tables: the first of its
    // component fields that names a component the frame lacks (*unknown) or
    // a Huffman table that is not present (*dc: the DC table); null when
    // nothing does.
    const JpegScanComponentField* FirstLacking(const JpegScan& scan, bool* unknown, bool* dc) const;

    // Reads a stream held in memory from SOI on, segment by segment, and
    // stops after a scan header: true with *scanStart the offset of the
    // entropy-coded data. False at EOI, at the end of the data or at a
    // segment that does not fit; the tables read up to there are kept.
    // Also reads a tables-only stream (a TIFF file's JPEGTables).
    bool Read(const uint8_t* data, size_t size, size_t* scanStart);

    const JpegTables& Tables() const { return *tables_; }
    bool HasFrame() const { return hasFrame_; }
    const JpegFrame& StreamFrame() const { return frame_; }
    const JpegScan& LastScan() const { return scan_; }

    // The frame and the scan last read with their tables, as the baseline
    // scan decoder takes them: false unless the frame is baseline or
    // extended sequential Huffman with 8-bit samples, the scan holds every
    // component in frame order with its tables present, and the sampling
    // is one the decoder supports. rgb: the components are red, green and
    // blue rather than YCbCr.
    bool BaselineFrame(CJpegScanDecoder::Frame& frame, bool rgb) const;

    // Keeps the tables that a frame from BaselineFrame points to alive and
    // unchanged: tables read later go to a copy while the handle lives.
    std::shared_ptr<const void> TablesHandle() const { return tables_; }

private:
    JpegTables& WritableTables();

    std::shared_ptr<JpegTables> tables_ = std::make_shared<JpegTables>();
    JpegFrame frame_;
    bool hasFrame_ = false;
    JpegScan scan_;
};
