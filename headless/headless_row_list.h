#pragma once
// The rows of the headless rough-analysis list, the newest on top. Finding a
// row by its path and removing one cost the logarithm of the row count, not
// a walk of the list, so that deleting thousands of files one by one stays
// linear: removed rows are only marked, a tree of counts over the marks
// turns a stored place into the row's index, and the marked rows are swept
// out when they outnumber the live ones.
//
// A row keeps its path and result text in one allocation and its format as
// a number, so that a list of a hundred thousand files stays small.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <string_view>
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
    // Both false when there is no row at that index.
    bool SetFormat(int row, const char* text);
    // Appends to the result column, which keeps at most 511 bytes.
    bool AppendResult(int row, const char* text);
    // A copy of the row at index row from the top; false when there is none.
    bool Get(int row, HeadlessRow& out) const;
    // Index of the first row from the top whose path is path; -1 if none.
    int Find(const char* path) const;
    void Erase(int row);
    size_t Size() const { return live_; }
    // A copy of every row, from the top, made again after each change.
    const std::deque<HeadlessRow>& Rows() const;

private:
    struct StoredRow {
        std::unique_ptr<char[]> text;   // path, NUL, result, NUL; null once removed
        uint32_t pathLength = 0;
        uint16_t resultLength = 0;
        uint16_t format = 0;            // formats_ index + 1; 0 for none

        std::string_view Path() const { return {text.get(), pathLength}; }
        std::string_view Result() const { return {text.get() + pathLength + 1, resultLength}; }
    };

    // Places count from the oldest stored row (place 0); the stored rows
    // themselves run newest first, so place p is at rows_[rows_.size() - 1 - p].
    StoredRow& AtPlace(size_t place) const { return rows_[rows_.size() - 1 - place]; }
    StoredRow* Live(int row) const;
    int32_t LiveUpTo(size_t places) const;   // live rows among places [0, places)
    size_t PlaceOfLive(int32_t k) const;     // place of the k-th live row, 1-based
    void AppendPlace(bool live) const;
    void MarkRemoved(size_t place);
    void Sweep() const;

    // The path index: open addressing over places + 1, at most half full.
    size_t SlotOf(std::string_view path) const;
    void IndexPlace(size_t place) const;
    void UnindexSlot(size_t slot) const;
    void GrowIndex() const;

    mutable std::deque<StoredRow> rows_;
    mutable std::vector<uint8_t> removed_;   // by place
    mutable std::vector<int32_t> counts_;    // Fenwick tree of live rows by place
    // A path that several live rows share maps to the newest, the older ones
    // are found by a walk.
    mutable std::vector<uint32_t> slots_ = std::vector<uint32_t>(16, 0);
    mutable size_t indexed_ = 0;
    std::vector<std::string> formats_;
    size_t live_ = 0;
    mutable std::deque<HeadlessRow> copies_;
    mutable bool copiesValid_ = false;
};
