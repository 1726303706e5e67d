#include "app/image_wnd.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>
#include <cmath>

namespace {
// The zoom factors that + and - step through.
constexpr double kZoomSteps[] = {1.0 / 16, 1.0 / 8, 1.0 / 4, 1.0 / 3, 1.0 / 2, 2.0 / 3, 1.0,
                                 1.5,      2.0,     3.0,     4.0,     6.0,     8.0,     16.0};
// A picture scaled to fit a window is shown no smaller than this.
constexpr double kMinZoom = 1.0 / 64;
// The largest client area of a window that has not been placed.
constexpr int kUnplacedWidth = 1280;
constexpr int kUnplacedHeight = 720;

// The bitmap as the painter takes it, in its own layout and without a copy.
QImage BitmapOf(const CImageBuffer& image)
{
    const auto stride = static_cast<qsizetype>(image.RowBytes());
    switch (image.Layout()) {
    case CImageBuffer::Samples::Grey:
        return QImage(image.Pixels(), image.BitmapWidth(), image.BitmapHeight(), stride, QImage::Format_Grayscale8);
    case CImageBuffer::Samples::Bilevel: {
        QImage bits(image.Pixels(), image.BitmapWidth(), image.BitmapHeight(), stride, QImage::Format_Mono);
        bits.setColorTable({qRgb(0, 0, 0), qRgb(255, 255, 255)});
        return bits;
    }
    default: break;
    }
    return QImage(image.Pixels(), image.BitmapWidth(), image.BitmapHeight(), stride, QImage::Format_BGR888);
}
}  // namespace

CImageWnd::CImageWnd(QWidget* owner, const QString& fileName, const QString& label, int width, int height)
    : QWidget(owner, Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint),
      fileName_(fileName), label_(label), picture_(std::max(width, 1), std::max(height, 1))
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    // Like the picture, the window keeps its size: only the view moves. Until
    // it is placed, it is no larger than a common screen.
    UpdateTitle();
    setFixedSize(std::clamp(picture_.width(), MinClientWidth(), std::max(MinClientWidth(), kUnplacedWidth)),
                 std::clamp(picture_.height(), kMinClientHeight, kUnplacedHeight));
}

void CImageWnd::SetImage(CImageBuffer image)
{
    image_ = std::move(image);
    fraction_ = QPointF();
    // A grey or black-and-white picture is held in a byte or a bit a pixel;
    // the painter turns only what it draws into the screen's pixels.
    image_.Compact();
    scrollOrigin_ = QPoint(0, 0);
    dragging_ = false;
    detail_ = CImageBuffer();
}

void CImageWnd::SetReduction(uint32_t shift, DetailFetch fetch)
{
    shift_ = std::min(shift, 30u);
    fetch_ = std::move(fetch);
    detail_ = CImageBuffer();
    pending_ = again_ = false;
    UpdateTitle();
}

void CImageWnd::SetDetail(const QRect& region, uint32_t shift, CImageBuffer image)
{
    pending_ = false;
    detail_ = std::move(image);
    detail_.Compact();
    detailRegion_ = region;
    detailShift_ = shift;
    update();
    if (again_) {
        again_ = false;
        RequestDetail();
    }
}

void CImageWnd::RequestDetail()
{
    if (shift_ == 0 || !fetch_ || !image_.Pixels())
        return;
    // The reduction whose pixels are no larger than the screen's.
    uint32_t shift = 0;
    while (shift < shift_ && zoom_ * double(uint64_t{1} << (shift + 1)) / Scale() <= 1.0 + 1e-9)
        ++shift;
    if (shift >= shift_) {
        detail_ = CImageBuffer();
        return;
    }
    const QSize view = ViewInBitmap();
    const double scale = Scale();
    const auto picture = [scale](double v) { return static_cast<int>(std::min(v * scale, double(INT32_MAX))); };
    const QRect whole(0, 0, picture(image_.PictureWidth()), picture(image_.PictureHeight()));
    const QRect wanted = QRect(picture(scrollOrigin_.x()), picture(scrollOrigin_.y()), picture(view.width()),
                               picture(view.height())) &
                         whole;
    if (detail_.Pixels() && detailShift_ == shift && detailRegion_.contains(wanted))
        return;
    if (pending_) {
        again_ = true;
        return;
    }
    // A margin of half a view on each side lets the next drags draw finely
    // at once.
    const QRect region = wanted.adjusted(-wanted.width() / 2, -wanted.height() / 2, wanted.width() / 2,
                                         wanted.height() / 2) &
                         whole;
    pending_ = true;
    fetch_(region, shift);
}

void CImageWnd::SetPages(size_t count, std::function<void(size_t page)> turnTo)
{
    pages_ = count;
    turnTo_ = std::move(turnTo);
    UpdateTitle();
}

void CImageWnd::ShowPage(size_t page, const QString& label, int width, int height, CImageBuffer image)
{
    page_ = page;
    label_ = label;
    picture_ = QSize(std::max(width, 1), std::max(height, 1));
    SetImage(std::move(image));
    // A page of another size keeps the window; the zoom fits it when it is
    // larger than the window.
    if (placed_)
        SetZoom(std::min(1.0, std::max(kMinZoom, FitZoom(size()))));
    UpdateTitle();
    update();
}

double CImageWnd::FitZoom(QSize size) const
{
    return std::min(double(size.width()) / picture_.width(), double(size.height()) / picture_.height());
}

void CImageWnd::Place(QPoint topLeft, const QRect& room, const QMargins& frame)
{
    placed_ = true;
    const QSize client(room.right() + 1 - topLeft.x() - frame.left() - frame.right(),
                       room.bottom() + 1 - topLeft.y() - frame.top() - frame.bottom());
    const double zoom = std::max(kMinZoom, std::min(1.0, FitZoom(client)));
    setFixedSize(std::max(static_cast<int>(picture_.width() * zoom), MinClientWidth()),
                 std::max(static_cast<int>(picture_.height() * zoom), kMinClientHeight));
    move(topLeft);
    SetZoom(zoom);
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

int CImageWnd::MinClientWidth() const
{
    // The window manager draws the caption; the style's title-bar font and
    // height stand in for its text and for the icon and close button.
    const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
    const int buttons = 2 * style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return std::max(kMinClientWidth, metrics.horizontalAdvance(windowTitle()) + buttons);
}

QPoint CImageWnd::PictureOffset() const
{
    const auto centre = [](int client, int picture, double zoom) {
        return std::max(0, (client - static_cast<int>(std::lround(picture * zoom))) / 2);
    };
    return QPoint(centre(width(), image_.PictureWidth(), zoom_), centre(height(), image_.PictureHeight(), zoom_));
}

QSize CImageWnd::ViewInBitmap() const
{
    return QSize(static_cast<int>(std::ceil(width() / zoom_)), static_cast<int>(std::ceil(height() / zoom_)));
}

void CImageWnd::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    // What lies beyond the picture (never its margin) stays white.
    painter.fillRect(rect(), Qt::white);
    const uint8_t* pixels = image_.Pixels();
    if (!pixels)
        return;
    // The bitmap is drawn as it lies in memory, bottom row first, without a
    // copy: the painter turns it over, scales it and moves the scroll origin
    // to the client area's corner. Only the picture's part on screen is
    // drawn.
    const int bitmapHeight = image_.BitmapHeight();
    const QImage bitmap = BitmapOf(image_);
    const QSize view = ViewInBitmap();
    const int x = scrollOrigin_.x();
    const int y = scrollOrigin_.y();
    // A fraction of a pixel left of and above the view shows one more
    // pixel partly.
    const int extra = fraction_.isNull() ? 0 : 1;
    const int w = std::min(view.width() + extra, image_.PictureWidth() - x);
    const int h = std::min(view.height() + extra, image_.PictureHeight() - y);
    if (w <= 0 || h <= 0)
        return;
    const QPoint offset = PictureOffset();
    const double left = x + fraction_.x();
    const double top = y + fraction_.y();
    painter.setTransform(
        QTransform(zoom_, 0, 0, -zoom_, offset.x() - left * zoom_, offset.y() + (bitmapHeight - top) * zoom_));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, zoom_ < 1.0);
    const QRect part(x, bitmapHeight - y - h, w, h);
    painter.drawImage(part, bitmap, part);
    if (!detail_.Pixels())
        return;
    // The finer pixels of a reduced picture, where they lie in the bitmap's
    // coordinates: one detail pixel is 2^detailShift / 2^shift of them.
    const double k = zoom_ * double(uint64_t{1} << detailShift_) / Scale();
    const int detailHeight = detail_.BitmapHeight();
    const QImage fine = BitmapOf(detail_);
    painter.setTransform(QTransform(k, 0, 0, -k, offset.x() + (detailRegion_.x() / Scale() - left) * zoom_,
                                    offset.y() + (detailRegion_.y() / Scale() - top) * zoom_ + detailHeight * k));
    painter.setRenderHint(QPainter::SmoothPixmapTransform, k < 1.0);
    const QRect whole(0, detailHeight - detail_.PictureHeight(), detail_.PictureWidth(), detail_.PictureHeight());
    painter.drawImage(whole, fine, whole);
}

void CImageWnd::UpdateTitle()
{
    QString title = fileName_;
    if (!label_.isEmpty())
        title += QStringLiteral(" - ") + label_;
    if (pages_ > 1)
        title += QStringLiteral(" [%1/%2]").arg(page_ + 1).arg(pages_);
    const long percent = std::lround(zoom_ / Scale() * 100);
    if (percent != 100)
        title += QStringLiteral(" (%1%)").arg(percent);
    setWindowTitle(title);
}

void CImageWnd::SetZoom(double zoom)
{
    zoom_ = std::clamp(zoom, std::min(kMinZoom, kZoomSteps[0]), kZoomSteps[std::size(kZoomSteps) - 1] * Scale());
    // The view stays inside the picture at the new scale.
    const QSize view = ViewInBitmap();
    const int maxX = std::max(0, image_.PictureWidth() - view.width());
    const int maxY = std::max(0, image_.PictureHeight() - view.height());
    scrollOrigin_ = QPoint(std::clamp(scrollOrigin_.x(), 0, maxX), std::clamp(scrollOrigin_.y(), 0, maxY));
    fraction_ = QPointF();
    UpdateTitle();
    update();
    RequestDetail();
}

void CImageWnd::ZoomIn()
{
    // The steps are of the picture's own size.
    for (double step : kZoomSteps)
        if (step * Scale() > zoom_ * 1.001) {
            SetZoom(step * Scale());
            return;
        }
}

void CImageWnd::ZoomOut()
{
    for (auto it = std::rbegin(kZoomSteps); it != std::rend(kZoomSteps); ++it)
        if (*it * Scale() < zoom_ * 0.999) {
            SetZoom(*it * Scale());
            return;
        }
}

void CImageWnd::ZoomToFit()
{
    if (image_.Pixels())
        SetZoom(FitZoom(size()));
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

bool CImageWnd::IsCloseKey(const QKeyEvent& event)
{
    return event.key() == Qt::Key_Escape || event.keyCombination() == (Qt::CTRL | Qt::Key_W);
}

bool CImageWnd::event(QEvent* event)
{
    // A tool window shares its owner's shortcuts, and the main frame's 閉じる
    // (Ctrl+W) would close the detailed-analysis frame with all its
    // pictures: with the focus here, the closing keys are this window's.
    if (event->type() == QEvent::ShortcutOverride && IsCloseKey(*static_cast<QKeyEvent*>(event))) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void CImageWnd::keyPressEvent(QKeyEvent* event)
{
    if (IsCloseKey(*event)) {
        close();
        return;
    }
    switch (event->key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal: ZoomIn(); break;
    case Qt::Key_Minus: ZoomOut(); break;
    case Qt::Key_F: ZoomToFit(); break;
    case Qt::Key_1:
    case Qt::Key_0: SetZoom(Scale()); break;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        if (pages_ > 1 && turnTo_)
            TurnPage(event->key());
        break;
    default: QWidget::keyPressEvent(event); return;
    }
    event->accept();
}

void CImageWnd::TurnPage(int key)
{
    size_t page = page_;
    switch (key) {
    case Qt::Key_PageUp: page = page_ > 0 ? page_ - 1 : 0; break;
    case Qt::Key_PageDown: page = std::min(page_ + 1, pages_ - 1); break;
    case Qt::Key_Home: page = 0; break;
    default: page = pages_ - 1; break;
    }
    if (page != page_)
        turnTo_(page);
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
            RequestDetail();
        } else if (shift_ > 0 && zoom_ > 1.0) {
            // A reduced picture shown magnified pans by fractions of its
            // bitmap's pixels, as smoothly as the pointer moves.
            const QPointF maximum(std::max(0.0, image_.PictureWidth() - width() / zoom_),
                                  std::max(0.0, image_.PictureHeight() - height() / zoom_));
            const QPointF next = QPointF(scrollOrigin_) + fraction_ + QPointF(lastMouse_ - mouse) / zoom_;
            const QPointF origin(std::clamp(next.x(), 0.0, maximum.x()), std::clamp(next.y(), 0.0, maximum.y()));
            scrollOrigin_ = QPoint(static_cast<int>(origin.x()), static_cast<int>(origin.y()));
            fraction_ = origin - QPointF(scrollOrigin_);
            lastMouse_ = mouse;
            repaint();
            RequestDetail();
        } else if (const QPoint step((lastMouse_ - mouse) / zoom_); !step.isNull()) {
            // Zoomed, the pointer's step is scaled to bitmap pixels; a step
            // too small for one pixel adds up over the next moves.
            scrollOrigin_ = NextScrollOrigin(scrollOrigin_, step, QPoint(0, 0), ViewInBitmap(), image_);
            lastMouse_ = mouse;
            repaint();
            RequestDetail();
        }
    }
    QWidget::mouseMoveEvent(event);
}
