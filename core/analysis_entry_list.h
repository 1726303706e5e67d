#pragma once
// The entry list: one level-0 entry per opened file, each followed by the
// lines of that file's rough analysis with their levels. The analysis-tree bar
// renders it; ids are handed out from a free-id stack so that freed ids come
// back, the most recently freed first.
//
// Every operation costs no more than the entries it touches: texts are found
// through a pool keyed by their bytes, entries by their id, and each entry
// knows the one before it, so opening the ten-thousandth file or removing
// one of them does not walk the others.
#include <cstdint>
#include <memory>
#include <vector>

#include "core/entry_text_pool.h"

inline constexpr int32_t kDuplicateEntry = -3;

struct AnalysisEntry {
    const char* text = nullptr;   // NUL-terminated, owned by the list
    AnalysisEntry* next = nullptr;
    int32_t id = 0;
    uint32_t level = 0;
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
    // The same for a text already kept as the list keeps it (EntryText) and
    // hashed with CEntryTextPool::Hash, with no check for a duplicate file.
    int32_t AddEntry(uint32_t level, std::string_view kept, size_t hash);
    // The part of text an entry keeps: up to its first NUL, and of that at
    // most 511 bytes, cut at a character boundary.
    static std::string_view EntryText(std::string_view text);
    // 1 when an entry had the id, else 0.
    int RemoveEntry(int32_t id);
    // Whether any entry's text (the head's "TOP" included) equals text: a
    // level-0 entry with it would be refused.
    bool HasText(const char* text) const { return texts_.Find(text ? text : "") != nullptr; }
    // Id of the first entry whose text equals text; 0 when none does.
    int32_t FindEntryId(const char* text) const;
    // The level-0 entry of an open file, or null.
    const AnalysisEntry* FindFile(const char* path) const;
    // Removes the first entry whose text equals path and the entries after it
    // up to the next level-0 entry. False when no entry has the text.
    bool RemoveFileEntries(const char* path);
    const AnalysisEntry* GetEntryListHead() const { return &head_; }

private:
    // Entries live in chunks at the place of their id: ids stay dense,
    // because freed ones come back first, so the chunks hold the entries
    // with no record of their own beyond the list's links, and neither an
    // entry nor its neighbours ever move. Beside each entry, once the first
    // entry has been removed, the id of the one before it plus one (0: the
    // head), which unlinking needs; until then every entry follows the one
    // whose id is one less, and a batch of opened files pays for no links
    // back.
    static constexpr size_t kChunkEntries = 2048;
    struct Chunk {
        AnalysisEntry entries[kChunkEntries];
    };
    AnalysisEntry& Slot(int32_t id) const;
    uint32_t& PrevOf(int32_t id) const;
    void AddBackLinkChunks();
    void LinkBack();
    bool Live(int32_t id) const;

    // The first entry, from `from` on, whose text is stored (a pointer into
    // the pool); null when none is.
    AnalysisEntry* FirstWithText(const char* stored, const AnalysisEntry* from) const;
    void Unlink(AnalysisEntry* e);
    void Destroy();

    CEntryTextPool texts_;
    AnalysisEntry head_;
    AnalysisEntry* tail_ = nullptr;
    std::vector<std::unique_ptr<Chunk>> chunks_;
    std::vector<std::unique_ptr<uint32_t[]>> backLinks_;   // empty until a removal
    bool linkedBack_ = false;
    // Ids never used so far start here: the counter at the bottom of the
    // free-id stack.
    int32_t unusedId_ = 0;
    // Freed ids above the counter, the most recently freed last.
    std::vector<int32_t> freeIds_;
};
