#pragma once
// A decoded picture's window: a top-most tool window whose client area shows
// the picture from its top-left corner. The decoders write the pixel memory
// directly (BGR, rows bottom-up, with margin columns and rows that are never
// shown). A picture larger than the window is panned with the left button;
// closing only hides the window. Ctrl+wheel, + and - zoom, F fits the
// picture into the window, 1 (or 0) shows it at its own size; the caption
// names the zoom when it is not 100 %.
#include <QPoint>
#include <QWidget>

#include "image/image_buffer.h"

class CImageWnd : public QWidget {
    Q_OBJECT
public:
    // Largest client area; bigger pictures are panned.
    static constexpr int kMaxClientWidth = 1280;
    static constexpr int kMaxClientHeight = 720;
    // Narrowest client area: wide enough for a caption with its close button
    // even for a picture of a few pixels.
    static constexpr int kMinClientWidth = 100;

    // Creates the window hidden at screen position (0, 0) with a client area
    // of width x height (already clamped by the caller).
    CImageWnd(const QString& title, int width, int height);

    // Allocates the bitmap and returns its pixel memory, or null when it
    // cannot be had (the window then stays white). Resets the scroll origin.
    uint8_t* CreateImage(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                         int32_t marginHeight);

    const CImageBuffer& Image() const { return image_; }
    QPoint ScrollOrigin() const { return scrollOrigin_; }
    bool Dragging() const { return dragging_; }

    // Zoom factor: 1 shows one bitmap pixel per screen pixel.
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
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The client area measured in bitmap pixels at the current zoom.
    QSize ViewInBitmap() const;
    // Copies the bitmap's part from the scroll origin, w x h bitmap pixels
    // at most, the right way up.
    QImage VisiblePart(int64_t w, int64_t h) const;

    QString title_;
    CImageBuffer image_;
    QPoint scrollOrigin_;
    bool dragging_ = false;
    QPoint lastMouse_;
    double zoom_ = 1.0;
};
