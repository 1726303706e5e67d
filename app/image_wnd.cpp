#include "app/image_wnd.h"

#include <QCloseEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>
#include <cstring>

namespace {
// The zoom factors that + and - step through.
constexpr double kZoomSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1.0,
                                 1.5,      2.0,     3.0,     4.0,     6.0,     8.0,     16.0};
}  // namespace

CImageWnd::CImageWnd(const QString& title, int width, int height)
    : QWidget(nullptr, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint |
                           Qt::CustomizeWindowHint),
      title_(title)
{
    setWindowTitle(title);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, Qt::white);
    setPalette(pal);
    setAutoFillBackground(true);
    // Like the picture, the window keeps its size: only the view moves.
    setFixedSize(std::max(width, kMinClientWidth), std::max(height, 1));
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

QSize CImageWnd::ViewInBitmap() const
{
    return QSize(static_cast<int>(std::ceil(width() / zoom_)), static_cast<int>(std::ceil(height() / zoom_)));
}

QImage CImageWnd::VisiblePart(int64_t w, int64_t h) const
{
    const uint8_t* pixels = image_.Pixels();
    const int64_t visibleW = std::min<int64_t>(w, int64_t{image_.BitmapWidth()} - scrollOrigin_.x());
    const int64_t visibleH = std::min<int64_t>(h, int64_t{image_.BitmapHeight()} - scrollOrigin_.y());
    if (!pixels || visibleW <= 0 || visibleH <= 0)
        return QImage();
    QImage view(static_cast<int>(visibleW), static_cast<int>(visibleH), QImage::Format_BGR888);
    const size_t rowBytes = image_.RowBytes();
    const size_t copyBytes = static_cast<size_t>(visibleW) * 3;
    for (int y = 0; y < visibleH; ++y) {
        const size_t memoryRow = static_cast<size_t>(image_.BitmapHeight() - 1 - (scrollOrigin_.y() + y));
        const uint8_t* src = pixels + memoryRow * rowBytes + static_cast<size_t>(scrollOrigin_.x()) * 3;
        std::memcpy(view.scanLine(y), src, copyBytes);
    }
    return view;
}

void CImageWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // Only the part of the bitmap that reaches the client area is copied;
    // what lies beyond the bitmap stays white.
    const QSize wanted = ViewInBitmap();
    const QImage part = VisiblePart(wanted.width(), wanted.height());
    if (part.isNull() || part.width() * zoom_ < width() || part.height() * zoom_ < height())
        painter.fillRect(rect(), Qt::white);
    if (part.isNull())
        return;
    if (zoom_ == 1.0) {
        painter.drawImage(0, 0, part);
        return;
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    painter.drawImage(QRectF(0, 0, part.width() * zoom_, part.height() * zoom_), part);
}

void CImageWnd::SetZoom(double zoom)
{
    zoom_ = std::clamp(zoom, kZoomSteps[0], kZoomSteps[std::size(kZoomSteps) - 1]);
    // The view stays inside the picture at the new scale.
    const QSize view = ViewInBitmap();
    const int maxX = std::max(0, image_.BitmapWidth() - (view.width() + image_.MarginWidth()));
    const int maxY = std::max(0, image_.BitmapHeight() - (view.height() + image_.MarginHeight()));
    scrollOrigin_ = QPoint(std::clamp(scrollOrigin_.x(), 0, maxX), std::clamp(scrollOrigin_.y(), 0, maxY));
    const long percent = std::lround(zoom_ * 100);
    setWindowTitle(percent == 100 ? title_ : QStringLiteral("%1 (%2%)").arg(title_).arg(percent));
    update();
}

void CImageWnd::ZoomIn()
{
    for (double step : kZoomSteps)
        if (step > zoom_ * 1.001) {
            SetZoom(step);
            return;
        }
}

void CImageWnd::ZoomOut()
{
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
        if (*it < zoom_ * 0.999) {
            SetZoom(*it);
            return;
        }
}

void CImageWnd::ZoomToFit()
{
    const int pictureW = image_.BitmapWidth() - image_.MarginWidth();
    const int pictureH = image_.BitmapHeight() - image_.MarginHeight();
    if (!image_.Pixels() || pictureW <= 0 || pictureH <= 0)
        return;
    SetZoom(std::min(double(width()) / pictureW, double(height()) / pictureH));
}

void CImageWnd::wheelEvent(QWheelEvent* event)
{
    if (!(event->modifiers() & Qt::ControlModifier) || event->angleDelta().y() == 0) {
        QWidget::wheelEvent(event);
        return;
    }
    if (event->angleDelta().y() > 0)
        ZoomIn();
    else
        ZoomOut();
    event->accept();
}

void CImageWnd::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomIn(); break;
    case Qt::Key_Minus: ZoomOut(); break;
    case Qt::Key_F: ZoomToFit(); break;
    case Qt::Key_1:
    case Qt::Key_0: SetZoom(1.0); break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
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
        if (zoom_ == 1.0) {
            scrollOrigin_ = NextScrollOrigin(scrollOrigin_, lastMouse_, mouse, size(), image_);
            lastMouse_ = mouse;
            repaint();
        } else if (const QPoint step((lastMouse_ - mouse) / zoom_); !step.isNull()) {
            // Zoomed, the pointer's step is scaled to bitmap pixels; a step
            // too small for one pixel adds up over the next moves.
            scrollOrigin_ = NextScrollOrigin(scrollOrigin_, step, QPoint(0, 0), ViewInBitmap(), image_);
            lastMouse_ = mouse;
            repaint();
        }
    }
    QWidget::mouseMoveEvent(event);
}
