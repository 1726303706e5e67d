#pragma once
// Lays out the structure of a TIFF file, or of the TIFF structure that a
// JPEG file carries in its APP1 Exif segment: the image file header, the
// chain of image file directories with their entries (named and interpreted
// by a tag dictionary), the Exif IFD, an embedded ICC profile, and a mark
// where each image's data begins.
//
// Offsets inside the structure count from its header's first byte; the
// analyzer adds that position (baseOffset) so every line shows an absolute
// file offset.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "tiff/tiff_byte_reader.h"
#include "core/format_table.h"
#include "core/tree_control.h"
#include "tiff/fax_pages.h"
#include "tiff/ifd_record.h"
#include "tiff/tiff_segment.h"
#include "image/sample_writer.h"

class CTiffAnalyzer {
public:
    // Bounds that keep hostile files cheap. A chain longer than kMaxIfds, or
    // one that comes back to an IFD already read, ends there.
    static constexpr uint32_t kMaxIfds = 1024;
    // Directory entries read in one run, over all IFDs and Exif IFDs.
    static constexpr uint32_t kMaxEntriesPerRun = 1u << 18;
    // Value elements kept for one entry (a 16-bit colour map needs 196608),
    // and over the whole run; values beyond are not read.
    static constexpr uint32_t kMaxValuesPerEntry = 1u << 18;
    static constexpr uint32_t kMaxValuesPerRun = 1u << 21;
    // Exif IFDs nested inside Exif IFDs.
    static constexpr uint32_t kMaxExifDepth = 4;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // writes the result tree of the active view of request.app. The stream
    // stands on the header's first byte.
    void Analyze(const AnalysisRequest& request);

    // Each reads its structure the same way in both modes; the mode chooses
    // what is written.
    void AnalyzeHeader(FILE* fp, uint64_t position, AnalysisMode mode, uint32_t level);
    void AnalyzeIfd(FILE* fp, IfdRecord& record, uint64_t position, AnalysisMode mode, uint32_t level);
    // Reads count 12-byte entries from the current position into entries,
    // handing each to AnalyzeEntry with parent as its tree parent.
    void ReadEntries(FILE* fp, IfdEntryList& entries, uint32_t count, uint64_t position, AnalysisMode mode,
                     uint32_t level, HTREEITEM parent);
    // The first entry with tag in IFD ifdIndex of the chain, among the
    // entries read so far; null when there is none.
    IfdEntry* FindEntry(uint32_t ifdIndex, uint32_t tag);
    // The tag dictionary: names the entry read at file position e, reads
    // and interprets its values (detailed mode) and writes its lines.
    void AnalyzeEntry(FILE* fp, IfdEntry& entry, uint64_t e, AnalysisMode mode, uint32_t level, HTREEITEM parent);
    // Appends the entry's values (detailed mode); keeps the file position.
    void ReadValues(FILE* fp, IfdEntry& entry, uint64_t e);
    // The one value of an entry that holds it in its value field.
    void ReadInlineValue(IfdEntry& entry);
    // One element of a type outside ASCII and UNDEFINED, from fp's position.
    void ReadElement(FILE* fp, uint32_t type, EntryValue& value);
    // Marks where the image data of IFD currentIfd begins, and draws the
    // image into a new image window.
    void AnalyzeImageData(FILE* fp, const char* path, AnalysisMode mode, uint32_t level);

    uint32_t ByteOrder() const { return byteOrder; }
    uint64_t BaseOffset() const { return baseOffset; }
    size_t IfdCount() const { return records.size(); }

private:
    bool LittleEndian() const { return byteOrder == kTiffLittleEndian; }
    uint32_t Read(FILE* fp, uint32_t bytes) { return reader.ReadBytes(fp, bytes, byteOrder); }
    // Whether length bytes at the absolute position lie inside the file.
    bool InFile(uint64_t position, uint64_t length) const { return position + length <= fileSize; }
    // Whether the entry's values sit in its own value field.
    bool ValuesInline(const IfdEntry& entry) const;
    // The bytes [start, start + length) as far as they lie in the file.
    ByteRange Bytes(uint64_t start, uint64_t length) const { return {start, std::min(start + length, fileSize)}; }
    // Absolute file position of value i of an entry read at e, and its bytes.
    uint64_t ValuePosition(const IfdEntry& entry, uint64_t e, uint32_t i) const;
    ByteRange ValueBytes(const IfdEntry& entry, uint64_t e, uint32_t i) const;
    // A value text line, with the bytes of the value it shows when it names
    // their position.
    struct ValueLine {
        ValueLine(std::string text, ByteRange range = {}) : text(std::move(text)), range(range) {}
        ValueLine(const char* text) : text(text) {}
        std::string text;
        ByteRange range;
    };
    // The value text lines of the entry's interpretation (detailed mode).
    void Interpret(IfdEntry& entry, uint64_t e, std::vector<ValueLine>& lines);
    // With format, one line per value: its position, index and value (as a
    // signed 32-bit number with asSigned).
    void PositionedLines(const IfdEntry& entry, uint64_t e, const char* format, bool asSigned,
                         std::vector<ValueLine>& lines) const;
    // The line of XResolution, YResolution or ResolutionUnit, each with the
    // others read before it in the same IFD.
    std::string ResolutionLine(const IfdEntry& entry);
    // The entry's Tag line with its TYPE, COUNT and Value (or, with
    // asOffset, Offset: the value field made absolute) lines under it.
    struct EntryItems {
        HTREEITEM tag = 0;
        HTREEITEM value = 0;
    };
    EntryItems WriteEntryLines(IfdEntry& entry, uint64_t e, const char* name, HTREEITEM parent, bool asOffset);
    void AnalyzeExifIfd(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, HTREEITEM parent);
    void AnalyzeIccProfile(FILE* fp, IfdEntry& entry, uint64_t e, HTREEITEM parent);
    std::string RoughSummary(uint32_t ifdIndex);
    // Unsigned first value of tag in IFD currentIfd, or fallback.
    uint32_t FirstValue(uint32_t tag, uint32_t fallback);
    // One strip or tile of the image of IFD currentIfd.
    using Segment = TiffSegment;
    // Whether this program draws the image of IFD currentIfd; for the
    // sample-coded compressions also how its bytes become pixels.
    bool Drawable(uint32_t compression, CSampleWriter::Format& format);
    bool SampleFormat(uint32_t compression, CSampleWriter::Format& format);
    std::vector<Segment> Segments(const IfdEntry& offsets, bool tiled, uint32_t planes);
    // Uncompressed, LZW, PackBits and Deflate segments.
    void DecodeSamples(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                       const CSampleWriter::Picture& picture, const CSampleWriter::Format& format);
    // CCITT segments: modified Huffman, T.4 (one- or two-dimensional), T.6.
    void DecodeFax(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                   const CSampleWriter::Picture& picture);
    // New-style JPEG segments with the shared JPEGTables stream.
    void DecodeJpeg(FILE* fp, const std::vector<Segment>& segments, const CSampleWriter::Picture& picture);
    void LayOutJpegTables(FILE* fp, const char* path, AnalysisMode mode, uint32_t level);

    uint32_t byteOrder = 0;
    uint32_t tiffId = 0;
    uint64_t firstIfdOffset = 0;
    // The chain: records[i] is IFD i. Records stay until the analyzer goes.
    std::deque<IfdRecord> records;
    CTiffByteReader reader;
    uint32_t currentIfd = 0;
    uint64_t baseOffset = 0;
    uint8_t* pixelBuffer = nullptr;
    HTREEITEM parentItem = 0;
    // The run's application and, in detailed mode, its result tree.
    CAnalysisApp* app = nullptr;
    ITreeControl* tree = nullptr;
    // Draws the run's fax pictures; its threads end with the run.
    std::unique_ptr<CFaxPages> faxPages;

    uint64_t fileSize = 0;
    uint32_t entriesRead = 0;
    uint32_t valuesRead = 0;
    // Absolute positions of the Exif IFDs being read, outermost first.
    std::vector<uint64_t> exifStack;
};
