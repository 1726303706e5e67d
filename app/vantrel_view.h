#pragma once
// The result tree of one detailed analysis. A right click anywhere in it
// offers "イメージ表示(&V)", which shows the image windows of the active
// detailed-analysis frame. Printing puts the lines as they are shown (the
// expanded branches, indented by depth, long lines wrapped) on as many pages
// as they need, each headed by the file's name and numbered at its foot,
// within margins of at least 15 mm. A line, or a line with everything under it, is copied as
// text in vantrel-dump -d's indented form (Ctrl+C, Ctrl+Shift+C); the whole
// tree can be saved as such a text file. Saved and printed, the lines an
// anomaly concerns carry vantrel-dump's mark, and the anomalies follow the
// tree, as the 異常 pane lists them.
#include <QStringList>
#include <unordered_set>
#include <utility>
#include <vector>

#include "app/tree_widget_control.h"
#include "core/anomaly.h"

class CVantrelApp;
class QFontMetrics;
class QPagedPaintDevice;

class CVantrelView : public CTreeWidgetControl {
    Q_OBJECT
public:
    CVantrelView(CVantrelApp& app, QWidget* parent = nullptr);

    // One printed page: its heading, its foot, and its lines, each with its
    // indent.
    struct PrintedPage {
        QString header;
        QString footer;
        std::vector<std::pair<int, QString>> lines;
    };
    static constexpr double kMinPrintMarginMm = 15;
    // The shown lines laid out on pages whose body is width x height, lines
    // of metrics' font; never an empty list.
    std::vector<PrintedPage> LayoutPages(const QFontMetrics& metrics, int width, int height) const;
    // Paints the shown lines onto the device's pages, widening its margins
    // to kMinPrintMarginMm where they are narrower; returns the page count.
    int PrintPages(QPagedPaintDevice& device) const;
    // Where printing to a file proposes to write: the analysed file's name
    // with ".pdf", in the folder last saved to, else the analysed file's,
    // else another that exists and can be written.
    static QString ProposedPrintFile(const QString& documentPath);
    // Keeps the folder of a file saved or printed to in the profile, for
    // the next proposal.
    static void RememberSaveFolder(const QString& file);
    // Splits text into pieces no wider than width, each at least one
    // character long; together they are the text again.
    static QStringList WrapLine(const QString& text, const QFontMetrics& metrics, int width);

    // The analysis's anomalies, for the saved text and the printed pages;
    // dropped: those beyond the run's limit, counted.
    void SetAnomalies(std::vector<Anomaly> anomalies, uint32_t dropped);
    // What the text and the pages show a flagged line with: its own text
    // after this mark.
    static constexpr const char* kAnomalyMark = "⚠ ";

    void ShowContextMenu(QPoint globalPos);
    // Writes the whole tree as text; false when the file cannot be written.
    bool SaveText(const QString& fileName) const;

public slots:
    void OnShowImage();
    // Asks for a printer and prints the tree.
    void OnFilePrint();
    // Copies the selected line, alone or with everything under it.
    void OnCopyLine();
    void OnCopyBranch();
    // Asks for a file name and saves the tree as text.
    void OnSaveText();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The analysed file's path: the title of the frame holding the view.
    QString DocumentPath() const;
    // The lines of the tree that an anomaly concerns.
    std::unordered_set<LineId> FlaggedLines() const;
    // The lines that follow the tree: a heading and one line per anomaly
    // (severity, offset, text); none for a file without anomalies.
    QStringList AnomalyLines() const;

    CVantrelApp& app_;
    std::vector<Anomaly> anomalies_;
    uint32_t anomaliesDropped_ = 0;
};
