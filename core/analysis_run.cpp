#include "core/analysis_run.h"

#include <algorithm>

#include "core/analysis_entry_list.h"

CAnalysisRun::CAnalysisRun(FormatTable formats, AnalysisMode mode, AnalysisResult& result)
    : formats_(formats), mode_(mode), result_(result)
{
}

const FormatHandler* CAnalysisRun::Format(uint32_t format) const
{
    for (const FormatHandler& handler : formats_)
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

void CAnalysisRun::AddPicture(const std::string& title, ImageRect& rect, const std::string& label)
{
    const ImageRect own = rect;
    rect.right = std::min(rect.right, kMaxPictureWidth);
    rect.bottom = std::min(rect.bottom, kMaxPictureHeight);
    if (mode_ != AnalysisMode::Detailed)
        return;
    ResultPicture& picture = result_.pictures.emplace_back();
    picture.title = title;
    picture.label = label;
    picture.rect = rect;
    picture.picture = own;
}

uint8_t* CAnalysisRun::PreparePicture(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                                      int32_t marginHeight)
{
    if (mode_ != AnalysisMode::Detailed || result_.pictures.empty())
        return nullptr;
    return result_.pictures.back().image.Create(bitmapWidth, marginWidth, bitmapHeight, marginHeight);
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

void RunAnalyzer(uint32_t format, const AnalysisRequest& request)
{
    if (!request.run)
        return;
    if (request.run->onNested && request.level > 0)
        request.run->onNested(request);
    if (const FormatHandler* handler = request.run->Format(format))
        handler->analyze(request);
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
