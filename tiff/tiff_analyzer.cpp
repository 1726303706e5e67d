#include "tiff/tiff_analyzer.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>

#include "core/analysis_app.h"
#include "core/stream_size.h"
#include "core/analysis_tree.h"
#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "image/image_buffer.h"
#include "codec/decode_threads.h"
#include "codec/strip_decoder.h"
#include "codec/thread_streams.h"
#include "codec/inflater.h"
#include "codec/lzw_decoder.h"
#include "codec/pack_bits_decoder.h"
#include "codec/sample_sink.h"
#include "tiff/jpeg_segment_decoder.h"

namespace {

enum FieldType : uint32_t {
    kByte = 1,
    kAscii = 2,
    kShort = 3,
    kLong = 4,
    kRational = 5,
    kSByte = 6,
    kUndefined = 7,
    kSShort = 8,
    kSLong = 9,
    kSRational = 10,
    kFloat = 11,
    kDouble = 12,
};

struct TypeInfo {
    const char* name;
    uint32_t size;   // bytes per element
};

// Field types: TIFF 6.0 section 2, "Types". Index = type number.
constexpr TypeInfo kTypes[] = {
    {nullptr, 0},    {"BYTE", 1},   {"ASCII", 1},  {"SHORT", 2},     {"LONG", 4},  {"RATIONAL", 8},
    {"SBYTE", 1},    {"UNDEFINED", 1}, {"SSHORT", 2}, {"SLONG", 4}, {"SRATIONAL", 8}, {"FLOAT", 4},
    {"DOUBLE", 8},
};

// Name of a type outside 1 to 12.
constexpr const char* kUnknownTypeName = "UNDEFINED !!";

constexpr const TypeInfo* FindType(uint32_t type)
{
    return type >= 1 && type < std::size(kTypes) ? &kTypes[type] : nullptr;
}

struct TagName {
    uint32_t tag;
    const char* name;
};

// Tags that the dictionary names: TIFF 6.0 baseline and extension tags, the
// TIFF/JPEG tags, five private tags and three Exif 2.3 tags.
constexpr TagName kTagNames[] = {
    {254, "NewSubfileType"},
    {255, "SubfileType"},
    {256, "ImageWidth"},
    {257, "ImageLength"},
    {258, "BitsPerSample"},
    {259, "Compression"},
    {262, "PhotometricInterpretation"},
    {263, "Threshholding"},
    {264, "CellWidth"},
    {265, "CellLength"},
    {266, "FillOrder"},
    {269, "DocumentName"},
    {270, "ImageDescription"},
    {271, "Make"},
    {272, "Model"},
    {273, "StripOffsets"},
    {274, "Orientation"},
    {277, "SamplesPerPixel"},
    {278, "RowsPerStrip"},
    {279, "StripByteCounts"},
    {280, "MinSampleValue"},
    {281, "MaxSampleValue"},
    {282, "XResolution"},
    {283, "YResolution"},
    {284, "PlanarConfiguration"},
    {285, "PageName"},
    {286, "XPosition"},
    {287, "YPosition"},
    {288, "FreeOffsets"},
    {289, "FreeByteCounts"},
    {290, "GrayResponseUnit"},
    {296, "ResolutionUnit"},
    {297, "PageNumber"},
    {301, "TransferFunction"},
    {305, "Software"},
    {306, "DateTime"},
    {315, "Artist"},
    {316, "HostComputer"},
    {317, "Predictor"},
    {318, "WhitePoint"},
    {319, "PrimaryChromaticities"},
    {320, "ColorMap"},
    {321, "HalftoneHints"},
    {322, "TileWidth"},
    {323, "TileLength"},
    {324, "TileOffsets"},
    {325, "TileByteCounts"},
    {332, "InkSet"},
    {333, "InkNames"},
    {334, "NumberOfInks"},
    {336, "DotRange"},
    {337, "TargetPrinter"},
    {338, "ExtraSamples"},
    {339, "SampleFormat"},
    {340, "SMinSampleValue"},
    {341, "SMaxSampleValue"},
    {342, "TransferRange"},
    {512, "JPEGProc"},
    {513, "JPEGInterchangeFormat"},
    {514, "JPEGInterchangeFormatLength"},
    {515, "JPEGRestartInterval"},
    {517, "JPEGLosslessPredictors"},
    {519, "JPEGQTables"},
    {520, "JPEGDCTables"},
    {521, "JPEGACTables"},
    {529, "YCbCrCoefficients"},
    {530, "YCbCrSubSampling"},
    {531, "YCbCrPositioning"},
    {532, "ReferenceBlackWhite"},
    {700, "XMP"},
    {33432, "Copyright"},
    {33723, "IPTC"},
    {34377, "Photoshop"},
    {34665, "ExifIFD"},
    {34675, "ICCProfile"},
    {40961, "ColorSpace"},
    {40962, "PixelXDimension"},
    {40963, "PixelYDimension"},
};
static_assert(std::size(kTagNames) == 78);

constexpr const char* kUndefinedTag = "UndefinedTag";
constexpr const char* kUndefinedValue = "UNDEFINED !!";

enum Tag : uint32_t {
    kNewSubfileType = 254,
    kImageWidth = 256,
    kImageLength = 257,
    kBitsPerSample = 258,
    kCompression = 259,
    kPhotometric = 262,
    kFillOrder = 266,
    kDocumentName = 269,
    kImageDescription = 270,
    kStripOffsets = 273,
    kOrientation = 274,
    kSamplesPerPixel = 277,
    kRowsPerStrip = 278,
    kStripByteCounts = 279,
    kXResolution = 282,
    kYResolution = 283,
    kPlanarConfiguration = 284,
    kT4Options = 292,
    kResolutionUnit = 296,
    kSoftware = 305,
    kDateTime = 306,
    kPredictor = 317,
    kColorMap = 320,
    kTileWidth = 322,
    kTileLength = 323,
    kTileOffsets = 324,
    kTileByteCounts = 325,
    kInkSet = 332,
    kExtraSamples = 338,
    kSampleFormat = 339,
    kJpegTables = 347,
    kJpegInterchangeFormat = 513,
    kJpegInterchangeFormatLength = 514,
    kXmp = 700,
    kIptc = 33723,
    kPhotoshop = 34377,
    kExifIfd = 34665,
    kIccProfile = 34675,
    kColorSpace = 40961,
    kPixelXDimension = 40962,
    kPixelYDimension = 40963,
};

const char* LookUpTagName(uint32_t tag)
{
    for (const TagName& row : kTagNames)
        if (row.tag == tag)
            return row.name;
    return kUndefinedTag;
}

// Rough summary: TIFF 6.0 Compression values.
const char* SummaryCompressionText(uint32_t compression)
{
    switch (compression) {
    case 1: return "[圧縮形式] 非圧縮 】";
    case 2: return "[圧縮形式] CCITT Group 3 1-Dimensional Modified Huffmanランレングスエンコード 】";
    case 3: return "[圧縮形式] T4-エンコード 】";
    case 4: return "[圧縮形式] T6-エンコード 】";
    case 5: return "[圧縮形式] LZW 】";
    case 6:
    case 7: return "[圧縮形式] JPEG 】";
    case 32773: return "[圧縮形式] PackBits圧縮 】";
    case 8:
    case 32946: return "[圧縮形式] Deflate 】";
    default: return "[圧縮形式] 非対応の形式 】";
    }
}

// A value and its text.
struct ValueText {
    uint32_t value;
    const char* text;
};

// Compression: TIFF 6.0 section 3 and its technical notes.
constexpr ValueText kCompressionTexts[] = {
    {1, "Uncompressed"},  {2, "CCITT Group 3 1 - Dimensional Modified Huffman Run Length Encode"},
    {3, "T4-Encode"},     {4, "T6-Encode"},
    {5, "LZW"},           {6, "JPEG"},
    {7, "JPEG"},          {8, "Adobe Deflate"},
    {32773, "PackBits"},  {32946, "Deflate"},
};

// PlanarConfiguration: TIFF 6.0 section 8.
constexpr ValueText kPlanarTexts[] = {
    {1, "Chunky Format (RGB RGB RGB...)"},
    {2, "Planar Format (RRR... GGG... BBB...)"},
};

// ColorSpace: Exif 2.3 section 4.6.5.
constexpr ValueText kColorSpaceTexts[] = {{1, "sRGB"}, {65535, "Uncalibrated"}};

// PhotometricInterpretation 0 to 7: TIFF 6.0 section 8 and 16, 21, 23.
constexpr const char* kPhotometricTexts[] = {
    "White is Zero", "Black is Zero", "RGB Full Color", "Palette Color", "Transparency Mask",
    "Separated - usually CMYK", "YCbCr", "1976 CIE L*a*b*",
};

// SamplesPerPixel 1 to 4, by what the samples of a pixel usually are.
constexpr const char* kSamplesPerPixelTexts[] = {
    "Grayscale, Bilevel or Palette", "Grayscale with Extra Sample", "RGB Full Color",
    "RGB with Extra Sample or CMYK",
};

// Orientation 1 to 8: TIFF 6.0 section 8.
constexpr const char* kOrientationTexts[] = {
    "The 0th row represents the visual top of the image, and the 0th column represents the visual left-hand side",
    "The 0th row represents the visual top of the image, and the 0th column represents the visual right-hand side",
    "The 0th row represents the visual bottom of the image, and the 0th column represents the visual right-hand side",
    "The 0th row represents the visual bottom of the image, and the 0th column represents the visual left-hand side",
    "The 0th row represents the visual left-hand side of the image, and the 0th column represents the visual top",
    "The 0th row represents the visual right-hand side of the image, and the 0th column represents the visual top",
    "The 0th row represents the visual right-hand side of the image, and the 0th column represents the visual bottom",
    "The 0th row represents the visual left-hand side of the image, and the 0th column represents the visual bottom",
};

// NewSubfileType bits 0 to 2: TIFF 6.0 section 8.
constexpr const char* kSubfileBitTexts[] = {
    "Bit0 : The image is a reduced-resolution version of another image in this TIFF file",
    "Bit1 : The image is a single page of a multi-page image",
    "Bit2 : The image defines a transparency mask for another image in this TIFF file",
};

// Predictor 1 to 3: TIFF 6.0 section 14 and TIFF Technical Note 3.
constexpr const char* kPredictorTexts[] = {
    "No prediction scheme used before coding", "Horizontal differencing",
    "Floating point horizontal differencing",
};

// ExtraSamples 0 to 2: TIFF 6.0 section 18.
constexpr const char* kExtraSampleTexts[] = {
    "Unspecified data", "Associated alpha data (with pre-multiplied color)", "Unassociated alpha data",
};

// How the dictionary shows an entry's values.
enum class Reading : uint8_t {
    SubfileBits,       // one line per bit set, "Default" for 0
    Number,            // format with the first value
    IndexedText,       // texts[first value - first]
    KeyedText,         // the text keyed by the first value
    Text,              // the ASCII text
    PositionedValues,  // format with each value's position, index and value
    PositionedCounts,  // the same with each value as a signed 32-bit number
    StripOffsets,      // made absolute, then as PositionedValues
    TileOffsets,       // made absolute; no line
    Resolution,        // the first real value, with ResolutionUnit's unit
    ResolutionUnit,    // the unit, with XResolution and YResolution
    ColorMap,          // three tables of 16 values a line
    JpegInterchange,   // the value field made absolute; no line
    Packet,            // the first bytes of the values as text
    Iptc,              // one line per value
};

struct Interpretation {
    uint32_t tag;
    Reading reading;
    const char* format = nullptr;
    std::span<const char* const> texts = {};
    uint32_t first = 0;
    std::span<const ValueText> keyed = {};
};

// The tags whose values the dictionary puts into words; tags not listed get
// no value text lines.
constexpr Interpretation kInterpretations[] = {
    {kNewSubfileType, Reading::SubfileBits},
    {kImageWidth, Reading::Number, "Horizontal Size = %d"},
    {kImageLength, Reading::Number, "Vertical Size = %d"},
    {kBitsPerSample, Reading::PositionedValues, "[%08lx]Value #%d = 0x%04lx"},
    {kCompression, Reading::KeyedText, nullptr, {}, 0, kCompressionTexts},
    {kPhotometric, Reading::IndexedText, nullptr, kPhotometricTexts, 0},
    {kDocumentName, Reading::Text},
    {kImageDescription, Reading::Text},
    {kStripOffsets, Reading::StripOffsets},
    {kOrientation, Reading::IndexedText, nullptr, kOrientationTexts, 1},
    {kSamplesPerPixel, Reading::IndexedText, nullptr, kSamplesPerPixelTexts, 1},
    {kRowsPerStrip, Reading::Number, "%d rows per strip"},
    {kStripByteCounts, Reading::PositionedCounts, "[%08lx]Strip #%d = %d [byte]"},
    {kXResolution, Reading::Resolution},
    {kYResolution, Reading::Resolution},
    {kPlanarConfiguration, Reading::KeyedText, nullptr, {}, 0, kPlanarTexts},
    {kResolutionUnit, Reading::ResolutionUnit},
    {kSoftware, Reading::Text},
    {kDateTime, Reading::Text},
    {kPredictor, Reading::IndexedText, nullptr, kPredictorTexts, 1},
    {kColorMap, Reading::ColorMap},
    {kTileOffsets, Reading::TileOffsets},
    {kExtraSamples, Reading::IndexedText, nullptr, kExtraSampleTexts, 0},
    {kJpegInterchangeFormat, Reading::JpegInterchange},
    {kXmp, Reading::Packet},
    {kIptc, Reading::Iptc},
    {kPhotoshop, Reading::Packet},
    {kColorSpace, Reading::KeyedText, nullptr, {}, 0, kColorSpaceTexts},
    {kPixelXDimension, Reading::Number, "Valid Width : %d"},
    {kPixelYDimension, Reading::Number, "Valid Height : %d"},
};

const Interpretation* FindInterpretation(uint32_t tag)
{
    for (const Interpretation& row : kInterpretations)
        if (row.tag == tag)
            return &row;
    return nullptr;
}

const char* TextFor(const Interpretation& how, uint32_t value)
{
    if (how.reading == Reading::IndexedText)
        return value >= how.first && value - how.first < how.texts.size() ? how.texts[value - how.first]
                                                                          : kUndefinedValue;
    for (const ValueText& row : how.keyed)
        if (row.value == value)
            return row.text;
    return kUndefinedValue;
}

// Red, green and blue thirds of a colour map of count values, 16 values a
// line.
void ColorMapLines(const std::vector<EntryValue>& values, uint32_t count, std::vector<std::string>& lines)
{
    static constexpr const char* kHeadings[] = {"< Look Up Table - Red >", "< Look Up Table - Green >",
                                                "< Look Up Table - Blue >"};
    const uint32_t n = count / 3;
    for (uint32_t channel = 0; channel < 3; ++channel) {
        lines.emplace_back(kHeadings[channel]);
        std::string line;
        const uint64_t begin = uint64_t{channel} * n;
        const uint64_t end = std::min<uint64_t>(begin + n, values.size());
        for (uint64_t i = begin; i < end; ++i) {
            if (line.empty())
                line = "    ";
            line += ResultLine("%lx ", values[i].unsignedValue);
            if ((i - begin) % 16 == 15) {
                lines.push_back(std::move(line));
                line.clear();
            }
        }
        if (!line.empty())
            lines.push_back(std::move(line));
    }
}

uint64_t Tell(FILE* fp)
{
    const long pos = std::ftell(fp);
    return pos < 0 ? 0u : static_cast<uint64_t>(pos);
}

void Seek(FILE* fp, uint64_t position)
{
    std::fseek(fp, static_cast<long>(position), SEEK_SET);
}

}  // namespace

void CTiffAnalyzer::Analyze(const AnalysisRequest& request)
{
    FILE* fp = request.fp;
    app = request.app;
    tree = request.Detailed() ? app->ActiveTree() : nullptr;
    parentItem = request.level == 0 ? TVI_ROOT : (tree ? ChooseBaseParent(*tree, request.level) : 0);
    const uint32_t L = request.level + 1;
    if (std::feof(fp))
        return;
    // Positions inside the structure are 32-bit; a header that lies past
    // 4 GiB (Exif data after a huge JPEG scan) cannot be laid out with them.
    if (const long start = std::ftell(fp); start < 0 || static_cast<uint64_t>(start) > UINT32_MAX - 8)
        return;

    fileSize = StreamSize(fp);
    baseOffset = Tell(fp);
    AnalyzeHeader(fp, baseOffset, request.mode, L);

    // Offsets of the IFDs read so far: a chain that comes back to one of
    // them would run for ever.
    std::vector<uint64_t> visited;
    uint64_t offset = firstIfdOffset;
    for (uint32_t i = 0; i < kMaxIfds; ++i) {
        if (!InFile(offset, 2) || std::find(visited.begin(), visited.end(), offset) != visited.end())
            break;
        visited.push_back(offset);
        if (faxPages)
            faxPages->FileMoved();
        Seek(fp, offset);
        reader.Reset();
        IfdRecord& record = records.emplace_back();
        currentIfd = i;
        if (!request.Detailed())
            app->AddEntry(L, ResultLine("[%08lx] /* --- IFD #%04d --- */", offset, i).c_str());
        AnalyzeIfd(fp, record, offset, request.mode, L);
        if (!request.Detailed())
            app->AppendResultText(0, RoughSummary(i).c_str());
        else if (FindEntry(i, kStripOffsets) || FindEntry(i, kTileOffsets) || FindEntry(i, kJpegInterchangeFormat))
            AnalyzeImageData(fp, request.path, request.mode, L);
        if (record.nextIfdOffset == 0)
            break;
        offset = record.nextIfdOffset;
    }
    if (faxPages)
        faxPages->Finish();
}

void CTiffAnalyzer::AnalyzeHeader(FILE* fp, uint64_t position, AnalysisMode mode, uint32_t level)
{
    // The byte order is read most significant byte first whatever it says:
    // "II" is 0x4949 and "MM" 0x4D4D. A header cut by the file's end names
    // each field where reading stood.
    byteOrder = reader.ReadBits(fp, 16);
    const uint64_t idAt = Tell(fp);
    tiffId = Read(fp, 2);
    const uint64_t offsetAt = Tell(fp);
    firstIfdOffset = Read(fp, 4) + baseOffset;

    const char* orderName = LittleEndian() ? "Little Endian" : "Big Endian";
    if (mode == AnalysisMode::Rough) {
        app->AddEntry(level, ResultLine("[%08lx] ImageFileHeader(0x%04X:%s)", position, byteOrder, orderName).c_str());
        return;
    }
    const CTreeWriter out(tree);
    const HTREEITEM header =
        out.Insert(parentItem, ResultLine("[%08lx] ImageFileHeader", position), Bytes(position, 8));
    out.Insert(header, ResultLine("[%08lx] Byte Order = 0x%04x : %s", position, byteOrder, orderName),
               Bytes(position, 2));
    out.Insert(header, ResultLine("[%08lx] TIFF ID = 0x%04x", idAt, tiffId), Bytes(idAt, 2));
    out.Insert(header,
               ResultLine("[%08lx] Offset to 0th IFD = 0x%08lx", offsetAt, firstIfdOffset),
               Bytes(offsetAt, 4));
    out.Expand(header);
}

void CTiffAnalyzer::AnalyzeIfd(FILE* fp, IfdRecord& record, uint64_t position, AnalysisMode mode, uint32_t level)
{
    const CTreeWriter out(tree);
    const uint32_t n = Read(fp, 2);
    record.entryCount = n;
    HTREEITEM directory = 0;
    if (mode == AnalysisMode::Detailed) {
        // The directory: its entry count, its entries and the next-IFD offset.
        directory = out.Insert(parentItem, ResultLine("[%08lx] ImageFileDirectory", position),
                               Bytes(position, 2 + uint64_t{12} * n + 4));
        out.Insert(directory, ResultLine("[%08lx] Number of Directory Entry = %d", position, n), Bytes(position, 2));
    }
    ReadEntries(fp, record.entries, n, position, mode, level + 1, directory);

    // The next-IFD offset follows the entries; when the entries run past the
    // end of the file it cannot be read and the chain ends here.
    const uint64_t nextPosition = uint64_t{position} + 2 + uint64_t{12} * n;
    record.nextIfdOffset = 0;
    if (InFile(nextPosition, 4)) {
        Seek(fp, nextPosition);
        reader.Reset();
        uint64_t next = Read(fp, 4);
        if (next != 0)
            next += baseOffset;
        record.nextIfdOffset = next;
        if (mode == AnalysisMode::Detailed)
            out.Insert(directory, ResultLine("[%08lx] Offset to Next IFD = 0x%08lx%s", nextPosition, next,
                                             next == 0 ? " (Next IFD is nothing)" : ""),
                       Bytes(nextPosition, 4));
    }
    out.Expand(directory);
}

void CTiffAnalyzer::ReadEntries(FILE* fp, IfdEntryList& entries, uint32_t count, uint64_t, AnalysisMode mode,
                                uint32_t level, HTREEITEM parent)
{
    constexpr uint64_t kEntrySize = 12;
    const uint64_t first = Tell(fp);
    for (uint32_t k = 0; k < count; ++k) {
        const uint64_t e = first + kEntrySize * k;
        if (!InFile(e, kEntrySize) || entriesRead >= kMaxEntriesPerRun)
            break;
        ++entriesRead;
        Seek(fp, e);
        reader.Reset();
        IfdEntry& entry = entries.emplace_back();
        entry.tag = Read(fp, 2);
        entry.type = Read(fp, 2);
        entry.count = Read(fp, 4);
        entry.valueField = Read(fp, 4);
        AnalyzeEntry(fp, entry, e, mode, level, parent);
    }
}

IfdEntry* CTiffAnalyzer::FindEntry(uint32_t ifdIndex, uint32_t tag)
{
    if (ifdIndex >= records.size())
        return nullptr;
    for (IfdEntry& entry : records[ifdIndex].entries)
        if (entry.tag == tag)
            return &entry;
    return nullptr;
}

bool CTiffAnalyzer::ValuesInline(const IfdEntry& entry) const
{
    const TypeInfo* type = FindType(entry.type);
    if (entry.count == 0 || !type)
        return entry.count <= 1 && entry.type != kRational && entry.type != kUndefined &&
               entry.type != kSRational;
    // TIFF 6.0: the value field holds the values themselves whenever they
    // fit into its four bytes.
    return uint64_t{entry.count} * type->size <= 4;
}

uint64_t CTiffAnalyzer::ValuePosition(const IfdEntry& entry, uint64_t e, uint32_t i) const
{
    const TypeInfo* type = FindType(entry.type);
    const uint32_t size = type ? type->size : 0;
    if (ValuesInline(entry))
        return e + 8 + i * size;
    return entry.valueField + baseOffset + i * size;
}

ByteRange CTiffAnalyzer::ValueBytes(const IfdEntry& entry, uint64_t e, uint32_t i) const
{
    const TypeInfo* type = FindType(entry.type);
    return Bytes(ValuePosition(entry, e, i), type ? type->size : 0);
}

void CTiffAnalyzer::ReadValues(FILE* fp, IfdEntry& entry, uint64_t e)
{
    const TypeInfo* type = FindType(entry.type);
    if (!type || valuesRead >= kMaxValuesPerRun)
        return;
    if (entry.count == 1 && ValuesInline(entry)) {
        ReadInlineValue(entry);
        return;
    }
    if (entry.type == kUndefined)
        return;
    if (entry.count == 0) {
        if (entry.type == kAscii)
            entry.values.emplace_back().text = std::make_unique<char[]>(1);
        return;
    }

    const uint64_t start = ValuesInline(entry) ? uint64_t{e} + 8 : uint64_t{entry.valueField} + baseOffset;
    const uint64_t bytes = uint64_t{entry.count} * type->size;
    if (!InFile(start, bytes))
        return;   // values outside the file: the entry gets no values
    const uint32_t n = std::min({entry.count, kMaxValuesPerEntry, kMaxValuesPerRun - valuesRead});
    valuesRead += n;

    const uint64_t back = Tell(fp);
    Seek(fp, start);
    reader.Reset();
    if (entry.type == kAscii) {
        EntryValue& value = entry.values.emplace_back();
        value.text = std::make_unique<char[]>(size_t{n} + 1);
        for (uint32_t i = 0; i < n; ++i)
            value.text[i] = static_cast<char>(Read(fp, 1));
        value.text[n] = '\0';
    } else {
        entry.values.reserve(n);
        for (uint32_t i = 0; i < n; ++i)
            ReadElement(fp, entry.type, entry.values.emplace_back());
    }
    Seek(fp, back);
    reader.Reset();
}

void CTiffAnalyzer::ReadInlineValue(IfdEntry& entry)
{
    // A single value is taken from the value field itself. An inline BYTE or
    // SHORT of a big-endian file sits in the field's high-order bytes.
    if (entry.type == kUndefined)
        return;
    if (!LittleEndian()) {
        if (entry.type == kByte || entry.type == kSByte)
            entry.valueField >>= 24;
        else if (entry.type == kShort || entry.type == kSShort)
            entry.valueField >>= 16;
    }
    EntryValue& value = entry.values.emplace_back();
    switch (entry.type) {
    case kAscii: value.text = std::make_unique<char[]>(1); break;
    case kSByte:
    case kSShort:
    case kSLong: value.signedValue = static_cast<int32_t>(entry.valueField); break;
    case kFloat: value.realValue = std::bit_cast<float>(static_cast<uint32_t>(entry.valueField)); break;
    default: value.unsignedValue = entry.valueField; break;
    }
    ++valuesRead;
}

void CTiffAnalyzer::ReadElement(FILE* fp, uint32_t type, EntryValue& value)
{
    const uint32_t size = FindType(type)->size;
    switch (type) {
    case kByte:
    case kShort:
    case kLong: value.unsignedValue = Read(fp, size); break;
    case kSByte:
    case kSShort:
    case kSLong: value.signedValue = static_cast<int32_t>(Read(fp, size)); break;
    case kRational: {
        const uint32_t numerator = Read(fp, 4);
        const uint32_t denominator = Read(fp, 4);
        value.realValue = static_cast<double>(numerator) / denominator;
        break;
    }
    case kSRational: {
        const auto numerator = static_cast<int32_t>(Read(fp, 4));
        const auto denominator = static_cast<int32_t>(Read(fp, 4));
        value.realValue = static_cast<double>(numerator) / denominator;
        break;
    }
    case kFloat: value.realValue = std::bit_cast<float>(Read(fp, 4)); break;
    case kDouble: {
        const uint64_t a = Read(fp, 4);
        const uint64_t b = Read(fp, 4);
        value.realValue = std::bit_cast<double>(LittleEndian() ? (b << 32 | a) : (a << 32 | b));
        break;
    }
    default: break;
    }
}

CTiffAnalyzer::EntryItems CTiffAnalyzer::WriteEntryLines(IfdEntry& entry, uint64_t e, const char* name,
                                                         HTREEITEM parent, bool asOffset)
{
    const CTreeWriter out(tree);
    const TypeInfo* type = FindType(entry.type);
    EntryItems items;
    items.tag = out.Insert(parent, ResultLine("[%08lx] Tag = 0x%04X ... %s", e, entry.tag, name), Bytes(e, 12));
    out.Insert(items.tag,
               ResultLine("[%08lx] TYPE = 0x%04x ... %s", e + 2, entry.type, type ? type->name : kUnknownTypeName),
               Bytes(e + 2, 2));
    out.Insert(items.tag, ResultLine("[%08lx] COUNT = 0x%08x", e + 4, entry.count), Bytes(e + 4, 4));
    if (asOffset) {
        // Shown, and from here on used, as an absolute file position.
        entry.valueField += baseOffset;
        items.value =
            out.Insert(items.tag, ResultLine("[%08lx] Offset = 0x%08lx", e + 8, entry.valueField), Bytes(e + 8, 4));
    } else {
        items.value =
            out.Insert(items.tag, ResultLine("[%08lx] Value = 0x%08lx", e + 8, entry.valueField), Bytes(e + 8, 4));
    }
    return items;
}

void CTiffAnalyzer::AnalyzeEntry(FILE* fp, IfdEntry& entry, uint64_t e, AnalysisMode mode, uint32_t level,
                                 HTREEITEM parent)
{
    const char* name = LookUpTagName(entry.tag);
    if (mode == AnalysisMode::Rough) {
        app->AddEntry(level, ResultLine("[%08lx] Tag : 0x%04X ... %s", e, entry.tag, name).c_str());
        return;
    }
    ReadValues(fp, entry, e);
    if (entry.tag == kExifIfd) {
        AnalyzeExifIfd(fp, entry, e, level, parent);
        return;
    }
    if (entry.tag == kIccProfile) {
        AnalyzeIccProfile(fp, entry, e, parent);
        return;
    }

    std::vector<ValueLine> lines;
    Interpret(entry, e, lines);

    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, name, parent, !ValuesInline(entry));
    for (const ValueLine& line : lines)
        out.Insert(valueItem, line.text, line.range);
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::Interpret(IfdEntry& entry, uint64_t e, std::vector<ValueLine>& lines)
{
    const Interpretation* how = FindInterpretation(entry.tag);
    if (!how)
        return;
    std::vector<EntryValue>& values = entry.values;
    const EntryValue* first = values.empty() ? nullptr : &values.front();
    const uint32_t value = first ? first->unsignedValue : 0;
    const auto count = static_cast<uint32_t>(values.size());

    switch (how->reading) {
    case Reading::SubfileBits:
        if (first && value == 0)
            lines.emplace_back("Default");
        for (uint32_t bit = 0; first && bit < std::size(kSubfileBitTexts); ++bit)
            if (value & (1u << bit))
                lines.emplace_back(kSubfileBitTexts[bit]);
        break;
    case Reading::Number:
        if (first)
            lines.push_back(ResultLine(how->format, static_cast<int32_t>(value)));
        break;
    case Reading::IndexedText:
    case Reading::KeyedText:
        if (first)
            lines.emplace_back(TextFor(*how, value));
        break;
    case Reading::Text:
        if (first && first->text)
            lines.push_back(FileText(first->text.get(), std::strlen(first->text.get()), kMaxLineBytes));
        break;
    case Reading::StripOffsets:
    case Reading::TileOffsets:
        // Made absolute here, so the image data is found whatever the
        // header's position.
        for (EntryValue& v : values)
            v.unsignedValue += baseOffset;
        if (how->reading == Reading::StripOffsets)
            PositionedLines(entry, e,
                            entry.type == kShort ? "[%08lx]Strip #%d = 0x%04lx" : "[%08lx]Strip #%d = 0x%08lx", false,
                            lines);
        break;
    case Reading::PositionedValues:
    case Reading::PositionedCounts:
        PositionedLines(entry, e, how->format, how->reading == Reading::PositionedCounts, lines);
        break;
    case Reading::Resolution:
    case Reading::ResolutionUnit:
        if (first)
            lines.push_back(ResolutionLine(entry));
        break;
    case Reading::ColorMap: {
        std::vector<std::string> texts;
        ColorMapLines(values, entry.count, texts);
        lines.insert(lines.end(), texts.begin(), texts.end());
        break;
    }
    case Reading::JpegInterchange:
        entry.valueField += baseOffset;
        if (first)
            values.front().unsignedValue = entry.valueField;
        break;
    case Reading::Packet: {
        // The packet's first bytes as text.
        constexpr uint32_t kShown = 512;
        std::string text;
        for (uint32_t i = 0; i < std::min(count, kShown); ++i)
            text += static_cast<char>(values[i].unsignedValue & 0xFF);
        lines.push_back(FileText(text.c_str(), std::strlen(text.c_str()), kMaxLineBytes));
        break;
    }
    case Reading::Iptc:
        for (const EntryValue& v : values)
            lines.push_back(ResultLine("0x%08lx", v.unsignedValue));
        break;
    }
}

void CTiffAnalyzer::PositionedLines(const IfdEntry& entry, uint64_t e, const char* format, bool asSigned,
                                    std::vector<ValueLine>& lines) const
{
    for (uint32_t i = 0; i < entry.values.size(); ++i) {
        const uint64_t value = entry.values[i].unsignedValue;
        const uint64_t at = ValuePosition(entry, e, i);
        const std::string text = asSigned ? ResultLine(format, at, i, static_cast<int32_t>(value))
                                          : ResultLine(format, at, i, value);
        lines.push_back({text, ValueBytes(entry, e, i)});
    }
}

std::string CTiffAnalyzer::ResolutionLine(const IfdEntry& entry)
{
    const uint32_t value = entry.values.front().unsignedValue;
    if (entry.tag == kResolutionUnit) {
        const IfdEntry* x = FindEntry(currentIfd, kXResolution);
        const IfdEntry* y = FindEntry(currentIfd, kYResolution);
        if (!x || !y || x->values.empty() || y->values.empty())
            return value == 2 ? "Inch per pixel" : value == 3 ? "Centimeter per pixel" : "No Unit";
        const char* format = value == 2   ? "%.3f : %.3f (Inch per pixel)"
                             : value == 3 ? "%.3f : %.3f (Centimeter per pixel)"
                                          : "%.3f : %.3f (No Unit)";
        return ResultLine(format, x->values.front().realValue, y->values.front().realValue);
    }
    // Only a ResolutionUnit read before this entry gives the unit.
    const IfdEntry* unit = FindEntry(currentIfd, kResolutionUnit);
    const char* format = "%.3f";
    if (unit)
        format = unit->valueField == 2   ? "%.3f Inch per Pixel"
                 : unit->valueField == 3 ? "%.3f Centimeter per Pixel"
                                         : "%.3f (No Unit)";
    return ResultLine(format, entry.values.front().realValue);
}

void CTiffAnalyzer::AnalyzeExifIfd(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, HTREEITEM parent)
{
    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, "ExifIFD", parent, true);
    const uint64_t offset = entry.valueField;

    // An Exif IFD is followed unless it lies outside the file, is one of
    // the Exif IFDs being read (a pointer back to itself), or nests deeper
    // than any real file does.
    const bool follow = InFile(offset, 2) && exifStack.size() < kMaxExifDepth &&
                        std::find(exifStack.begin(), exifStack.end(), offset) == exifStack.end();
    if (follow) {
        const long back = std::ftell(fp);
        Seek(fp, offset);
        reader.Reset();
        const uint32_t n = Read(fp, 2);
        out.Insert(valueItem, ResultLine("[%08lx] Number of Directory Entry = %d", offset, n), Bytes(offset, 2));
        exifStack.push_back(offset);
        IfdEntryList exifEntries;
        ReadEntries(fp, exifEntries, n, offset + 2, AnalysisMode::Detailed, level + 1, valueItem);
        exifStack.pop_back();
        Seek(fp, back < 0 ? 0 : static_cast<uint64_t>(back));
        reader.Reset();
    }
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::AnalyzeIccProfile(FILE* fp, IfdEntry& entry, uint64_t e, HTREEITEM parent)
{
    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, "ICCProfile", parent, true);
    const TypeInfo* type = FindType(entry.type);

    // The profile is laid out only when the bytes the entry claims for it
    // lie inside the file.
    const uint64_t bytes = uint64_t{entry.count} * (type ? type->size : 1);
    if (valueItem && InFile(entry.valueField, bytes)) {
        const long back = std::ftell(fp);
        Seek(fp, entry.valueField);
        RunAnalyzer(kFormatIcc, AnalysisRequest{.app = app, .fp = fp, .mode = AnalysisMode::Detailed, .parent = valueItem});
        Seek(fp, back < 0 ? 0 : static_cast<uint64_t>(back));
        reader.Reset();
    }
    out.Expand(valueItem);
    out.Expand(tagItem);
}

std::string CTiffAnalyzer::RoughSummary(uint32_t ifdIndex)
{
    // Rough mode reads no values: the numbers come from the raw value
    // fields, where a big-endian SHORT sits in the high-order half.
    auto size = [&](uint32_t tag) -> uint32_t {
        const IfdEntry* entry = FindEntry(ifdIndex, tag);
        if (!entry)
            return 0;
        return entry->type == kShort && !LittleEndian() ? entry->valueField >> 16 : entry->valueField;
    };
    const IfdEntry* compression = FindEntry(ifdIndex, kCompression);
    // Without a Compression entry the image is uncompressed (TIFF 6.0).
    uint32_t scheme = 1;
    if (compression)
        scheme = LittleEndian() ? compression->valueField : compression->valueField >> 16;
    return ResultLine("【IFD #%04d [画像サイズ] %5d x %5d ", ifdIndex, static_cast<int32_t>(size(kImageWidth)),
                  static_cast<int32_t>(size(kImageLength))) +
           SummaryCompressionText(scheme);
}

namespace {
// The text of an image that this program cannot draw.
constexpr const char* kUnsupported = "未対応の形式";

// Largest picture side given an image window; a bitmap beyond the pixel
// memory's cap gets a window without pixels.
constexpr uint32_t kMaxPictureSide = 0x7FFFFF00;

// Compression schemes: TIFF 6.0 section 3 and its technical notes.
enum Compression : uint32_t {
    kUncompressed = 1,
    kModifiedHuffman = 2,
    kFaxT4 = 3,
    kFaxT6 = 4,
    kLzw = 5,
    kOldJpeg = 6,
    kJpeg = 7,
    kAdobeDeflate = 8,
    kPackBits = 32773,
    kDeflate = 32946,
};

// Samples and the bytes of a data row, bounded so that a hostile sample
// count or tile width cannot make a row buffer larger than a bitmap.
constexpr uint32_t kMaxSamplesPerPixel = 32;
constexpr uint64_t kMaxRowBytes = uint64_t{64} << 20;
// The JPEGTables stream is read up to this many bytes.
constexpr uint64_t kMaxJpegTablesBytes = 1u << 20;
}  // namespace

uint32_t CTiffAnalyzer::FirstValue(uint32_t tag, uint32_t fallback)
{
    const IfdEntry* entry = FindEntry(currentIfd, tag);
    return entry && !entry->values.empty() ? entry->values.front().unsignedValue : fallback;
}

void CTiffAnalyzer::AnalyzeImageData(FILE* fp, const char* path, AnalysisMode mode, uint32_t level)
{
    const CTreeWriter out(tree);
    const IfdEntry* tiles = FindEntry(currentIfd, kTileOffsets);
    const IfdEntry* strips = FindEntry(currentIfd, kStripOffsets);
    const bool tiled = tiles && (!strips || FindEntry(currentIfd, kTileWidth));
    const IfdEntry* segments = tiled ? tiles : strips;
    const IfdEntry* jpeg = FindEntry(currentIfd, kJpegInterchangeFormat);
    const IfdEntry* source = segments ? segments : jpeg;
    if (!source || source->values.empty())
        return;
    const uint64_t position = source->values.front().unsignedValue;

    // TIFF 6.0 defaults stand in for absent fields.
    const uint32_t width = FirstValue(kImageWidth, 0);
    const uint32_t height = FirstValue(kImageLength, 0);
    const uint32_t compression = FirstValue(kCompression, kUncompressed);
    if (compression == kJpeg && segments)
        LayOutJpegTables(fp, path, mode, level);
    Seek(fp, position);
    reader.Reset();
    // The line covers the first strip or tile, or the JPEG interchange
    // data; without a byte count they run to the end of the file.
    const IfdEntry* lengths =
        FindEntry(currentIfd, !segments ? kJpegInterchangeFormatLength : tiled ? kTileByteCounts : kStripByteCounts);
    const uint64_t length = lengths && !lengths->values.empty() ? lengths->values.front().unsignedValue : fileSize;
    out.Insert(parentItem, ResultLine(segments ? "[%08lx] Image Data" : "[%08lx] Jpeg Data", position),
               Bytes(position, length));

    if (compression == kOldJpeg) {
        // The JPEG stream's lines, and its picture, are the JPEG analyzer's;
        // they hang under the data line just inserted.
        if (const CAnalysisApp::NestedScope nested(*app); nested.Allowed()) {
            RunAnalyzer(kFormatJpeg, AnalysisRequest{.app = app, .fp = fp, .path = path, .mode = mode, .level = level});
        }
        return;
    }
    CSampleWriter::Format format;
    if (!segments || !Drawable(compression, format)) {
        out.Insert(parentItem, kUnsupported);
        return;
    }
    pixelBuffer = nullptr;
    CSampleWriter::Picture picture{nullptr, width, height, 0, 0};
    if (width > 0 && height > 0 && width <= kMaxPictureSide && height <= kMaxPictureSide) {
        IShell& shell = app->Shell();
        ImageRect rect{0, 0, static_cast<int32_t>(width), static_cast<int32_t>(height)};
        shell.AddImageWindow(PathFileName(path ? path : ""), rect);
        const int32_t bitmapWidth = CImageBuffer::PaddedSize(static_cast<int32_t>(width));
        const int32_t bitmapHeight = CImageBuffer::PaddedSize(static_cast<int32_t>(height));
        shell.PrepareImage(bitmapWidth, bitmapWidth - static_cast<int32_t>(width), bitmapHeight,
                           bitmapHeight - static_cast<int32_t>(height), &pixelBuffer);
        picture = {pixelBuffer, width, height, static_cast<uint32_t>(bitmapWidth),
                   static_cast<uint32_t>(bitmapHeight)};
    }
    const std::vector<Segment> list = Segments(*segments, tiled, format.planar ? format.samplesPerPixel : 1);
    if (pixelBuffer) {
        switch (compression) {
        case kModifiedHuffman:
        case kFaxT4:
        case kFaxT6: DecodeFax(fp, list, compression, picture); break;
        case kJpeg: DecodeJpeg(fp, list, picture); break;
        default: DecodeSamples(fp, list, compression, picture, format); break;
        }
    }
    if (compression == kJpeg) {
        // The first segment's stream is laid out like old-style JPEG data,
        // under the data line.
        Seek(fp, position);
        if (const CAnalysisApp::NestedScope nested(*app); nested.Allowed()) {
            RunAnalyzer(kFormatJpeg, AnalysisRequest{.app = app, .fp = fp, .path = path, .mode = mode, .level = level});
        }
    }
}

void CTiffAnalyzer::LayOutJpegTables(FILE* fp, const char* path, AnalysisMode mode, uint32_t level)
{
    // The shared tables stream is laid out like JPEG data of its own.
    const IfdEntry* tables = FindEntry(currentIfd, kJpegTables);
    if (!tables || ValuesInline(*tables) || !InFile(tables->valueField, 2))
        return;
    Seek(fp, tables->valueField);
    reader.Reset();
    CTreeWriter(tree).Insert(parentItem, ResultLine("[%08lx] Jpeg Data", tables->valueField),
                             Bytes(tables->valueField, tables->count));
    if (const CAnalysisApp::NestedScope nested(*app); nested.Allowed()) {
        RunAnalyzer(kFormatJpeg, AnalysisRequest{.app = app, .fp = fp, .path = path, .mode = mode, .level = level});
    }
}

bool CTiffAnalyzer::Drawable(uint32_t compression, CSampleWriter::Format& format)
{
    const uint32_t spp = FirstValue(kSamplesPerPixel, 1);
    const uint32_t bits = FirstValue(kBitsPerSample, 1);
    const uint32_t planar = FirstValue(kPlanarConfiguration, 1);
    if (spp == 0 || spp > kMaxSamplesPerPixel || (planar != 1 && planar != 2) || FirstValue(kSampleFormat, 1) != 1)
        return false;
    const bool tiled = FindEntry(currentIfd, kTileOffsets) && FindEntry(currentIfd, kTileWidth);
    if (tiled) {
        const uint32_t tileWidth = FirstValue(kTileWidth, 0);
        const uint32_t tileLength = FirstValue(kTileLength, 0);
        if (tileWidth == 0 || tileLength == 0)
            return false;
    }
    switch (compression) {
    case kModifiedHuffman:
    case kFaxT4:
    case kFaxT6:
        // Bilevel fax coding: one sample of one bit, no planes.
        return spp == 1 && bits == 1 && planar == 1 && FirstValue(kPhotometric, 0) <= 1;
    case kJpeg: {
        const uint32_t photometric = FirstValue(kPhotometric, spp == 3 ? 2 : 1);
        return bits == 8 && planar == 1 &&
               ((spp == 3 && (photometric == 2 || photometric == 6)) || (spp == 1 && photometric == 1));
    }
    case kUncompressed:
    case kLzw:
    case kAdobeDeflate:
    case kPackBits:
    case kDeflate: return SampleFormat(compression, format);
    default: return false;
    }
}

bool CTiffAnalyzer::SampleFormat(uint32_t compression, CSampleWriter::Format& format)
{
    const IfdEntry* map = FindEntry(currentIfd, kColorMap);
    format.samplesPerPixel = FirstValue(kSamplesPerPixel, 1);
    format.bitsPerSample = FirstValue(kBitsPerSample, 1);
    format.planar = FirstValue(kPlanarConfiguration, 1) == 2 && format.samplesPerPixel > 1;
    format.littleEndian = LittleEndian();
    const uint32_t photometric = FirstValue(kPhotometric, map ? 3 : format.samplesPerPixel >= 3 ? 2 : 1);
    // Uncompressed strips are never differenced; floating-point
    // differencing is not undone.
    const uint32_t predictor = compression == kUncompressed ? 1 : FirstValue(kPredictor, 1);
    if (predictor != 1 && predictor != 2)
        return false;
    format.predictor = predictor == 2;
    format.whiteIsZero = photometric == 0;
    switch (photometric) {
    case 0:
    case 1: format.layout = CSampleWriter::Layout::Gray; break;
    case 2: format.layout = CSampleWriter::Layout::Rgb; break;
    case 3: {
        if (!map || map->values.size() < 3 || format.samplesPerPixel != 1)
            return false;
        format.layout = CSampleWriter::Layout::Palette;
        const size_t n = map->values.size() / 3;
        // A map whose entries all fit in 8 bits is taken as an 8-bit map,
        // as libtiff takes it; otherwise each entry's high byte is shown.
        bool eightBit = true;
        for (const EntryValue& v : map->values)
            eightBit = eightBit && v.unsignedValue < 256;
        const uint32_t shift = eightBit ? 0 : 8;
        for (size_t i = 0; i < n; ++i) {
            format.red.push_back(static_cast<uint8_t>(map->values[i].unsignedValue >> shift));
            format.green.push_back(static_cast<uint8_t>(map->values[n + i].unsignedValue >> shift));
            format.blue.push_back(static_cast<uint8_t>(map->values[2 * n + i].unsignedValue >> shift));
        }
        break;
    }
    case 5:
        // Inks other than CMYK are not converted.
        if (FirstValue(kInkSet, 1) != 1)
            return false;
        format.layout = CSampleWriter::Layout::Cmyk;
        break;
    default: return false;
    }
    return CSampleWriter::Supported(format);
}

std::vector<CTiffAnalyzer::Segment> CTiffAnalyzer::Segments(const IfdEntry& offsets, bool tiled, uint32_t planes)
{
    // Strips hold whole rows, tiles blocks of TileWidth x TileLength pixels
    // (those on the right and bottom edges reach past the picture); with
    // planes, all segments of sample 0 come first, then those of sample 1...
    const IfdEntry* counts = FindEntry(currentIfd, tiled ? kTileByteCounts : kStripByteCounts);
    const uint64_t width = FirstValue(kImageWidth, 0);
    const uint64_t height = FirstValue(kImageLength, 0);
    uint64_t segmentWidth = width;
    uint64_t segmentLength = FirstValue(kRowsPerStrip, 0xFFFFFFFF);
    // Without RowsPerStrip (or with a value of 0) the image is one strip.
    if (!tiled && segmentLength == 0)
        segmentLength = 0xFFFFFFFF;
    if (tiled) {
        segmentWidth = FirstValue(kTileWidth, 0);
        segmentLength = FirstValue(kTileLength, 0);
    }
    std::vector<Segment> list;
    if (segmentWidth == 0 || segmentLength == 0 || width == 0 || height == 0)
        return list;
    const uint64_t across = tiled ? (width + segmentWidth - 1) / segmentWidth : 1;
    const uint64_t down = (height + segmentLength - 1) / segmentLength;
    const uint64_t perPlane = across * down;
    for (size_t i = 0; i < offsets.values.size(); ++i) {
        const uint64_t plane = i / perPlane;
        const uint64_t index = i % perPlane;
        if (plane >= planes)
            break;
        Segment s;
        s.offset = offsets.values[i].unsignedValue;
        if (s.offset >= fileSize)
            continue;
        // A segment without a byte count runs to the end of the file.
        s.size = fileSize - s.offset;
        if (counts && i < counts->values.size())
            s.size = std::min<uint64_t>(s.size, counts->values[i].unsignedValue);
        s.x = static_cast<uint32_t>(index % across * segmentWidth);
        s.y = static_cast<uint32_t>(index / across * segmentLength);
        s.columns = static_cast<uint32_t>(segmentWidth);
        s.rows = static_cast<uint32_t>(tiled ? segmentLength : std::min(segmentLength, height - s.y));
        s.plane = static_cast<uint32_t>(plane);
        list.push_back(s);
    }
    return list;
}

namespace {

// Decodes uncompressed, LZW, PackBits and Deflate segments on one thread,
// from a stream of its own.
class SampleSegmentDecoder {
public:
    SampleSegmentDecoder(FILE* fp, uint32_t compression, const CSampleWriter::Picture& picture,
                         const CSampleWriter::Format& format)
        : fp_(fp), compression_(compression), writer_(picture, format)
    {
        if (compression == kLzw)
            lzw_ = std::make_unique<CLzwDecoder>();
        if (compression == kDeflate || compression == kAdobeDeflate)
            inflater_ = std::make_unique<CInflater>();
    }

    void Decode(const TiffSegment& s)
    {
        if (writer_.RowBytes(s.columns) > kMaxRowBytes)
            return;
        writer_.BeginSegment(s.x, s.y, s.columns, s.rows, s.plane);
        const uint64_t wanted = writer_.BytesWanted();
        if (wanted == 0)
            return;
        Seek(fp_, s.offset);
        if (inflater_) {
            // Deflate packs a picture far tighter than PackBits or LZW, so
            // only the segment's own size bounds the input; the output stops
            // when the segment's rows are full.
            CSampleSink sink(writer_);
            inflater_->InflateToSink(fp_, sink, wanted, s.size);
            writer_.EndSegment();
            return;
        }
        // No segment is read beyond what its rows can use: PackBits and LZW
        // code no picture in more than twice its size.
        data_.resize(std::min<uint64_t>(s.size, compression_ == kUncompressed ? wanted : 2 * wanted + 1024));
        data_.resize(std::fread(data_.data(), 1, data_.size(), fp_));
        if (lzw_)
            lzw_->DecodeStrip(data_.data(), data_.size(), writer_);
        else if (compression_ == kPackBits)
            CPackBitsDecoder::DecodeStrip(data_.data(), data_.size(), writer_);
        else
            writer_.PutRun(data_.data(), data_.size());
        writer_.EndSegment();
    }

private:
    FILE* fp_;
    uint32_t compression_;
    CSampleWriter writer_;
    std::unique_ptr<CLzwDecoder> lzw_;
    std::unique_ptr<CInflater> inflater_;
    std::vector<uint8_t> data_;
};

}  // namespace

void CTiffAnalyzer::DecodeSamples(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                                  const CSampleWriter::Picture& picture, const CSampleWriter::Format& format)
{
    // The segments of a picture that is not planar cover separate pixels, so
    // several are decoded at once; the planes of a planar one in order.
    const size_t threads = format.planar ? 1 : std::min<size_t>(CDecodeThreads::Limit(), segments.size());
    const CThreadStreams streams(fp, static_cast<uint32_t>(threads));
    std::vector<std::unique_ptr<SampleSegmentDecoder>> decoders;
    for (uint32_t i = 0; i < streams.Count(); ++i)
        decoders.push_back(std::make_unique<SampleSegmentDecoder>(streams[i], compression, picture, format));
    CDecodeThreads::ForEach(segments.size(), streams.Count(),
                            [&](uint32_t worker, size_t i) { decoders[worker]->Decode(segments[i]); });
    reader.Reset();
}

void CTiffAnalyzer::DecodeFax(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                              const CSampleWriter::Picture& picture)
{
    CFaxPages::Page page;
    page.mode = CStripDecoder::kModeT6;
    if (compression == kModifiedHuffman)
        page.mode = CStripDecoder::kModeMh;
    else if (compression == kFaxT4)
        page.mode = FirstValue(kT4Options, 0) & 1 ? CStripDecoder::kModeT4TwoD : CStripDecoder::kModeT4;
    // FillOrder 2: the first pixel of a byte is its lowest bit.
    page.lowBitFirst = FirstValue(kFillOrder, 1) == 2;
    page.blackIsZero = FirstValue(kPhotometric, 0) == 1;
    page.segments = segments;
    page.picture = picture;
    // One queue for every picture of the file, so that the pages of a fax
    // document are drawn side by side.
    if (!faxPages)
        faxPages = std::make_unique<CFaxPages>(fp);
    faxPages->Add(std::move(page));
    reader.Reset();
}

void CTiffAnalyzer::DecodeJpeg(FILE* fp, const std::vector<Segment>& segments, const CSampleWriter::Picture& picture)
{
    std::vector<uint8_t> shared;
    if (const IfdEntry* tables = FindEntry(currentIfd, kJpegTables);
        tables && !ValuesInline(*tables) && tables->valueField < fileSize) {
        shared.resize(std::min<uint64_t>({tables->count, kMaxJpegTablesBytes, fileSize - tables->valueField}));
        Seek(fp, tables->valueField);
        shared.resize(std::fread(shared.data(), 1, shared.size(), fp));
    }
    const bool rgb = FirstValue(kPhotometric, 2) == 2 && FirstValue(kSamplesPerPixel, 1) == 3;
    CJpegSegmentDecoder(fp, shared, rgb).Decode(segments, picture);
}
