#pragma once
// The report list of the rough-analysis window: one row per opened file with
// its path, format and summary, the newest on top. Rows keep the exact bytes
// of their path, the key by which they are found again.
#include <QTreeWidget>
#include <string>

class CVantrelApp;

class CRoughListCtrl : public QTreeWidget {
    Q_OBJECT
public:
    enum Column { kColumnFile = 0, kColumnFormat = 1, kColumnResult = 2 };

    CRoughListCtrl(CVantrelApp& app, QWidget* parent = nullptr);

    int InsertFileRow(const char* path);
    void SetFormatText(int row, const char* text);
    // The result cell keeps at most 511 bytes, cut at a character boundary.
    void AppendResultText(int row, const char* text);
    // Index of the first row, from the top, whose path is path; -1 if none.
    int FindRow(const char* path) const;
    void DeleteRow(int row);

    int RowCount() const { return topLevelItemCount(); }
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

public slots:
    // Asks for each selected row, from the top, whether to remove its file;
    // declined rows stay selected and are not asked again.
    void OnEntryDelete();
    void OnDetailedAnalysis();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;

private:
    QTreeWidgetItem* Row(int row) const;

    CVantrelApp& app_;
};
