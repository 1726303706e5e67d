#pragma once
// The entry list: one level-0 entry per opened file, each followed by the
// lines of that file's rough analysis with their levels. The analysis-tree bar
// renders it; ids are handed out from a free-id stack so that freed ids come
// back, the most recently freed first.
#include <cstdint>

inline constexpr int32_t kDuplicateEntry = -3;

struct AnalysisEntry {
    int32_t id = 0;
    uint32_t level = 0;
    char* text = nullptr;   // owned: a line of at most 511 bytes as code page 932 counts them
    AnalysisEntry* next = nullptr;
};

class CAnalysisEntryList {
public:
    CAnalysisEntryList();
    ~CAnalysisEntryList();
    CAnalysisEntryList(const CAnalysisEntryList&) = delete;
    CAnalysisEntryList& operator=(const CAnalysisEntryList&) = delete;

    // Returns the new entry's id, or kDuplicateEntry when a level-0 text is
    // already in the list (the head's "TOP" included).
    int32_t AddEntry(uint32_t level, const char* text);
    // 1 when an entry had the id, else 0.
    int RemoveEntry(int32_t id);
    // Id of the first entry whose text equals text; 0 when none does.
    int32_t FindEntryId(const char* text) const;
    // Removes the first entry whose text equals path and the entries after it
    // up to the next level-0 entry. False when no entry has the text.
    bool RemoveFileEntries(const char* path);
    const AnalysisEntry* GetEntryListHead() const { return &head_; }

private:
    struct FreeId {
        int32_t id;
        FreeId* next;
    };
    void Destroy();

    char headText_[4] = {'T', 'O', 'P', '\0'};
    AnalysisEntry head_;
    AnalysisEntry* tail_ = nullptr;
    FreeId* freeIds_ = nullptr;
};
