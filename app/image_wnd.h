#pragma once
// A decoded picture's window: a tool window owned by the main frame, so that
// it stays above the program's main window but never above other programs'
// windows or the program's own dialogs. Its client area shows the picture
// from the scroll origin, centred when it is smaller than the window: the
// window is never narrower than its caption needs. It takes the bitmap the analysis decoded (BGR,
// rows bottom-up, with margin columns and rows that are never shown) and
// holds a grey or black-and-white one in a byte or a bit a pixel. A
// picture larger than the window is panned with the left button; closing
// (also Escape and Ctrl+W) only hides the window. Ctrl+wheel, + and - zoom,
// F fits the picture into the window, 1 (or 0) shows it at its own size; the
// caption names the file, which of its pictures this is, and the zoom when
// it is not 100 %. A window that pages through the pictures of a file shows
// one at a time, with its page in the caption; Page Up, Page Down, Home and
// End turn the pages. A picture too large to hold whole comes reduced: the
// window shows it fitted, and where the view needs finer pixels than the
// reduced bitmap has (up to 100 % and beyond) it asks for the part in view
// at the scale it needs and draws that over the reduced picture.
#include <QPoint>
#include <QPointF>
#include <QRect>
#include <QWidget>
#include <functional>

#include "image/image_buffer.h"

class QKeyEvent;

class CImageWnd : public QWidget {
    Q_OBJECT
public:
    // Narrowest and lowest client area, whatever the caption: wide enough
    // for a close button even for a picture of a few pixels.
    static constexpr int kMinClientWidth = 100;
    static constexpr int kMinClientHeight = 16;

    // Creates the window hidden, owned by owner (its window stands below
    // this one). fileName and label ("IFD 1", "サムネイル", empty for the
    // file's own picture) make the caption; the picture is width x height.
    CImageWnd(QWidget* owner, const QString& fileName, const QString& label, int width, int height);

    // Takes the decoded picture (a buffer without pixels leaves the window
    // white) and resets the scroll origin.
    void SetImage(CImageBuffer image);

    // Puts the window's frame at topLeft (screen coordinates) with a client
    // area that fits in room: the picture at its own size when it fits,
    // otherwise scaled down to fit. frame is what the window manager adds
    // around the client area on each side.
    void Place(QPoint topLeft, const QRect& room, const QMargins& frame);
    // Whether Place has been called: a window keeps the place the user gave
    // it when it is shown again.
    bool Placed() const { return placed_; }

    // Makes the window page through count pictures: a key that turns the
    // page calls turnTo with the page wanted, which shows it (ShowPage).
    void SetPages(size_t count, std::function<void(size_t page)> turnTo);
    // Shows picture page, with its label and size, as SetImage does.
    void ShowPage(size_t page, const QString& label, int width, int height, CImageBuffer image);
    size_t Page() const { return page_; }
    // Turns the page as key does (Page Up, Page Down, Home, End).
    void TurnPage(int key);

    // The bitmap holds every 2^shift-th pixel of the picture's rows and
    // columns; fetch is asked for a region of the picture (in its own
    // pixels) at a finer reduction, and answers later with SetDetail.
    // Shift 0: the bitmap is the picture.
    using DetailFetch = std::function<void(const QRect& region, uint32_t shift)>;
    void SetReduction(uint32_t shift, DetailFetch fetch);
    uint32_t Reduction() const { return shift_; }
    // The region asked for, drawn every 2^shift-th pixel.
    void SetDetail(const QRect& region, uint32_t shift, CImageBuffer image);
    // The detail shown now, and the one asked for and not yet answered.
    QRect DetailRegion() const { return detail_.Pixels() ? detailRegion_ : QRect(); }
    uint32_t DetailShift() const { return detailShift_; }
    bool DetailPending() const { return pending_; }
    size_t Pages() const { return pages_; }

    const CImageBuffer& Image() const { return image_; }
    QSize PictureSize() const { return picture_; }
    QPoint ScrollOrigin() const { return scrollOrigin_; }
    bool Dragging() const { return dragging_; }

    // Zoom factor: 1 shows one bitmap pixel per screen pixel (for a reduced
    // picture, 2^shift shows it at its own size).
    double Zoom() const { return zoom_; }
    void SetZoom(double zoom);
    void ZoomIn();
    void ZoomOut();
    // The whole picture in the window.
    void ZoomToFit();

    // The origin one drag step leads to: each axis takes its new value only
    // when the view then stays within the picture, else keeps the old one.
    static QPoint NextScrollOrigin(QPoint origin, QPoint lastMouse, QPoint mouse, QSize client,
                                   const CImageBuffer& image);

protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The narrowest client area that leaves the caption readable.
    int MinClientWidth() const;
    // Where the picture's corner lies in the client area: a picture
    // narrower or lower than the window is centred in it.
    QPoint PictureOffset() const;
    // The client area measured in bitmap pixels at the current zoom.
    QSize ViewInBitmap() const;
    // The factor that shows the whole picture in a client area of size.
    double FitZoom(QSize size) const;
    void UpdateTitle();
    // Asks for the finer pixels the view needs, when the reduced bitmap's
    // are too coarse and the detail at hand does not cover the view.
    void RequestDetail();
    // The picture's own pixels per bitmap pixel.
    double Scale() const { return double(uint64_t{1} << shift_); }
    // Escape and Ctrl+W close this window only.
    static bool IsCloseKey(const QKeyEvent& event);

    QString fileName_;
    QString label_;
    QSize picture_;
    CImageBuffer image_;
    QPoint scrollOrigin_;
    QPointF fraction_;          // of a bitmap pixel, beyond the scroll origin
    bool dragging_ = false;
    bool placed_ = false;
    QPoint lastMouse_;
    double zoom_ = 1.0;
    size_t page_ = 0;
    size_t pages_ = 0;   // 0: the window shows one picture
    std::function<void(size_t)> turnTo_;
    uint32_t shift_ = 0;
    DetailFetch fetch_;
    CImageBuffer detail_;
    QRect detailRegion_;        // in the picture's own pixels
    uint32_t detailShift_ = 0;
    bool pending_ = false;      // a fetch has not been answered yet
    bool again_ = false;        // the view moved while it was pending
};
