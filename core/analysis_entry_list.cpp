#include "core/analysis_entry_list.h"

#include <cstring>
#include <string_view>

#include "core/result_text.h"

CAnalysisEntryList::CAnalysisEntryList()
{
    head_.id = -1;
    head_.level = 0xFFFFFFFFu;
    head_.text = texts_.Acquire("TOP");
    tail_ = &head_;
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
        texts_.Release(e->text);
        delete e;
        e = next;
    }
    head_.next = nullptr;
    tail_ = &head_;
    byId_.clear();
    freeIds_.clear();
}

int32_t CAnalysisEntryList::AddEntry(uint32_t level, const char* text)
{
    if (!text)
        text = "";
    const size_t length = std::strlen(text);
    if (level == 0 && texts_.Find({text, length}))
        return kDuplicateEntry;
    auto* entry = new AnalysisEntry;
    entry->level = level;
    entry->text = texts_.Acquire({text, CharBoundaryPrefix(text, length, kMaxLineBytes)});
    if (level == 0 && !CEntryTextPool::FileEntry(entry->text))
        CEntryTextPool::SetFileEntry(entry->text, entry);

    if (freeIds_.empty()) {
        entry->id = static_cast<int32_t>(byId_.size());
        byId_.push_back(entry);
    } else {
        entry->id = freeIds_.back();
        freeIds_.pop_back();
        byId_[static_cast<size_t>(entry->id)] = entry;
    }
    entry->prev = tail_;
    tail_->next = entry;
    tail_ = entry;
    return entry->id;
}

void CAnalysisEntryList::Unlink(AnalysisEntry* e)
{
    e->prev->next = e->next;
    if (e->next)
        e->next->prev = e->prev;
    else
        tail_ = e->prev;
    if (CEntryTextPool::FileEntry(e->text) == e)
        CEntryTextPool::SetFileEntry(e->text, nullptr);
    texts_.Release(e->text);
    freeIds_.push_back(e->id);
    byId_[static_cast<size_t>(e->id)] = nullptr;
    delete e;
}

int CAnalysisEntryList::RemoveEntry(int32_t id)
{
    if (id < 0 || static_cast<size_t>(id) >= byId_.size() || !byId_[static_cast<size_t>(id)])
        return 0;
    Unlink(byId_[static_cast<size_t>(id)]);
    return 1;
}

AnalysisEntry* CAnalysisEntryList::FirstWithText(const char* stored, const AnalysisEntry* from) const
{
    if (!stored)
        return nullptr;
    // A file's entry precedes every other entry with its text: a file is
    // refused while any entry holds the text, and entries are only appended.
    if (AnalysisEntry* file = CEntryTextPool::FileEntry(stored))
        return file;
    for (const AnalysisEntry* e = from; e; e = e->next)
        if (e->text == stored)
            return const_cast<AnalysisEntry*>(e);
    return nullptr;
}

int32_t CAnalysisEntryList::FindEntryId(const char* text) const
{
    const AnalysisEntry* e = FirstWithText(texts_.Find(text ? text : ""), &head_);
    return e ? e->id : 0;
}

const AnalysisEntry* CAnalysisEntryList::FindFile(const char* path) const
{
    const char* stored = texts_.Find(path ? path : "");
    return stored ? CEntryTextPool::FileEntry(stored) : nullptr;
}

bool CAnalysisEntryList::RemoveFileEntries(const char* path)
{
    // The head is no file: the search starts after it.
    AnalysisEntry* e = FirstWithText(texts_.Find(path ? path : ""), head_.next);
    if (!e)
        return false;
    // The run is the file's entry and everything up to the next file. Each
    // id goes onto the free stack in list order, as one RemoveEntry per
    // entry would leave it.
    do {
        AnalysisEntry* next = e->next;
        Unlink(e);
        e = next;
    } while (e && e->level != 0);
    return true;
}
