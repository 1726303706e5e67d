#pragma once
// The MDI child window of a detailed analysis: one view over one document,
// and the image windows that the analysis decoded, in creation order. The
// image windows live as long as the frame.
#include <QMdiSubWindow>
#include <memory>
#include <vector>

#include "core/shell.h"

class CImageWnd;
class CVantrelApp;
class CVantrelDoc;
class CVantrelView;

class CChildFrame : public QMdiSubWindow {
    Q_OBJECT
public:
    // Offset between the image windows of one frame, and how many windows
    // step down before the cascade starts again at (0, 0).
    static constexpr int kCascadeStep = 32;
    static constexpr size_t kCascadeLength = 16;

    CChildFrame(CVantrelApp& app, CVantrelDoc& doc);
    ~CChildFrame() override;

    CVantrelView* View() const { return view_; }

    // Appends a hidden image window for a picture of rect's size, placed in
    // cascade after the earlier ones; rect is clamped to the largest client
    // area in place.
    void AddImageWindow(const std::string& title, ImageRect& rect);
    // Gives the last image window its bitmap; *pixels is null when there is
    // no window or the bitmap cannot be had.
    void PrepareImage(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight, int32_t marginHeight,
                      uint8_t** pixels);
    // Shows every image window in creation order and paints it at once.
    void ShowImageWindows();
    const std::vector<std::unique_ptr<CImageWnd>>& ImageWindows() const { return images_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    CVantrelApp& app_;
    CVantrelView* view_;
    std::vector<std::unique_ptr<CImageWnd>> images_;
};
