#pragma once
// The rows of the headless rough-analysis list, the newest on top. Finding a
// row by its path and removing one cost the logarithm of the row count, not
// a walk of the list, so that deleting thousands of files one by one stays
// linear: removed rows are only marked, a tree of counts over the marks
// turns a stored place into the row's index, and the marked rows are swept
// out when they outnumber the live ones or the rows are read as a whole.
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

struct HeadlessRow {
    std::string path;
    std::string format;
    std::string result;
};

class CHeadlessRowList {
public:
    // Inserts a row on top; its index is 0.
    void InsertTop(const char* path);
    // The row at index row from the top, or null.
    HeadlessRow* At(int row);
    // Index of the first row from the top whose path is path; -1 if none.
    int Find(const char* path) const;
    void Erase(int row);
    size_t Size() const { return live_; }
    // Every row, from the top.
    const std::deque<HeadlessRow>& Rows() const;

private:
    // Places count from the oldest stored row (place 0); the stored rows
    // themselves run newest first, so place p is at rows_[rows_.size() - 1 - p].
    int64_t LiveUpTo(size_t places) const;   // live rows among places [0, places)
    size_t PlaceOfLive(int64_t k) const;     // place of the k-th live row, 1-based
    void AppendPlace(bool live) const;
    void MarkRemoved(size_t place);
    void Sweep() const;

    mutable std::deque<HeadlessRow> rows_;
    mutable std::vector<uint8_t> removed_;   // by place
    mutable std::vector<int64_t> counts_;    // Fenwick tree of live rows by place
    // Path of a live row to its place; a path that several live rows share
    // maps to the newest, the older ones are found by a walk.
    mutable std::unordered_map<std::string_view, size_t> byPath_;
    size_t live_ = 0;
};
