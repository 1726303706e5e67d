#include "icc/icc_analyzer.h"

#include <algorithm>
#include <cstring>
#include <iterator>

#include "core/analysis_run.h"
#include "core/stream_size.h"
#include "core/result_line.h"

namespace {

struct SignatureName {
    uint32_t signature;
    const char* name;
};

constexpr uint32_t Sig(const char (&s)[5])
{
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// Preferred CMM types and profile creators: ICC registry of CMM signatures.
constexpr SignatureName kCmmNames[] = {
    {Sig("ADBE"), "Adobe CMM"},          {Sig("ACMS"), "Agfa CMM"},
    {Sig("appl"), "Apple CMM"},          {Sig("CCMS"), "ColorGear CMM"},
    {Sig("UCCM"), "ColorGear CMM Lite"}, {Sig("EFI "), "EFI CMM"},
    {Sig("FF  "), "Fuji Film CMM"},      {Sig("HCMM"), "Harlequin RIP CMM"},
    {Sig("argl"), "Argyll CMS CMM"},     {Sig("DgoS"), "LogoSync CMM"},
    {Sig("HDM "), "Heidelberg CMM"},     {Sig("lcms"), "Little CMS CMM"},
    {Sig("KCMS"), "Kodak CMM"},          {Sig("MCMD"), "Konica Minolta CMM"},
    {Sig("SIGN"), "Mutoh CMM"},          {Sig("RGMS"), "DeviceLink CMM"},
    {Sig("SICC"), "SampleICC CMM"},      {Sig("32BT"), "the imaging factory CMM"},
    {Sig("WTG "), "Ware to Go CMM"},     {Sig("zc00"), "Zoran CMM"},
};

// Profile/device classes: ICC.1 7.2.5.
constexpr SignatureName kClassNames[] = {
    {Sig("scnr"), "Input Device profile"},  {Sig("mntr"), "Display Device profile"},
    {Sig("prtr"), "Output Device profile"}, {Sig("link"), "DeviceLink profile"},
    {Sig("spac"), "ColorSpace Conversion profile"}, {Sig("abst"), "Abstract profile"},
    {Sig("nmcl"), "Named colour profile"},
};

// Data colour spaces and profile connection spaces: ICC.1 7.2.6.
constexpr SignatureName kColourSpaceNames[] = {
    {Sig("XYZ "), "XYZData"},      {Sig("Lab "), "labData"},      {Sig("Luv "), "luvData"},
    {Sig("YCbr"), "YCbCrData"},    {Sig("Yxy "), "YxyData"},      {Sig("RGB "), "rgbData"},
    {Sig("GRAY"), "grayData"},     {Sig("HSV "), "hsvData"},      {Sig("HLS "), "hlsData"},
    {Sig("CMYK"), "cmykData"},     {Sig("CMY "), "cmyData"},      {Sig("2CLR"), "2colourData"},
    {Sig("3CLR"), "3colourData (if not listed above)"},
    {Sig("4CLR"), "4colourData (if not listed above)"},
    {Sig("5CLR"), "5colourData"},  {Sig("6CLR"), "6colourData"},  {Sig("7CLR"), "7colourData"},
    {Sig("8CLR"), "8colourData"},  {Sig("9CLR"), "9colourData"},  {Sig("ACLR"), "10colourData"},
    {Sig("BCLR"), "11colourData"}, {Sig("CCLR"), "12colourData"}, {Sig("DCLR"), "13colourData"},
    {Sig("ECLR"), "14colourData"}, {Sig("FCLR"), "15colourData"},
};

// Primary platforms: ICC.1 7.2.10.
constexpr SignatureName kPlatformNames[] = {
    {Sig("APPL"), "Apple Computer, Inc."},
    {Sig("MSFT"), "Microsoft Corporation"},
    {Sig("SGI "), "Silicon Graphics, Inc."},
    {Sig("SUNW"), "Sun Microsystems, Inc."},
};

constexpr SignatureName kDeviceNames[] = {
    {Sig("none"), "none"},
};

// Tag signatures: ICC.1 9.2.
constexpr SignatureName kTagNames[] = {
    {Sig("A2B0"), "AToB0Tag"},
    {Sig("A2B1"), "AToB1Tag"},
    {Sig("A2B2"), "AToB2Tag"},
    {Sig("bXYZ"), "blueMatrixColumnTag"},
    {Sig("bTRC"), "blueTRCTag"},
    {Sig("B2A0"), "BToA0Tag"},
    {Sig("B2A1"), "BToA1Tag"},
    {Sig("B2A2"), "BToA2Tag"},
    {Sig("calt"), "calibrationDateTimeTag"},
    {Sig("targ"), "charTargetTag"},
    {Sig("chad"), "chromaticAdaptationTag"},
    {Sig("chrm"), "chromaticityTag"},
    {Sig("clro"), "colorantOrderTag"},
    {Sig("clrt"), "colorantTableTag"},
    {Sig("clot"), "colorantTableOutTag"},
    {Sig("cprt"), "copyrightTag"},
    {Sig("dmnd"), "deviceMfgDescTag"},
    {Sig("dmdd"), "deviceModelDescTag"},
    {Sig("gamt"), "gamutTag"},
    {Sig("kTRC"), "grayTRCTag"},
    {Sig("gXYZ"), "greenMatrixColumnTag"},
    {Sig("gTRC"), "greenTRCTag"},
    {Sig("meas"), "measurementTag"},
    {Sig("bkpt"), "mediaBlackPointTag"},
    {Sig("wtpt"), "mediaWhitePointTag"},
    {Sig("ncl2"), "namedColor2Tag"},
    {Sig("resp"), "outputResponseTag"},
    {Sig("pre0"), "preview0Tag"},
    {Sig("pre1"), "preview1Tag"},
    {Sig("pre2"), "preview2Tag"},
    {Sig("desc"), "profileDescriptionTag"},
    {Sig("pseq"), "profileSequenceDescTag"},
    {Sig("rXYZ"), "redMatrixColumnTag"},
    {Sig("rTRC"), "redTRCTag"},
    {Sig("tech"), "technologyTag"},
    {Sig("vued"), "viewingCondDescTag"},
    {Sig("view"), "viewingConditionsTag"},
};
static_assert(std::size(kTagNames) == 37);

// Rendering intents: ICC.1 7.2.15.
constexpr const char* kIntentNames[] = {
    "Perceptual", "Media-Relative Colorimetric", "Saturation", "ICC-Absolute Colorimetric",
};

// Device attribute bits 0 to 3 (ICC.1 7.2.14): text for a set bit, then for
// a clear one.
constexpr const char* kAttributeTexts[4][2] = {
    {"Transparency", "Reflective"},
    {"Matte", "Glossy"},
    {"Negative", "Positive"},
    {"Black & white media", "Colour media"},
};

constexpr const char* kUndefined = "UNDEFINED !!";

// The tag types each tag may have: ICC.1:2010 section 9.2, with the types
// of version 2 profiles (ICC.1:2001-04 section 6.4) that version 4 replaced
// ('desc' and 'text' before 'mluc'). Up to four types a tag; tags not
// listed are not checked.
struct AllowedTypes {
    uint32_t tag;
    uint32_t types[4];
};
constexpr AllowedTypes kAllowedTypes[] = {
    {Sig("A2B0"), {Sig("mft1"), Sig("mft2"), Sig("mAB ")}},
    {Sig("A2B1"), {Sig("mft1"), Sig("mft2"), Sig("mAB ")}},
    {Sig("A2B2"), {Sig("mft1"), Sig("mft2"), Sig("mAB ")}},
    {Sig("B2A0"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("B2A1"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("B2A2"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("gamt"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("pre0"), {Sig("mft1"), Sig("mft2"), Sig("mAB "), Sig("mBA ")}},
    {Sig("pre1"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("pre2"), {Sig("mft1"), Sig("mft2"), Sig("mBA ")}},
    {Sig("rXYZ"), {Sig("XYZ ")}},
    {Sig("gXYZ"), {Sig("XYZ ")}},
    {Sig("bXYZ"), {Sig("XYZ ")}},
    {Sig("wtpt"), {Sig("XYZ ")}},
    {Sig("bkpt"), {Sig("XYZ ")}},
    {Sig("rTRC"), {Sig("curv"), Sig("para")}},
    {Sig("gTRC"), {Sig("curv"), Sig("para")}},
    {Sig("bTRC"), {Sig("curv"), Sig("para")}},
    {Sig("kTRC"), {Sig("curv"), Sig("para")}},
    {Sig("calt"), {Sig("dtim")}},
    {Sig("targ"), {Sig("text")}},
    {Sig("chad"), {Sig("sf32")}},
    {Sig("chrm"), {Sig("chrm")}},
    {Sig("clro"), {Sig("clro")}},
    {Sig("clrt"), {Sig("clrt")}},
    {Sig("clot"), {Sig("clrt")}},
    {Sig("cprt"), {Sig("text"), Sig("mluc")}},
    {Sig("desc"), {Sig("desc"), Sig("mluc")}},
    {Sig("dmnd"), {Sig("desc"), Sig("mluc")}},
    {Sig("dmdd"), {Sig("desc"), Sig("mluc")}},
    {Sig("vued"), {Sig("desc"), Sig("mluc")}},
    {Sig("meas"), {Sig("meas")}},
    {Sig("ncl2"), {Sig("ncl2")}},
    {Sig("resp"), {Sig("rcs2")}},
    {Sig("pseq"), {Sig("pseq")}},
    {Sig("tech"), {Sig("sig ")}},
    {Sig("view"), {Sig("view")}},
};

// The profile header's size, and its file signature: ICC.1 7.2.
constexpr uint32_t kHeaderBytes = 128;
constexpr uint32_t kSignatureAt = 36;
constexpr uint32_t kFileSignature = Sig("acsp");

template <size_t N>
const char* LookUp(const SignatureName (&table)[N], uint32_t signature)
{
    for (const SignatureName& row : table)
        if (row.signature == signature)
            return row.name;
    return kUndefined;
}

int Byte(uint32_t value, int index)
{
    return static_cast<int>((value >> (24 - 8 * index)) & 0xFF);
}

}  // namespace

void CIccAnalyzer::Begin(FILE* fp)
{
    out_ = CTreeWriter(request_.run->Lines());
    size_ = StreamSize(fp);
}

LineId CIccAnalyzer::Insert(LineId parent, const std::string& text, uint64_t start, uint64_t end) const
{
    return out_.Insert(parent, text, ByteRange{start, std::min(end, size_)});
}

void CIccAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    FILE* fp = request.fp;
    pieces_ = request.pieces;
    piecesSize_ = 0;
    for (const FilePiece& piece : pieces_)
        piecesSize_ += piece.size;
    if (!pieces_.empty())
        std::fseek(fp, static_cast<long>(pieces_.front().offset), SEEK_SET);
    const LineId parent = request.parent;
    AnalyzeHeader(fp, parent);
    AnalyzeTagTable(fp, parent);
}

// The fields of the 128-byte profile header in file order (ICC.1 7.2).
enum class CIccAnalyzer::HeaderField {
    Size, Signature, Version, DateTime, Flags, Attributes, Intent, Illuminant, ProfileId, Reserved,
};

struct CIccAnalyzer::HeaderRow {
    HeaderField field;
    const char* name = nullptr;                   // signature fields
    const SignatureName* table = nullptr;         // their names, if any
    size_t tableSize = 0;
};

namespace {

using HeaderField = CIccAnalyzer::HeaderField;
using HeaderRow = CIccAnalyzer::HeaderRow;

template <size_t N>
constexpr HeaderRow SignatureRow(const char* name, const SignatureName (&table)[N])
{
    return {HeaderField::Signature, name, table, N};
}

constexpr HeaderRow kHeaderRows[] = {
    {HeaderField::Size},
    SignatureRow("Preferred CMM Type", kCmmNames),
    {HeaderField::Version},
    SignatureRow("Profile/device class", kClassNames),
    SignatureRow("Data colour space", kColourSpaceNames),
    SignatureRow("Profile connection space", kColourSpaceNames),
    {HeaderField::DateTime},
    {HeaderField::Signature, "Profile file signature"},
    SignatureRow("Primary platform", kPlatformNames),
    {HeaderField::Flags},
    SignatureRow("Device manufacturer", kDeviceNames),
    SignatureRow("Device model", kDeviceNames),
    {HeaderField::Attributes},
    {HeaderField::Intent},
    {HeaderField::Illuminant},
    SignatureRow("Profile creator", kCmmNames),
    {HeaderField::ProfileId},
    {HeaderField::Reserved},
};

}  // namespace

void CIccAnalyzer::AnalyzeHeader(FILE* fp, LineId parent)
{
    Begin(fp);
    const LineId heading = out_.Insert(parent, "/* --- ICC Profile Header --- */");
    for (const HeaderRow& row : kHeaderRows) {
        const LineId item = HeaderLines(fp, row, heading);
        if (row.field == HeaderField::Size) {
            sizeLine_ = item;
        } else if (row.field == HeaderField::Signature && !row.table && row.name) {
            signatureLine_ = item;
            fileSignature_ = lastSignature_;
        }
    }
    out_.Expand(heading);
    CheckHeader(fp);
}

LineId CIccAnalyzer::HeaderLines(FILE* fp, const HeaderRow& row, LineId heading)
{
    const uint32_t pos = Tell(fp);
    std::string line;
    switch (row.field) {
    case HeaderField::Signature:
        lastSignature_ = Read(fp, 32);
        line = SignatureLine(lastSignature_, pos, row);
        break;
    case HeaderField::Flags: FlagLines(fp, pos, heading); return kNoLine;
    case HeaderField::Attributes: AttributeLines(fp, pos, heading); return kNoLine;
    case HeaderField::ProfileId: ProfileIdLines(fp, heading); return kNoLine;
    default: line = ValueLine(fp, row.field, pos); break;
    }
    // Each field's line covers the bytes read for it.
    return Insert(heading, line, pos, FieldEnd(fp));
}

// The line of a header field that holds a number, a date or a range.
std::string CIccAnalyzer::ValueLine(FILE* fp, HeaderField field, uint32_t pos)
{
    switch (field) {
    case HeaderField::Size:
        profileStart = pos;
        profileSize = Read(fp, 32);
        return ResultLine("[%08x] Profile size = 0x%08x : %d [byte]", profileStart, profileSize,
                          static_cast<int32_t>(profileSize));
    case HeaderField::Version: {
        const uint32_t version = Read(fp, 32);
        return ResultLine("[%08x] Profile version = Version %d.%d.%d.%d", pos, Byte(version, 0),
                          Byte(version, 1) >> 4, Byte(version, 1) & 0x0F, static_cast<int>(version & 0xFFFF));
    }
    case HeaderField::DateTime: {
        uint32_t date[6];
        for (uint32_t& part : date)
            part = Read(fp, 16);
        return ResultLine("[%08x] Date and time = %04d/%02d/%02d %02d:%02d:%02d", pos, date[0], date[1], date[2],
                          date[3], date[4], date[5]);
    }
    case HeaderField::Intent: {
        const uint32_t intent = Read(fp, 32);
        return ResultLine("[%08x] Rendering intent = 0x%08x : %s", pos, intent,
                          intent < std::size(kIntentNames) ? kIntentNames[intent] : kUndefined);
    }
    case HeaderField::Illuminant: {
        // Six u16 halves of three s15Fixed16 numbers, shown as read: the
        // fraction is the raw numerator over 65536.
        uint32_t xyz[6];
        for (uint32_t& part : xyz)
            part = Read(fp, 16);
        return ResultLine("[%08x] Profile connection space illuminant : X=%d,%d; Y=%d,%d; Z=%d,%d", pos, xyz[0],
                          xyz[1], xyz[2], xyz[3], xyz[4], xyz[5]);
    }
    default: {
        Skip(fp, 28);
        const uint32_t end = FieldEnd(fp);
        return ResultLine("[%08x] Reserved : 0x%08x - 0x%08x (%d [byte])", pos, pos, end - 1,
                          static_cast<int32_t>(end - pos));
    }
    }
}

// A signature field: "Not used" for 0, else its four bytes as characters
// and, where the field has a table, the name found there.
std::string CIccAnalyzer::SignatureLine(uint32_t value, uint32_t pos, const HeaderRow& row)
{
    if (value == 0)
        return ResultLine("[%08x] %s = Not used", pos, row.name);
    if (!row.table)
        return ResultLine("[%08x] %s = %c%c%c%c", pos, row.name, Byte(value, 0), Byte(value, 1), Byte(value, 2),
                          Byte(value, 3));
    const char* name = kUndefined;
    for (size_t i = 0; i < row.tableSize; ++i)
        if (row.table[i].signature == value)
            name = row.table[i].name;
    return ResultLine("[%08x] %s = %c%c%c%c : %s", pos, row.name, Byte(value, 0), Byte(value, 1), Byte(value, 2),
                      Byte(value, 3), name);
}

void CIccAnalyzer::FlagLines(FILE* fp, uint32_t pos, LineId heading)
{
    std::string line;
    const uint32_t flags = Read(fp, 32);
    line = ResultLine("[%08x] Profile flags = %08x", pos, flags);
    const LineId flagsItem = Insert(heading, line, pos, FieldEnd(fp));
    line = ResultLine("bit0 = %d : %s", flags & 1, (flags & 1) ? "Embedded Profile" : "NOT Embedded Profile");
    out_.Insert(flagsItem, line);
    line = ResultLine("bit1 = %d : %s", (flags >> 1) & 1,
                 ((flags >> 1) & 1) ? "Profile canNOT be used independently from the embedded colour data"
                                    : "Profile can be used independently from the embedded colour data");
    out_.Insert(flagsItem, line);
    out_.Expand(flagsItem);
}

void CIccAnalyzer::AttributeLines(FILE* fp, uint32_t pos, LineId heading)
{
    std::string line;
    const uint32_t attributesHigh = Read(fp, 32);
    const uint32_t attributesLow = Read(fp, 32);
    line = ResultLine("[%08x] Device attributes = 0x%08x%08x", pos, attributesHigh, attributesLow);
    const LineId attributesItem = Insert(heading, line, pos, FieldEnd(fp));
    for (uint32_t bit = 0; bit < 4; ++bit) {
        const uint32_t set = (attributesLow >> bit) & 1;
        line = ResultLine("bit%u = %u : %s", bit, set, kAttributeTexts[bit][set ? 0 : 1]);
        out_.Insert(attributesItem, line);
    }
    out_.Expand(attributesItem);
}

void CIccAnalyzer::ProfileIdLines(FILE* fp, LineId heading)
{
    std::string line;
    for (int word = 0; word < 4; ++word) {
        const uint32_t pos = Tell(fp);
        const uint32_t id = Read(fp, 32);
        if (id == 0)
            line = ResultLine("[%08x] Profile ID #%d = 0x00000000", pos, word);
        else
            line = ResultLine("[%08x] Profile ID #%d = %c%c%c%c", pos, word, Byte(id, 0), Byte(id, 1), Byte(id, 2),
                         Byte(id, 3));
        Insert(heading, line, pos, FieldEnd(fp));
    }
}

void CIccAnalyzer::AnalyzeTagTable(FILE* fp, LineId parent)
{
    std::string line;

    // A corrupt count may claim billions of entries: the table ends where the
    // profile's bytes end, and within the declared profile size when that
    // size can hold a tag table at all.
    uint64_t limit = Available(fp);
    constexpr uint64_t kSmallestProfileWithTable = 132;
    if (profileSize >= kSmallestProfileWithTable)
        limit = std::min<uint64_t>(limit, profileSize);

    Begin(fp);
    const LineId heading = out_.Insert(parent, "/* --- ICC Tag Table --- */");

    uint32_t pos = Tell(fp);
    const uint32_t count = Read(fp, 32);
    line = ResultLine("[%08x] Tag count = 0x%08x : %d", pos, count, static_cast<int32_t>(count));
    const LineId countLine = Insert(heading, line, pos, FieldEnd(fp));

    constexpr uint64_t kEntrySize = 12;
    std::vector<TagEntry> tags;
    for (uint32_t i = 0; i < count; ++i) {
        const uint32_t entryStart = Tell(fp);
        const uint64_t entryAt = ProfilePosition(fp);
        if (Ended(fp) || entryAt + kEntrySize > limit)
            break;
        const uint32_t signature = Read(fp, 32);
        line = ResultLine("[%08x] Tag signature = %c%c%c%c : %s", entryStart, Byte(signature, 0),
                     Byte(signature, 1), Byte(signature, 2), Byte(signature, 3), LookUp(kTagNames, signature));
        const LineId entryItem =
            Insert(heading, line, entryStart, FileOffset(entryAt + kEntrySize - 1) + 1);

        pos = Tell(fp);
        const uint32_t offset = Read(fp, 32);
        // The element's file offset, and what the line adds to the offset to
        // reach it: the profile's start, unless the profile lies in pieces.
        const uint32_t element = static_cast<uint32_t>(FileOffset(offset));
        line = ResultLine("[%08x] Offset to beginning of tag data element = 0x%08x ( + 0x%08x = 0x%08x )", pos,
                     offset, element - offset, element);
        Insert(entryItem, line, pos, FieldEnd(fp));

        pos = Tell(fp);
        const uint32_t size = Read(fp, 32);
        line = ResultLine("[%08x] Size of tag data element = 0x%08x", pos, size);
        Insert(entryItem, line, pos, FieldEnd(fp));
        out_.Expand(entryItem);
        tags.push_back({signature, offset, size, entryStart, entryItem});
    }
    out_.Expand(heading);
    CheckTags(fp, tags, count, countLine);
}

void CIccAnalyzer::Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t length,
                          const std::string& text, LineId line) const
{
    request_.run->ReportAnomaly(severity, kind, {start, std::min(start + length, size_)}, text, line);
}

uint64_t CIccAnalyzer::DataBytes(FILE* fp) const
{
    const uint64_t available = Available(fp);
    if (!pieces_.empty() || request_.dataEnd == UINT64_MAX)
        return available;
    return std::min(available, request_.dataEnd - std::min<uint64_t>(request_.dataEnd, profileStart));
}

void CIccAnalyzer::CheckHeader(FILE* fp)
{
    const uint64_t data = DataBytes(fp);
    if (fileSignature_ != kFileSignature)
        Report(AnomalySeverity::Error, "icc.bad-signature", FileOffset(kSignatureAt), 4,
               ResultLine("プロファイルのシグネチャが 'acsp' ではありません (0x%08x)", fileSignature_), signatureLine_);
    // Writers may pad the data that carries a profile to a word boundary.
    constexpr uint64_t kPadding = 3;
    if (profileSize > data)
        Report(AnomalySeverity::Error, "icc.size-mismatch", FileOffset(0), 4,
               ResultLine("プロファイルサイズ %u [byte] がデータ %lu [byte] を越えています", profileSize, data),
               sizeLine_);
    else if (ExactData() && data - profileSize > kPadding)
        Report(AnomalySeverity::Warning, "icc.size-mismatch", FileOffset(0), 4,
               ResultLine("プロファイルサイズ %u [byte] がデータ %lu [byte] より小さくなっています", profileSize, data),
               sizeLine_);
}

uint32_t CIccAnalyzer::TypeAt(FILE* fp, uint32_t offset)
{
    if (!pieces_.empty()) {
        at_ = offset;
        return Read(fp, 32);
    }
    std::fseek(fp, static_cast<long>(FileOffset(offset)), SEEK_SET);
    bits_.Reset();
    return bits_.ReadBits(fp, 32);
}

void CIccAnalyzer::CheckTags(FILE* fp, const std::vector<TagEntry>& tags, uint32_t count, LineId countLine)
{
    // The profile's extent: its declared size, within the data there is.
    const uint64_t extent = std::min<uint64_t>(profileSize, DataBytes(fp));
    const uint64_t tableEnd = kHeaderBytes + 4 + uint64_t{count} * 12;
    // A table that runs past the profile holds no entries worth checking.
    if (tableEnd > extent) {
        Report(AnomalySeverity::Error, "icc.tag-table-outside", FileOffset(kHeaderBytes), 4,
               ResultLine("タグ %u 個の表がプロファイルの終わりを越えています", count), countLine);
        return;
    }
    const uint64_t back = pieces_.empty() ? StreamPosition(fp) : at_;
    const uint64_t tableBytes = kHeaderBytes + 4 + tags.size() * 12;
    for (const TagEntry& tag : tags) {
        const char* name = LookUp(kTagNames, tag.signature);
        if (uint64_t{tag.offset} + tag.size > extent) {
            Report(AnomalySeverity::Error, "icc.tag-outside", tag.at + 4, 4,
                   ResultLine("タグ %s のデータがプロファイルの外にあります", name), tag.line);
            continue;
        }
        if (tag.offset < tableBytes) {
            Report(AnomalySeverity::Error, "icc.tag-overlap", tag.at + 4, 4,
                   ResultLine("タグ %s のデータが%sと重なっています", name,
                              tag.offset < kHeaderBytes ? "ヘッダ" : "タグテーブル"),
                   tag.line);
            continue;
        }
        const auto allowed = std::find_if(std::begin(kAllowedTypes), std::end(kAllowedTypes),
                                          [&](const AllowedTypes& row) { return row.tag == tag.signature; });
        if (allowed == std::end(kAllowedTypes) || tag.size < 4)
            continue;
        const uint32_t type = TypeAt(fp, tag.offset);
        if (type == 0 ||
            std::find(std::begin(allowed->types), std::end(allowed->types), type) == std::end(allowed->types))
            Report(AnomalySeverity::Error, "icc.tag-type", FileOffset(tag.offset), 4,
                   ResultLine("タグ %s の型 %c%c%c%c はこのタグに使えません", name, Byte(type, 0), Byte(type, 1),
                              Byte(type, 2), Byte(type, 3)),
                   tag.line);
    }
    if (pieces_.empty()) {
        std::fseek(fp, static_cast<long>(back), SEEK_SET);
        bits_.Reset();
    } else {
        at_ = back;
    }
}

// A profile that runs on from the stream's position is read straight on; one
// in pieces is read byte by byte where each byte lies, and ends with its last
// piece, beyond which it reads as the end of a file does (0xFF bytes).
uint32_t CIccAnalyzer::Read(FILE* fp, uint32_t bits)
{
    if (pieces_.empty())
        return bits_.ReadBits(fp, bits);
    uint32_t value = 0;
    for (uint32_t i = 0; i < bits / 8; ++i, ++at_) {
        uint32_t byte = 0xFF;
        if (at_ < piecesSize_) {
            std::fseek(fp, static_cast<long>(FileOffset(at_)), SEEK_SET);
            bits_.Reset();
            byte = bits_.ReadBits(fp, 8);
        } else {
            pastPieces_ = true;
        }
        value = value << 8 | byte;
    }
    return value;
}

void CIccAnalyzer::Skip(FILE* fp, uint32_t bytes)
{
    if (pieces_.empty()) {
        bits_.Reset();
        std::fseek(fp, bytes, SEEK_CUR);
    } else {
        at_ += bytes;
    }
}

// Positions beyond the last piece continue its run, as offsets beyond a
// contiguous profile continue in the file.
uint64_t CIccAnalyzer::FileOffset(uint64_t position) const
{
    if (pieces_.empty())
        return profileStart + position;
    uint64_t start = 0;
    for (const FilePiece& piece : pieces_) {
        if (position < start + piece.size)
            return piece.offset + (position - start);
        start += piece.size;
    }
    return pieces_.back().offset + pieces_.back().size + (position - piecesSize_);
}

// Profile offsets are printed, and added to, as 32-bit values.
uint32_t CIccAnalyzer::Tell(FILE* fp) const
{
    return static_cast<uint32_t>(pieces_.empty() ? StreamPosition(fp) : FileOffset(at_));
}

uint32_t CIccAnalyzer::FieldEnd(FILE* fp) const
{
    if (pieces_.empty() || at_ == 0)
        return Tell(fp);
    return static_cast<uint32_t>(FileOffset(at_ - 1) + 1);
}

uint64_t CIccAnalyzer::ProfilePosition(FILE* fp) const
{
    return pieces_.empty() ? StreamPosition(fp) - profileStart : at_;
}

uint64_t CIccAnalyzer::Available(FILE* fp) const
{
    if (!pieces_.empty())
        return piecesSize_;
    const uint64_t size = StreamSize(fp);
    return size > profileStart ? size - profileStart : 0;
}

bool CIccAnalyzer::Ended(FILE* fp) const
{
    return pieces_.empty() ? std::feof(fp) != 0 : pastPieces_;
}
