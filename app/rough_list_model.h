#pragma once
// The rows of the rough-analysis list as an item model: one row per opened
// file, the newest on top, each keeping the exact bytes of its path, format
// and result. A cell becomes a string only while it is painted, so a list of
// a hundred thousand files costs its bytes and little more.
//
// Rows may wait apart from the views (between BeginInsertBatch and
// EndInsertBatch) and join them in one step; row numbers count the waiting
// rows as the top rows meanwhile. Rows may be marked for deletion and leave
// in one step (RemoveMarked).
#include <QAbstractTableModel>
#include <cstdint>
#include <deque>
#include <string>
#include <string_view>
#include <unordered_map>

class CRoughListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The anomalies stand before the result, which is the widest column and
    // would push them out of sight.
    enum Column { kColumnFile = 0, kColumnFormat = 1, kColumnAnomalies = 2, kColumnResult = 3, kColumnCount = 4 };

    using QAbstractTableModel::QAbstractTableModel;

    // Adds a row on top; it waits apart from the views while rows are held.
    void InsertRow(std::string path);
    // Holds new rows back from the views, or lets every held row join them.
    void HoldNewRows(bool hold);
    bool HoldingNewRows() const { return hold_; }

    // Row numbers below count every row, the held ones first; -1 or a row
    // past the end names none.
    int RowCount() const { return static_cast<int>(rows_.size()); }
    void SetFormat(int row, std::string text);
    // The result keeps at most 511 bytes, cut at a character boundary.
    void AppendResult(int row, const char* text);
    void SetAbsence(int row, std::string reason);
    // tip: the anomalies' texts, one a line, for the 異常 cell's tool tip.
    void SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings, std::string tip);

    std::string Text(int row, int column) const;
    // The absence reason of a row whose result is empty, or the cell's text.
    QString ToolTip(int row, int column) const;
    // The first row from the top whose path is path and that is not marked.
    int Find(std::string_view path) const;

    // Removes a row at once, or marks it to leave with RemoveMarked.
    void Remove(int row);
    void Mark(int row);
    bool Marked(int row) const;
    bool AnyMarked() const { return marked_ > 0; }
    // Every marked row leaves in one step; the views are reset, so their
    // selection and current row are the caller's to put back.
    void RemoveMarked();

    // The view's row of a row, and back; -1 for a held row.
    int ViewRow(int row) const;
    int RowOfView(int viewRow) const { return viewRow < 0 ? -1 : viewRow + Held(); }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    struct Row {
        std::string path;
        std::string format;
        std::string result;
        std::string absence;
        std::string anomalies;
        uint32_t errors = 0;
        uint32_t warnings = 0;
        bool marked = false;
    };

    int Held() const { return static_cast<int>(rows_.size() - shown_); }
    // Storage index of a row; rows are kept oldest first, so a new row
    // leaves every other row where it is.
    size_t Slot(int row) const { return rows_.size() - 1 - static_cast<size_t>(row); }
    Row* At(int row);
    const Row* At(int row) const;
    void IndexPaths() const;

    std::deque<Row> rows_;
    // The oldest shown_ rows are in the views; the rest are held.
    size_t shown_ = 0;
    bool hold_ = false;
    size_t marked_ = 0;
    // A path to the storage index of the newest unmarked row with it; the
    // keys view the rows' own paths, which a deque keeps in place as rows
    // are added. Rows sharing a path are found by a walk. Only deletions
    // look rows up, so the index is made at the first look, not as a batch
    // of thousands of files adds its rows.
    mutable std::unordered_map<std::string_view, size_t> byPath_;
    mutable bool indexed_ = false;
};
