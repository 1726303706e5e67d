#include "app/summary_absence.h"

#include <cstring>

namespace {

// Frame markers other than baseline SOF0 (ITU-T T.81, Table B.1). The rough
// analysis reports them as invalid markers, "(0xFFCn)" in the line, and
// yields no picture size for such a file.
struct UnsupportedFrame {
    const char* marker;
    const char* reason;
};

constexpr UnsupportedFrame kUnsupportedFrames[] = {
    {"(0xFFC1)", "extended sequential JPEG: not decoded"},
    {"(0xFFC2)", "progressive JPEG: not decoded"},
    {"(0xFFC3)", "lossless JPEG: not decoded"},
    {"(0xFFC5)", "hierarchical JPEG: not decoded"},
    {"(0xFFC6)", "hierarchical progressive JPEG: not decoded"},
    {"(0xFFC7)", "hierarchical lossless JPEG: not decoded"},
    {"(0xFFC9)", "arithmetic-coded JPEG: not decoded"},
    {"(0xFFCA)", "arithmetic-coded progressive JPEG: not decoded"},
    {"(0xFFCB)", "arithmetic-coded lossless JPEG: not decoded"},
    {"(0xFFCD)", "hierarchical arithmetic-coded JPEG: not decoded"},
    {"(0xFFCE)", "hierarchical arithmetic-coded progressive JPEG: not decoded"},
    {"(0xFFCF)", "hierarchical arithmetic-coded lossless JPEG: not decoded"},
};

const char* UnsupportedFrameReason(const char* line)
{
    for (const UnsupportedFrame& frame : kUnsupportedFrames)
        if (std::strstr(line, frame.marker))
            return frame.reason;
    return nullptr;
}

}  // namespace

const char* SummaryAbsence(const CAnalysisEntryList& entries, const char* path)
{
    const AnalysisEntry* entry = entries.GetEntryListHead()->next;
    while (entry && !(entry->level == 0 && std::strcmp(entry->text, path) == 0))
        entry = entry->next;
    if (!entry)
        return "";
    bool anyLine = false;
    for (const AnalysisEntry* line = entry->next; line && line->level != 0; line = line->next) {
        anyLine = true;
        if (const char* reason = UnsupportedFrameReason(line->text))
            return reason;
    }
    return anyLine ? "no picture size found in the file's headers" : "nothing recognised in the file";
}
