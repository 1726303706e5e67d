#include "jpeg/iptc_records.h"

#include <algorithm>

#include "core/file_text.h"
#include "core/result_text.h"

enum class CIptcRecords::IptcValue : uint8_t { Text, Number, Binary, CharacterSet };

struct CIptcRecords::IptcDataSet {
    uint8_t record;
    uint8_t dataSet;
    const char* name;
    IptcValue value;
};

namespace {

using IptcValue = CIptcRecords::IptcValue;
using IptcDataSet = CIptcRecords::IptcDataSet;

constexpr uint8_t kTagMarker = 0x1C;
constexpr size_t kHeaderBytes = 5;
// The extended length form names how many bytes hold the length; more than
// four would not fit a dataset into any segment.
constexpr uint32_t kMaxLengthBytes = 4;

// The envelope (1) and application (2) records: IPTC IIM 4.2, chapters 5
// and 6. Numbers are two-byte binary values; the rest not binary is text.
constexpr IptcDataSet kDataSets[] = {
    {1, 0, "ModelVersion", IptcValue::Number},
    {1, 5, "Destination", IptcValue::Text},
    {1, 20, "FileFormat", IptcValue::Number},
    {1, 22, "FileFormatVersion", IptcValue::Number},
    {1, 30, "ServiceIdentifier", IptcValue::Text},
    {1, 40, "EnvelopeNumber", IptcValue::Text},
    {1, 50, "ProductID", IptcValue::Text},
    {1, 60, "EnvelopePriority", IptcValue::Text},
    {1, 70, "DateSent", IptcValue::Text},
    {1, 80, "TimeSent", IptcValue::Text},
    {1, 90, "CodedCharacterSet", IptcValue::CharacterSet},
    {1, 100, "UniqueNameOfObject", IptcValue::Text},
    {1, 120, "ARMIdentifier", IptcValue::Number},
    {1, 122, "ARMVersion", IptcValue::Number},
    {2, 0, "RecordVersion", IptcValue::Number},
    {2, 3, "ObjectTypeReference", IptcValue::Text},
    {2, 4, "ObjectAttributeReference", IptcValue::Text},
    {2, 5, "ObjectName", IptcValue::Text},
    {2, 7, "EditStatus", IptcValue::Text},
    {2, 8, "EditorialUpdate", IptcValue::Text},
    {2, 10, "Urgency", IptcValue::Text},
    {2, 12, "SubjectReference", IptcValue::Text},
    {2, 15, "Category", IptcValue::Text},
    {2, 20, "SupplementalCategories", IptcValue::Text},
    {2, 22, "FixtureIdentifier", IptcValue::Text},
    {2, 25, "Keywords", IptcValue::Text},
    {2, 26, "ContentLocationCode", IptcValue::Text},
    {2, 27, "ContentLocationName", IptcValue::Text},
    {2, 30, "ReleaseDate", IptcValue::Text},
    {2, 35, "ReleaseTime", IptcValue::Text},
    {2, 37, "ExpirationDate", IptcValue::Text},
    {2, 38, "ExpirationTime", IptcValue::Text},
    {2, 40, "SpecialInstructions", IptcValue::Text},
    {2, 42, "ActionAdvised", IptcValue::Text},
    {2, 45, "ReferenceService", IptcValue::Text},
    {2, 47, "ReferenceDate", IptcValue::Text},
    {2, 50, "ReferenceNumber", IptcValue::Text},
    {2, 55, "DateCreated", IptcValue::Text},
    {2, 60, "TimeCreated", IptcValue::Text},
    {2, 62, "DigitalCreationDate", IptcValue::Text},
    {2, 63, "DigitalCreationTime", IptcValue::Text},
    {2, 65, "OriginatingProgram", IptcValue::Text},
    {2, 70, "ProgramVersion", IptcValue::Text},
    {2, 75, "ObjectCycle", IptcValue::Text},
    {2, 80, "By-line", IptcValue::Text},
    {2, 85, "By-lineTitle", IptcValue::Text},
    {2, 90, "City", IptcValue::Text},
    {2, 92, "Sub-location", IptcValue::Text},
    {2, 95, "Province-State", IptcValue::Text},
    {2, 100, "Country-PrimaryLocationCode", IptcValue::Text},
    {2, 101, "Country-PrimaryLocationName", IptcValue::Text},
    {2, 103, "OriginalTransmissionReference", IptcValue::Text},
    {2, 105, "Headline", IptcValue::Text},
    {2, 110, "Credit", IptcValue::Text},
    {2, 115, "Source", IptcValue::Text},
    {2, 116, "CopyrightNotice", IptcValue::Text},
    {2, 118, "Contact", IptcValue::Text},
    {2, 120, "Caption-Abstract", IptcValue::Text},
    {2, 122, "Writer-Editor", IptcValue::Text},
    {2, 125, "RasterizedCaption", IptcValue::Binary},
    {2, 130, "ImageType", IptcValue::Text},
    {2, 131, "ImageOrientation", IptcValue::Text},
    {2, 135, "LanguageIdentifier", IptcValue::Text},
    {2, 150, "AudioType", IptcValue::Text},
    {2, 151, "AudioSamplingRate", IptcValue::Text},
    {2, 152, "AudioSamplingResolution", IptcValue::Text},
    {2, 153, "AudioDuration", IptcValue::Text},
    {2, 154, "AudioOutcue", IptcValue::Text},
    {2, 200, "ObjectDataPreviewFileFormat", IptcValue::Number},
    {2, 201, "ObjectDataPreviewFileFormatVersion", IptcValue::Number},
    {2, 202, "ObjectDataPreviewData", IptcValue::Binary},
};

const IptcDataSet* FindDataSet(uint32_t record, uint32_t dataSet)
{
    for (const IptcDataSet& d : kDataSets)
        if (d.record == record && d.dataSet == dataSet)
            return &d;
    return nullptr;
}

// Text as one line: line breaks and other control characters become spaces.
std::string OneLine(const uint8_t* data, size_t size)
{
    std::string text = FileText(reinterpret_cast<const char*>(data), size, kMaxLineBytes);
    std::replace_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) < 0x20; }, ' ');
    return text;
}

// ISO 2022 escape sequences name the character set (ESC % G: UTF-8).
std::string CharacterSet(const uint8_t* data, size_t size)
{
    std::string text;
    for (size_t i = 0; i < size && i < 8; ++i) {
        if (!text.empty())
            text += ' ';
        text += data[i] == 0x1B ? std::string("ESC") : std::string(1, static_cast<char>(data[i]));
    }
    if (size == 3 && data[0] == 0x1B && data[1] == '%' && data[2] == 'G')
        text += " (UTF-8)";
    return text;
}

}  // namespace

void CIptcRecords::LayOut(size_t begin, size_t end, LineId parent) const
{
    size_t position = begin;
    while (position < end) {
        if (segment_.U8(position) != kTagMarker) {
            // Writers pad the record to an even or a four-byte length.
            segment_.Trailing(parent, position, end, "データセットのタグマーカ(0x1C)がありません");
            return;
        }
        if (end - position < kHeaderBytes) {
            segment_.Note(parent, "データセットのヘッダがリソースの終わりで切れています");
            return;
        }
        position = DataSet(position, end, parent);
        if (position == 0)
            return;
    }
}

size_t CIptcRecords::DataSet(size_t position, size_t end, LineId parent) const
{
    const uint32_t record = segment_.U8(position + 1);
    const uint32_t number = segment_.U8(position + 2);
    uint64_t size = segment_.U16(position + 3);
    size_t header = kHeaderBytes;
    // Extended form: the high bit set, the rest the count of length bytes.
    const uint32_t lengthBytes = (size & 0x8000) ? static_cast<uint32_t>(size & 0x7FFF) : 0;
    const bool extended = (size & 0x8000) != 0;
    if (extended) {
        if (lengthBytes == 0 || lengthBytes > kMaxLengthBytes || end - position - kHeaderBytes < lengthBytes) {
            segment_.Note(parent, "データセットの拡張形式の長さが読めません");
            return 0;
        }
        size = 0;
        for (uint32_t i = 0; i < lengthBytes; ++i)
            size = size << 8 | segment_.U8(position + kHeaderBytes + i);
        header += lengthBytes;
    }
    const IptcDataSet* known = FindDataSet(record, number);
    const bool fits = size <= end - position - header;
    const size_t shown = fits ? static_cast<size_t>(size) : 0;
    const LineId item = segment_.Line(
        parent, position, header + shown,
        ResultLine("[%08lx] %u:%u %s = %s", segment_.Offset(position), record, number,
                   known ? known->name : "UndefinedDataSet",
                   fits ? Value(known, segment_.Data(position + header), shown).c_str() : ""));
    segment_.Line(item, position, 3,
                  ResultLine("[%08lx] Tag Marker = 0x1C / Record = %u / DataSet = %u", segment_.Offset(position),
                             record, number));
    segment_.Line(item, position + 3, header - 3,
                  extended ? ResultLine("[%08lx] Data Field Length = %lu [byte] (extended, %u bytes)",
                                        segment_.Offset(position + 3), static_cast<unsigned long>(size), lengthBytes)
                           : ResultLine("[%08lx] Data Field Length = %lu [byte]", segment_.Offset(position + 3),
                                        static_cast<unsigned long>(size)));
    segment_.Expand(item);
    if (!fits) {
        segment_.Note(parent, "データセットのサイズがリソースの終わりを越えています");
        return 0;
    }
    return position + header + shown;
}

std::string CIptcRecords::Value(const IptcDataSet* known, const uint8_t* data, size_t size)
{
    const IptcValue kind = known ? known->value : IptcValue::Text;
    if (kind == IptcValue::Number && size == 2)
        return std::to_string(uint32_t{data[0]} << 8 | data[1]);
    if (kind == IptcValue::CharacterSet)
        return CharacterSet(data, size);
    if (kind == IptcValue::Binary || kind == IptcValue::Number)
        return ResultLine("(%zu [byte])", size);
    return OneLine(data, size);
}
