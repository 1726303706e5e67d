#include "tiff/tiff_checker.h"

#include <algorithm>
#include <string>

#include "core/analysis_run.h"
#include "core/result_line.h"
#include "tiff/tiff_tags.h"

using namespace tiff_tag;

namespace {

const IfdEntry* Find(const IfdRecord& record, uint32_t tag)
{
    for (const IfdEntry& entry : record.entries)
        if (entry.tag == tag)
            return &entry;
    return nullptr;
}

// The fields every reader needs to find an image's pixels: TIFF 6.0
// section 7 (baseline fields without a default). The strip and tile fields
// stand for each other.
struct RequiredField {
    uint32_t tag;
    uint32_t alternative;
    const char* name;
    bool guessable;   // readers guess it (with a warning) when it is missing
};
constexpr RequiredField kRequiredFields[] = {
    {kImageWidth, kImageWidth, "ImageWidth", false},
    {kImageLength, kImageLength, "ImageLength", false},
    {kStripOffsets, kTileOffsets, "StripOffsets", false},
    {kStripByteCounts, kTileByteCounts, "StripByteCounts", true},
    {kPhotometricInterpretation, kPhotometricInterpretation, "PhotometricInterpretation", true},
};

}  // namespace

void CTiffChecker::Begin(CAnalysisRun* run, const Geometry& geometry)
{
    run_ = run;
    geometry_ = geometry;
    places_.clear();
}

void CTiffChecker::Report(AnomalySeverity severity, const char* kind, const ByteRange& range,
                          const std::string& text, LineId line)
{
    if (run_)
        run_->ReportAnomaly(severity, kind, range, text, line);
}

bool CTiffChecker::InFile(uint64_t start, uint64_t length) const
{
    return start <= geometry_.fileSize && length <= geometry_.fileSize - start;
}

bool CTiffChecker::InData(uint64_t start, uint64_t length) const
{
    return InFile(start, length) && start <= geometry_.dataEnd && length <= geometry_.dataEnd - start;
}

uint64_t CTiffChecker::FirstNumber(const IfdEntry& entry) const
{
    if (!entry.values.empty())
        return entry.values.front().unsignedValue;
    const TypeInfo* type = FindType(entry.type);
    if (geometry_.littleEndian || !type || type->size >= OffsetBytes())
        return entry.valueField;
    return entry.valueField >> (8 * (OffsetBytes() - type->size));
}

bool CTiffChecker::Inline(const IfdEntry& entry) const
{
    const TypeInfo* type = FindType(entry.type);
    return !type || entry.count <= OffsetBytes() / type->size;
}

uint64_t CTiffChecker::ValueAt(const IfdEntry& entry, uint64_t i) const
{
    const TypeInfo* type = FindType(entry.type);
    const uint64_t step = i * (type ? type->size : 0);
    return entry.valuesAt > UINT64_MAX - step ? UINT64_MAX : entry.valuesAt + step;
}

void CTiffChecker::CheckIfdPointer(uint64_t offset, bool loop, uint64_t pointerAt, LineId line)
{
    const ByteRange pointer{pointerAt, pointerAt + OffsetBytes()};
    const uint64_t relative = offset - std::min(offset, geometry_.base);
    if (!InFile(offset, 2))
        Report(AnomalySeverity::Error, "tiff.ifd-outside", pointer,
               ResultLine("IFD のオフセット 0x%08lx はファイルの外を指しています", relative), line);
    else if (!InData(offset, 2))
        Report(AnomalySeverity::Error, "tiff.ifd-outside", pointer,
               ResultLine("IFD のオフセット 0x%08lx は埋め込みデータの外を指しています", relative), line);
    else if (loop)
        Report(AnomalySeverity::Error, "tiff.ifd-loop", pointer,
               ResultLine("IFD のオフセット 0x%08lx は読んだ IFD に戻っています", relative), line);
    else if (relative & 1)
        // TIFF 6.0 puts IFDs on word boundaries; most readers do not care.
        Report(AnomalySeverity::Warning, "tiff.ifd-odd-offset", pointer,
               ResultLine("IFD のオフセット 0x%08lx が奇数です", relative), line);
}

void CTiffChecker::CheckDirectory(const IfdRecord& record, uint64_t entriesEnd)
{
    // IFDs below entries (Exif, GPS, Interoperability) are read without a
    // next-IFD offset, and some writers put values where it would stand.
    const bool chained = record.kind == IfdKind::Tiff || record.kind == IfdKind::Mpf;
    places_.push_back({record.position, entriesEnd + (chained ? OffsetBytes() : 0), nullptr});
    // Entries that the end of the data cuts off are never read.
    const uint64_t countBytes = geometry_.bigTiff ? 8 : 2;
    if (record.entryCount > (geometry_.fileSize - std::min(geometry_.fileSize, record.position + countBytes)) / EntryBytes() ||
        !InData(record.position + countBytes, record.entryCount * EntryBytes()))
        Report(AnomalySeverity::Error, "tiff.ifd-past-end", {record.position, record.position + countBytes},
               ResultLine("IFD のエントリ %lu 個がデータの終わりを越えています", record.entryCount), record.line);
    CheckOrder(record);
    CheckValues(record);
    if (record.kind != IfdKind::Tiff)
        return;
    CheckRequired(record);
    CheckSampleCounts(record);
    CheckStripCount(record);
}

void CTiffChecker::CheckOrder(const IfdRecord& record)
{
    // TIFF 6.0 section 2: entries in ascending order of their tags. Readers
    // that search the directory miss what stands out of order; a repeated
    // tag leaves them to pick one of the values.
    bool ordered = true;
    std::vector<bool> seen(0x10000);
    for (size_t k = 0; k < record.entries.size(); ++k) {
        const IfdEntry& entry = record.entries[k];
        const ByteRange tag{entry.at, entry.at + 2};
        if (seen[entry.tag & 0xFFFF]) {
            Report(AnomalySeverity::Error, "tiff.duplicate-tag", tag,
                   ResultLine("タグ 0x%04X が IFD に重複しています", entry.tag), entry.line);
        } else if (ordered && k > 0 && entry.tag < record.entries[k - 1].tag) {
            ordered = false;
            Report(AnomalySeverity::Warning, "tiff.tag-order", tag,
                   ResultLine("タグ 0x%04X がタグ 0x%04X の後にあり、昇順になっていません", entry.tag,
                              record.entries[k - 1].tag),
                   entry.line);
        }
        seen[entry.tag & 0xFFFF] = true;
    }
}

void CTiffChecker::CheckValues(const IfdRecord& record)
{
    for (const IfdEntry& entry : record.entries) {
        const TypeInfo* type = FindType(entry.type);
        const TagInfo* info = FindTag(record.kind, entry.tag);
        // Counts that a standard fixes; text fields are left alone, as
        // writers differ on their terminating NUL.
        if (info && info->count != kAnyCount && entry.count != info->count && entry.type != kAscii &&
            entry.type != kUtf8)
            Report(AnomalySeverity::Warning, "tiff.count-mismatch", {entry.at + 4, entry.at + 4 + OffsetBytes()},
                   ResultLine("%s の値の数 %lu は %u のはずです", info->name, entry.count, info->count), entry.line);
        if (!type || Inline(entry))
            continue;
        const uint64_t field = entry.at + EntryBytes() - OffsetBytes();
        const ByteRange offset{field, field + OffsetBytes()};
        const uint64_t length = entry.count > geometry_.fileSize ? UINT64_MAX : entry.count * type->size;
        if (!InFile(entry.valuesAt, length))
            Report(AnomalySeverity::Error, "tiff.value-outside", offset,
                   ResultLine("タグ 0x%04X の値 %lu [byte] がファイルの外にあります", entry.tag,
                              entry.count * type->size),
                   entry.line);
        else if (!InData(entry.valuesAt, length))
            Report(AnomalySeverity::Error, "tiff.value-outside", offset,
                   ResultLine("タグ 0x%04X の値 %lu [byte] が埋め込みデータの外にあります", entry.tag, length),
                   entry.line);
        else
            places_.push_back({entry.valuesAt, entry.valuesAt + length, &entry});
    }
}

void CTiffChecker::CheckRequired(const IfdRecord& record)
{
    // Exif data describes the JPEG picture around it, and its thumbnail is
    // JPEG interchange data: only an IFD with strips or tiles of its own
    // must say how to read them.
    const bool segments = Find(record, kStripOffsets) || Find(record, kTileOffsets);
    if (!segments && (geometry_.embedded || Find(record, kJPEGInterchangeFormat)))
        return;
    std::string missing;
    bool guess = true;
    for (const RequiredField& field : kRequiredFields) {
        if (Find(record, field.tag) || Find(record, field.alternative))
            continue;
        missing += missing.empty() ? field.name : std::string(", ") + field.name;
        guess = guess && field.guessable;
    }
    // TIFF 6.0 section 5: a palette picture needs its colour map.
    const IfdEntry* photometric = Find(record, kPhotometricInterpretation);
    if (photometric && FirstNumber(*photometric) == 3 && !Find(record, kColorMap)) {
        missing += missing.empty() ? "ColorMap" : ", ColorMap";
        guess = false;
    }
    if (!missing.empty())
        Report(guess ? AnomalySeverity::Warning : AnomalySeverity::Error, "tiff.missing-field",
               {record.position, record.position + (geometry_.bigTiff ? 8 : 2)},
               ResultLine("画像に必要なフィールド %s がありません", missing.c_str()), record.line);
}

void CTiffChecker::CheckSampleCounts(const IfdRecord& record)
{
    // TIFF 6.0: BitsPerSample has one value per sample (SamplesPerPixel,
    // 1 by default). libtiff takes a single value for all samples.
    const IfdEntry* bits = Find(record, kBitsPerSample);
    const IfdEntry* samples = Find(record, kSamplesPerPixel);
    const uint64_t spp = samples ? FirstNumber(*samples) : 1;
    if (!bits || bits->count == spp)
        return;
    Report(bits->count == 1 ? AnomalySeverity::Warning : AnomalySeverity::Error, "tiff.bits-per-sample-count",
           {bits->at + 4, bits->at + 4 + OffsetBytes()},
           ResultLine("BitsPerSample の値の数 %lu が SamplesPerPixel %lu と一致しません", bits->count, spp),
           bits->line);
}

void CTiffChecker::CheckStripCount(const IfdRecord& record)
{
    // One offset and one byte count per strip: ceil(ImageLength /
    // RowsPerStrip) of them, times SamplesPerPixel for separate planes.
    const IfdEntry* offsets = Find(record, kStripOffsets);
    const IfdEntry* counts = Find(record, kStripByteCounts);
    const IfdEntry* length = Find(record, kImageLength);
    if (!offsets || Find(record, kTileOffsets))
        return;
    const ByteRange field{offsets->at + 4, offsets->at + 4 + OffsetBytes()};
    if (counts && counts->count != offsets->count) {
        Report(AnomalySeverity::Error, "tiff.strip-count-mismatch", field,
               ResultLine("StripOffsets の数 %lu と StripByteCounts の数 %lu が一致しません", offsets->count,
                          counts->count),
               offsets->line);
        return;
    }
    const IfdEntry* rows = Find(record, kRowsPerStrip);
    const IfdEntry* planar = Find(record, kPlanarConfiguration);
    const IfdEntry* samples = Find(record, kSamplesPerPixel);
    const uint64_t height = length ? FirstNumber(*length) : 0;
    const uint64_t perStrip = rows && FirstNumber(*rows) != 0 ? FirstNumber(*rows) : UINT64_MAX;
    const uint64_t planes = planar && FirstNumber(*planar) == 2 && samples ? FirstNumber(*samples) : 1;
    const uint64_t strips = (height / perStrip + (height % perStrip != 0)) * planes;
    if (height != 0 && offsets->count < strips)
        Report(AnomalySeverity::Error, "tiff.strip-count-mismatch", field,
               ResultLine("ストリップの数 %lu は画像の %lu より少なくなっています", offsets->count, strips),
               offsets->line);
}

void CTiffChecker::CheckSegments(const ImageLayout& layout)
{
    CheckSegmentPlaces(layout);
    CheckSegmentOverlap(layout);
    CheckSegmentSizes(layout);
}

void CTiffChecker::CheckSegmentPlaces(const ImageLayout& layout)
{
    // One anomaly an image, at the first strip or tile that runs past the
    // end of the file or of the embedding segment; empty ones (sparse
    // files) point nowhere.
    const std::vector<EntryValue>& offsets = layout.offsets.values;
    size_t outside = 0;
    size_t first = 0;
    bool beyondFile = false;
    for (size_t i = 0; i < offsets.size(); ++i) {
        const bool sized = layout.counts && i < layout.counts->values.size();
        const uint64_t size = sized ? layout.counts->values[i].unsignedValue : 1;
        if (size == 0 || InData(offsets[i].unsignedValue, size))
            continue;
        if (outside++ == 0) {
            first = i;
            beyondFile = !InFile(offsets[i].unsignedValue, size);
        }
    }
    if (outside == 0)
        return;
    const char* what = layout.tiled ? "タイル" : "ストリップ";
    const uint64_t at = ValueAt(layout.offsets, first);
    Report(AnomalySeverity::Error, "tiff.strip-outside", {at, at + FindType(layout.offsets.type)->size},
           ResultLine("%s %zu 個のうち %zu 個が%sの外にあります (最初は #%zu)", what, offsets.size(), outside,
                      beyondFile ? "ファイル" : "埋め込みデータ", first),
           layout.offsets.line);
}

void CTiffChecker::CheckSegmentOverlap(const ImageLayout& layout)
{
    // Strips that share bytes, unless they are the very same bytes (a
    // writer may store identical strips once).
    if (!layout.counts)
        return;
    struct Segment {
        uint64_t start;
        uint64_t end;
        size_t index;
    };
    std::vector<Segment> list;
    const size_t n = std::min(layout.offsets.values.size(), layout.counts->values.size());
    for (size_t i = 0; i < n; ++i) {
        const uint64_t start = layout.offsets.values[i].unsignedValue;
        const uint64_t size = layout.counts->values[i].unsignedValue;
        if (size != 0 && InFile(start, size))
            list.push_back({start, start + size, i});
    }
    std::sort(list.begin(), list.end(),
              [](const Segment& a, const Segment& b) { return a.start != b.start ? a.start < b.start : a.end < b.end; });
    for (size_t k = 1; k < list.size(); ++k) {
        const Segment& a = list[k - 1];
        const Segment& b = list[k];
        if (b.start >= a.end || (b.start == a.start && b.end == a.end))
            continue;
        const uint64_t at = ValueAt(layout.offsets, b.index);
        Report(AnomalySeverity::Error, "tiff.strip-overlap", {at, at + FindType(layout.offsets.type)->size},
               ResultLine("%s #%zu と #%zu が重なっています", layout.tiled ? "タイル" : "ストリップ", a.index,
                          b.index),
               layout.offsets.line);
        return;
    }
}

void CTiffChecker::CheckSegmentSizes(const ImageLayout& layout)
{
    // Uncompressed strips hold their rows byte for byte; a byte count short
    // of them leaves the last rows without data. (Compressed strips are
    // left alone: how much of them a decoder reads is no measure.)
    if (layout.compression != compression::kUncompressed || !layout.counts || layout.segmentWidth == 0 ||
        layout.segmentLength == 0 || layout.bitsPerPixel == 0 || layout.segmentWidth > UINT32_MAX ||
        layout.bitsPerPixel > 1u << 20)
        return;
    const uint64_t rowBytes = (layout.segmentWidth * layout.bitsPerPixel + 7) / 8;
    const uint64_t down = (layout.height + layout.segmentLength - 1) / layout.segmentLength;
    const std::vector<EntryValue>& counts = layout.counts->values;
    for (size_t i = 0; i < counts.size() && down != 0; ++i) {
        // The last strip of a plane holds only the rows left; tiles are whole.
        const uint64_t y = (layout.tiled ? i / ((layout.width + layout.segmentWidth - 1) / layout.segmentWidth) : i) % down;
        const uint64_t rows = layout.tiled ? layout.segmentLength
                                           : std::min(layout.segmentLength, layout.height - y * layout.segmentLength);
        // Rows beyond 64 bits of bytes are more than any count.
        const uint64_t need = rows > UINT64_MAX / rowBytes ? UINT64_MAX : rows * rowBytes;
        if (counts[i].unsignedValue >= need)
            continue;
        const uint64_t at = ValueAt(*layout.counts, i);
        Report(AnomalySeverity::Error, "tiff.strip-byte-count", {at, at + FindType(layout.counts->type)->size},
               ResultLine("%s #%zu のバイト数 %lu は非圧縮の %lu [byte] に足りません", layout.tiled ? "タイル" : "ストリップ",
                          i, counts[i].unsignedValue, need),
               layout.counts->line);
        return;
    }
}

void CTiffChecker::CheckCodedSegment(bool tiled, uint32_t index, const IfdEntry* counts)
{
    if (!counts || index >= counts->values.size())
        return;
    const uint64_t at = ValueAt(*counts, index);
    Report(AnomalySeverity::Error, "tiff.strip-byte-count", {at, at + FindType(counts->type)->size},
           ResultLine("%s #%u の圧縮データがバイト数 %lu の中で終わっていません", tiled ? "タイル" : "ストリップ", index,
                      counts->values[index].unsignedValue),
           counts->line);
}

void CTiffChecker::CheckJpegData(const IfdEntry& offset, uint64_t length)
{
    const uint64_t start = FirstNumber(offset);
    if (length == 0 || InData(start, length))
        return;
    const uint64_t field = offset.at + EntryBytes() - OffsetBytes();
    Report(AnomalySeverity::Error, "tiff.strip-outside", {field, field + OffsetBytes()},
           ResultLine("JPEG データ %lu [byte] が%sの外にあります", length,
                      InFile(start, length) ? "埋め込みデータ" : "ファイル"),
           offset.line);
}

void CTiffChecker::Finish()
{
    // Values that share bytes with an IFD are read as both; values that
    // share bytes with other values (not the same bytes: writers may store
    // equal values once) change when either is written.
    std::sort(places_.begin(), places_.end(), [](const Place& a, const Place& b) {
        return a.start != b.start ? a.start < b.start : a.end > b.end;
    });
    const Place* reach = nullptr;   // the place reaching furthest so far
    for (const Place& place : places_) {
        if (reach && place.start < reach->end && place.start != place.end &&
            (place.entry || reach->entry) && !(place.start == reach->start && place.end == reach->end && place.entry && reach->entry)) {
            const IfdEntry* entry = place.entry ? place.entry : reach->entry;
            const bool ifd = !place.entry || !reach->entry;
            const uint64_t field = entry->at + EntryBytes() - OffsetBytes();
            Report(ifd ? AnomalySeverity::Error : AnomalySeverity::Warning, "tiff.value-overlap",
                   {field, field + OffsetBytes()},
                   ResultLine(ifd ? "タグ 0x%04X の値が IFD と重なっています" : "タグ 0x%04X の値が他の値と重なっています",
                              entry->tag),
                   entry->line);
        }
        if (!reach || place.end > reach->end)
            reach = &place;
    }
    places_.clear();
}
