#pragma once
// Why a file's rough analysis appended no summary to its row, told from the
// lines it left in the entry list: shown as the empty result cell's tool tip.
#include "core/analysis_entry_list.h"

// A short reason for the file whose level-0 entry is path; empty
// when the file is not in the list.
const char* SummaryAbsence(const CAnalysisEntryList& entries, const char* path);
