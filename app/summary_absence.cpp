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
    {"(0xFFC1)", "拡張ｼｰｹﾝｼｬﾙ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC2)", "ﾌﾟﾛｸﾞﾚｯｼﾌﾞ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC3)", "ﾛｽﾚｽ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC5)", "階層型 JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC6)", "階層型ﾌﾟﾛｸﾞﾚｯｼﾌﾞ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC7)", "階層型ﾛｽﾚｽ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFC9)", "算術符号化 JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFCA)", "算術符号化ﾌﾟﾛｸﾞﾚｯｼﾌﾞ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFCB)", "算術符号化ﾛｽﾚｽ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFCD)", "階層型算術符号化 JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFCE)", "階層型算術符号化ﾌﾟﾛｸﾞﾚｯｼﾌﾞ JPEG：ﾃﾞｺｰﾄﾞしません"},
    {"(0xFFCF)", "階層型算術符号化ﾛｽﾚｽ JPEG：ﾃﾞｺｰﾄﾞしません"},
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
    return anyLine ? "ﾍｯﾀﾞｰに画像ｻｲｽﾞが見つかりません" : "解析できる構造が見つかりません";
}
