#include "app/summary_absence.h"

#include <cstring>

const char* SummaryAbsence(const CAnalysisEntryList& entries, const char* path)
{
    const AnalysisEntry* entry = entries.GetEntryListHead()->next;
    while (entry && !(entry->level == 0 && std::strcmp(entry->text, path) == 0))
        entry = entry->next;
    if (!entry)
        return "";
    const bool anyLine = entry->next && entry->next->level != 0;
    return anyLine ? "ﾍｯﾀﾞｰに画像ｻｲｽﾞが見つかりません" : "解析できる構造が見つかりません";
}
