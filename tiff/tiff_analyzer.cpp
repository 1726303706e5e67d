#include "tiff/tiff_analyzer.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>
#include <iterator>
#include <memory>
#include <span>

#include "core/analysis_run.h"
#include "core/stream_size.h"
#include "core/analysis_tree.h"
#include "core/file_text.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "core/tree_ranges.h"
#include "image/image_buffer.h"
#include "codec/decode_threads.h"
#include "codec/fax_decoder.h"
#include "codec/thread_streams.h"
#include "codec/inflater.h"
#include "codec/lzw_decoder.h"
#include "codec/pack_bits_decoder.h"
#include "codec/sample_sink.h"
#include "tiff/geo_keys.h"
#include "tiff/jpeg_segment_decoder.h"
#include "tiff/segment_lines.h"
#include "tiff/tag_interpreter.h"
#include "tiff/tiff_tags.h"

using namespace tiff_tag;
using namespace compression;

namespace {

// Name of a type no standard defines.
constexpr const char* kUnknownTypeName = "UNDEFINED !!";

// BigTIFF's version number; classic TIFF's is 42.
constexpr uint32_t kBigTiffVersion = 43;

uint64_t Tell(FILE* fp)
{
    const long pos = std::ftell(fp);
    return pos < 0 ? 0u : static_cast<uint64_t>(pos);
}

void Seek(FILE* fp, uint64_t position)
{
    std::fseek(fp, static_cast<long>(position), SEEK_SET);
}

uint64_t Absolute(uint64_t offset, uint64_t base)
{
    return AbsoluteOffset(offset, base);
}

// Makers' identifiers at the start of their MakerNote data.
constexpr const char* kMakers[] = {
    "Nikon", "OLYMP", "OM SYSTEM", "FUJIFILM", "Panasonic", "SONY", "SIGMA", "PENTAX", "AOC", "Apple iOS",
    "LEICA", "Leica", "RICOH", "Ricoh", "QVC", "KDK", "SAMSUNG", "Kodak", "MLY", "SANYO", "EPSON", "DJI",
    "HUAWEI", "Google", "CASIO", "Minolta", "GENERALE", "Nintendo",
};

// The identifier that the data begins with, when it is a maker's.
std::string MakerIdentifier(const std::vector<uint8_t>& bytes)
{
    std::string id;
    for (uint8_t b : bytes) {
        if (b < 0x20 || b > 0x7E)
            break;
        id += static_cast<char>(b);
    }
    while (!id.empty() && id.back() == ' ')
        id.pop_back();
    for (const char* maker : kMakers)
        if (id.compare(0, std::strlen(maker), maker) == 0)
            return id;
    return {};
}

// MP type codes: CIPA DC-007 section 5.2.3.3.1.
constexpr ValueText kMpTypes[] = {
    {0x000000, "Undefined"},
    {0x010001, "Large Thumbnail (VGA)"},
    {0x010002, "Large Thumbnail (Full HD)"},
    {0x020001, "Multi-frame Panorama"},
    {0x020002, "Disparity"},
    {0x020003, "Multi-angle"},
    {0x030000, "Baseline MP Primary Image"},
};

uint32_t Bytes32(const std::vector<uint8_t>& b, size_t at, bool le)
{
    return le ? b[at] | b[at + 1] << 8 | b[at + 2] << 16 | uint32_t{b[at + 3]} << 24
              : uint32_t{b[at]} << 24 | b[at + 1] << 16 | b[at + 2] << 8 | b[at + 3];
}

uint32_t Bytes16(const std::vector<uint8_t>& b, size_t at, bool le)
{
    return le ? b[at] | b[at + 1] << 8 : b[at] << 8 | b[at + 1];
}

// Fax pictures are drawn by CFaxPages, which may finish them later.
bool IsFax(uint32_t compression)
{
    return compression == kModifiedHuffman || compression == kFaxT4 || compression == kFaxT6;
}

}  // namespace

bool CTiffAnalyzer::Start(const AnalysisRequest& request)
{
    request_ = request;
    run = request.run;
    tree = request.Detailed() ? run->Lines() : nullptr;
    parentItem = request.parent;
    if (std::feof(request.fp))
        return false;
    // Positions inside embedded data are 32-bit; a header that lies past
    // 4 GiB (Exif data after a huge JPEG scan) cannot be laid out with them.
    if (const long start = std::ftell(request.fp); start < 0 || static_cast<uint64_t>(start) > UINT32_MAX - 8)
        return false;
    fileSize = StreamSize(request.fp);
    baseOffset = Tell(request.fp);
    AnalyzeHeader(request.fp, baseOffset);
    checker.Begin(run, {baseOffset, request.dataEnd, fileSize, bigTiff, LittleEndian(), request.level > 0});
    return true;
}

void CTiffAnalyzer::Analyze(const AnalysisRequest& request)
{
    if (!Start(request))
        return;
    if (bigTiff && !request.Detailed() && request.level == 0)
        run->Result().formatText = "BigTIFF";
    WalkChain(request.fp);
    checker.Finish();
    if (!request.Detailed())
        AppendSummaries();
    if (faxPages)
        faxPages->Finish();
}

void CTiffAnalyzer::AnalyzeMpf(const AnalysisRequest& request)
{
    mpf = true;
    if (!request.Detailed() || !Start(request))
        return;
    WalkChain(request.fp);
    checker.Finish();
}

void CTiffAnalyzer::WalkChain(FILE* fp)
{
    const uint32_t L = request_.level + 1;
    const IfdKind kind = mpf ? IfdKind::Mpf : IfdKind::Tiff;
    // Offsets of the IFDs read so far: a chain that comes back to one of
    // them would run for ever.
    std::vector<uint64_t> visited;
    uint64_t offset = firstIfdOffset;
    uint64_t pointerAt = firstIfdAt;
    LineId pointerLine = firstIfdLine;
    for (uint32_t i = 0; i < kMaxIfds; ++i) {
        const bool loop = std::find(visited.begin(), visited.end(), offset) != visited.end();
        checker.CheckIfdPointer(offset, loop, pointerAt, pointerLine);
        if (!InFile(offset, 2) || loop)
            break;
        visited.push_back(offset);
        const auto index = static_cast<uint32_t>(records.size());
        IfdRecord& record = records.emplace_back();
        record.position = offset;
        record.kind = kind;
        chain.push_back(index);
        currentIfd = index;
        currentLabel = ChainLabel(i);
        if (!request_.Detailed())
            run->AddEntry(L, ResultLine("[%08lx] /* --- IFD #%04d --- */", offset, i).c_str());
        AnalyzeIfd(fp, index, parentItem, L);
        if (!request_.Detailed())
            summaries.push_back(RoughSummary(i));
        else if (kind == IfdKind::Tiff && (FindEntry(i, kStripOffsets) || FindEntry(i, kTileOffsets) ||
                                           FindEntry(i, kJPEGInterchangeFormat)))
            AnalyzeImageData(fp, parentItem, ChainLabel(i));
        if (record.nextIfdOffset == 0)
            break;
        offset = record.nextIfdOffset;
        pointerAt = record.nextAt;
        pointerLine = record.nextLine;
    }
}

std::string CTiffAnalyzer::ChainLabel(uint32_t ifdIndex) const
{
    // IFD 1 of Exif data is its thumbnail.
    const std::string own = request_.level > 0 && ifdIndex == 1 ? "サムネイル" : "IFD " + std::to_string(ifdIndex);
    return request_.pictureLabel.empty() ? own : request_.pictureLabel + " " + own;
}

void CTiffAnalyzer::AnalyzeHeader(FILE* fp, uint64_t position)
{
    // The byte order is read most significant byte first whatever it says:
    // "II" is 0x4949 and "MM" 0x4D4D. A header cut by the file's end names
    // each field where reading stood.
    byteOrder = reader.ReadBits(fp, 16);
    const uint64_t idAt = Tell(fp);
    tiffId = Read(fp, 2);
    // BigTIFF: version 43, the size of its offsets (8) and two reserved
    // bytes; a version 43 with other offsets is read as classic TIFF.
    const uint64_t sizeAt = Tell(fp);
    uint32_t offsetSize = 0;
    uint32_t reserved = 0;
    if (tiffId == kBigTiffVersion) {
        offsetSize = Read(fp, 2);
        reserved = Read(fp, 2);
        bigTiff = offsetSize == 8;
        if (!bigTiff) {
            Seek(fp, sizeAt);
            reader.Reset();
        }
    }
    const uint64_t offsetAt = Tell(fp);
    firstIfdOffset = Absolute(ReadOffset(fp), baseOffset);
    firstIfdAt = offsetAt;

    const char* orderName = LittleEndian() ? "Little Endian" : "Big Endian";
    if (!request_.Detailed()) {
        run->AddEntry(request_.level + 1,
                      ResultLine("[%08lx] ImageFileHeader(0x%04X:%s)", position, byteOrder, orderName).c_str());
        return;
    }
    const CTreeWriter out(tree);
    const LineId header =
        out.Insert(parentItem, ResultLine("[%08lx] ImageFileHeader", position), Bytes(position, bigTiff ? 16 : 8));
    out.Insert(header, ResultLine("[%08lx] Byte Order = 0x%04x : %s", position, byteOrder, orderName),
               Bytes(position, 2));
    out.Insert(header, ResultLine("[%08lx] TIFF ID = 0x%04x", idAt, tiffId), Bytes(idAt, 2));
    if (bigTiff) {
        out.Insert(header, ResultLine("[%08lx] Offset Size = %d [byte]", sizeAt, offsetSize), Bytes(sizeAt, 2));
        out.Insert(header, ResultLine("[%08lx] Reserved = 0x%04x", sizeAt + 2, reserved), Bytes(sizeAt + 2, 2));
    }
    firstIfdLine = out.Insert(header,
               ResultLine(bigTiff ? "[%08lx] Offset to 0th IFD = 0x%016lx" : "[%08lx] Offset to 0th IFD = 0x%08lx",
                          offsetAt, firstIfdOffset),
               Bytes(offsetAt, OffsetBytes()));
    out.Expand(header);
}

LineId CTiffAnalyzer::AnalyzeIfd(FILE* fp, uint32_t index, LineId parent, uint32_t level)
{
    const CTreeWriter out(tree);
    IfdRecord& record = records[index];
    const uint64_t position = record.position;
    if (faxPages)
        faxPages->FileMoved();
    Seek(fp, position);
    reader.Reset();
    // BigTIFF counts its entries in 8 bytes, classic TIFF in 2.
    const uint64_t countBytes = bigTiff ? 8 : 2;
    const uint64_t n = ReadEntryCount(fp);
    record.entryCount = n;
    // Entries beyond the file's end are never read: a count that claims
    // more ends the directory there.
    const bool whole = n <= (fileSize - std::min(fileSize, position + countBytes)) / EntryBytes();
    const uint64_t entriesEnd = position + countBytes + (whole ? n * EntryBytes() : fileSize);
    LineId directory = 0;
    // The directory: its entry count, its entries and the next-IFD offset.
    if (request_.Detailed())
        directory = out.Insert(parent, ResultLine("[%08lx] ImageFileDirectory", position),
                               Bytes(position, whole ? entriesEnd + OffsetBytes() - position : fileSize));
    record.line = directory;
    ReadDirectory(fp, index, n, level + 1, directory);

    // The next-IFD offset follows the entries; when the entries run past the
    // end of the file it cannot be read and the chain ends here.
    record.nextIfdOffset = 0;
    if (whole && InFile(entriesEnd, OffsetBytes())) {
        Seek(fp, entriesEnd);
        reader.Reset();
        uint64_t next = ReadOffset(fp);
        if (next != 0)
            next = Absolute(next, baseOffset);
        record.nextIfdOffset = next;
        record.nextAt = entriesEnd;
        if (request_.Detailed())
            record.nextLine = out.Insert(directory,
                       ResultLine(bigTiff ? "[%08lx] Offset to Next IFD = 0x%016lx%s"
                                          : "[%08lx] Offset to Next IFD = 0x%08lx%s",
                                  entriesEnd, next, next == 0 ? " (Next IFD is nothing)" : ""),
                       Bytes(entriesEnd, OffsetBytes()));
    }
    out.Expand(directory);
    return directory;
}

void CTiffAnalyzer::ReadDirectory(FILE* fp, uint32_t index, uint64_t n, uint32_t level, LineId parent)
{
    const uint64_t position = records[index].position;
    const uint64_t countBytes = bigTiff ? 8 : 2;
    CTreeWriter(tree).Insert(parent,
                             bigTiff ? ResultLine("[%08lx] Number of Directory Entry = %lu", position, n)
                                     : ResultLine("[%08lx] Number of Directory Entry = %d", position,
                                                  static_cast<int32_t>(n)),
                             Bytes(position, countBytes));
    open.push_back(index);
    ReadEntries(fp, index, n, position + countBytes, level, parent);
    LayOutGeoKeys(index);
    open.pop_back();
    checker.CheckDirectory(records[index], position + countBytes + records[index].entries.size() * EntryBytes());
}

void CTiffAnalyzer::ReadEntries(FILE* fp, uint32_t index, uint64_t count, uint64_t first, uint32_t level,
                                LineId parent)
{
    for (uint64_t k = 0; k < count; ++k) {
        const uint64_t e = first + EntryBytes() * k;
        if (!InFile(e, EntryBytes()) || entriesRead >= kMaxEntriesPerRun)
            break;
        ++entriesRead;
        Seek(fp, e);
        reader.Reset();
        IfdEntry& entry = records[index].entries.emplace_back();
        entry.tag = Read(fp, 2);
        entry.type = Read(fp, 2);
        entry.count = bigTiff ? Read64(fp) : Read(fp, 4);
        entry.valueField = ReadOffset(fp);
        entry.at = e;
        entry.valuesAt = ValuesInline(entry) ? e + EntryBytes() - OffsetBytes() : Absolute(entry.valueField, baseOffset);
        AnalyzeEntry(fp, entry, e, level, parent);
    }
}

IfdEntry* CTiffAnalyzer::FindIn(uint32_t record, uint32_t tag)
{
    if (record >= records.size())
        return nullptr;
    for (IfdEntry& entry : records[record].entries)
        if (entry.tag == tag)
            return &entry;
    return nullptr;
}

IfdEntry* CTiffAnalyzer::FindEntry(uint32_t ifdIndex, uint32_t tag)
{
    return ifdIndex < chain.size() ? FindIn(chain[ifdIndex], tag) : nullptr;
}







void CTiffAnalyzer::ReadValues(FILE* fp, IfdEntry& entry, uint64_t e)
{
    const TypeInfo* type = FindType(entry.type);
    if (!type || valuesRead >= kMaxValuesPerRun)
        return;
    const bool text = entry.type == kAscii || entry.type == kUtf8;
    if (entry.count == 1 && ValuesInline(entry)) {
        ReadInlineValue(entry);
        return;
    }
    if (entry.type == kUndefined)
        return;
    if (entry.count == 0) {
        if (text)
            entry.values.emplace_back().text = std::make_unique<char[]>(1);
        return;
    }

    const uint64_t start = ValuePosition(entry, e, 0);
    if (entry.count > fileSize || !InFile(start, entry.count * type->size))
        return;   // values outside the file: the entry gets no values
    const auto n = static_cast<uint32_t>(
        std::min<uint64_t>({entry.count, kMaxValuesPerEntry, kMaxValuesPerRun - valuesRead}));
    valuesRead += n;

    const uint64_t back = Tell(fp);
    Seek(fp, start);
    reader.Reset();
    if (text) {
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
    // A single value is taken from the value field itself. A value smaller
    // than the field, in a big-endian file, sits in its high-order bytes.
    if (entry.type == kUndefined)
        return;
    const uint32_t size = FindType(entry.type)->size;
    if (!LittleEndian() && size < OffsetBytes())
        entry.valueField >>= 8 * (OffsetBytes() - size);
    EntryValue& value = entry.values.emplace_back();
    switch (entry.type) {
    case kAscii:
    case kUtf8: value.text = std::make_unique<char[]>(1); break;
    case kSByte:
    case kSShort:
    case kSLong:
    case kSLong8: value.signedValue = static_cast<int64_t>(entry.valueField); break;
    case kFloat: value.realValue = std::bit_cast<float>(static_cast<uint32_t>(entry.valueField)); break;
    case kDouble: value.realValue = std::bit_cast<double>(entry.valueField); break;
    default: value.unsignedValue = entry.valueField; break;
    }
    ++valuesRead;
}

uint64_t CTiffAnalyzer::Read64(FILE* fp)
{
    const uint64_t a = Read(fp, 4);
    const uint64_t b = Read(fp, 4);
    return LittleEndian() ? (b << 32 | a) : (a << 32 | b);
}

void CTiffAnalyzer::ReadElement(FILE* fp, uint32_t type, EntryValue& value)
{
    const uint32_t size = FindType(type)->size;
    switch (type) {
    case kByte:
    case kShort:
    case kLong:
    case kIfd: value.unsignedValue = Read(fp, size); break;
    case kLong8:
    case kIfd8: value.unsignedValue = Read64(fp); break;
    case kSByte:
    case kSShort:
    case kSLong: value.signedValue = Read(fp, size); break;
    case kSLong8: value.signedValue = static_cast<int64_t>(Read64(fp)); break;
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
    case kDouble: value.realValue = std::bit_cast<double>(Read64(fp)); break;
    default: break;
    }
}

CTiffAnalyzer::EntryItems CTiffAnalyzer::WriteEntryLines(IfdEntry& entry, uint64_t e, const char* name,
                                                         LineId parent, bool asOffset)
{
    const CTreeWriter out(tree);
    const TypeInfo* type = FindType(entry.type);
    const uint64_t valueAt = e + EntryBytes() - OffsetBytes();
    EntryItems items;
    items.tag = out.Insert(parent, ResultLine("[%08lx] Tag = 0x%04X ... %s", e, entry.tag, name),
                           Bytes(e, EntryBytes()));
    entry.line = items.tag;
    out.Insert(items.tag,
               ResultLine("[%08lx] TYPE = 0x%04x ... %s", e + 2, entry.type, type ? type->name : kUnknownTypeName),
               Bytes(e + 2, 2));
    out.Insert(items.tag,
               ResultLine(bigTiff ? "[%08lx] COUNT = 0x%016lx" : "[%08lx] COUNT = 0x%08lx", e + 4, entry.count),
               Bytes(e + 4, OffsetBytes()));
    const char* format = bigTiff ? (asOffset ? "[%08lx] Offset = 0x%016lx" : "[%08lx] Value = 0x%016lx")
                                 : (asOffset ? "[%08lx] Offset = 0x%08lx" : "[%08lx] Value = 0x%08lx");
    // An offset is shown, and from here on used, as an absolute file position.
    if (asOffset)
        entry.valueField = Absolute(entry.valueField, baseOffset);
    items.value = out.Insert(items.tag, ResultLine(format, valueAt, entry.valueField), Bytes(valueAt, OffsetBytes()));
    return items;
}

void CTiffAnalyzer::AnalyzeEntry(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, LineId parent)
{
    const TagInfo* info = FindTag(records[open.back()].kind, entry.tag);
    const char* name = info ? info->name : kUndefinedTag;
    if (!request_.Detailed()) {
        run->AddEntry(level, ResultLine("[%08lx] Tag : 0x%04X ... %s", e, entry.tag, name).c_str());
        return;
    }
    ReadValues(fp, entry, e);
    switch (info ? info->reading : Reading::None) {
    case Reading::ExifIfd: AnalyzeNestedIfd(fp, entry, e, name, IfdKind::Exif, level, parent); break;
    case Reading::GpsIfd: AnalyzeNestedIfd(fp, entry, e, name, IfdKind::Gps, level, parent); break;
    case Reading::InteropIfd: AnalyzeNestedIfd(fp, entry, e, name, IfdKind::Interop, level, parent); break;
    case Reading::SubIfds: AnalyzeSubIfds(fp, entry, e, level, parent); break;
    case Reading::IccProfile: AnalyzeIccProfile(fp, entry, e, parent); break;
    case Reading::MakerNote: AnalyzeMakerNote(entry, e, name, parent); break;
    case Reading::MpEntry: AnalyzeMpEntries(entry, e, name, parent); break;
    default: WriteInterpretedEntry(entry, e, info, parent); break;
    }
}

void CTiffAnalyzer::WriteInterpretedEntry(IfdEntry& entry, uint64_t e, const TagInfo* info, LineId parent)
{
    std::vector<TagValueLine> lines;
    if (info)
        lines = CTagInterpreter(values).Interpret(*info, entry, e);
    const uint64_t first = ValuePosition(entry, e, 0);
    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] =
        WriteEntryLines(entry, e, info ? info->name : kUndefinedTag, parent, !ValuesInline(entry));
    for (const TagValueLine& line : lines)
        out.Insert(valueItem, line.text, line.range);
    // The keys of a GeoKeyDirectory get their lines once the IFD is read.
    const bool keys = info && info->reading == Reading::GeoKeyDirectory && entry.values.size() >= 4;
    if (!keys)
        CoverValues(entry, first, lines, valueItem);
    if (info && info->reading == Reading::GeoKeyDirectory && !records[open.back()].geoKeys) {
        records[open.back()].geoKeys = valueItem;
        records[open.back()].geoKeysAt = first;
    }
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::CoverValues(const IfdEntry& entry, uint64_t start, const std::vector<TagValueLine>& lines,
                                LineId valueItem)
{
    // Values in the value field are the Value line's bytes. Values at an
    // offset get one line for the bytes that the value lines leave: all of
    // them when those lines put the value into words (a resolution, a text,
    // the first bytes of a packet), the rest when the lines of one value
    // each stop before the last value. Values that the file cannot hold
    // whole get none: a wrong count or offset claims no other structure's
    // bytes.
    const TypeInfo* type = FindType(entry.type);
    if (!type || type->size == 0 || ValuesInline(entry) || entry.count > fileSize ||
        !InFile(start, entry.count * type->size))
        return;
    const ByteRange whole = Bytes(start, entry.count * type->size);
    if (whole.Empty())
        return;
    uint64_t covered = whole.start;
    for (const TagValueLine& line : lines)
        if (!line.range.Empty() && line.range.start <= covered && line.range.end > covered)
            covered = line.range.end;
    if (covered >= whole.end)
        return;
    const uint64_t bytes = whole.end - covered;
    const std::string text =
        covered == whole.start
            ? ResultLine("[%08lx] Value Data : %s x %lu = %lu [byte]", covered, type->name, entry.count, bytes)
            : ResultLine("[%08lx] Value Data : %s #%lu - #%lu = %lu [byte]", covered, type->name,
                         (covered - whole.start) / type->size, (whole.end - whole.start) / type->size - 1, bytes);
    CTreeWriter(tree).Insert(valueItem, text, {covered, whole.end});
}

bool CTiffAnalyzer::MayNest(uint64_t offset) const
{
    // An IFD below an entry is followed unless it lies outside the file, is
    // one of the IFDs being read (a pointer back), or nests deeper than any
    // real file does.
    if (!InFile(offset, 2) || open.size() > kMaxExifDepth)
        return false;
    for (uint32_t index : open)
        if (records[index].position == offset)
            return false;
    return true;
}

void CTiffAnalyzer::AnalyzeNestedIfd(FILE* fp, IfdEntry& entry, uint64_t e, const char* name, IfdKind kind,
                                     uint32_t level, LineId parent)
{
    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, name, parent, true);
    const uint64_t offset = entry.valueField;
    checker.CheckIfdPointer(offset, std::any_of(open.begin(), open.end(),
                                                [&](uint32_t i) { return records[i].position == offset; }),
                            e + EntryBytes() - OffsetBytes(), tagItem);
    if (MayNest(offset)) {
        const uint64_t back = Tell(fp);
        const auto index = static_cast<uint32_t>(records.size());
        IfdRecord& record = records.emplace_back();
        record.position = offset;
        record.kind = kind;
        record.line = valueItem;
        Seek(fp, offset);
        reader.Reset();
        // The entry count and the entries; the next-IFD offset after them
        // is shown but not followed: these IFDs form no chain.
        const uint64_t n = ReadEntryCount(fp);
        ReadDirectory(fp, index, n, level + 1, valueItem);
        NestedNextOffset(fp, records[index], n, valueItem);
        Seek(fp, back);
        reader.Reset();
    }
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::NestedNextOffset(FILE* fp, const IfdRecord& record, uint64_t n, LineId parent)
{
    const uint64_t countBytes = bigTiff ? 8 : 2;
    if (record.entries.size() != n)
        return;
    const uint64_t at = record.position + countBytes + n * EntryBytes();
    if (!InFile(at, OffsetBytes()))
        return;
    Seek(fp, at);
    reader.Reset();
    uint64_t next = ReadOffset(fp);
    if (next != 0)
        next = Absolute(next, baseOffset);
    CTreeWriter(tree).Insert(parent,
                             ResultLine(bigTiff ? "[%08lx] Offset to Next IFD = 0x%016lx%s"
                                                : "[%08lx] Offset to Next IFD = 0x%08lx%s",
                                        at, next, next == 0 ? " (Next IFD is nothing)" : ""),
                             Bytes(at, OffsetBytes()));
}

void CTiffAnalyzer::AnalyzeSubIfds(FILE* fp, IfdEntry& entry, uint64_t e, uint32_t level, LineId parent)
{
    // Each value points at an IFD of its own (reduced resolutions, a DNG's
    // raw and preview pictures), laid out and drawn under the value's line.
    const CTreeWriter out(tree);
    // The values' places, before the value field is made absolute.
    std::vector<uint64_t> places;
    for (uint32_t i = 0; i < entry.values.size(); ++i)
        places.push_back(ValuePosition(entry, e, i));
    // A type the tag tables do not know has no size, and its entry no values.
    const TypeInfo* type = FindType(entry.type);
    const uint64_t size = type ? type->size : 0;
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, "SubIFDs", parent, !ValuesInline(entry));
    const uint64_t back = Tell(fp);
    const std::string label = currentLabel;
    const uint32_t owner = currentIfd;
    for (uint32_t i = 0; i < entry.values.size(); ++i) {
        const uint64_t offset = Absolute(entry.values[i].unsignedValue, baseOffset);
        const LineId line = out.Insert(valueItem, ResultLine("[%08lx] SubIFD #%d = 0x%08lx", places[i], i, offset),
                                          Bytes(places[i], size));
        // Each SubIFD is laid out once, and no more of them than IFDs in a
        // chain, since each may draw a picture.
        if (subIfdsRead.size() < kMaxIfds)
            checker.CheckIfdPointer(offset,
                                    subIfdsRead.contains(offset) ||
                                        std::any_of(open.begin(), open.end(),
                                                    [&](uint32_t k) { return records[k].position == offset; }),
                                    places[i], line);
        if (!line || !MayNest(offset) || subIfdsRead.size() >= kMaxIfds || !subIfdsRead.insert(offset).second)
            continue;
        const auto index = static_cast<uint32_t>(records.size());
        IfdRecord& record = records.emplace_back();
        record.position = offset;
        AnalyzeIfd(fp, index, line, level + 1);
        currentIfd = index;
        currentLabel = label + " SubIFD " + std::to_string(i);
        if (FindIn(index, kStripOffsets) || FindIn(index, kTileOffsets) || FindIn(index, kJPEGInterchangeFormat))
            AnalyzeImageData(fp, line, currentLabel);
        out.Expand(line);
    }
    currentIfd = owner;
    currentLabel = label;
    Seek(fp, back);
    reader.Reset();
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::AnalyzeIccProfile(FILE* fp, IfdEntry& entry, uint64_t e, LineId parent)
{
    const CTreeWriter out(tree);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, "ICCProfile", parent, true);
    const TypeInfo* type = FindType(entry.type);

    // The profile is laid out only when the bytes the entry claims for it
    // lie inside the file.
    if (valueItem && entry.count <= fileSize && InFile(entry.valueField, entry.count * (type ? type->size : 1))) {
        const uint64_t back = Tell(fp);
        Seek(fp, entry.valueField);
        // The entry's bytes are the profile's data.
        RunAnalyzer(kFormatIcc, AnalysisRequest{.run = run,
                                                .fp = fp,
                                                .mode = AnalysisMode::Detailed,
                                                .parent = valueItem,
                                                .dataEnd = entry.valueField + entry.count * (type ? type->size : 1)});
        Seek(fp, back);
        reader.Reset();
        CoverProfileGaps(Bytes(entry.valueField, entry.count * (type ? type->size : 1)), valueItem);
    }
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::CoverProfileGaps(const ByteRange& profile, LineId valueItem)
{
    // The profile's lines leave out the data of its tags (and whatever a
    // writer put between them); each stretch they leave gets a line, up to
    // a limit, past which one line covers the rest of the profile.
    constexpr size_t kMaxGapLines = 4096;
    if (!tree || !valueItem || profile.Empty())
        return;
    std::vector<ByteRange> covered;
    if (const LineId first = tree->FirstChild(valueItem))
        ForEachLine(*tree, first, false, [&](LineId line, int) {
            if (ByteRange r; tree->RangeOf(line, r) && r.space == ByteSpace::File)
                covered.push_back(r);
        });
    std::sort(covered.begin(), covered.end(), [](const ByteRange& a, const ByteRange& b) { return a.start < b.start; });
    const CTreeWriter out(tree);
    uint64_t at = profile.start;
    size_t written = 0;
    auto gap = [&](uint64_t end) {
        if (end <= at)
            return;
        const uint64_t stop = written + 1 < kMaxGapLines ? end : profile.end;
        out.Insert(valueItem, ResultLine("[%08lx] ICC Profile Data = %lu [byte]", at, stop - at), {at, stop});
        ++written;
        at = stop;
    };
    for (const ByteRange& r : covered) {
        if (at >= profile.end)
            break;
        gap(std::min(r.start, profile.end));
        at = std::max(at, std::min(r.end, profile.end));
    }
    gap(profile.end);
}

void CTiffAnalyzer::AnalyzeMakerNote(IfdEntry& entry, uint64_t e, const char* name, LineId parent)
{
    // The maker's own structure is not parsed: one line covers its bytes,
    // naming the maker when the data begins with its identifier.
    const CTreeWriter out(tree);
    const std::string maker = MakerIdentifier(RawValueBytes(entry, e, 16));
    const uint64_t start = ValuePosition(entry, e, 0);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, name, parent, !ValuesInline(entry));
    const std::string text = maker.empty() ? ResultLine("[%08lx] MakerNote Data", start)
                                           : ResultLine("[%08lx] MakerNote Data (%s)", start, maker.c_str());
    out.Insert(valueItem, text, Bytes(start, entry.count));
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::LayOutGeoKeys(uint32_t index)
{
    // GeoTIFF 1.1 section 7: a header of four SHORTs (version, revision,
    // minor revision, number of keys), then four SHORTs a key: its id, where
    // its value lies (0: in the key itself; 34736: GeoDoubleParams; 34737:
    // GeoAsciiParams), the count, and the value or the index of the first.
    const LineId item = records[index].geoKeys;
    const IfdEntry* keys = FindIn(index, kGeoKeyDirectory);
    if (!item || !keys || keys->values.size() < 4)
        return;
    const CTreeWriter out(tree);
    const std::vector<EntryValue>& v = keys->values;
    const uint64_t at = records[index].geoKeysAt;
    out.Insert(item,
               ResultLine("[%08lx] KeyDirectoryVersion = %lu, KeyRevision = %lu.%lu, NumberOfKeys = %lu", at,
                          v[0].unsignedValue, v[1].unsignedValue, v[2].unsignedValue, v[3].unsignedValue),
               Bytes(at, 8));
    const IfdEntry* doubles = FindIn(index, kGeoDoubleParams);
    const IfdEntry* ascii = FindIn(index, kGeoAsciiParams);
    // A directory that claims more keys than its values hold ends with them.
    uint64_t k = 0;
    for (; k < v[3].unsignedValue && 4 * k + 7 < v.size(); ++k) {
        const auto id = static_cast<uint32_t>(v[4 * k + 4].unsignedValue);
        const uint64_t where = v[4 * k + 5].unsignedValue;
        const uint64_t count = v[4 * k + 6].unsignedValue;
        const uint64_t value = v[4 * k + 7].unsignedValue;
        std::string text = kUndefinedValue;
        if (where == 0) {
            text = GeoKeyValueText(id, static_cast<uint32_t>(value));
        } else if (where == kGeoDoubleParams && doubles && value < doubles->values.size() &&
                   count <= doubles->values.size() - value) {
            text.clear();
            for (uint64_t i = value; i < value + count && text.size() < kMaxLineBytes; ++i) {
                if (i > value)
                    text += ' ';
                text += ResultLine("%.10g", doubles->values[i].realValue);
            }
        } else if (where == kGeoAsciiParams && ascii && !ascii->values.empty() && ascii->values[0].text) {
            const std::string params = ascii->values[0].text.get();
            if (value < params.size()) {
                text = params.substr(value, std::min<uint64_t>(count, params.size() - value));
                while (!text.empty() && (text.back() == '|' || text.back() == '\0'))
                    text.pop_back();
                text = FileText(text.data(), text.size(), kMaxLineBytes);
            }
        }
        const char* name = GeoKeyName(id);
        const uint64_t keyAt = at + 8 * (k + 1);
        out.Insert(item, ResultLine("[%08lx] GeoKey = %d ... %s : %s", keyAt, id, name ? name : "UndefinedGeoKey",
                                    text.c_str()),
                   Bytes(keyAt, 8));
    }
    // Values past the keys it claims are the directory's too.
    CoverValues(*keys, at, {TagValueLine(std::string(), Bytes(at, 8 * (k + 1)))}, item);
    out.Expand(item);
}

void CTiffAnalyzer::AnalyzeMpEntries(IfdEntry& entry, uint64_t e, const char* name, LineId parent)
{
    // CIPA DC-007 section 5.2.3.3: 16 bytes an image. The list is bounded
    // as an entry's values are.
    const CTreeWriter out(tree);
    const std::vector<uint8_t> bytes = RawValueBytes(entry, e, kMaxValuesPerEntry);
    const uint64_t start = ValuePosition(entry, e, 0);
    const auto [tagItem, valueItem] = WriteEntryLines(entry, e, name, parent, !ValuesInline(entry));
    for (size_t k = 0; k + 16 <= bytes.size(); k += 16)
        MpEntryLines(bytes, k, start + k, valueItem);
    out.Expand(valueItem);
    out.Expand(tagItem);
}

void CTiffAnalyzer::MpEntryLines(const std::vector<uint8_t>& bytes, size_t k, uint64_t at, LineId parent)
{
    const CTreeWriter out(tree);
    const bool le = LittleEndian();
    const uint32_t attribute = Bytes32(bytes, k, le);
    const uint32_t size = Bytes32(bytes, k + 4, le);
    const uint32_t offset = Bytes32(bytes, k + 8, le);
    const size_t number = k / 16 + 1;
    const LineId item = out.Insert(parent, ResultLine("[%08lx] MPEntry #%zu", at, number), Bytes(at, 16));
    const LineId flags =
        out.Insert(item, ResultLine("[%08lx] Individual Image Attribute = 0x%08x", at, attribute), Bytes(at, 4));
    if (attribute & 0x80000000u)
        out.Insert(flags, "Dependent Parent Image");
    if (attribute & 0x40000000u)
        out.Insert(flags, "Dependent Child Image");
    if (attribute & 0x20000000u)
        out.Insert(flags, "Representative Image");
    out.Insert(flags, (attribute >> 24 & 7) == 0 ? "Image Data Format = JPEG" : "Image Data Format = UNDEFINED !!");
    out.Insert(flags, ResultLine("MP Type = %s", TextFor(kMpTypes, attribute & 0xFFFFFF)));
    out.Expand(flags);
    out.Insert(item, ResultLine("[%08lx] Individual Image Size = %u [byte]", at + 4, size), Bytes(at + 4, 4));
    // Offsets count from the MP header; 0 is the first image, the file itself.
    const uint64_t absolute = baseOffset + offset;
    out.Insert(item,
               offset == 0 ? ResultLine("[%08lx] Individual Image Data Offset = 0x%08x (First Image)", at + 8, offset)
                           : ResultLine("[%08lx] Individual Image Data Offset = 0x%08x ( + 0x%08lx = 0x%08lx )",
                                        at + 8, offset, baseOffset, absolute),
               Bytes(at + 8, 4));
    out.Insert(item, ResultLine("[%08lx] Dependent Image 1 Entry Number = %u", at + 12, Bytes16(bytes, k + 12, le)),
               Bytes(at + 12, 2));
    out.Insert(item, ResultLine("[%08lx] Dependent Image 2 Entry Number = %u", at + 14, Bytes16(bytes, k + 14, le)),
               Bytes(at + 14, 2));
    if (offset != 0 && request_.pictures) {
        if (size > 0 && InFile(absolute, size))
            request_.pictures->push_back({absolute, size, item, "MPF " + std::to_string(number)});
        else
            out.Insert(item, "画像がファイルの外を指しています");
    }
    out.Expand(item);
}

std::string CTiffAnalyzer::RoughSummary(uint32_t ifdIndex)
{
    // Rough mode reads no values: the numbers come from the raw value
    // fields, where a big-endian value sits in the high-order bytes.
    auto raw = [&](const IfdEntry& entry, bool shortAlways) -> uint64_t {
        if (LittleEndian())
            return entry.valueField;
        if (!bigTiff)
            return shortAlways || entry.type == kShort ? entry.valueField >> 16 : entry.valueField;
        const TypeInfo* type = FindType(entry.type);
        return type && type->size < 8 ? entry.valueField >> (8 * (8 - type->size)) : entry.valueField;
    };
    auto size = [&](uint32_t tag) -> uint32_t {
        const IfdEntry* entry = FindEntry(ifdIndex, tag);
        return entry ? static_cast<uint32_t>(raw(*entry, false)) : 0;
    };
    const IfdEntry* compression = FindEntry(ifdIndex, kCompression);
    // Without a Compression entry the image is uncompressed (TIFF 6.0).
    const auto scheme = compression ? static_cast<uint32_t>(raw(*compression, true)) : kUncompressed;
    return ResultLine("【IFD #%04d [画像サイズ] %5d x %5d ", ifdIndex, static_cast<int32_t>(size(kImageWidth)),
                      static_cast<int32_t>(size(kImageLength))) +
           CompressionSummary(scheme);
}

void CTiffAnalyzer::AppendSummaries()
{
    // The row holds 511 bytes: when the summaries of all IFDs do not fit,
    // it ends with the last whole one and the number of IFDs.
    size_t total = 0;
    for (const std::string& s : summaries)
        total += Cp932Length(s.data(), s.size());
    const std::string tail = "… 全" + std::to_string(summaries.size()) + " IFD";
    const size_t budget = total <= kMaxLineBytes ? total : kMaxLineBytes - Cp932Length(tail.data(), tail.size());
    size_t used = 0;
    for (const std::string& s : summaries) {
        used += Cp932Length(s.data(), s.size());
        if (used > budget)
            break;
        run->AppendSummary(s.c_str());
    }
    if (total > kMaxLineBytes)
        run->AppendSummary(tail.c_str());
}

namespace {
// The text of an image that this program cannot draw.
constexpr const char* kUnsupported = "未対応の形式";

// Largest picture side given an image window; a bitmap beyond the pixel
// memory's cap gets a window without pixels.
constexpr uint32_t kMaxPictureSide = 0x7FFFFF00;

// Samples and the bytes of a data row, bounded so that a hostile sample
// count or tile width cannot make a row buffer larger than a bitmap.
constexpr uint32_t kMaxSamplesPerPixel = 32;
constexpr uint64_t kMaxRowBytes = uint64_t{64} << 20;
// The JPEGTables stream is read up to this many bytes.
constexpr uint64_t kMaxJpegTablesBytes = 1u << 20;
// Signed and floating-point pictures are decoded twice (measured, then
// drawn): their samples may take this many bytes, so that both passes
// together cost no more than the largest picture of 8-bit colour.
constexpr uint64_t kMaxValueBytes = uint64_t{64} << 20;

// SampleFormat: TIFF 6.0 section 19.
constexpr uint32_t kUnsignedSamples = 1;
constexpr uint32_t kSignedSamples = 2;
constexpr uint32_t kFloatSamples = 3;
}  // namespace

uint32_t CTiffAnalyzer::FirstValue(uint32_t tag, uint32_t fallback)
{
    const IfdEntry* entry = FindIn(currentIfd, tag);
    return entry && !entry->values.empty() ? static_cast<uint32_t>(entry->values.front().unsignedValue) : fallback;
}

void CTiffAnalyzer::AnalyzeImageData(FILE* fp, LineId parent, const std::string& label)
{
    const CTreeWriter out(tree);
    const IfdEntry* tiles = FindIn(currentIfd, kTileOffsets);
    const IfdEntry* strips = FindIn(currentIfd, kStripOffsets);
    const bool tiled = tiles && (!strips || FindIn(currentIfd, kTileWidth));
    const IfdEntry* segments = tiled ? tiles : strips;
    const IfdEntry* jpeg = FindIn(currentIfd, kJPEGInterchangeFormat);
    const IfdEntry* source = segments ? segments : jpeg;
    if (!source || source->values.empty())
        return;
    const uint64_t position = source->values.front().unsignedValue;
    // TIFF 6.0 defaults stand in for absent fields.
    uint32_t compression = FirstValue(kCompression, kUncompressed);
    if (segments) {
        CheckImageData(*segments, tiled, compression);
    } else if (const IfdEntry* length = FindIn(currentIfd, kJPEGInterchangeFormatLength)) {
        checker.CheckJpegData(*jpeg, checker.FirstNumber(*length));
    }

    // Exif readers take JPEG interchange data without a Compression (or
    // with 0) for the JPEG thumbnail it always is.
    if (!segments && (!FindIn(currentIfd, kCompression) || compression == 0))
        compression = kOldJpeg;
    if (compression == kJpeg && segments)
        LayOutJpegTables(fp, parent);
    Seek(fp, position);
    reader.Reset();
    // The line covers the first strip or tile, or the JPEG interchange
    // data; without a byte count they run to the end of the file.
    const IfdEntry* lengths = FindIn(
        currentIfd, !segments ? kJPEGInterchangeFormatLength : tiled ? kTileByteCounts : kStripByteCounts);
    const bool sized = lengths && !lengths->values.empty();
    const uint64_t length = sized ? lengths->values.front().unsignedValue : fileSize;
    const LineId dataItem =
        out.Insert(parent, ResultLine(segments ? "[%08lx] Image Data" : "[%08lx] Jpeg Data", position),
                   Bytes(position, length));

    // Data of embedded TIFF (Exif) lying beyond the segment that carries it
    // is not this structure's.
    const uint64_t dataEnd = request_.dataEnd;
    const bool firstInside = position < dataEnd && (!sized || length <= dataEnd - position);
    if (compression == kOldJpeg) {
        // The JPEG stream's lines, and its picture, are the JPEG analyzer's;
        // they hang under the data line just inserted.
        if (firstInside)
            LayOutJpeg(fp, dataItem, position, label, false);
        else
            out.Insert(dataItem, ResultLine("[%08lx] JPEGデータは埋め込みデータの外にあります", position),
                       Bytes(position, length));
        if (segments)
            WriteSegmentLines(*segments, lengths, tiled, dataItem);
        return;
    }
    if (!segments) {
        out.Insert(parent, kUnsupported);
        run->RecordDecode(label, DecodeOutcome::NotSupported, "ストリップもタイルもない画像");
        return;
    }
    DrawImage(fp, {*segments, tiled, compression, position, firstInside, dataItem}, parent, label);
    WriteSegmentLines(*segments, lengths, tiled, dataItem);
}

void CTiffAnalyzer::WriteSegmentLines(const IfdEntry& segments, const IfdEntry* lengths, bool tiled, LineId item)
{
    const CTreeWriter out(tree);
    const CSegmentLines::Table table{segments.values, lengths ? &lengths->values : nullptr, tiled,
                                     request_.dataEnd, fileSize};
    CSegmentLines(out, table).Write(item);
}

// Whether a picture of signed or floating-point samples is small enough to
// be measured and drawn; when it is not, a line under parent says so.
bool CTiffAnalyzer::SmallEnough(const CSampleWriter::Format& format, LineId parent, const std::string& label)
{
    // Both sides are 32-bit: their product fits in 64 bits, but no more.
    const uint64_t pixels = uint64_t{FirstValue(kImageWidth, 0)} * FirstValue(kImageLength, 0);
    const uint64_t channels = format.layout == CSampleWriter::Layout::Rgb ? 3 : 1;
    const uint64_t maxSamples = kMaxValueBytes * 8 / std::max<uint64_t>(format.bitsPerSample, 1);
    if (format.number != CSampleWriter::Number::Unsigned && pixels > maxSamples / channels) {
        CTreeWriter(tree).Insert(parent, "画像が大きすぎるため描画しません");
        run->RecordDecode(label, DecodeOutcome::NotSupported, "画像が大きすぎる");
        return false;
    }
    return true;
}

void CTiffAnalyzer::DrawImage(FILE* fp, const ImageData& data, LineId parent, const std::string& label)
{
    CSampleWriter::Format format;
    if (!Drawable(data.compression, format)) {
        CTreeWriter(tree).Insert(parent, kUnsupported);
        run->RecordDecode(label, DecodeOutcome::NotSupported, ResultLine("圧縮形式 %u または標本の形式", data.compression));
        return;
    }
    const uint32_t width = FirstValue(kImageWidth, 0);
    const uint32_t height = FirstValue(kImageLength, 0);
    segmentsCut = false;
    const std::vector<Segment> all = Segments(data.segments, data.tiled, format.planar ? format.samplesPerPixel : 1);
    const std::vector<Segment> list = InsideData(all, data.tiled, 0);
    if (list.empty() && !all.empty()) {
        InsideData(all, data.tiled, data.item);
        run->RecordDecode(label, DecodeOutcome::EndedEarly, "画像データが埋め込みデータの外にある");
        return;
    }
    if (!SmallEnough(format, parent, label))
        return;
    if (run->CancelRequested()) {
        run->RecordDecode(label, DecodeOutcome::Cancelled);
        return;
    }
    std::string title = label;
    if (format.number != CSampleWriter::Number::Unsigned) {
        // Signed and floating-point samples are stretched from the
        // picture's smallest to its largest finite value, measured first.
        CSampleWriter::Picture measure{nullptr, width, height, width, height};
        DecodeSamples(fp, list, data.compression, measure, format, &format.stretch);
        title += format.stretch.Any() ? ResultLine(" 最小 %g 最大 %g", format.stretch.min, format.stretch.max)
                                      : std::string(" 最小 - 最大 -");
    }
    CSampleWriter::Picture picture{nullptr, width, height, 0, 0};
    CreatePicture(width, height, title, !IsFax(data.compression), picture);
    if (pixelBuffer) {
        switch (data.compression) {
        case kModifiedHuffman:
        case kFaxT4:
        case kFaxT6: DecodeFax(fp, list, data.compression, picture); break;
        case kJpeg: DecodeJpeg(fp, list, picture); break;
        default: DecodeSamples(fp, list, data.compression, picture, format); break;
        }
    }
    // A fax page is done when it is drawn, maybe on a thread of its own.
    if (!pixelBuffer || !IsFax(data.compression))
        run->PictureDone(pictureIndex);
    if (list.size() < all.size() || segmentsCut)
        run->RecordDecode(label, DecodeOutcome::EndedEarly, "ストリップかタイルがデータの外にある");
    else if (pixelBuffer)
        run->RecordDecode(label, DecodeOutcome::Complete);
    else
        NotDrawn(data.item, label, width, height);
    // The first segment's stream is laid out like old-style JPEG data,
    // under the data line.
    if (data.compression == kJpeg && data.firstInside)
        LayOutJpeg(fp, data.item, data.position, label, true);
    InsideData(all, data.tiled, data.item);
}

void CTiffAnalyzer::NotDrawn(LineId parent, const std::string& label, uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0) {
        run->RecordDecode(label, DecodeOutcome::NotSupported, "大きさが0");
        return;
    }
    const uint64_t bytes = uint64_t{3} * static_cast<uint32_t>(CImageBuffer::PaddedSize(std::min(width, kMaxPictureSide))) *
                           static_cast<uint32_t>(CImageBuffer::PaddedSize(std::min(height, kMaxPictureSide)));
    const bool tooLarge = width > kMaxPictureSide || height > kMaxPictureSide || bytes > CImageBuffer::kMaxBytes;
    CTreeWriter(tree).Insert(parent, tooLarge ? "画像が大きすぎるため描画しません" : "画素のメモリがないため描画しません");
    run->RecordDecode(label, DecodeOutcome::NotSupported, tooLarge ? "画像が大きすぎる" : "画素のメモリがない");
}

void CTiffAnalyzer::CheckImageData(const IfdEntry& segments, bool tiled, uint32_t compression)
{
    // Chunky pixels hold every sample; a plane of separate ones holds one.
    const IfdEntry* bits = FindIn(currentIfd, kBitsPerSample);
    const uint64_t spp = FirstValue(kSamplesPerPixel, 1);
    const bool planar = FirstValue(kPlanarConfiguration, 1) == 2;
    uint64_t bitsPerPixel = FirstValue(kBitsPerSample, 1);
    if (!planar && bits && bits->values.size() == spp && spp > 1) {
        bitsPerPixel = 0;
        for (const EntryValue& v : bits->values)
            bitsPerPixel += v.unsignedValue;
    } else if (!planar) {
        bitsPerPixel *= spp;
    }
    const uint64_t width = FirstValue(kImageWidth, 0);
    const uint64_t height = FirstValue(kImageLength, 0);
    const uint64_t rows = FirstValue(kRowsPerStrip, 0);
    checker.CheckSegments({segments, FindIn(currentIfd, tiled ? kTileByteCounts : kStripByteCounts), tiled,
                           compression, width, height, tiled ? FirstValue(kTileWidth, 0) : width,
                           tiled ? FirstValue(kTileLength, 0) : rows == 0 || rows > height ? height : rows,
                           bitsPerPixel});
}

void CTiffAnalyzer::CreatePicture(uint32_t width, uint32_t height, const std::string& label, bool reducible,
                                  CSampleWriter::Picture& picture)
{
    pixelBuffer = nullptr;
    pictureIndex = SIZE_MAX;
    if (width == 0 || height == 0 || width > kMaxPictureSide || height > kMaxPictureSide)
        return;
    pictureIndex = run->AddPicture(PathFileName(request_.path ? request_.path : ""), static_cast<int32_t>(width),
                    static_cast<int32_t>(height), label);
    const PictureRegion view = reducible ? run->ViewOf(pictureIndex, width, height) : PictureRegion{0, 0, width, height, 0};
    const uint64_t step = uint64_t{1} << view.shift;
    const auto shownWidth = static_cast<int32_t>((view.width + step - 1) >> view.shift);
    const auto shownHeight = static_cast<int32_t>((view.height + step - 1) >> view.shift);
    if (reducible && !run->PixelsLookedAt()) {
        // Nobody looks at the pixels: the picture is described as drawn and
        // its samples decoded, for what they find, into a working buffer
        // that holds the picture's first pixel alone.
        const int32_t bitmapWidth = CImageBuffer::PaddedSize(shownWidth);
        const int32_t bitmapHeight = CImageBuffer::PaddedSize(shownHeight);
        if (!run->DescribePicture(bitmapWidth, bitmapWidth - shownWidth, bitmapHeight, bitmapHeight - shownHeight))
            return;
        if (!workBuffer.Pixels())
            workBuffer.Create(16, 15, 16, 15);
        pixelBuffer = workBuffer.Pixels();
        picture = {pixelBuffer, width, height, 16, 16, true, 0, 0, 31};
        return;
    }
    if (view.shift == 0 && view.width == width && view.height == height) {
        const int32_t bitmapWidth = CImageBuffer::PaddedSize(static_cast<int32_t>(width));
        const int32_t bitmapHeight = CImageBuffer::PaddedSize(static_cast<int32_t>(height));
        pixelBuffer = run->PreparePicture(bitmapWidth, bitmapWidth - static_cast<int32_t>(width), bitmapHeight,
                                          bitmapHeight - static_cast<int32_t>(height));
        picture = {pixelBuffer, width, height, static_cast<uint32_t>(bitmapWidth), static_cast<uint32_t>(bitmapHeight)};
        return;
    }
    const int32_t bitmapWidth = CImageBuffer::PaddedSize(shownWidth);
    const int32_t bitmapHeight = CImageBuffer::PaddedSize(shownHeight);
    pixelBuffer = run->PreparePicture(bitmapWidth, bitmapWidth - shownWidth, bitmapHeight, bitmapHeight - shownHeight);
    picture = {pixelBuffer, width, height, static_cast<uint32_t>(bitmapWidth), static_cast<uint32_t>(bitmapHeight),
               true, view.x, view.y, view.shift};
}

std::vector<CTiffAnalyzer::Segment> CTiffAnalyzer::InsideData(const std::vector<Segment>& segments, bool tiled,
                                                              LineId item)
{
    // Strips and tiles that start, or (with a byte count) end, beyond the
    // end of the embedded data; with item, a line names the first.
    const uint64_t dataEnd = request_.dataEnd;
    std::vector<Segment> inside;
    const Segment* first = nullptr;
    size_t index = 0;
    for (size_t i = 0; i < segments.size(); ++i) {
        const Segment& s = segments[i];
        if (s.offset < dataEnd && (!s.sized || s.size <= dataEnd - s.offset)) {
            inside.push_back(s);
        } else if (!first) {
            first = &s;
            index = i;
        }
    }
    if (first && item)
        CTreeWriter(tree).Insert(item, ResultLine(tiled ? "[%08lx] タイル #%zu は埋め込みデータの外にあります"
                                                        : "[%08lx] ストリップ #%zu は埋め込みデータの外にあります",
                                                  first->offset, index),
                                     Bytes(first->offset, first->sized ? first->size : fileSize));
    return inside;
}

void CTiffAnalyzer::LayOutJpeg(FILE* fp, LineId parent, uint64_t position, const std::string& label, bool newStyle)
{
    // New-style JPEG strips use the tables of the JPEGTables stream, and
    // their picture is drawn here from all the strips.
    std::vector<uint8_t> tables;
    if (newStyle)
        tables = JpegTables(fp);
    Seek(fp, position);
    reader.Reset();
    RunJpeg(fp, parent, label, tables, !newStyle);
}

void CTiffAnalyzer::RunJpeg(FILE* fp, LineId parent, const std::string& label, std::span<const uint8_t> tables,
                            bool draw)
{
    if (const CAnalysisRun::NestedScope nested(*run); nested.Allowed()) {
        RunAnalyzer(kFormatJpeg, AnalysisRequest{.run = run,
                                                 .fp = fp,
                                                 .path = request_.path,
                                                 .mode = request_.mode,
                                                 .level = request_.level + 1,
                                                 .parent = parent,
                                                 .pictureLabel = label,
                                                 .jpegTables = tables,
                                                 .drawPictures = draw});
    }
}

void CTiffAnalyzer::LayOutJpegTables(FILE* fp, LineId parent)
{
    // The shared tables stream is laid out like JPEG data of its own.
    const IfdEntry* tables = FindIn(currentIfd, kJPEGTables);
    if (!tables || ValuesInline(*tables) || !InFile(tables->valueField, 2))
        return;
    Seek(fp, tables->valueField);
    reader.Reset();
    const LineId data = CTreeWriter(tree).Insert(parent, ResultLine("[%08lx] Jpeg Data", tables->valueField),
                                                 Bytes(tables->valueField, tables->count));
    RunJpeg(fp, data, std::string(), {}, false);
}

bool CTiffAnalyzer::Drawable(uint32_t compression, CSampleWriter::Format& format)
{
    const uint32_t spp = FirstValue(kSamplesPerPixel, 1);
    const uint32_t bits = FirstValue(kBitsPerSample, 1);
    const uint32_t planar = FirstValue(kPlanarConfiguration, 1);
    const uint32_t numbers = FirstValue(kSampleFormat, kUnsignedSamples);
    if (spp == 0 || spp > kMaxSamplesPerPixel || (planar != 1 && planar != 2))
        return false;
    const bool tiled = FindIn(currentIfd, kTileOffsets) && FindIn(currentIfd, kTileWidth);
    if (tiled && (FirstValue(kTileWidth, 0) == 0 || FirstValue(kTileLength, 0) == 0))
        return false;
    const bool sampleCoded = compression == kUncompressed || compression == kLzw || compression == kAdobeDeflate ||
                             compression == kPackBits || compression == kDeflate;
    if (numbers == kSignedSamples || numbers == kFloatSamples)
        return sampleCoded && NumberFormat(compression, format);
    if (numbers != kUnsignedSamples)
        return false;
    switch (compression) {
    case kModifiedHuffman:
    case kFaxT4:
    case kFaxT6:
        // Bilevel fax coding: one sample of one bit, no planes.
        return spp == 1 && bits == 1 && planar == 1 && FirstValue(kPhotometricInterpretation, 0) <= 1;
    case kJpeg: {
        const uint32_t photometric = FirstValue(kPhotometricInterpretation, spp == 3 ? 2 : 1);
        return bits == 8 && planar == 1 &&
               ((spp == 3 && (photometric == 2 || photometric == 6)) || (spp == 1 && photometric == 1));
    }
    default: return sampleCoded && SampleFormat(compression, format);
    }
}

bool CTiffAnalyzer::NumberFormat(uint32_t compression, CSampleWriter::Format& format)
{
    // Grey, or red, green and blue, of signed or IEEE floating-point
    // samples, with the horizontal or the floating-point predictor.
    format.samplesPerPixel = FirstValue(kSamplesPerPixel, 1);
    format.bitsPerSample = FirstValue(kBitsPerSample, 1);
    format.planar = FirstValue(kPlanarConfiguration, 1) == 2 && format.samplesPerPixel > 1;
    format.littleEndian = LittleEndian();
    format.number = FirstValue(kSampleFormat, 1) == kSignedSamples ? CSampleWriter::Number::Signed
                                                                   : CSampleWriter::Number::Float;
    const uint32_t photometric = FirstValue(kPhotometricInterpretation, format.samplesPerPixel >= 3 ? 2 : 1);
    if (photometric == 2 && format.samplesPerPixel >= 3)
        format.layout = CSampleWriter::Layout::Rgb;
    else if (photometric <= 1)
        format.layout = CSampleWriter::Layout::Gray;
    else
        return false;
    const uint32_t predictor = compression == kUncompressed ? 1 : FirstValue(kPredictor, 1);
    if (predictor > 3 || (predictor == 3 && format.number != CSampleWriter::Number::Float))
        return false;
    format.predictor = predictor == 2;
    format.floatPredictor = predictor == 3;
    return CSampleWriter::Supported(format);
}

bool CTiffAnalyzer::SampleFormat(uint32_t compression, CSampleWriter::Format& format)
{
    const IfdEntry* map = FindIn(currentIfd, kColorMap);
    format.samplesPerPixel = FirstValue(kSamplesPerPixel, 1);
    format.bitsPerSample = FirstValue(kBitsPerSample, 1);
    format.planar = FirstValue(kPlanarConfiguration, 1) == 2 && format.samplesPerPixel > 1;
    format.littleEndian = LittleEndian();
    const uint32_t photometric =
        FirstValue(kPhotometricInterpretation, map ? 3 : format.samplesPerPixel >= 3 ? 2 : 1);
    // Uncompressed strips are never differenced; floating-point
    // differencing is for floating-point samples only.
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
    const IfdEntry* counts = FindIn(currentIfd, tiled ? kTileByteCounts : kStripByteCounts);
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
        if (s.offset >= fileSize) {
            segmentsCut = true;
            continue;
        }
        // A segment without a byte count runs to the end of the file.
        s.size = fileSize - s.offset;
        if (counts && i < counts->values.size()) {
            segmentsCut |= counts->values[i].unsignedValue > s.size;
            s.size = std::min<uint64_t>(s.size, counts->values[i].unsignedValue);
            s.sized = true;
        }
        s.x = static_cast<uint32_t>(index % across * segmentWidth);
        s.y = static_cast<uint32_t>(index / across * segmentLength);
        s.columns = static_cast<uint32_t>(segmentWidth);
        s.rows = static_cast<uint32_t>(tiled ? segmentLength : std::min(segmentLength, height - s.y));
        s.plane = static_cast<uint32_t>(plane);
        s.index = static_cast<uint32_t>(i);
        list.push_back(s);
    }
    segmentsCut |= list.size() < perPlane * planes;
    return list;
}

namespace {

// Decodes uncompressed, LZW, PackBits and Deflate segments on one thread,
// from a stream of its own.
class SampleSegmentDecoder {
public:
    SampleSegmentDecoder(FILE* fp, uint32_t compression, const CSampleWriter::Picture& picture,
                         const CSampleWriter::Format& format, CSampleWriter::ValueRange* range)
        : fp_(fp), compression_(compression), writer_(picture, format, range)
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
            // A stream that runs on past the segment's byte count.
            if (inflater_->InflateToSink(fp_, sink, wanted, s.size).status == InflateStatus::Truncated && s.sized)
                cut_.push_back(s.index);
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

    // The segments whose coded data ended before their stream did.
    const std::vector<uint32_t>& Cut() const { return cut_; }

private:
    FILE* fp_;
    uint32_t compression_;
    std::vector<uint32_t> cut_;
    CSampleWriter writer_;
    std::unique_ptr<CLzwDecoder> lzw_;
    std::unique_ptr<CInflater> inflater_;
    std::vector<uint8_t> data_;
};

}  // namespace

void CTiffAnalyzer::DecodeSamples(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                                  const CSampleWriter::Picture& picture, const CSampleWriter::Format& format,
                                  CSampleWriter::ValueRange* range)
{
    // The segments of a picture that is not planar cover separate pixels, so
    // several are decoded at once; the planes of a planar one in order.
    const uint32_t limit = CDecodeThreads::LimitFor(run->DecodeThreads(), uint64_t{picture.width} * picture.height);
    const size_t threads = format.planar ? 1 : std::min<size_t>(limit, segments.size());
    const CThreadStreams streams(fp, static_cast<uint32_t>(threads));
    std::vector<std::unique_ptr<SampleSegmentDecoder>> decoders;
    // Each decoder measures the values of its own segments.
    std::vector<CSampleWriter::ValueRange> ranges(streams.Count());
    for (uint32_t i = 0; i < streams.Count(); ++i)
        decoders.push_back(std::make_unique<SampleSegmentDecoder>(streams[i], compression, picture, format,
                                                                  range ? &ranges[i] : nullptr));
    CDecodeThreads::ForEach(segments.size(), streams.Count(),
                            [&](uint32_t worker, size_t i) { decoders[worker]->Decode(segments[i]); });
    for (const CSampleWriter::ValueRange& r : ranges)
        if (range)
            range->Merge(r);
    reader.Reset();
    // Segments that the file's end cuts are reported as outside it.
    if (range || segmentsCut)
        return;
    uint32_t first = UINT32_MAX;
    for (const auto& decoder : decoders)
        for (uint32_t index : decoder->Cut())
            first = std::min(first, index);
    const bool tiled = FindIn(currentIfd, kTileOffsets) && FindIn(currentIfd, kTileWidth);
    if (first != UINT32_MAX)
        checker.CheckCodedSegment(tiled, first, FindIn(currentIfd, tiled ? kTileByteCounts : kStripByteCounts));
}

void CTiffAnalyzer::DecodeFax(FILE* fp, const std::vector<Segment>& segments, uint32_t compression,
                              const CSampleWriter::Picture& picture)
{
    CFaxPages::Page page;
    page.mode = CFaxDecoder::kModeT6;
    if (compression == kModifiedHuffman)
        page.mode = CFaxDecoder::kModeMh;
    else if (compression == kFaxT4)
        page.mode = FirstValue(kT4Options, 0) & 1 ? CFaxDecoder::kModeT4TwoD : CFaxDecoder::kModeT4;
    // FillOrder 2: the first pixel of a byte is its lowest bit.
    page.lowBitFirst = FirstValue(kFillOrder, 1) == 2;
    page.blackIsZero = FirstValue(kPhotometricInterpretation, 0) == 1;
    page.segments = segments;
    page.picture = picture;
    page.index = pictureIndex;
    // One queue for every picture of the file, so that the pages of a fax
    // document are drawn side by side.
    if (!faxPages)
        faxPages = std::make_unique<CFaxPages>(fp, run->DecodeThreads(),
                                               [analysis = run](size_t index) { analysis->PictureDone(index); });
    faxPages->Add(std::move(page));
    reader.Reset();
}

std::vector<uint8_t> CTiffAnalyzer::JpegTables(FILE* fp)
{
    std::vector<uint8_t> shared;
    if (const IfdEntry* tables = FindIn(currentIfd, kJPEGTables);
        tables && !ValuesInline(*tables) && tables->valueField < fileSize) {
        shared.resize(std::min<uint64_t>({tables->count, kMaxJpegTablesBytes, fileSize - tables->valueField}));
        Seek(fp, tables->valueField);
        shared.resize(std::fread(shared.data(), 1, shared.size(), fp));
    }
    return shared;
}

void CTiffAnalyzer::DecodeJpeg(FILE* fp, const std::vector<Segment>& segments, const CSampleWriter::Picture& picture)
{
    const std::vector<uint8_t> shared = JpegTables(fp);
    const bool rgb = FirstValue(kPhotometricInterpretation, 2) == 2 && FirstValue(kSamplesPerPixel, 1) == 3;
    CJpegSegmentDecoder(fp, shared, rgb, run->DecodeThreads()).Decode(segments, picture);
}
