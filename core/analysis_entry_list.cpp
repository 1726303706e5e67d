#include "core/analysis_entry_list.h"

#include <cstring>

#include "core/result_text.h"

CAnalysisEntryList::CAnalysisEntryList()
{
    head_.id = -1;
    head_.level = 0xFFFFFFFFu;
    head_.text = headText_;
    tail_ = &head_;
    // The bottom node is the counter: the next id never handed out so far.
    freeIds_ = new FreeId{0, nullptr};
}

CAnalysisEntryList::~CAnalysisEntryList()
{
    Destroy();
}

void CAnalysisEntryList::Destroy()
{
    AnalysisEntry* e = head_.next;
    while (e) {
        AnalysisEntry* next = e->next;
        delete[] e->text;
        delete e;
        e = next;
    }
    head_.next = nullptr;
    tail_ = &head_;
    while (freeIds_) {
        FreeId* next = freeIds_->next;
        delete freeIds_;
        freeIds_ = next;
    }
}

int32_t CAnalysisEntryList::AddEntry(uint32_t level, const char* text)
{
    if (!text)
        text = "";
    if (level == 0) {
        for (const AnalysisEntry* e = &head_; e; e = e->next)
            if (std::strcmp(e->text, text) == 0)
                return kDuplicateEntry;
    }
    auto* entry = new AnalysisEntry;
    // The line's room, but no more: lines of a large file are many, and
    // most of them short.
    const size_t n = CharBoundaryPrefix(text, std::strlen(text), kMaxLineBytes);
    entry->text = new char[n + 1];
    std::memcpy(entry->text, text, n);
    entry->text[n] = '\0';
    entry->level = level;

    FreeId* top = freeIds_;
    entry->id = top->id;
    if (top->next) {
        freeIds_ = top->next;
        delete top;
    } else {
        ++top->id;
    }
    tail_->next = entry;
    tail_ = entry;
    return entry->id;
}

int CAnalysisEntryList::RemoveEntry(int32_t id)
{
    AnalysisEntry* prev = &head_;
    AnalysisEntry* e = head_.next;
    while (e && e->id != id) {
        prev = e;
        e = e->next;
    }
    if (!e)
        return 0;
    freeIds_ = new FreeId{id, freeIds_};
    prev->next = e->next;
    if (tail_ == e)
        tail_ = prev;
    delete[] e->text;
    delete e;
    return 1;
}

int32_t CAnalysisEntryList::FindEntryId(const char* text) const
{
    for (const AnalysisEntry* e = &head_; e; e = e->next)
        if (std::strcmp(e->text, text) == 0)
            return e->id;
    return 0;
}

bool CAnalysisEntryList::RemoveFileEntries(const char* path)
{
    AnalysisEntry* prev = &head_;
    AnalysisEntry* e = head_.next;
    while (e && std::strcmp(e->text, path) != 0) {
        prev = e;
        e = e->next;
    }
    if (!e)
        return false;
    // The run is the file's entry and everything up to the next file. Each
    // id goes onto the free stack in list order, as one RemoveEntry per
    // entry would leave it, without walking the list again for each.
    do {
        AnalysisEntry* next = e->next;
        freeIds_ = new FreeId{e->id, freeIds_};
        delete[] e->text;
        delete e;
        e = next;
    } while (e && e->level != 0);
    prev->next = e;
    if (!e)
        tail_ = prev;
    return true;
}
