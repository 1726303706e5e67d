#include "core/entry_text_pool.h"

#include <cstring>
#include <functional>
#include <new>

// One allocation per distinct text: this header, then the bytes and a NUL.
// refs counts the entries holding the text, which keep it in the table;
// pins the holders outside the list, which only keep it alive.
struct CEntryTextPool::Record {
    size_t hash;
    AnalysisEntry* file;
    uint32_t refs;
    uint32_t pins;
    uint32_t length;

    char* Bytes() { return reinterpret_cast<char*>(this + 1); }
    std::string_view View() { return {Bytes(), length}; }
};

size_t CEntryTextPool::Hash(std::string_view text)
{
    return std::hash<std::string_view>{}(text);
}

CEntryTextPool::~CEntryTextPool()
{
    // Pinned texts outlive the pool, out of the table; the last Unpin frees
    // them.
    for (Record* r : slots_) {
        if (r && r->pins > 0)
            r->refs = 0;
        else
            ::operator delete(r);
    }
}

const char* CEntryTextPool::Pin(const char* stored)
{
    ++RecordOf(stored)->pins;
    return stored;
}

void CEntryTextPool::Unpin(const char* stored)
{
    Record* r = RecordOf(stored);
    if (--r->pins == 0 && r->refs == 0)
        ::operator delete(r);
}

CEntryTextPool::Record* CEntryTextPool::RecordOf(const char* stored)
{
    return reinterpret_cast<Record*>(const_cast<char*>(stored)) - 1;
}

AnalysisEntry* CEntryTextPool::FileEntry(const char* stored)
{
    return RecordOf(stored)->file;
}

void CEntryTextPool::SetFileEntry(const char* stored, AnalysisEntry* entry)
{
    RecordOf(stored)->file = entry;
}

// The slot holding text, or the empty slot where its probe chain ends.
size_t CEntryTextPool::SlotOf(std::string_view text, size_t hash) const
{
    const size_t mask = slots_.size() - 1;
    size_t i = hash & mask;
    while (slots_[i] && !(slots_[i]->hash == hash && slots_[i]->View() == text))
        i = (i + 1) & mask;
    return i;
}

const char* CEntryTextPool::Find(std::string_view text) const
{
    const Record* r = slots_[SlotOf(text, Hash(text))];
    return r ? const_cast<Record*>(r)->Bytes() : nullptr;
}

const char* CEntryTextPool::Acquire(std::string_view text)
{
    return Acquire(text, Hash(text));
}

const char* CEntryTextPool::Acquire(std::string_view text, size_t hash)
{
    size_t slot = SlotOf(text, hash);
    if (Record* r = slots_[slot]) {
        ++r->refs;
        return r->Bytes();
    }
    if (2 * (used_ + 1) > slots_.size()) {
        Grow();
        slot = SlotOf(text, hash);
    }
    auto* r = static_cast<Record*>(::operator new(sizeof(Record) + text.size() + 1));
    r->hash = hash;
    r->file = nullptr;
    r->refs = 1;
    r->pins = 0;
    r->length = static_cast<uint32_t>(text.size());
    std::memcpy(r->Bytes(), text.data(), text.size());
    r->Bytes()[text.size()] = '\0';
    slots_[slot] = r;
    ++used_;
    return r->Bytes();
}

void CEntryTextPool::Release(const char* stored)
{
    Record* r = RecordOf(stored);
    if (--r->refs > 0)
        return;
    EraseSlot(SlotOf(r->View(), r->hash));
    if (r->pins == 0)
        ::operator delete(r);
}

void CEntryTextPool::EraseSlot(size_t slot)
{
    const size_t mask = slots_.size() - 1;
    slots_[slot] = nullptr;
    --used_;
    // Move back every record of the chain after the hole whose home slot
    // does not lie (cyclically) between the hole and its current slot.
    size_t hole = slot;
    for (size_t i = (slot + 1) & mask; slots_[i]; i = (i + 1) & mask) {
        const size_t home = slots_[i]->hash & mask;
        const bool reachable = hole <= i ? (home > hole && home <= i) : (home > hole || home <= i);
        if (reachable)
            continue;
        slots_[hole] = slots_[i];
        slots_[i] = nullptr;
        hole = i;
    }
}

void CEntryTextPool::Grow()
{
    std::vector<Record*> old(slots_.size() * 2, nullptr);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (Record* r : old) {
        if (!r)
            continue;
        size_t i = r->hash & mask;
        while (slots_[i])
            i = (i + 1) & mask;
        slots_[i] = r;
    }
}
