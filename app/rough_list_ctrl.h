#pragma once
// The report list of the rough-analysis window: one row per opened file with
// its path, format and summary, the newest on top. Rows keep the exact bytes
// of their path, the key by which they are found again.
#include <QTreeView>
#include <string>
#include <vector>

#include "app/item_search.h"
#include "app/rough_list_model.h"

class CVantrelApp;

class CRoughListCtrl : public QTreeView {
    Q_OBJECT
public:
    enum Column {
        kColumnFile = CRoughListModel::kColumnFile,
        kColumnFormat = CRoughListModel::kColumnFormat,
        kColumnResult = CRoughListModel::kColumnResult,
        kColumnAnomalies = CRoughListModel::kColumnAnomalies,
    };

    CRoughListCtrl(CVantrelApp& app, QWidget* parent = nullptr);

    int InsertFileRow(const char* path);
    void SetFormatText(int row, const char* text);
    // The result cell keeps at most 511 bytes, cut at a character boundary.
    void AppendResultText(int row, const char* text);
    // Why the row's analysis gave no summary: its empty result cell's tool
    // tip.
    void SetSummaryAbsence(int row, const std::string& reason);
    // The 異常 cell: the counts of errors and warnings the rough analysis
    // found, empty when it found none; tip lists their texts.
    void SetAnomalyCounts(int row, uint32_t errors, uint32_t warnings, std::string tip);
    // Index of the first row, from the top, whose path is path; -1 if none.
    int FindRow(const char* path) const;
    void DeleteRow(int row);

    // Between these two, new rows are kept apart from the view and join it
    // in one step at the end, so that a batch of files lays the list out
    // once. Row indexes count the waiting rows as the top rows meanwhile.
    void BeginInsertBatch();
    void EndInsertBatch();
    bool InInsertBatch() const { return model_.HoldingNewRows(); }
    // Between these two, deleted rows are only marked and leave the list in
    // one step at the end: removing thousands of selected rows one by one
    // would make the view update its selection for each.
    void BeginDeleteBatch();
    void EndDeleteBatch();

    int RowCount() const { return model_.RowCount(); }
    std::string RowPath(int row) const;
    std::string RowText(int row, int column) const;
    // Indexes of the selected rows, from the top.
    std::vector<int> SelectedRows() const;
    // The view's index of a row's first cell; invalid for a row not in the
    // view yet.
    QModelIndex IndexOfRow(int row) const;
    void SelectRow(int row, bool selected);
    // Selects these rows alone, the first of them the current row, scrolled
    // into view; rows not in the view are left out.
    void SelectOnly(const std::vector<int>& rows);

    // The width a column keeps when the list is narrow: the path column
    // takes the spare width of a wide list beyond it, and gives it back.
    int KeptColumnWidth(int column) const;

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
    void RemoveMarkedRows();
    // Widens the path column over the width the other columns leave.
    void FillPathColumn();

    CVantrelApp& app_;
    CRoughListModel model_;
    int deleteBatch_ = 0;
    int pathWidth_ = 0;   // the path column's own width, as given to it
    bool filling_ = false;
    CItemSearch search_{*this};
};
