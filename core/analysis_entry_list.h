#pragma once
// The entry list: one level-0 entry per opened file, each followed by the
// lines of that file's rough analysis with their levels. The analysis-tree bar
// renders it; ids are handed out from a free-id stack so that freed ids come
// back, the most recently freed first.
//
// Every operation costs no more than the entries it touches: texts are found
// through a pool keyed by their bytes, entries through a table indexed by id,
// and the list is linked both ways, so opening the ten-thousandth file or
// removing one of them does not walk the others.
#include <cstdint>
#include <vector>

#include "core/entry_text_pool.h"

inline constexpr int32_t kDuplicateEntry = -3;

struct AnalysisEntry {
    int32_t id = 0;
    uint32_t level = 0;
    const char* text = nullptr;   // NUL-terminated, owned by the list
    AnalysisEntry* next = nullptr;
    AnalysisEntry* prev = nullptr;
};

class CAnalysisEntryList {
public:
    CAnalysisEntryList();
    ~CAnalysisEntryList();
    CAnalysisEntryList(const CAnalysisEntryList&) = delete;
    CAnalysisEntryList& operator=(const CAnalysisEntryList&) = delete;

    // Returns the new entry's id, or kDuplicateEntry when a level-0 text
    // equals the text of any entry in the list (the head's "TOP" included).
    // Texts are kept up to 511 bytes, cut at a character boundary.
    int32_t AddEntry(uint32_t level, const char* text);
    // 1 when an entry had the id, else 0.
    int RemoveEntry(int32_t id);
    // Id of the first entry whose text equals text; 0 when none does.
    int32_t FindEntryId(const char* text) const;
    // The level-0 entry of an open file, or null.
    const AnalysisEntry* FindFile(const char* path) const;
    // Removes the first entry whose text equals path and the entries after it
    // up to the next level-0 entry. False when no entry has the text.
    bool RemoveFileEntries(const char* path);
    const AnalysisEntry* GetEntryListHead() const { return &head_; }

private:
    // The first entry, from `from` on, whose text is stored (a pointer into
    // the pool); null when none is.
    AnalysisEntry* FirstWithText(const char* stored, const AnalysisEntry* from) const;
    void Unlink(AnalysisEntry* e);
    void Destroy();

    CEntryTextPool texts_;
    AnalysisEntry head_;
    AnalysisEntry* tail_ = nullptr;
    // Live entries by id; ids stay dense because freed ones come back first.
    std::vector<AnalysisEntry*> byId_;
    // Freed ids, the most recently freed last; below them, conceptually, the
    // counter of ids never used, which is byId_.size().
    std::vector<int32_t> freeIds_;
};
