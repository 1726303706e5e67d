#include "core/analysis_entry_list.h"

#include <algorithm>
#include <cstring>
#include <memory>
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
    texts_.Release(head_.text);
}

void CAnalysisEntryList::Destroy()
{
    for (AnalysisEntry* e = head_.next; e; e = e->next)
        texts_.Release(e->text);
    head_.next = nullptr;
    tail_ = &head_;
    chunks_.clear();
    backLinks_.clear();
    linkedBack_ = false;
    unusedId_ = 0;
    freeIds_.clear();
}

AnalysisEntry& CAnalysisEntryList::Slot(int32_t id) const
{
    const auto place = static_cast<size_t>(id);
    return chunks_[place / kChunkEntries]->entries[place % kChunkEntries];
}

uint32_t& CAnalysisEntryList::PrevOf(int32_t id) const
{
    const auto place = static_cast<size_t>(id);
    return backLinks_[place / kChunkEntries][place % kChunkEntries];
}

void CAnalysisEntryList::AddBackLinkChunks()
{
    while (backLinks_.size() < chunks_.size())
        backLinks_.push_back(std::make_unique_for_overwrite<uint32_t[]>(kChunkEntries));
}

// Before the first removal ids were handed out in list order, so each
// entry's predecessor is known from the walk.
void CAnalysisEntryList::LinkBack()
{
    AddBackLinkChunks();
    for (const AnalysisEntry* e = &head_; e->next; e = e->next)
        PrevOf(e->next->id) = static_cast<uint32_t>(e->id + 1);
    linkedBack_ = true;
}

bool CAnalysisEntryList::Live(int32_t id) const
{
    return id >= 0 && id < unusedId_ && Slot(id).text;
}

std::string_view CAnalysisEntryList::EntryText(std::string_view text)
{
    const size_t length = std::min(text.size(), text.find('\0'));
    return {text.data(), CharBoundaryPrefix(text.data(), length, kMaxLineBytes)};
}

int32_t CAnalysisEntryList::AddEntry(uint32_t level, const char* text)
{
    if (!text)
        text = "";
    const size_t length = std::strlen(text);
    if (level == 0 && texts_.Find({text, length}))
        return kDuplicateEntry;
    const std::string_view kept(text, CharBoundaryPrefix(text, length, kMaxLineBytes));
    return AddEntry(level, kept, CEntryTextPool::Hash(kept));
}

int32_t CAnalysisEntryList::AddEntry(uint32_t level, std::string_view kept, size_t hash)
{
    int32_t id = unusedId_;
    if (freeIds_.empty()) {
        if (static_cast<size_t>(id) == chunks_.size() * kChunkEntries)
            chunks_.push_back(std::make_unique<Chunk>());
        ++unusedId_;
    } else {
        id = freeIds_.back();
        freeIds_.pop_back();
    }
    AnalysisEntry& entry = Slot(id);
    entry.id = id;
    entry.level = level;
    entry.next = nullptr;
    entry.text = texts_.Acquire(kept, hash);
    if (level == 0 && !CEntryTextPool::FileEntry(entry.text))
        CEntryTextPool::SetFileEntry(entry.text, &entry);
    if (linkedBack_) {
        AddBackLinkChunks();
        PrevOf(id) = static_cast<uint32_t>(tail_->id + 1);
    }
    tail_->next = &entry;
    tail_ = &entry;
    return id;
}

void CAnalysisEntryList::Unlink(AnalysisEntry* e)
{
    if (!linkedBack_)
        LinkBack();
    const uint32_t prev = PrevOf(e->id);
    AnalysisEntry* before = prev == 0 ? &head_ : &Slot(static_cast<int32_t>(prev - 1));
    before->next = e->next;
    if (e->next)
        PrevOf(e->next->id) = prev;
    else
        tail_ = before;
    if (CEntryTextPool::FileEntry(e->text) == e)
        CEntryTextPool::SetFileEntry(e->text, nullptr);
    texts_.Release(e->text);
    e->text = nullptr;
    e->next = nullptr;
    freeIds_.push_back(e->id);
}

int CAnalysisEntryList::RemoveEntry(int32_t id)
{
    if (!Live(id))
        return 0;
    Unlink(&Slot(id));
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
