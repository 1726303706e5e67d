#pragma once
// How the entry list becomes the analysis-tree bar's tree.
#include <functional>

#include "core/analysis_entry_list.h"
#include "core/diagnostic.h"
#include "core/line_tree.h"

// Replaces tree with the entries after head, nested by level: a level-L
// entry hangs under the line of the most recent entry one level below, and
// every line with lines under it is expanded. The lines show the entries'
// own stored texts. A level that climbs more than one step above the highest
// level reached since its file's entry, or that cannot be found below, stops
// the walk there with false and the bar's AT00000002 or AT00000003
// diagnostic, which ends the program.
bool RebuildAnalysisTree(CLineTree& tree, const AnalysisEntry* head, Diagnostic& fatal);

// The same walk over the entries with their levels checked, building the
// tree only when one is given, and calling visit, when given, with each
// entry and the depth of its line in the tree (0 for a file), in the tree's
// order: for a shell that keeps no bar, or writes it out as it goes.
using EntryVisit = std::function<void(const AnalysisEntry& entry, size_t depth)>;
bool CheckAnalysisTree(const AnalysisEntry* head, Diagnostic& fatal, CLineTree* tree = nullptr,
                       const EntryVisit& visit = {});
