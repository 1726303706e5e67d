#pragma once
// The report list of the rough-analysis window: one row per opened file with
// its path, format and summary, the newest on top. Rows keep the exact bytes
// of their path, the key by which they are found again.
#include <QTreeWidget>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "app/item_search.h"

class CVantrelApp;

class CRoughListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kColumnFile = 0, kColumnFormat = 1, kColumnResult = 2, kColumnAnomalies = 3 };

    CRoughListCtrl(CVantrelApp& app, QWidget* parent = nullptr);

    int InsertFileRow(const char* path);
    void SetFormatText(int row, const char* text);
    // The result cell keeps at most 511 bytes, cut at a character boundary.
    void AppendResultText(int row, const char* text);
    // Why the row's analysis gave no summary: its empty result cell's tool
    // tip.
    void SetSummaryAbsence(int row, const std::string& reason);
    // The 異常 cell: the counts of errors and warnings the rough analysis
    // found, empty when it found none.
    void SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings);
    // Index of the first row, from the top, whose path is path; -1 if none.
    int FindRow(const char* path) const;
    void DeleteRow(int row);

    // Between these two, new rows are kept apart from the view and join it
    // in one step at the end, so that a batch of files lays the list out
    // once. Row indexes count the waiting rows as the top rows meanwhile.
    void BeginInsertBatch();
    void EndInsertBatch();
    bool InInsertBatch() const { return insertBatch_; }
    // Between these two, deleted rows are only marked and leave the list in
    // one step at the end: removing thousands of selected rows one by one
    // would make the view update its selection for each.
    void BeginDeleteBatch();
    void EndDeleteBatch();

    int RowCount() const { return topLevelItemCount() + static_cast<int>(pending_.size()); }
    std::string RowPath(int row) const;
    std::string RowText(int row, int column) const;
    // Indexes of the selected rows, from the top.
    std::vector<int> SelectedRows() const;

    // What a row's tool tip says: the full path, the full result, or for an
    // empty result why the rough analysis found no summary.
    QString ToolTipAt(int row, int column) const;

    // Shows the context menu when a row is selected; true when a command
    // was chosen from it.
    bool ShowContextMenu(QPoint globalPos);

    CItemSearch& Search() { return search_; }
    // Copies the selected rows, from the top, as vantrel-dump --rows prints
    // them: path, format and result separated by tabs, one row a line.
    void CopySelectedRows() const;

public slots:
    // Asks whether to remove the selected rows' files: for one row with its
    // path, for several once for all of them.
    void OnEntryDelete();
    void OnDetailedAnalysis();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QTreeWidgetItem* Row(int row) const;
    int IndexOf(QTreeWidgetItem* item) const;
    void RemoveMarkedRows();

    CVantrelApp& app_;
    // Path bytes of a row to the newest row with that path; a path that
    // several rows share finds the older ones by a walk.
    std::unordered_map<std::string, QTreeWidgetItem*> byPath_;
    std::vector<QTreeWidgetItem*> pending_;   // waiting rows, the newest last
    bool insertBatch_ = false;
    int deleteBatch_ = 0;
    std::unordered_set<QTreeWidgetItem*> marked_;
    CItemSearch search_{*this};
};
