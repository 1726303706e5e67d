#include "headless/headless_row_list.h"

namespace {
size_t LowBit(size_t i)
{
    return i & (~i + 1);
}
}

int64_t CHeadlessRowList::LiveUpTo(size_t places) const
{
    int64_t sum = 0;
    for (size_t i = places; i > 0; i -= LowBit(i))
        sum += counts_[i - 1];
    return sum;
}

size_t CHeadlessRowList::PlaceOfLive(int64_t k) const
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

void CHeadlessRowList::InsertTop(const char* path)
{
    HeadlessRow row;
    row.path = path;
    rows_.push_front(std::move(row));
    const size_t place = counts_.size();
    AppendPlace(true);
    byPath_[rows_.front().path] = place;
    ++live_;
}

HeadlessRow* CHeadlessRowList::At(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= live_)
        return nullptr;
    const size_t place = PlaceOfLive(static_cast<int64_t>(live_) - row);
    return &rows_[rows_.size() - 1 - place];
}

int CHeadlessRowList::Find(const char* path) const
{
    const auto it = byPath_.find(path);
    if (it != byPath_.end())
        return static_cast<int>(static_cast<int64_t>(live_) - LiveUpTo(it->second + 1));
    int row = 0;
    for (size_t i = 0; i < rows_.size(); ++i) {
        if (removed_[rows_.size() - 1 - i])
            continue;
        if (rows_[i].path == path)
            return row;
        ++row;
    }
    return -1;
}

void CHeadlessRowList::Erase(int row)
{
    if (row < 0 || static_cast<size_t>(row) >= live_)
        return;
    const size_t place = PlaceOfLive(static_cast<int64_t>(live_) - row);
    HeadlessRow& r = rows_[rows_.size() - 1 - place];
    if (const auto it = byPath_.find(r.path); it != byPath_.end() && it->second == place)
        byPath_.erase(it);
    MarkRemoved(place);
    --live_;
    r.format.clear();
    r.format.shrink_to_fit();
    r.result.clear();
    r.result.shrink_to_fit();
    if (rows_.size() > 64 && rows_.size() > 2 * live_)
        Sweep();
}

void CHeadlessRowList::Sweep() const
{
    std::deque<HeadlessRow> kept;
    for (size_t i = 0; i < rows_.size(); ++i)
        if (!removed_[rows_.size() - 1 - i])
            kept.push_back(std::move(rows_[i]));
    rows_.swap(kept);
    removed_.clear();
    counts_.clear();
    byPath_.clear();
    for (size_t place = 0; place < rows_.size(); ++place) {
        AppendPlace(true);
        // Older rows first, so that a shared path ends up at its newest row.
        byPath_[rows_[rows_.size() - 1 - place].path] = place;
    }
}

const std::deque<HeadlessRow>& CHeadlessRowList::Rows() const
{
    if (rows_.size() != live_)
        Sweep();
    return rows_;
}
