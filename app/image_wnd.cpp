#include "app/image_wnd.h"

#include <QCloseEvent>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>
#include <cstring>

CImageWnd::CImageWnd(const QString& title, int width, int height)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint)
{
    setWindowTitle(title);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    // Like the picture, the window keeps its size: only the view moves.
    setFixedSize(std::max(width, 1), std::max(height, 1));
    move(0, 0);
}

uint8_t* CImageWnd::CreateImage(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                                int32_t marginHeight)
{
    uint8_t* pixels = image_.Create(bitmapWidth, marginWidth, bitmapHeight, marginHeight);
    scrollOrigin_ = QPoint(0, 0);
    dragging_ = false;
    return pixels;
}

QPoint CImageWnd::NextScrollOrigin(QPoint origin, QPoint lastMouse, QPoint mouse, QSize client,
                                   const CImageBuffer& image)
{
    // In 64 bits: hostile sizes and far pointer positions cannot overflow.
    const auto step = [](int64_t o, int64_t last, int64_t now, int64_t bitmap, int64_t view,
                         int64_t margin) -> int {
        const int64_t next = o + last - now;
        return next >= 0 && next <= bitmap - (view + margin) ? static_cast<int>(next) : static_cast<int>(o);
    };
    return QPoint(step(origin.x(), lastMouse.x(), mouse.x(), image.BitmapWidth(), client.width(),
                       image.MarginWidth()),
                  step(origin.y(), lastMouse.y(), mouse.y(), image.BitmapHeight(), client.height(),
                       image.MarginHeight()));
}

void CImageWnd::closeEvent(QCloseEvent* event)
{
    // The window belongs to its detailed-analysis frame until that closes.
    event->ignore();
    hide();
}

void CImageWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const uint8_t* pixels = image_.Pixels();
    if (!pixels) {
        painter.fillRect(rect(), Qt::white);
        return;
    }
    // Copy just the part of the bitmap that reaches the client area, turning
    // the bottom-up rows the right way up; what lies beyond the bitmap stays
    // white.
    const int64_t visibleW = std::min<int64_t>(width(), int64_t{image_.BitmapWidth()} - scrollOrigin_.x());
    const int64_t visibleH = std::min<int64_t>(height(), int64_t{image_.BitmapHeight()} - scrollOrigin_.y());
    if (visibleW < int64_t{width()} || visibleH < int64_t{height()})
        painter.fillRect(rect(), Qt::white);
    if (visibleW <= 0 || visibleH <= 0)
        return;
    QImage view(static_cast<int>(visibleW), static_cast<int>(visibleH), QImage::Format_BGR888);
    const size_t rowBytes = image_.RowBytes();
    const size_t copyBytes = static_cast<size_t>(visibleW) * 3;
    for (int y = 0; y < visibleH; ++y) {
        const size_t memoryRow = static_cast<size_t>(image_.BitmapHeight() - 1 - (scrollOrigin_.y() + y));
        const uint8_t* src = pixels + memoryRow * rowBytes + static_cast<size_t>(scrollOrigin_.x()) * 3;
        std::memcpy(view.scanLine(y), src, copyBytes);
    }
    painter.drawImage(0, 0, view);
}

void CImageWnd::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        grabMouse();
        dragging_ = true;
        lastMouse_ = event->position().toPoint();
    }
    QWidget::mousePressEvent(event);
}

void CImageWnd::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton) {
        releaseMouse();
        dragging_ = false;
    }
    QWidget::mouseReleaseEvent(event);
}

void CImageWnd::mouseMoveEvent(QMouseEvent* event)
{
    // Without pixel memory there is nothing to pan.
    if (dragging_ && image_.Pixels()) {
        const QPoint mouse = event->position().toPoint();
        scrollOrigin_ = NextScrollOrigin(scrollOrigin_, lastMouse_, mouse, size(), image_);
        lastMouse_ = mouse;
        repaint();
    }
    QWidget::mouseMoveEvent(event);
}
