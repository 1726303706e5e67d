#include "core/analysis_tree.h"

#include <cstdlib>
#include <vector>

namespace {
struct LevelSlot {
    uint32_t level;
    LineId line;
};

[[noreturn]] void FailRebuild(IShell& shell, const char* errorNumber)
{
    MessageBoxRequest box;
    box.text = std::string("解析ツリーの更新に失敗しました\nエラー番号：") + errorNumber;
    box.owner = MessageOwner::TreeBar;
    shell.MessageBox(box);
    shell.ExitProcess(0);
    std::abort();   // a shell's exit never returns
}
}

void RebuildAnalysisTree(CLineTree& tree, const AnalysisEntry* head, IShell& shell)
{
    tree = CLineTree();
    CheckAnalysisTree(head, shell, &tree);
}

void CheckAnalysisTree(const AnalysisEntry* head, IShell& shell, CLineTree* tree, const EntryVisit& visit)
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
                FailRebuild(shell, "AT00000002");
            ++current;
        }
        while (slots[current].level > e->level) {
            if (current == 0)
                FailRebuild(shell, "AT00000003");
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
}
