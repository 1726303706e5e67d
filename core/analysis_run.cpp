#include "core/analysis_run.h"

#include <algorithm>
#include <utility>

#include "core/analysis_entry_list.h"
#include "core/stream_size.h"
#include "image/image_buffer.h"

CAnalysisRun::CAnalysisRun(const AnalysisOptions& options, AnalysisMode mode, AnalysisResult& result)
    : options_(options), mode_(mode), result_(result)
{
}

const FormatHandler* CAnalysisRun::Format(uint32_t format) const
{
    for (const FormatHandler& handler : options_.formats)
        if (handler.code == format)
            return &handler;
    return nullptr;
}

void CAnalysisRun::AddEntry(uint32_t level, std::string_view text)
{
    if (result_.roughLines.size() < kMaxEntriesPerFile) {
        const std::string_view kept = CAnalysisEntryList::EntryText(text);
        result_.roughLines.push_back(
            {level, static_cast<uint32_t>(kept.size()), result_.roughTexts.size(), CEntryTextPool::Hash(kept)});
        result_.roughTexts.append(kept);
    }
}

void CAnalysisRun::AppendSummary(std::string_view text)
{
    result_.summary.emplace_back(text);
}

size_t CAnalysisRun::AddPicture(const std::string& title, int32_t width, int32_t height, const std::string& label)
{
    if (mode_ != AnalysisMode::Detailed)
        return SIZE_MAX;
    std::lock_guard lock(pictures_);
    ResultPicture& picture = result_.pictures.emplace_back();
    picture.title = title;
    picture.label = label;
    picture.width = width;
    picture.height = height;
    return result_.pictures.size() - 1;
}

uint8_t* CAnalysisRun::PreparePicture(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                                      int32_t marginHeight)
{
    if (mode_ != AnalysisMode::Detailed)
        return nullptr;
    std::lock_guard lock(pictures_);
    if (result_.pictures.empty())
        return nullptr;
    ResultPicture& picture = result_.pictures.back();
    if (options_.wantPicture && !options_.wantPicture(result_.pictures.size() - 1))
        return nullptr;
    uint8_t* pixels = picture.image.Create(bitmapWidth, marginWidth, bitmapHeight, marginHeight);
    picture.drawn = pixels != nullptr;
    return pixels;
}

bool CAnalysisRun::DescribePicture(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                                   int32_t marginHeight)
{
    if (mode_ != AnalysisMode::Detailed)
        return false;
    std::lock_guard lock(pictures_);
    if (result_.pictures.empty())
        return false;
    ResultPicture& picture = result_.pictures.back();
    picture.drawn = picture.image.Describe(bitmapWidth, marginWidth, bitmapHeight, marginHeight);
    return picture.drawn;
}

void CAnalysisRun::PictureDone(size_t index)
{
    std::lock_guard lock(pictures_);
    if (index >= result_.pictures.size() || result_.pictures[index].done)
        return;
    ResultPicture& picture = result_.pictures[index];
    picture.done = true;
    for (const PictureFinish* scope = finishes_; scope; scope = scope->outer_)
        if (index >= scope->first_)
            scope->finish_(picture);
    if (options_.takePicture)
        options_.takePicture(index, picture);
    if (!options_.keepPixels)
        picture.image.Release();
}

CAnalysisRun::PictureFinish::PictureFinish(CAnalysisRun& run, std::function<void(ResultPicture&)> finish)
    : run_(run), finish_(std::move(finish))
{
    std::lock_guard lock(run_.pictures_);
    first_ = run_.result_.pictures.size();
    outer_ = run_.finishes_;
    run_.finishes_ = this;
}

CAnalysisRun::PictureFinish::~PictureFinish()
{
    std::lock_guard lock(run_.pictures_);
    run_.finishes_ = outer_;
}

void CAnalysisRun::FinishPictures()
{
    for (size_t i = 0; i < result_.pictures.size(); ++i)
        PictureDone(i);
}

uint32_t CAnalysisRun::ReducedShift(uint64_t width, uint64_t height, uint64_t budget)
{
    const auto bytes = [&](uint32_t shift) {
        const uint64_t step = uint64_t{1} << shift;
        const uint64_t w = ((width + step - 1) >> shift & ~uint64_t{15}) + 16;
        const uint64_t h = ((height + step - 1) >> shift & ~uint64_t{15}) + 16;
        return 3 * w * h;
    };
    if (bytes(0) <= budget)
        return 0;
    // Sides are below 2^32: at shift 31 the bitmap is 16 x 16 pixels.
    uint32_t shift = 1;
    while (shift < 31 && bytes(shift) > budget / 4)
        ++shift;
    return shift;
}

PictureRegion CAnalysisRun::ViewOf(size_t index, uint32_t width, uint32_t height)
{
    const uint64_t budget = std::min(options_.pictureBudget, CImageBuffer::kMaxBytes);
    const uint32_t shift = ReducedShift(width, height, budget);
    {
        std::lock_guard lock(pictures_);
        // What a picture-finish scope does to a picture (an alpha plane laid
        // over it) takes the whole picture at full size.
        for (const PictureFinish* scope = finishes_; scope; scope = scope->outer_)
            if (index >= scope->first_)
                return {0, 0, width, height, 0};
        if (index < result_.pictures.size())
            result_.pictures[index].shift = shift;
    }
    const bool wanted = !options_.wantPicture || options_.wantPicture(index);
    if (!options_.hasRegion || !wanted)
        return {0, 0, width, height, shift};
    // The region starts on a pixel its reduction holds.
    PictureRegion region = options_.region;
    region.shift = std::min(region.shift, 31u);
    const uint32_t mask = (uint32_t{1} << region.shift) - 1;
    region.x = std::min(region.x, width) & ~mask;
    region.y = std::min(region.y, height) & ~mask;
    region.width = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{options_.region.x} + region.width, width) - region.x);
    region.height = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{options_.region.y} + region.height, height) - region.y);
    return region;
}

void CAnalysisRun::RecordDecode(const std::string& label, DecodeOutcome outcome, std::string reason)
{
    result_.decodes.push_back({label, outcome, std::move(reason)});
}

void CAnalysisRun::ReportAnomaly(AnomalySeverity severity, std::string_view kind, const ByteRange& range,
                                 std::string_view text, LineId line)
{
    if (result_.anomalies.size() >= kMaxAnomalies) {
        ++result_.anomaliesDropped;
        return;
    }
    result_.anomalies.push_back({range.start, range, std::string(kind), severity, std::string(text),
                                 mode_ == AnalysisMode::Detailed ? line : kNoLine});
}

CAnalysisRun::NestedScope::NestedScope(CAnalysisRun& run)
    : run_(run), allowed_(run.nestedDepth_ < kMaxNestedDepth && run.nestedAnalyses_ < kMaxNestedAnalyses)
{
    if (allowed_) {
        ++run_.nestedDepth_;
        ++run_.nestedAnalyses_;
    }
}

CAnalysisRun::NestedScope::~NestedScope()
{
    if (allowed_)
        --run_.nestedDepth_;
}

size_t CAnalysisRun::RecordNested(uint32_t format, const AnalysisRequest& request)
{
    EmbeddedStructure& s = result_.structures.emplace_back();
    s.format = format;
    s.level = request.level;
    s.parent = request.parent;
    s.linesBefore = static_cast<LineId>(result_.lines.Count());
    if (!request.pieces.empty())
        s.start = request.pieces.front().offset;
    else if (request.fp)
        s.start = StreamPosition(request.fp);
    s.end = request.dataEnd;
    s.pictureLabel = request.pictureLabel;
    return result_.structures.size() - 1;
}

void CAnalysisRun::EndNested(size_t index)
{
    result_.structures[index].linesAfter = static_cast<LineId>(result_.lines.Count());
}

namespace {

// The lines after firstLine and the anomalies from firstAnomaly on, which
// an analyzer recorded with offsets into the stream it was given, count in
// space: the analyzer itself need not know where its stream came from.
void MoveToSpace(AnalysisResult& result, LineId firstLine, size_t firstAnomaly, ByteSpace space, uint16_t unit)
{
    CLineTree& lines = result.lines;
    for (LineId line = firstLine + 1; line <= lines.Count(); ++line) {
        ByteRange range;
        if (lines.RangeOf(line, range) && range.space == ByteSpace::File) {
            range.space = space;
            range.unit = unit;
            lines.SetRange(line, range);
        }
    }
    for (size_t i = firstAnomaly; i < result.anomalies.size(); ++i) {
        ByteRange& range = result.anomalies[i].range;
        if (range.space == ByteSpace::File) {
            range.space = space;
            range.unit = unit;
        }
    }
}

}  // namespace

void RunAnalyzer(uint32_t format, const AnalysisRequest& request)
{
    if (!request.run)
        return;
    const FormatHandler* handler = request.run->Format(format);
    if (request.level == 0) {
        if (handler)
            handler->analyze(request);
        return;
    }
    const size_t nested = request.run->RecordNested(format, request);
    AnalysisResult& result = request.run->Result();
    const size_t anomaliesBefore = result.anomalies.size();
    if (handler)
        handler->analyze(request);
    request.run->EndNested(nested);
    if (request.space != ByteSpace::File)
        MoveToSpace(result, result.structures[nested].linesBefore, anomaliesBefore, request.space, request.unit);
}

LineId BaseParentLine(const CLineTree& lines, uint32_t level)
{
    if (level == 0)
        return kTopLevel;
    const LineId first = lines.First();
    LineId line = lines.NextVisible(first);
    if (!line)
        return first;
    for (;;) {
        LineId next = lines.NextSibling(line);
        if (!next)
            next = lines.FirstChild(line);
        if (!next)
            return line;
        line = next;
    }
}
