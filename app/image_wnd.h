#pragma once
// A decoded picture's window: a top-most tool window whose client area shows
// the picture from its top-left corner. The decoders write the pixel memory
// directly (BGR, rows bottom-up, with margin columns and rows that are never
// shown). A picture larger than the window is panned with the left button;
// closing only hides the window.
#include <QPoint>
#include <QWidget>

#include "image/image_buffer.h"

class CImageWnd : public QWidget {
    Q_OBJECT
public:
    // Largest client area; bigger pictures are panned.
    static constexpr int kMaxClientWidth = 1280;
    static constexpr int kMaxClientHeight = 720;

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

private:
    CImageBuffer image_;
    QPoint scrollOrigin_;
    bool dragging_ = false;
    QPoint lastMouse_;
};
