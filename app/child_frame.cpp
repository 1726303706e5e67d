#include "app/child_frame.h"

#include <QCloseEvent>
#include <algorithm>

#include "app/app_icons.h"
#include "app/image_wnd.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "app/vantrel_view.h"

CChildFrame::CChildFrame(CVantrelApp& app, CVantrelDoc& doc)
    : app_(app), view_(new CVantrelView(app, this))
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWidget(view_);
    setWindowIcon(DocumentIcon());
    setWindowTitle(QString::fromUtf8(doc.GetTitle().c_str()));
    doc.SetFrame(this);
}

CChildFrame::~CChildFrame()
{
    // The image windows go with their frame, bitmaps included.
    images_.clear();
    app_.OnFrameDestroyed(this);
}

void CChildFrame::closeEvent(QCloseEvent* event)
{
    QMdiSubWindow::closeEvent(event);
    if (!event->isAccepted())
        return;
    // The frame itself goes a moment later; its pictures vanish with it now,
    // so that they keep no program running whose main frame has closed.
    for (const auto& window : images_)
        window->hide();
    app_.OnFrameDestroyed(this);
}

void CChildFrame::AddImageWindow(const std::string& title, ImageRect& rect)
{
    rect.right = std::min(rect.right, int32_t{CImageWnd::kMaxClientWidth});
    rect.bottom = std::min(rect.bottom, int32_t{CImageWnd::kMaxClientHeight});
    auto window = std::make_unique<CImageWnd>(QString::fromUtf8(title.c_str()), rect.right - rect.left,
                                              rect.bottom - rect.top);
    // The first picture stands at (0, 0); each later one a caption's height
    // further down and right, so that every caption can be reached.
    const int step = static_cast<int>(images_.size() % kCascadeLength) * kCascadeStep;
    window->move(step, step);
    images_.push_back(std::move(window));
}

void CChildFrame::PrepareImage(int32_t bitmapWidth, int32_t marginWidth, int32_t bitmapHeight,
                               int32_t marginHeight, uint8_t** pixels)
{
    *pixels = images_.empty() ? nullptr
                              : images_.back()->CreateImage(bitmapWidth, marginWidth, bitmapHeight, marginHeight);
}

void CChildFrame::ShowImageWindows()
{
    for (const auto& window : images_) {
        window->showNormal();
        window->repaint();
    }
}
