#pragma once
// How the entry list becomes the analysis-tree bar's tree, and where a nested
// analysis hangs its lines in a result tree.
#include <cstdint>

#include "core/analysis_entry_list.h"
#include "core/shell.h"
#include "core/tree_control.h"

// Deletes every item of tree and inserts the entries after head, nested by
// level: a level-L entry hangs under the item of the most recent entry one
// level below. A level that climbs more than one step above the highest level
// reached since its file's entry, or that cannot be found below, ends the
// process after the bar's AT00000002 or AT00000003 message.
void RebuildAnalysisTree(ITreeControl& tree, const AnalysisEntry* head, IShell& shell);

// The item under which an analyzer's detailed lines begin: TVI_ROOT for level
// 0; otherwise the item reached from the first top-level item's next visible
// item by taking next siblings, or first children where there is no sibling.
HTREEITEM ChooseBaseParent(const ITreeControl& tree, uint32_t level);
