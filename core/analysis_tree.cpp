#include "core/analysis_tree.h"

#include <vector>

namespace {
struct LevelSlot {
    uint32_t level;
    LineId line;
};

bool FailRebuild(Diagnostic& fatal, const char* errorNumber)
{
    fatal = {DiagnosticKind::TreeFailed, DiagnosticSeverity::Error,
             std::string("解析ツリーの更新に失敗しました\nエラー番号：") + errorNumber, "", errorNumber, true};
    return false;
}
}

bool RebuildAnalysisTree(CLineTree& tree, const AnalysisEntry* head, Diagnostic& fatal)
{
    tree = CLineTree();
    return CheckAnalysisTree(head, fatal, &tree);
}

bool CheckAnalysisTree(const AnalysisEntry* head, Diagnostic& fatal, CLineTree* tree, const EntryVisit& visit)
{
    // slots[i] holds the item that entries of level slots[i].level + 1 hang
    // under; the bottom slot is the top level of the tree and is never dropped.
    std::vector<LevelSlot> slots{{0, kTopLevel}};
    size_t current = 0;
    for (const AnalysisEntry* e = head ? head->next : nullptr; e; e = e->next) {
        if (e->level == 0) {
            current = 0;
            slots.resize(1);
        }
        while (slots[current].level < e->level) {
            if (current + 1 >= slots.size())
                return FailRebuild(fatal, "AT00000002");
            ++current;
        }
        while (slots[current].level > e->level) {
            if (current == 0)
                return FailRebuild(fatal, "AT00000003");
            --current;
        }
        if (current + 1 >= slots.size())
            slots.push_back({slots[current].level + 1, 0});
        if (tree) {
            slots[current + 1].line = tree->AppendPinned(e->text, slots[current].line);
            tree->Expand(slots[current].line);
        }
        if (visit)
            visit(*e, current);
    }
    return true;
}
