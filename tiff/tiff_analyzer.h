#pragma once
// Lays out the structure of a TIFF or BigTIFF file, of the TIFF structure
// that a JPEG file carries in its APP1 Exif segment, or of the MP index of
// its APP2 MPF segment: the image file header, the chain of image file
// directories with their entries (named and interpreted by the dictionary
// of each kind of IFD), the IFDs that hang below entries (Exif, GPS,
// Interoperability, SubIFDs), GeoTIFF keys, an embedded ICC profile, and
// the image data of each IFD, drawn into image windows.
//
// Offsets inside the structure count from its header's first byte; the
// analyzer adds that position (baseOffset) so every line shows an absolute
// file offset.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <unordered_set>
#include <vector>

#include "tiff/tiff_byte_reader.h"
#include "core/format_table.h"
#include "core/line_tree.h"
#include "tiff/fax_pages.h"
#include "tiff/ifd_record.h"
#include "tiff/ifd_values.h"
#include "tiff/tag_table.h"
#include "tiff/tag_interpreter.h"
#include "tiff/tiff_checker.h"
#include "tiff/tiff_segment.h"
#include "image/image_buffer.h"
#include "image/sample_writer.h"

class CTiffAnalyzer {
public:
    // Bounds that keep hostile files cheap. A chain longer than kMaxIfds, or
    // one that comes back to an IFD already read, ends there.
    static constexpr uint32_t kMaxIfds = 4096;
    // Directory entries read in one run, over all IFDs.
    static constexpr uint32_t kMaxEntriesPerRun = 1u << 18;
    // Value elements kept for one entry (a 16-bit colour map needs 196608),
    // and over the whole run; values beyond are not read.
    static constexpr uint32_t kMaxValuesPerEntry = 1u << 18;
    static constexpr uint32_t kMaxValuesPerRun = 1u << 21;
    // IFDs below IFDs (Exif, GPS, Interoperability, SubIFDs) nested inside
    // each other.
    static constexpr uint32_t kMaxExifDepth = 4;

    // Analyzer entry: rough mode adds entries and the summary; detailed mode
    // adds the lines to request.run's result and draws the pictures. The stream
    // stands on the header's first byte.
    void Analyze(const AnalysisRequest& request);
    // The MP index of an MPF segment (detailed mode only): the header and
    // the MP Index and MP Attribute IFDs, and the images its entries point
    // at, listed in *request.pictures.
    void AnalyzeMpf(const AnalysisRequest& request);

    // The first entry with tag in IFD ifdIndex of the chain, among the
    // entries read so far; null when there is none.
    IfdEntry* FindEntry(uint32_t ifdIndex, uint32_t tag);

private:
    bool LittleEndian() const { return values.LittleEndian(); }
    const IfdEntry* FindCurrent(uint32_t tag) const { return values.FindCurrent(tag); }
    uint64_t ValuePosition(const IfdEntry& entry, uint64_t e, uint64_t i) const
    {
        return values.ValuePosition(entry, e, i);
    }
    std::vector<uint8_t> RawValueBytes(const IfdEntry& entry, uint64_t e, uint64_t maxBytes)
    {
        return values.RawValueBytes(entry, e, maxBytes);
    }

    // Each reads its structure the same way in both modes; the mode chooses
    // what is written.
    bool Start(const AnalysisRequest& request);
    void AnalyzeHeader(FILE* fp, uint64_t position);
    void WalkChain(FILE* fp);
    // One IFD into the record; its lines under parent.
    LineId AnalyzeIfd(FILE* fp, uint32_t record, LineId parent, uint32_t level);
    // The entry count at the record's position, its line under parent, and
    // the n entries after it.
    void ReadDirectory(FILE* fp, uint32_t record, uint64_t n, uint32_t level, LineId parent);
    // BigTIFF counts its entries in 8 bytes, classic TIFF in 2.
    uint64_t ReadEntryCount(FILE* fp) { return bigTiff ? Read64(fp) : Read(fp, 2); }
    // Reads count directory entries at position into the record, handing
    // each to AnalyzeEntry with parent as its tree parent.
    void ReadEntries(FILE* fp, uint32_t record, uint64_t count, uint64_t position, uint32_t level,
                     LineId parent);
    // The tag dictionary: names the entry read at file position e, reads
    // and interprets its values (detailed mode) and writes its lines.
    void AnalyzeEntry(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, LineId parent);
    void WriteInterpretedEntry(IfdEntry& entry, uint64_t e, const TagInfo* info, LineId parent);
    // The line for the bytes of the entry's values (from start) that its
    // value lines leave uncovered.
    void CoverValues(const IfdEntry& entry, uint64_t start, const std::vector<TagValueLine>& lines, LineId valueItem);
    // Appends the entry's values (detailed mode); keeps the file position.
    void ReadValues(FILE* fp, IfdEntry& entry, uint64_t e);
    // The one value of an entry that holds it in its value field.
    void ReadInlineValue(IfdEntry& entry);
    // One element of a type outside ASCII and UNDEFINED, from fp's position.
    void ReadElement(FILE* fp, uint32_t type, EntryValue& value);
    uint64_t Read64(FILE* fp);
    uint64_t ReadOffset(FILE* fp) { return bigTiff ? Read64(fp) : Read(fp, 4); }
    uint32_t Read(FILE* fp, uint32_t bytes) { return reader.ReadBytes(fp, bytes, byteOrder); }

    // Whether length bytes at the absolute position lie inside the file.
    bool InFile(uint64_t position, uint64_t length) const
    {
        return position <= fileSize && length <= fileSize - position;
    }
    bool ValuesInline(const IfdEntry& entry) const { return values.ValuesInline(entry); }
    ByteRange Bytes(uint64_t start, uint64_t length) const { return values.Bytes(start, length); }
    uint64_t OffsetBytes() const { return values.OffsetBytes(); }
    uint64_t EntryBytes() const { return values.EntryBytes(); }
    // The entry's Tag line with its TYPE, COUNT and Value (or, with
    // asOffset, Offset: the value field made absolute) lines under it.
    struct EntryItems {
        LineId tag = 0;
        LineId value = 0;
    };
    EntryItems WriteEntryLines(IfdEntry& entry, uint64_t e, const char* name, LineId parent, bool asOffset);
    // An IFD below the entry's own (Exif, GPS, Interoperability): its entry
    // count and entries under the Offset line.
    void AnalyzeNestedIfd(FILE* fp, IfdEntry& entry, uint64_t e, const char* name, IfdKind kind, uint32_t level,
                          LineId parent);
    // Whether an IFD at offset may be read below the IFDs being read.
    bool MayNest(uint64_t offset) const;
    // The next-IFD offset after the n entries of a nested IFD's record,
    // when they were all read.
    void NestedNextOffset(FILE* fp, const IfdRecord& record, uint64_t n, LineId parent);
    void AnalyzeSubIfds(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, LineId parent);
    void AnalyzeIccProfile(FILE* fp, IfdEntry& entry, uint64_t e, LineId parent);
    // Lines for the bytes of the profile that the ICC analyzer's lines
    // under valueItem leave uncovered.
    void CoverProfileGaps(const ByteRange& profile, LineId valueItem);
    void AnalyzeMakerNote(IfdEntry& entry, uint64_t e, const char* name, LineId parent);
    void LayOutGeoKeys(uint32_t record);
    void AnalyzeMpEntries(IfdEntry& entry, uint64_t e, const char* name, LineId parent);
    void MpEntryLines(const std::vector<uint8_t>& bytes, size_t k, uint64_t at, LineId parent);

    std::string RoughSummary(uint32_t ifdIndex);
    void AppendSummaries();
    // The unsigned first value of tag in IFD currentIfd, or fallback.
    uint32_t FirstValue(uint32_t tag, uint32_t fallback);
    IfdEntry* FindIn(uint32_t record, uint32_t tag);
    // Which picture of the file the image of a chain IFD is.
    std::string ChainLabel(uint32_t ifdIndex) const;

    // One strip or tile of the image of IFD currentIfd.
    using Segment = TiffSegment;
    // Marks where the image data of record currentIfd begins under parent,
    // and draws the image into a new image window labelled label.
    void AnalyzeImageData(FILE* fp, LineId parent, const std::string& label);
    // The lines of segments #1 and after under item, the image data line.
    void WriteSegmentLines(const IfdEntry& segments, const IfdEntry* lengths, bool tiled, LineId item);
    // The checks of the strips or tiles of record currentIfd.
    void CheckImageData(const IfdEntry& segments, bool tiled, uint32_t compression);
    // Where an image's strips or tiles are, and its data line.
    struct ImageData {
        const IfdEntry& segments;
        bool tiled;
        uint32_t compression;
        uint64_t position;   // of the first segment
        bool firstInside;    // whether it lies inside the embedded data
        LineId item;
    };
    void DrawImage(FILE* fp, const ImageData& data, LineId parent, const std::string& label);
    bool SmallEnough(const CSampleWriter::Format& format, LineId parent, const std::string& label);
    void LayOutJpeg(FILE* fp, LineId parent, uint64_t position, const std::string& label, bool newStyle);
    // The JPEG analyzer on the stream at fp's position, its lines under the
    // line inserted last.
    void RunJpeg(FILE* fp, LineId parent, const std::string& label, std::span<const uint8_t> tables, bool draw);
    // A picture without pixel memory says why under parent; its data is
    // laid out as ever.
    void NotDrawn(LineId parent, const std::string& label, uint32_t width, uint32_t height);
    // reducible: the samples' decoder can draw part of the picture, or all
    // of it reduced (CSampleWriter::Picture::view).
    void CreatePicture(uint32_t width, uint32_t height, const std::string& label, bool reducible,
                       CSampleWriter::Picture& picture);
    // Whether this program draws the image of IFD currentIfd; for the
    // sample-coded compressions also how its bytes become pixels.
    bool Drawable(uint32_t compression, CSampleWriter::Format& format);
    bool SampleFormat(uint32_t compression, CSampleWriter::Format& format);
    bool NumberFormat(uint32_t compression, CSampleWriter::Format& format);
    // The picture's strips or tiles as far as they lie in the file; when
    // some are missing or cut by the file's end, segmentsCut is set.
    std::vector<Segment> Segments(const IfdEntry& offsets, bool tiled, uint32_t planes);
    bool segmentsCut = false;
    // Drops the segments that lie beyond the end of the embedded data, with
    // a line saying so under item.
    std::vector<Segment> InsideData(const std::vector<Segment>& segments, bool tiled, LineId item);
    // Uncompressed, LZW, PackBits and Deflate segments. With range, the
    // samples' smallest and largest finite values are measured instead.
    void DecodeSamples(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                       const CSampleWriter::Picture& picture, const CSampleWriter::Format& format,
                       CSampleWriter::ValueRange* range = nullptr);
    // CCITT segments: modified Huffman, T.4 (one- or two-dimensional), T.6.
    void DecodeFax(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                   const CSampleWriter::Picture& picture);
    // The JPEGTables stream, up to its limit.
    std::vector<uint8_t> JpegTables(FILE* fp);
    // New-style JPEG segments with the shared JPEGTables stream.
    void DecodeJpeg(FILE* fp, const std::vector<Segment>& segments, const CSampleWriter::Picture& picture);
    void LayOutJpegTables(FILE* fp, LineId parent);

    uint32_t byteOrder = 0;
    uint32_t tiffId = 0;
    bool bigTiff = false;
    bool mpf = false;   // the structure is an MP index, not TIFF
    uint64_t firstIfdOffset = 0;
    // The header's offset to the first IFD, and its line.
    uint64_t firstIfdAt = 0;
    LineId firstIfdLine = kNoLine;
    CTiffChecker checker;
    // Every IFD read, the chain's and those below entries; records stay
    // until the analyzer goes. chain[i] is the record of IFD i of the chain.
    std::deque<IfdRecord> records;
    std::vector<uint32_t> chain;
    // The records being read, outermost first.
    std::vector<uint32_t> open;
    // Positions of the SubIFDs read: each is laid out once.
    std::unordered_set<uint64_t> subIfdsRead;
    // The label of the picture whose IFD is being read.
    std::string currentLabel;
    CTiffByteReader reader;
    uint32_t currentIfd = 0;
    uint64_t baseOffset = 0;
    uint8_t* pixelBuffer = nullptr;
    // What a picture nobody looks at is decoded into, again and again.
    CImageBuffer workBuffer;
    size_t pictureIndex = SIZE_MAX;   // the picture pixelBuffer belongs to
    LineId parentItem = 0;
    AnalysisRequest request_;
    // The run's application and, in detailed mode, its result tree.
    CAnalysisRun* run = nullptr;
    CLineTree* tree = nullptr;
    // Draws the run's fax pictures; its threads end with the run.
    std::unique_ptr<CFaxPages> faxPages;
    // Rough mode: the summary of each IFD of the chain.
    std::vector<std::string> summaries;

    uint64_t fileSize = 0;
    uint32_t entriesRead = 0;
    uint32_t valuesRead = 0;
    // What the tag interpretations see of the entries read.
    CIfdValues values{records, open, baseOffset, byteOrder, bigTiff, fileSize, request_.fp, reader};
};
