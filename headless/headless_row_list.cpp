#include "headless/headless_row_list.h"

#include <algorithm>
#include <functional>

#include "core/result_text.h"

namespace {
size_t LowBit(size_t i)
{
    return i & (~i + 1);
}

size_t HashOf(std::string_view path)
{
    return std::hash<std::string_view>{}(path);
}

// One allocation holding path, NUL, result, NUL.
std::unique_ptr<char[]> JoinTexts(std::string_view path, std::string_view result)
{
    auto text = std::make_unique_for_overwrite<char[]>(path.size() + result.size() + 2);
    std::copy(path.begin(), path.end(), text.get());
    text[path.size()] = '\0';
    std::copy(result.begin(), result.end(), text.get() + path.size() + 1);
    text[path.size() + 1 + result.size()] = '\0';
    return text;
}
}

int32_t CHeadlessRowList::LiveUpTo(size_t places) const
{
    int32_t sum = 0;
    for (size_t i = places; i > 0; i -= LowBit(i))
        sum += counts_[i - 1];
    return sum;
}

size_t CHeadlessRowList::PlaceOfLive(int32_t k) const
{
    size_t pos = 0;
    size_t step = 1;
    while (step * 2 <= counts_.size())
        step *= 2;
    for (; step > 0; step /= 2) {
        if (pos + step <= counts_.size() && counts_[pos + step - 1] < k) {
            pos += step;
            k -= counts_[pos - 1];
        }
    }
    return pos;
}

void CHeadlessRowList::AppendPlace(bool live) const
{
    // Node i (1-based) covers places (i - lowbit(i), i]: its own value plus
    // the live rows of the rest of that range.
    const size_t i = counts_.size() + 1;
    counts_.push_back((live ? 1 : 0) + LiveUpTo(i - 1) - LiveUpTo(i - LowBit(i)));
    removed_.push_back(live ? 0 : 1);
}

void CHeadlessRowList::MarkRemoved(size_t place)
{
    removed_[place] = 1;
    for (size_t i = place + 1; i <= counts_.size(); i += LowBit(i))
        --counts_[i - 1];
}

// The slot holding path, or the empty slot where its probe chain ends.
size_t CHeadlessRowList::SlotOf(std::string_view path) const
{
    const size_t mask = slots_.size() - 1;
    size_t i = HashOf(path) & mask;
    while (slots_[i] && AtPlace(slots_[i] - 1).Path() != path)
        i = (i + 1) & mask;
    return i;
}

void CHeadlessRowList::IndexPlace(size_t place) const
{
    if (2 * (indexed_ + 1) > slots_.size())
        GrowIndex();
    const size_t slot = SlotOf(AtPlace(place).Path());
    indexed_ += slots_[slot] == 0;
    slots_[slot] = static_cast<uint32_t>(place + 1);
}

void CHeadlessRowList::UnindexSlot(size_t slot) const
{
    const size_t mask = slots_.size() - 1;
    slots_[slot] = 0;
    --indexed_;
    // Move back every place of the chain after the hole whose home slot does
    // not lie (cyclically) between the hole and its current slot.
    size_t hole = slot;
    for (size_t i = (slot + 1) & mask; slots_[i]; i = (i + 1) & mask) {
        const size_t home = HashOf(AtPlace(slots_[i] - 1).Path()) & mask;
        const bool reachable = hole <= i ? (home > hole && home <= i) : (home > hole || home <= i);
        if (reachable)
            continue;
        slots_[hole] = slots_[i];
        slots_[i] = 0;
        hole = i;
    }
}

void CHeadlessRowList::GrowIndex() const
{
    std::vector<uint32_t> old(slots_.size() * 2, 0);
    old.swap(slots_);
    const size_t mask = slots_.size() - 1;
    for (uint32_t entry : old) {
        if (!entry)
            continue;
        size_t i = HashOf(AtPlace(entry - 1).Path()) & mask;
        while (slots_[i])
            i = (i + 1) & mask;
        slots_[i] = entry;
    }
}

void CHeadlessRowList::InsertTop(const char* path)
{
    StoredRow row;
    const std::string_view p = path ? path : "";
    row.text = JoinTexts(p, {});
    row.pathLength = static_cast<uint32_t>(p.size());
    rows_.push_front(std::move(row));
    const size_t place = counts_.size();
    AppendPlace(true);
    IndexPlace(place);
    ++live_;
    copiesValid_ = false;
}

CHeadlessRowList::StoredRow* CHeadlessRowList::Live(int row) const
{
    if (row < 0 || static_cast<size_t>(row) >= live_)
        return nullptr;
    return &AtPlace(PlaceOfLive(static_cast<int32_t>(live_) - row));
}

bool CHeadlessRowList::SetFormat(int row, const char* text)
{
    StoredRow* r = Live(row);
    if (!r)
        return false;
    const std::string_view format = text ? text : "";
    size_t index = 0;
    while (index < formats_.size() && formats_[index] != format)
        ++index;
    if (index == formats_.size())
        formats_.emplace_back(format);
    r->format = static_cast<uint16_t>(index + 1);
    copiesValid_ = false;
    return true;
}

bool CHeadlessRowList::AppendResult(int row, const char* text)
{
    StoredRow* r = Live(row);
    if (!r)
        return false;
    std::string result(r->Result());
    AppendWithinLimit(result, text ? text : "");
    r->text = JoinTexts(r->Path(), result);
    r->resultLength = static_cast<uint16_t>(result.size());
    copiesValid_ = false;
    return true;
}

bool CHeadlessRowList::Get(int row, HeadlessRow& out) const
{
    const StoredRow* r = Live(row);
    if (!r)
        return false;
    out.path = r->Path();
    out.format = r->format ? formats_[r->format - 1u] : std::string();
    out.result = r->Result();
    return true;
}

int CHeadlessRowList::Find(const char* path) const
{
    const std::string_view p = path ? path : "";
    if (const uint32_t entry = slots_[SlotOf(p)])
        return static_cast<int>(static_cast<int32_t>(live_) - LiveUpTo(entry));
    int row = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (removed_[rows_.size() - 1 - i])
            continue;
        if (rows_[i].Path() == p)
            return row;
        ++row;
    }
    return -1;
}

void CHeadlessRowList::Erase(int row)
{
    StoredRow* r = Live(row);
    if (!r)
        return;
    const size_t place = PlaceOfLive(static_cast<int32_t>(live_) - row);
    if (const size_t slot = SlotOf(r->Path()); slots_[slot] == place + 1)
        UnindexSlot(slot);
    MarkRemoved(place);
    --live_;
    r->text.reset();
    r->pathLength = 0;
    r->resultLength = 0;
    copiesValid_ = false;
    if (rows_.size() > 64 && rows_.size() > 2 * live_)
        Sweep();
}

void CHeadlessRowList::Sweep() const
{
    std::deque<StoredRow> kept;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (!removed_[rows_.size() - 1 - i])
            kept.push_back(std::move(rows_[i]));
    rows_.swap(kept);
    removed_.clear();
    counts_.clear();
    slots_.assign(16, 0);
    indexed_ = 0;
    // Older rows first, so that a shared path ends up at its newest row.
    for (size_t place = 0; place < rows_.size(); ++place) {
        AppendPlace(true);
        IndexPlace(place);
    }
}

const std::deque<HeadlessRow>& CHeadlessRowList::Rows() const
{
    if (copiesValid_)
        return copies_;
    copies_.resize(live_);
    for (size_t i = 0; i < live_; ++i)
        Get(static_cast<int>(i), copies_[i]);
    copiesValid_ = true;
    return copies_;
}
