#pragma once
// The texts of the entry list, each distinct text stored once at its own
// length and counted by the entries that hold it. Looking a text up costs its
// own length, not the number of entries, which keeps the duplicate check of a
// newly opened file independent of how many files are open; and the many
// equal lines of similar files (the same markers at the same offsets) share
// one copy.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

struct AnalysisEntry;

class CEntryTextPool {
public:
    CEntryTextPool() = default;
    ~CEntryTextPool();
    CEntryTextPool(const CEntryTextPool&) = delete;
    CEntryTextPool& operator=(const CEntryTextPool&) = delete;

    // The stored copy of text with one more holder; NUL-terminated.
    const char* Acquire(std::string_view text);
    // The same for a text whose Hash is known: threads that make texts
    // hash them there, and the list only files them.
    const char* Acquire(std::string_view text, size_t hash);
    static size_t Hash(std::string_view text);
    // Drops one holder of a text that Acquire returned; the last one frees it.
    void Release(const char* stored);
    // The stored copy equal to text byte for byte, or null when no entry
    // holds such a text.
    const char* Find(std::string_view text) const;

    // Another holder outside the list (a tree item showing the text): the
    // stored text stays readable until Unpin, even after the list dropped it
    // or the pool itself is gone. It is no longer found once the list's
    // entries holding it are gone.
    static const char* Pin(const char* stored);
    static void Unpin(const char* stored);

    // The level-0 entry (a file) whose text is stored, or null. A file's text
    // is unique among the texts that stood in the list when it was added, so
    // one slot per text suffices.
    static AnalysisEntry* FileEntry(const char* stored);
    static void SetFileEntry(const char* stored, AnalysisEntry* entry);

private:
    struct Record;
    static Record* RecordOf(const char* stored);
    size_t SlotOf(std::string_view text, size_t hash) const;
    void Grow();
    void EraseSlot(size_t slot);

    // Open addressing with linear probing, at most half full; removal shifts
    // the following records back so that no probe chain is broken.
    std::vector<Record*> slots_ = std::vector<Record*>(64, nullptr);
    size_t used_ = 0;
};
