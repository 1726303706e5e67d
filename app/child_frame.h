#pragma once
// The MDI child window of a detailed analysis: one view over one document,
// the hex pane with the analysed file's bytes beside it, and the image
// windows that the analysis decoded, in creation order. The image windows
// live as long as the frame. Selecting a line selects its bytes; clicking a
// byte selects the innermost line that describes it.
#include <QMdiSubWindow>
#include <memory>
#include <vector>

#include "core/analysis_result.h"

class CAnomalyPane;
class CHexView;
class CImageWnd;
class QLabel;
class QSplitter;
class CVantrelApp;
class CVantrelDoc;
class CVantrelView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // Offset between the image windows of one frame, and how many windows at
    // most step down before the cascade starts again at its room's corner.
    static constexpr int kCascadeStep = 32;
    static constexpr size_t kCascadeLength = 16;

    CChildFrame(CVantrelApp& app, CVantrelDoc& doc);
    ~CChildFrame() override;

    CVantrelView* View() const { return view_; }
    CHexView* HexView() const { return hex_; }

    // The analysed file, shown in the hex pane with the byte order of its
    // format; called when the document gets its path.
    void SetDocumentPath(const std::string& path);
    // The pane's visibility; the choice is kept in the profile for the
    // frames that follow, and so is the width the user gives it.
    bool HexPaneVisible() const;
    void SetHexPaneVisible(bool visible);
    static bool HexPaneWanted();
    // Shows the bytes of a line in the pane (the side file's for a line
    // about the inflated body of a compressed SWF file).
    void ShowLineBytes(LineId line);
    // Selects the innermost line about the byte at offset of the file the
    // pane shows, opens its branch and scrolls the tree to it.
    void SelectLineAt(uint64_t offset);
    // Asks for an offset and puts the hex pane's cursor there, selecting its
    // line as a click on the byte does.
    void OnGoToOffset();
    // The label above the hex pane: whether it shows the file or the side
    // file of a compressed SWF file.
    QString HexLabel() const;

    QSize sizeHint() const override;

    // From this many pictures on, a file gets one image window that pages
    // through them, rather than a window each.
    static constexpr size_t kPagedPictures = 8;

    // Shows a finished analysis: its lines in the tree, and hidden image
    // windows for its pictures (ShowPictures).
    void ShowResult(AnalysisResult& result);
    // Appends a hidden image window for the picture, titled with the file
    // name and label, which takes the picture's bitmap (if any).
    CImageWnd* AddPicture(ResultPicture& picture, size_t index);
    // The size of the bitmap a picture's window shows: a reduced picture's
    // is smaller than the picture.
    static QSize ShownSize(const ResultPicture& picture);
    // Decodes the region of picture index at the reduction asked for, away
    // from the event loop, and gives it to window when it is done.
    void FetchDetail(CImageWnd& window, size_t index, const QRect& region, uint32_t shift) const;
    // Keeps what describes the analysis's pictures, and makes a hidden
    // window for each, or one window for them all from kPagedPictures on.
    void ShowPictures(std::vector<ResultPicture>& pictures);
    // Shows every image window in creation order and paints it at once,
    // decoding the pictures it shows that have no pixels yet; with no
    // picture the status bar says so. A window shown for the first time
    // opens inside the main frame's work area, clear of its bars and of the
    // rough-analysis list's rows (CMainFrame::PictureRoom), in cascade after
    // the frame's earlier ones, scaled down when the picture does not fit.
    void ShowImageWindows();
    const std::vector<std::unique_ptr<CImageWnd>>& ImageWindows() const { return images_; }
    CAnomalyPane* AnomalyPane() const { return anomalies_; }
    // Selects the line an anomaly concerns, or for one about the whole file
    // its bytes in the hex pane.
    void ShowAnomaly(const Anomaly& anomaly);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CVantrelApp& app_;
    void SaveHexPaneWidth();
    // The hex pane its width beside the tree where there is room for both,
    // else the pane below the tree.
    void ShareWidth();
    void UpdateHexLabel();
    void PlaceImageWindow(CImageWnd& window, size_t index) const;
    // The pictures at the indices wanted, decoded again from the file; the
    // others (and all, when the file has changed) without pixels.
    std::vector<CImageBuffer> DecodePictures(const std::vector<size_t>& wanted) const;
    // Shows picture page in the window that pages through the pictures.
    void TurnTo(size_t page);
    // Flags each line an anomaly concerns with its severity's icon and the
    // anomalies' texts as its tool tip, and lists them in the pane.
    void ShowAnomalies(AnalysisResult& result);
    // Has the hex pane read values in the byte order of the structure under
    // its cursor.
    void UseByteOrders(const AnalysisResult& result);

    CVantrelView* view_;
    CHexView* hex_;
    QLabel* hexLabel_;
    QWidget* hexPane_;   // the label above the hex view
    QSplitter* splitter_;
    QSplitter* treeSplitter_;   // the tree above the anomaly pane
    CAnomalyPane* anomalies_;
    int hexWidth_ = 0;   // the hex pane's width where there is room
    std::string path_;
    uint32_t format_ = 0;   // the analysed file's
    bool fromHex_ = false;   // the tree's selection follows a click on a byte
    std::vector<std::unique_ptr<CImageWnd>> images_;
    // What the analysis found of each picture, without pixels.
    std::vector<ResultPicture> pictures_;
};
