#include "swf/swf_analyzer.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/analysis_run.h"
#include "core/analysis_tree.h"
#include "core/result_line.h"
#include "core/result_text.h"
#include "core/stream_size.h"
#include "swf/inflated_body.h"
#include "swf/swf_tag_layout.h"

namespace {

struct TagNameEntry {
    uint16_t code;
    const char* name;
};

// Tag codes and names: SWF File Format Specification 19, Appendix B.
constexpr TagNameEntry kTagNames[] = {
    {0, "End"},
    {1, "ShowFrame"},
    {2, "DefineShape"},
    {4, "PlaceObject"},
    {5, "RemoveObject"},
    {6, "DefineBits"},
    {7, "DefineButton"},
    {8, "JPEGTables"},
    {9, "SetBackgroundColor"},
    {10, "DefineFont"},
    {11, "DefineText"},
    {12, "DoAction"},
    {13, "DefineFontInfo"},
    {14, "DefineSound"},
    {15, "StartSound"},
    {17, "DefineButtonSound"},
    {18, "SoundStreamHead"},
    {19, "SoundStreamBlock"},
    {20, "DefineBitsLossless"},
    {21, "DefineBitsJPEG2"},
    {22, "DefineShape2"},
    {23, "DefineButtonCxform"},
    {24, "Protect"},
    {26, "PlaceObject2"},
    {28, "RemoveObject2"},
    {32, "DefineShape3"},
    {33, "DefineText2"},
    {34, "DefineButton2"},
    {35, "DefineBitsJPEG3"},
    {36, "DefineBitsLossless2"},
    {37, "DefineEditText"},
    {39, "DefineSprite"},
    {43, "FrameLabel"},
    {45, "SoundStreamHead2"},
    {46, "DefineMorphShape"},
    {48, "DefineFont2"},
    {56, "ExportAssets"},
    {57, "ImportAssets"},
    {58, "EnableDebugger"},
    {59, "DoInitAction"},
    {60, "DefineVideoStream"},
    {61, "VideoFrame"},
    {62, "DefineFontInfo2"},
    {64, "EnableDebugger2"},
    {65, "ScriptLimits"},
    {66, "SetTabIndex"},
    {69, "FileAttributes"},
    {70, "PlaceObject3"},
    {71, "ImportAssets2"},
    {73, "DefineFontAlignZones"},
    {74, "CSMTextSettings"},
    {75, "DefineFont3"},
    {76, "SymbolClass"},
    {77, "Metadata"},
    {78, "DefineScalingGrid"},
    {82, "DoABC"},
    {83, "DefineShape4"},
    {84, "DefineMorphShape2"},
    {86, "DefineSceneAndFrameLabelData"},
    {87, "DefineBinaryData"},
    {88, "DefineFontName"},
    {89, "StartSound2"},
    {90, "DefineBitsJPEG4"},
    {91, "DefineFont4"},
    {93, "EnableTelemetry"},
};

// A tag length this large would, as a signed file offset, move the walk
// backwards; the walk ends instead.
constexpr uint32_t kMaxTagLength = 0x7FFFFFFFu;

char SignatureChar(uint32_t signature, int index)
{
    return static_cast<char>((signature >> (16 - 8 * index)) & 0xFF);
}

// The frame rate is an 8.8 fixed-point number; its exact decimal form has at
// most eight fractional digits (1/256 = 0.00390625).
std::string FrameRateText(uint32_t rate)
{
    std::string text = std::to_string(rate >> 8);
    char digits[16];
    std::snprintf(digits, sizeof digits, "%08u", (rate & 0xFFu) * 390625u);
    std::string fraction = digits;
    while (fraction.size() > 1 && fraction.back() == '0')
        fraction.pop_back();
    return text + "." + fraction;
}

// An n-bit RECT field is a signed twip count.
long long SignedField(uint32_t value, uint32_t bits)
{
    if (bits == 0 || bits >= 32)
        return static_cast<int32_t>(value);
    if (value & (1u << (bits - 1)))
        return static_cast<long long>(value) - (1ll << bits);
    return value;
}

const char* StatusText(InflateStatus status)
{
    switch (status) {
    case InflateStatus::Complete: return "complete";
    case InflateStatus::Truncated: return "cut short";
    case InflateStatus::Malformed: return "corrupt, inflated up to the fault";
    case InflateStatus::OutputLimit: return "stopped at the header's file length";
    case InflateStatus::SinkStopped: return "side file write failed";
    }
    return "";
}

// The side file's name; empty when it would not fit a 512-byte path buffer.
std::string SideFileName(const char* path)
{
    std::string name = std::string(path) + ".decompress";
    return name.size() > kMaxLineBytes ? std::string() : name;
}

// Appended to the summary of a compressed file whose inflated body could not
// be written beside it; the tags were walked in memory.
constexpr const char* kSideFileNotWritten = " [展開ファイル] 書き込めません";

// The bytes [start, start + length) as far as they lie inside a stream of
// size bytes. Bytes of a body held only in memory lie in no file: they get no
// range.
ByteRange Bytes(uint64_t start, uint64_t length, uint64_t size, BodyPlace place = BodyPlace::File)
{
    return PlaceBytes(start, length, size, place);
}

uint64_t BodyLimit(uint32_t fileLength)
{
    return std::min(fileLength > 8 ? uint64_t{fileLength} - 8 : 0, CSwfAnalyzer::kMaxSideFileBytes);
}

}  // namespace

const char* CSwfAnalyzer::TagName(uint32_t code)
{
    for (const TagNameEntry& entry : kTagNames)
        if (entry.code == code)
            return entry.name;
    return "Undefined Tag";
}

void CSwfAnalyzer::Analyze(const AnalysisRequest& request)
{
    request_ = request;
    FILE* fp = request.fp;
    const char* path = request.path;
    if (!fp || !path)
        return;
    if (request.Detailed()) {
        DetailedLayout(fp, path);
        return;
    }
    headerAt = StreamPosition(fp);
    HeaderStep(fp);
    const char kind = SignatureChar(signature, 0);
    CAnalysisRun& run = *request.run;
    const uint32_t level = request.level + 1;
    const auto addEntry = [&run, level](const std::string& line, uint64_t, uint64_t) {
        run.AddEntry(level, line.c_str());
        return kNoLine;
    };
    const uint64_t size = StreamSize(fp);
    if (kind == 'F') {
        CheckFileLength(size - std::min(size, headerAt));
        TagWalk(fp, addEntry);
    } else if (kind == 'C' || kind == 'Z') {
        CInflatedBody body;
        if (kind == 'C') {
            if (!body.Open(fp, SideFileName(path), BodyLimit(fileLength)))
                return;
            CheckStream(body.Result(), headerAt + 8, StreamPosition(fp), size, kNoLine);
        } else {
            LzmaProperties props;
            if (!OpenLzmaBody(fp, path, size, body, props))
                return;
            CheckLzma(body.Lzma(), size, kNoLine);
        }
        walkPlace = body.InSideFile() ? BodyPlace::SideFile : BodyPlace::Memory;
        if (!body.InSideFile())
            run.AppendSummary(kSideFileNotWritten);
        ReadFrameHeader(body.Stream());
        TagWalk(body.Stream(), addEntry);
    }
}

bool CSwfAnalyzer::OpenLzmaBody(FILE* fp, const char* path, uint64_t size, CInflatedBody& body, LzmaProperties& props)
{
    // After the 8-byte header: the compressed length, the five LZMA
    // property bytes, then the raw stream to the file's end.
    uint8_t head[9] = {};
    if (std::fseek(fp, static_cast<long>(headerAt + 8), SEEK_SET) != 0 || std::fread(head, 1, 9, fp) != 9) {
        Report(AnomalySeverity::Error, "swf.lzma-truncated", Bytes(headerAt + 8, 9, size),
               "LZMA ストリームが途中で終わっています");
        return false;
    }
    compressedLength = head[0] | (uint32_t{head[1]} << 8) | (uint32_t{head[2]} << 16) | (uint32_t{head[3]} << 24);
    std::memcpy(lzmaProps, head + 4, 5);
    if (!CLzmaDecoder::ParseProperties(lzmaProps, props)) {
        Report(AnomalySeverity::Error, "swf.lzma-malformed", Bytes(headerAt + 12, 5, size),
               ResultLine("LZMA ストリームが壊れています (プロパティ 0x%02x)", lzmaProps[0]));
        return false;
    }
    const uint64_t streamAt = headerAt + 17;
    return body.OpenLzma(fp, SideFileName(path), BodyLimit(fileLength), props, size - std::min(size, streamAt));
}

void CSwfAnalyzer::CheckLzma(const LzmaResult& result, uint64_t size, LineId line)
{
    const uint64_t at = headerAt + 17;
    const ByteRange stream = Bytes(at, size - std::min(size, at), size);
    switch (result.status) {
    case LzmaStatus::Truncated:
    case LzmaStatus::InputLimit:
        Report(AnomalySeverity::Error, "swf.lzma-truncated", stream, "LZMA ストリームが途中で終わっています", line);
        break;
    case LzmaStatus::Malformed:
    case LzmaStatus::WindowLimit:
        Report(AnomalySeverity::Error, "swf.lzma-malformed", stream,
               ResultLine("LZMA ストリームが壊れています (%s)", result.reason), line);
        break;
    case LzmaStatus::EndMarker:
        // The end marker came before the size the header declares.
        CheckFileLength(result.bytesOut + 8);
        break;
    case LzmaStatus::Complete:
    case LzmaStatus::SinkStopped: break;
    }
}

void CSwfAnalyzer::ReadFileHeader(FILE* fp)
{
    signature = reader.ReadBits(fp, 24);
    version = reader.ReadBits(fp, 8);
    fileLength = 0;
    for (uint32_t k = 0; k < 4; ++k)
        fileLength |= reader.ReadBits(fp, 8) << (8 * k);
}

void CSwfAnalyzer::ReadFrameHeader(FILE* fp)
{
    reader.Reset();
    rectangleBits = reader.ReadBits(fp, 5);
    xMin = reader.ReadBits(fp, rectangleBits);
    xMax = reader.ReadBits(fp, rectangleBits);
    yMin = reader.ReadBits(fp, rectangleBits);
    yMax = reader.ReadBits(fp, rectangleBits);
    reader.Reset();
    frameRate = reader.ReadBits(fp, 8);
    frameRate |= reader.ReadBits(fp, 8) << 8;
    frameCount = reader.ReadBits(fp, 8);
    frameCount |= reader.ReadBits(fp, 8) << 8;
}

void CSwfAnalyzer::HeaderStep(FILE* fp)
{
    const uint64_t position = StreamPosition(fp);
    ReadFileHeader(fp);
    const char c0 = SignatureChar(signature, 0);
    const char c1 = SignatureChar(signature, 1);
    const char c2 = SignatureChar(signature, 2);
    CAnalysisRun& run = *request_.run;
    run.AddEntry(request_.level + 1,
                 ResultLine("[%08lx] SWF File Header(%c%c%c) Version%u", position, c0, c1, c2, version).c_str());
    if (c0 == 'F') {
        ReadFrameHeader(fp);
        run.AppendSummary(ResultLine("SWF File Header(%c%c%c) Version%u, Size=%u[byte], "
                                           "Position(Xmin-Xmax, Ymin-Ymax)=(%u - %u, %u - %u)",
                                           c0, c1, c2, version, fileLength, xMin, xMax, yMin, yMax).c_str());
    } else {
        run.AppendSummary(ResultLine("SWF File Header(%c%c%c) Version%u, Size=%u[byte]", c0, c1, c2,
                                           version, fileLength).c_str());
    }
}

void CSwfAnalyzer::TagWalk(FILE* fp, const LineSink& emit)
{
    WalkTags(fp, emit, StreamSize(fp), 0);
}

CSwfAnalyzer::TagHeader CSwfAnalyzer::ReadTagHeader(FILE* fp)
{
    TagHeader tag;
    const uint32_t v = reader.ReadBits(fp, 8) | (reader.ReadBits(fp, 8) << 8);
    tag.code = v >> 6;
    tag.length = v & 63u;
    tag.headerBytes = 2;
    // A length field of 63 says the real length follows as a UI32.
    if (tag.length == 63) {
        tag.length = 0;
        for (uint32_t k = 0; k < 4; ++k)
            tag.length |= reader.ReadBits(fp, 8) << (8 * k);
        tag.headerBytes = 6;
    }
    reader.Reset();
    return tag;
}

void CSwfAnalyzer::WalkTags(FILE* fp, const LineSink& emit, uint64_t size, uint32_t depth)
{
    const uint64_t start = StreamPosition(fp);
    reader.Reset();
    walkDepth_ = depth;

    // Every pass reads a tag header and moves forward past it, so the walk
    // ends at the data's end (the file's, or the sprite's) at the latest,
    // and after kMaxTags tags.
    uint32_t code = 256;
    uint64_t position = start;
    uint32_t tags = 0;
    uint32_t frames = 0;
    bool pastEnd = false;
    for (; code != 0 && position < size && tags < kMaxTags; ++tags) {
        const uint64_t p = position;
        const TagHeader tag = ReadTagHeader(fp);
        code = tag.code;
        const uint32_t length = tag.length;
        const uint64_t headerBytes = tag.headerBytes;
        const LineId line = emit(ResultLine("[%08lx] TagID : %u (%s), Size : %u[byte]", p, code, TagName(code), length),
                                 p, std::min<uint64_t>(p + headerBytes + length, size));
        // A tag whose header or data the data's end cuts; the walk ends
        // with it.
        if (headerBytes + length > size - p) {
            pastEnd = true;
            ReportPastEnd(p, headerBytes + length, size, length, depth, line);
        } else if (layout_) {
            frames += code == 1;
            layout_->LayOut(line, code, p + headerBytes, length, frames);
        }
        if (length > kMaxTagLength)
            break;
        if (std::fseek(fp, static_cast<long>(p + headerBytes + length), SEEK_SET) != 0)
            break;
        reader.Reset();
        position = StreamPosition(fp);
        if (position <= p)
            break;
    }
    // A walk that met the data's end before an End tag; one that stopped at
    // the tag limit says nothing of the rest.
    if (code != 0 && !pastEnd && tags < kMaxTags)
        Report(AnomalySeverity::Error, "swf.no-end-tag", Bytes(size, 0, size, walkPlace),
               depth == 0 ? "End タグがありません" : "DefineSprite の中に End タグがありません");
}

void CSwfAnalyzer::ReportPastEnd(uint64_t p, uint64_t bytes, uint64_t size, uint32_t length, uint32_t depth,
                                 LineId line)
{
    if (depth == 0)
        Report(AnomalySeverity::Error, "swf.tag-past-end", Bytes(p, bytes, size, walkPlace),
               ResultLine("タグの長さ %u [byte] がデータの終わりを越えています", length), line);
    else
        Report(AnomalySeverity::Error, "swf.tag-past-sprite-end", Bytes(p, bytes, size, walkPlace),
               ResultLine("タグの長さ %u [byte] が DefineSprite の終わりを越えています", length), line);
}

void CSwfAnalyzer::WalkSprite(FILE* fp, LineId parent, uint64_t at, uint64_t end)
{
    const uint32_t depth = walkDepth_;
    // Sprites hold no sprites by the format's rules; a hostile file nesting
    // them is laid out to kMaxSpriteDepth and no deeper.
    if (depth >= kMaxSpriteDepth) {
        out_.Insert(parent, OffsetLine(at, "ControlTags (nested too deep: not laid out)"),
                    Bytes(at, end - at, end, walkPlace));
        return;
    }
    if (std::fseek(fp, static_cast<long>(at), SEEK_SET) != 0)
        return;
    WalkTags(fp, TreeSink(parent, walkPlace), end, depth + 1);
    walkDepth_ = depth;
}

void CSwfAnalyzer::Report(AnomalySeverity severity, const char* kind, ByteRange range, const std::string& text,
                          LineId line)
{
    request_.run->ReportAnomaly(severity, kind, range, text, line);
}

void CSwfAnalyzer::CheckFileLength(uint64_t actual)
{
    if (fileLength == actual)
        return;
    // Data beyond the declared length is ignored by players; data short of
    // it, or a length that leaves no room for the header, is a broken file.
    const bool broken = fileLength < actual ? fileLength < 8 : true;
    Report(broken ? AnomalySeverity::Error : AnomalySeverity::Warning, "swf.file-length-mismatch",
           {headerAt + 4, headerAt + 8},
           ResultLine("FileLength %u [byte] が実際の長さ %llu [byte] と一致しません", fileLength,
                      static_cast<unsigned long long>(actual)),
           lengthLine);
}

void CSwfAnalyzer::CheckStream(const InflateResult& result, uint64_t at, uint64_t streamEnd, uint64_t size,
                               LineId line)
{
    const ByteRange stream = Bytes(at, size - std::min(size, at), size);
    switch (result.status) {
    case InflateStatus::Truncated:
        Report(AnomalySeverity::Error, "swf.zlib-truncated", stream, "zlib ストリームが途中で終わっています", line);
        break;
    case InflateStatus::Malformed:
        if (result.incompleteCode)
            Report(AnomalySeverity::Error, "swf.deflate-incomplete-code", stream,
                   "deflate ブロックのハフマン符号が不完全です", line);
        else
            Report(AnomalySeverity::Error, "swf.zlib-malformed", stream, "zlib ストリームが壊れています", line);
        break;
    case InflateStatus::Complete:
        if (result.adlerStored != result.adlerComputed)
            Report(AnomalySeverity::Error, "swf.zlib-checksum", Bytes(streamEnd - std::min<uint64_t>(streamEnd, 4), 4, size),
                   ResultLine("zlib ストリームのチェックサム 0x%08x がデータの Adler-32 0x%08x と一致しません",
                              result.adlerStored, result.adlerComputed),
                   line);
        CheckFileLength(result.bytesOut + 8);
        break;
    case InflateStatus::OutputLimit:
        // The body outgrew the declared length, unless the side file's own
        // limit stopped it first.
        if (fileLength < 8 || uint64_t{fileLength} - 8 < kMaxSideFileBytes)
            Report(fileLength < 8 ? AnomalySeverity::Error : AnomalySeverity::Warning, "swf.file-length-mismatch",
                   {headerAt + 4, headerAt + 8},
                   ResultLine("展開したデータが FileLength %u [byte] より長くなっています", fileLength), lengthLine);
        break;
    case InflateStatus::SinkStopped: break;
    }
}

void CSwfAnalyzer::DetailedLayout(FILE* fp, const char* path)
{
    CLineTree* tree = request_.run->Lines();
    if (!tree)
        return;
    out_ = CTreeWriter(tree);
    parentItem = request_.parent;

    const uint64_t at = StreamPosition(fp);
    const uint64_t size = StreamSize(fp);
    headerAt = at;
    ReadFileHeader(fp);
    const char c0 = SignatureChar(signature, 0);
    const char c1 = SignatureChar(signature, 1);
    const char c2 = SignatureChar(signature, 2);
    // The head covers the 8-byte header here; below, also what follows it
    // (the frame header, or the compressed body).
    const LineId head = out_.Insert(
        parentItem, ResultLine("[%08lx] SWF File Header(%c%c%c) Version%u", at, c0, c1, c2, version),
        Bytes(at, 8, size));
    out_.Insert(head, ResultLine("[%08lx] Signature : %c%c%c", at, c0, c1, c2), Bytes(at, 3, size));
    out_.Insert(head, ResultLine("[%08lx] Version : %u", at + 3, version), Bytes(at + 3, 1, size));
    lengthLine =
        out_.Insert(head, ResultLine("[%08lx] FileLength : %u[byte]", at + 4, fileLength), Bytes(at + 4, 4, size));

    if (c0 == 'F') {
        CheckFileLength(size - std::min(size, at));
        const uint64_t end = DetailedFrameHeader(fp, head, BodyPlace::File);
        out_.Tree()->SetRange(head, Bytes(at, end - at, size));
        out_.Expand(head);
        StartLayout(fp, BodyPlace::File);
        TagWalk(fp, TreeSink(parentItem, BodyPlace::File));
        return;
    }
    if (c0 != 'C' && c0 != 'Z') {
        out_.Expand(head);
        return;
    }

    out_.Tree()->SetRange(head, Bytes(at, size - std::min<uint64_t>(size, at), size));
    if (c0 == 'C')
        DetailedBody(fp, path, head, at, size);
    else
        DetailedLzmaBody(fp, path, head, at, size);
}

void CSwfAnalyzer::DetailedBody(FILE* fp, const char* path, LineId head, uint64_t at, uint64_t size)
{
    // The compressed body is inflated again, so that the layout always
    // matches the file as it is now.
    const std::string sideName = SideFileName(path);
    const ByteRange stream = Bytes(at + 8, size - std::min<uint64_t>(size, at + 8), size);
    CInflatedBody body;
    if (!body.Open(fp, sideName, BodyLimit(fileLength))) {
        out_.Expand(head);
        return;
    }
    const InflateResult& result = body.Result();
    const BodyPlace place = body.InSideFile() ? BodyPlace::SideFile : BodyPlace::Memory;
    const auto bytesOut = static_cast<unsigned long long>(result.bytesOut);
    const LineId streamLine = out_.Insert(head,
                place == BodyPlace::SideFile
                    ? ResultLine("[%08lx] zlib Stream : CMF 0x%02x, FLG 0x%02x, %llu[byte] inflated (%s) into %s",
                                 at + 8, result.cmf, result.flg, bytesOut, StatusText(result.status),
                                 sideName.c_str())
                    : ResultLine("[%08lx] zlib Stream : CMF 0x%02x, FLG 0x%02x, %llu[byte] inflated (%s) in memory: "
                                 "the side file %s.decompress cannot be written",
                                 at + 8, result.cmf, result.flg, bytesOut, StatusText(result.status), path),
                stream);
    out_.Expand(head);
    CheckStream(result, at + 8, StreamPosition(fp), size, streamLine);
    WalkBody(body, sideName);
}

void CSwfAnalyzer::DetailedLzmaBody(FILE* fp, const char* path, LineId head, uint64_t at, uint64_t size)
{
    const std::string sideName = SideFileName(path);
    CInflatedBody body;
    LzmaProperties props;
    const bool opened = OpenLzmaBody(fp, path, size, body, props);
    if (size >= at + 17) {
        out_.Insert(head, ResultLine("[%08lx] CompressedLength : %u[byte]", at + 8, compressedLength), Bytes(at + 8, 4, size));
        out_.Insert(head,
                    ResultLine("[%08lx] LZMA Properties : lc %u, lp %u, pb %u, DictionarySize %u[byte]", at + 12,
                               props.lc, props.lp, props.pb, props.dictionarySize),
                    Bytes(at + 12, 5, size));
    }
    if (!opened) {
        out_.Expand(head);
        return;
    }
    const LzmaResult& result = body.Lzma();
    const auto bytesOut = static_cast<unsigned long long>(result.bytesOut);
    const char* status = result.status == LzmaStatus::Complete ? "complete" : result.reason;
    const LineId streamLine = out_.Insert(
        head,
        body.InSideFile()
            ? ResultLine("[%08lx] LZMA Stream : %llu[byte] decoded (%s) into %s", at + 17, bytesOut, status,
                         sideName.c_str())
            : ResultLine("[%08lx] LZMA Stream : %llu[byte] decoded (%s) in memory: the side file %s.decompress "
                         "cannot be written", at + 17, bytesOut, status, path),
        Bytes(at + 17, size - std::min<uint64_t>(size, at + 17), size));
    out_.Expand(head);
    CheckLzma(result, size, streamLine);
    WalkBody(body, sideName);
}

void CSwfAnalyzer::WalkBody(CInflatedBody& body, const std::string& sideName)
{
    const BodyPlace place = body.InSideFile() ? BodyPlace::SideFile : BodyPlace::Memory;
    walkPlace = place;
    FILE* copy = body.Stream();
    const LineId bodyItem =
        place == BodyPlace::SideFile
            ? out_.Insert(parentItem,
                          ResultLine("[00000000] Inflated Body : %s (offsets below are in this file)", sideName.c_str()),
                          ByteRange{0, StreamSize(copy), ByteSpace::SideFile})
            : out_.Insert(parentItem, "[00000000] Inflated Body : in memory only (offsets below count from its start)");
    DetailedFrameHeader(copy, bodyItem, place);
    StartLayout(copy, place);
    TagWalk(copy, TreeSink(bodyItem, place));
    out_.Expand(bodyItem);
}

void CSwfAnalyzer::StartLayout(FILE* fp, BodyPlace place)
{
    layout_ = std::make_unique<CSwfTagLayout>(
        request_, out_, fp, place, [this, fp](LineId parent, uint64_t at, uint64_t end) { WalkSprite(fp, parent, at, end); });
}

CSwfAnalyzer::LineSink CSwfAnalyzer::TreeSink(LineId parent, BodyPlace place)
{
    return [this, parent, place](const std::string& line, uint64_t start, uint64_t end) {
        return out_.Insert(parent, line, Bytes(start, end - start, end, place));
    };
}

uint64_t CSwfAnalyzer::DetailedFrameHeader(FILE* fp, LineId parent, BodyPlace place)
{
    const uint64_t at = StreamPosition(fp);
    const uint64_t size = StreamSize(fp);
    ReadFrameHeader(fp);

    // The RECT is bit fields, most significant bit first: each field's range
    // is the bytes holding its bits, so neighbours may share a byte.
    const uint64_t rectBytes = (5 + 4 * uint64_t{rectangleBits} + 7) / 8;
    const LineId rect =
        out_.Insert(parent, ResultLine("[%08lx] FrameSize (RECT)", at), Bytes(at, rectBytes, size, place));
    out_.Insert(rect, ResultLine("[%08lx] Nbits : %u", at, rectangleBits), Bytes(at, 1, size, place));
    const char* names[4] = {"Xmin", "Xmax", "Ymin", "Ymax"};
    const uint32_t values[4] = {xMin, xMax, yMin, yMax};
    for (uint32_t i = 0; i < 4; ++i) {
        // Fields follow the 5-bit width back to back, most significant bit
        // first; a field's offset is the byte holding its first bit.
        const uint64_t fieldAt = at + (5 + i * rectangleBits) / 8;
        const uint64_t fieldEnd = at + (5 + (i + 1) * uint64_t{rectangleBits} + 7) / 8;
        out_.Insert(rect,
                    ResultLine("[%08lx] %s : %lld[twip]", fieldAt, names[i], SignedField(values[i], rectangleBits)),
                    Bytes(fieldAt, fieldEnd - fieldAt, size, place));
    }
    out_.Expand(rect);
    const uint64_t rateAt = at + (5 + 4 * rectangleBits + 7) / 8;
    out_.Insert(parent, ResultLine("[%08lx] FrameRate : %s[fps]", rateAt, FrameRateText(frameRate).c_str()),
                Bytes(rateAt, 2, size, place));
    out_.Insert(parent, ResultLine("[%08lx] FrameCount : %u", rateAt + 2, frameCount),
                Bytes(rateAt + 2, 2, size, place));
    return rateAt + 4;
}

CSwfAnalyzer::CSwfAnalyzer() = default;
CSwfAnalyzer::~CSwfAnalyzer() = default;
