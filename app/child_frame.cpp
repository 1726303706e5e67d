#include "app/child_frame.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QMdiArea>
#include <QMenu>
#include <QSettings>
#include <QVBoxLayout>
#include <QSplitter>
#include <QStatusBar>
#include <QScreen>
#include <QPointer>
#include <QThreadPool>
#include <memory>
#include <algorithm>
#include <cstdint>

#include "app/anomaly_pane.h"
#include "app/app_icons.h"
#include "app/app_resources.h"
#include "app/hex_view.h"
#include "app/main_frame.h"
#include "app/image_wnd.h"
#include "app/vantrel_app.h"
#include "app/vantrel_doc.h"
#include "app/vantrel_view.h"
#include "core/analyze.h"
#include "core/byte_order_map.h"
#include "core/tree_ranges.h"

namespace {

// Profile entries of the hex pane, in the application's profile.
constexpr const char* kHexPaneVisibleKey = "HexPane/Visible";
constexpr const char* kHexPaneWidthKey = "HexPane/Width";

// Beside a hex pane the user made wide, the tree keeps at least this width,
// or half of a narrower window.
constexpr int kMinTreeWidth = 240;

}  // namespace

CChildFrame::CChildFrame(CVantrelApp& app, CVantrelDoc& doc)
    : app_(app), view_(new CVantrelView(app)), hex_(new CHexView), hexLabel_(new QLabel),
      hexPane_(new QWidget), splitter_(new QSplitter(Qt::Horizontal, this)),
      treeSplitter_(new QSplitter(Qt::Vertical)), anomalies_(new CAnomalyPane)
{
    setAttribute(Qt::WA_DeleteOnClose);
    // Ctrl+W belongs to the main frame's 閉じる, which closes this frame when
    // it is active; two actions on one key would both be left as ambiguous.
    if (systemMenu())
        for (QAction* action : systemMenu()->actions())
            if (QList<QKeySequence> keys = action->shortcuts(); keys.removeAll(QKeySequence(Qt::CTRL | Qt::Key_W)))
                action->setShortcuts(keys);
    auto* paneLayout = new QVBoxLayout(hexPane_);
    paneLayout->setContentsMargins(0, 0, 0, 0);
    paneLayout->setSpacing(2);
    hexLabel_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    paneLayout->addWidget(hexLabel_);
    paneLayout->addWidget(hex_, 1);
    treeSplitter_->addWidget(view_);
    treeSplitter_->addWidget(anomalies_);
    treeSplitter_->setStretchFactor(0, 3);
    treeSplitter_->setStretchFactor(1, 1);
    treeSplitter_->setChildrenCollapsible(false);
    splitter_->addWidget(treeSplitter_);
    splitter_->addWidget(hexPane_);
    splitter_->setStretchFactor(0, 1);
    splitter_->setStretchFactor(1, 0);
    splitter_->setChildrenCollapsible(false);
    // A width kept in the profile never hides the text column.
    hexWidth_ = std::max(QSettings().value(kHexPaneWidthKey, 0).toInt(), hex_->FullWidth());
    hexPane_->setVisible(HexPaneWanted());
    setWidget(splitter_);
    splitter_->installEventFilter(this);
    connect(splitter_, &QSplitter::splitterMoved, this, [this] { SaveHexPaneWidth(); });
    connect(hex_, &CHexView::fileChanged, this, &CChildFrame::UpdateHexLabel);
    connect(view_, &CTreeWidgetControl::currentLineChanged, this, &CChildFrame::ShowLineBytes);
    connect(hex_, &CHexView::byteClicked, this, &CChildFrame::SelectLineAt);
    connect(anomalies_, &CAnomalyPane::anomalyChosen, this, &CChildFrame::ShowAnomaly);
    connect(hex_, &CHexView::cursorMoved, this, [this](const QString& text) {
        if (CMainFrame* frame = app_.MainFrame(); frame && !text.isEmpty())
            frame->statusBar()->showMessage(text);
    });
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

void CChildFrame::SetDocumentPath(const std::string& path)
{
    path_ = path;
    const QString name = QFile::decodeName(QByteArray::fromStdString(path));
    QFile file(name);
    const FormatTable formats = app_.Options().formats;
    const QByteArray head =
        file.open(QIODevice::ReadOnly) ? file.read(static_cast<qint64>(DetectionBytes(formats))) : QByteArray();
    const auto* bytes = reinterpret_cast<const uint8_t*>(head.constData());
    const FormatHandler* format = DetectedFormat(formats, bytes, static_cast<size_t>(head.size()));
    format_ = format ? format->code : kFormatUnsupported;
    hex_->SetBigEndian(format && StructureByteOrder(*format, bytes, static_cast<size_t>(head.size())) == ByteOrder::Big);
    hex_->SetFile(name);
}

bool CChildFrame::HexPaneVisible() const
{
    return !hexPane_->isHidden();
}

bool CChildFrame::HexPaneWanted()
{
    return QSettings().value(kHexPaneVisibleKey, true).toBool();
}

void CChildFrame::SetHexPaneVisible(bool visible)
{
    hexPane_->setVisible(visible);
    QSettings().setValue(kHexPaneVisibleKey, visible);
    if (visible)
        ShareWidth();
}

void CChildFrame::SaveHexPaneWidth()
{
    if (!HexPaneVisible() || splitter_->orientation() != Qt::Horizontal || splitter_->sizes().size() != 2)
        return;
    hexWidth_ = splitter_->sizes().at(1);
    QSettings().setValue(kHexPaneWidthKey, hexWidth_);
}

void CChildFrame::ShareWidth()
{
    if (!HexPaneVisible())
        return;
    // Beside the tree while the tree keeps half the width and the pane all
    // its columns; in a narrower window (tiled, cascaded, a small main frame)
    // below the tree, with the whole width for both.
    const bool beside = splitter_->width() - splitter_->handleWidth() >= 2 * hex_->FullWidth();
    const Qt::Orientation orientation = beside ? Qt::Horizontal : Qt::Vertical;
    if (splitter_->orientation() != orientation)
        splitter_->setOrientation(orientation);
    if (!beside) {
        const int total = splitter_->height() - splitter_->handleWidth();
        if (total > 0)
            splitter_->setSizes({total - total * 2 / 5, total * 2 / 5});
        return;
    }
    const int total = splitter_->width() - splitter_->handleWidth();
    const int hex = std::min(hexWidth_, std::max(total / 2, total - kMinTreeWidth));
    splitter_->setSizes({total - hex, hex});
}

bool CChildFrame::eventFilter(QObject* watched, QEvent* event)
{
    // However the window is sized (maximized, cascaded, tiled), the hex
    // pane keeps its width where there is room and the tree takes the rest.
    if (watched == splitter_ && event->type() == QEvent::Resize)
        ShareWidth();
    return QMdiSubWindow::eventFilter(watched, event);
}

QSize CChildFrame::sizeHint() const
{
    // Cascaded windows take this size: room for a tree and the hex pane,
    // within the work area.
    const QSize area = mdiArea() ? mdiArea()->viewport()->size() : QSize(1024, 768);
    return QSize(std::max(area.width() * 3 / 4, std::min(area.width(), 640)),
                 std::max(area.height() * 3 / 4, std::min(area.height(), 400)));
}

QString CChildFrame::HexLabel() const
{
    return hexLabel_->text();
}

void CChildFrame::UpdateHexLabel()
{
    const QString name = QFile::decodeName(QByteArray::fromStdString(path_));
    const bool side = !path_.empty() && hex_->FilePath() != name;
    hexLabel_->setText((side ? QStringLiteral("展開ﾌｧｲﾙ：") : QStringLiteral("ﾌｧｲﾙ：")) +
                       QFileInfo(hex_->FilePath()).fileName());
    hexLabel_->setToolTip(hex_->FilePath());
}

void CChildFrame::OnGoToOffset()
{
    if (!HexPaneVisible())
        SetHexPaneVisible(true);
    QInputDialog dialog(this);
    dialog.setWindowTitle(CommandToolTip(kCmdGoToOffset));
    dialog.setLabelText(QStringLiteral("ｵﾌｾｯﾄ (10進数、または 0x で始まる16進数)："));
    dialog.setTextValue(QStringLiteral("0x%1").arg(hex_->CursorOffset(), 0, 16));
    if (app_.ExecModal(dialog) != QDialog::Accepted)
        return;
    const std::optional<uint64_t> offset = CHexView::ParseOffset(dialog.textValue());
    if (!offset || *offset >= hex_->FileSize()) {
        if (CMainFrame* frame = app_.MainFrame())
            frame->statusBar()->showMessage(QStringLiteral("ｵﾌｾｯﾄ %1 はﾌｧｲﾙの中にありません").arg(dialog.textValue()));
        return;
    }
    // As a click on the byte: its innermost line is selected too.
    SelectLineAt(*offset);
    hex_->GoTo(*offset);
    hex_->setFocus();
}

void CChildFrame::ShowLineBytes(LineId line)
{
    ByteRange range;
    if (path_.empty() || !view_->Lines().RangeOf(line, range)) {
        hex_->SelectRange(0, 0);
        return;
    }
    // Byte order and cursor stay with the pane when it turns to the side
    // file, whose body keeps the analysed file's byte order.
    const QString name = QFile::decodeName(QByteArray::fromStdString(path_));
    hex_->SetFile(range.space == ByteSpace::SideFile ? name + QStringLiteral(".decompress") : name);
    const uint64_t clicked = hex_->CursorOffset();
    hex_->SelectRange(range.start, range.end);
    if (fromHex_)
        hex_->SetCursorOffset(clicked);
}

void CChildFrame::SelectLineAt(uint64_t offset)
{
    const bool side = hex_->FilePath() != QFile::decodeName(QByteArray::fromStdString(path_));
    const LineId line = InnermostLineAt(view_->Lines(), offset, side ? ByteSpace::SideFile : ByteSpace::File);
    if (!view_->Lines().Contains(line))
        return;
    fromHex_ = true;
    view_->GoToLine(line);
    fromHex_ = false;
}

void CChildFrame::ShowResult(AnalysisResult& result)
{
    UseByteOrders(result);
    view_->ShowLines(std::move(result.lines));
    hex_->MarkUnexplained(QFile::decodeName(QByteArray::fromStdString(path_)), view_->Lines());
    ShowAnomalies(result);
    ShowPictures(result.pictures);
}

void CChildFrame::UseByteOrders(const AnalysisResult& result)
{
    if (path_.empty())
        return;
    QFile file(QFile::decodeName(QByteArray::fromStdString(path_)));
    if (!file.open(QIODevice::ReadOnly))
        return;
    auto map = std::make_shared<CByteOrderMap>(
        app_.Options().formats, format_, result, [&file](uint64_t offset, uint8_t* out, size_t n) -> size_t {
            if (!file.seek(static_cast<qint64>(offset)))
                return 0;
            return static_cast<size_t>(std::max<qint64>(0, file.read(reinterpret_cast<char*>(out), qint64(n))));
        });
    // The side file of a compressed SWF file keeps the file's own order.
    hex_->SetByteOrder([this, map](uint64_t offset) {
        const bool side = hex_->FilePath() != QFile::decodeName(QByteArray::fromStdString(path_));
        return (side ? map->FileOrder() : map->At(offset)) == ByteOrder::Big;
    });
}

void CChildFrame::ShowAnomalies(AnalysisResult& result)
{
    for (const Anomaly& anomaly : result.anomalies) {
        if (!view_->Lines().Contains(anomaly.line))
            continue;
        // An error outranks a warning on the same line.
        const bool error = anomaly.severity == AnomalySeverity::Error;
        const QString text = QStringLiteral("[%1] %2").arg(QString::fromUtf8(AnomalySeverityText(anomaly.severity)),
                                                            QString::fromUtf8(anomaly.text.c_str()));
        view_->Model().MarkLine(anomaly.line, CAnomalyPane::SeverityIcon(anomaly.severity), error, text);
    }
    view_->SetAnomalies(result.anomalies, result.anomaliesDropped);
    anomalies_->ShowAnomalies(std::move(result.anomalies), result.anomaliesDropped);
    // The pane takes a quarter of the height, and at least a few rows.
    const int height = treeSplitter_->height();
    const int pane = std::max(height / 4, std::min(height / 2, 6 * anomalies_->sizeHintForRow(0) + 30));
    treeSplitter_->setSizes({height - pane, pane});
}

void CChildFrame::ShowAnomaly(const Anomaly& anomaly)
{
    if (view_->Lines().Contains(anomaly.line)) {
        view_->GoToLine(anomaly.line);
        return;
    }
    if (path_.empty())
        return;
    const QString name = QFile::decodeName(QByteArray::fromStdString(path_));
    hex_->SetFile(anomaly.range.space == ByteSpace::SideFile ? name + QStringLiteral(".decompress") : name);
    hex_->SelectRange(anomaly.range.start, std::max(anomaly.range.end, anomaly.range.start + 1));
    hex_->SetCursorOffset(anomaly.range.start);
}

CImageWnd* CChildFrame::AddPicture(ResultPicture& picture, size_t index)
{
    const QSize size = ShownSize(picture);
    auto window = std::make_unique<CImageWnd>(this, QString::fromUtf8(picture.title.c_str()),
                                              QString::fromUtf8(picture.label.c_str()), size.width(), size.height());
    CImageWnd* shown = window.get();
    if (picture.shift)
        shown->SetReduction(picture.shift, [this, shown, index](const QRect& region, uint32_t shift) {
            FetchDetail(*shown, shown->Pages() > 1 ? shown->Page() : index, region, shift);
        });
    shown->SetImage(std::move(picture.image));
    images_.push_back(std::move(window));
    return shown;
}

QSize CChildFrame::ShownSize(const ResultPicture& picture)
{
    // A reduced picture's window measures it in its bitmap's pixels.
    const int64_t step = int64_t{1} << picture.shift;
    return QSize(static_cast<int>(std::max<int64_t>((picture.width + step - 1) >> picture.shift, 1)),
                 static_cast<int>(std::max<int64_t>((picture.height + step - 1) >> picture.shift, 1)));
}

void CChildFrame::FetchDetail(CImageWnd& window, size_t index, const QRect& region, uint32_t shift) const
{
    // The part starts on a pixel of its reduction, as the decoder draws it.
    const uint32_t mask = (uint32_t{1} << shift) - 1;
    const uint32_t x = static_cast<uint32_t>(std::max(region.x(), 0)) & ~mask;
    const uint32_t y = static_cast<uint32_t>(std::max(region.y(), 0)) & ~mask;
    const QRect aligned(static_cast<int>(x), static_cast<int>(y), region.right() + 1 - static_cast<int>(x),
                        region.bottom() + 1 - static_cast<int>(y));
    AnalysisOptions options = app_.Options();
    options.hasRegion = true;
    options.region = {x, y, static_cast<uint32_t>(std::max(aligned.width(), 0)),
                      static_cast<uint32_t>(std::max(aligned.height(), 0)), shift};
    // Decoded away from the event loop, so that panning goes on meanwhile;
    // the answer finds the window only if it still exists.
    QThreadPool::globalInstance()->start(
        [path = path_, options = std::move(options), index, aligned, shift, target = QPointer<CImageWnd>(&window)] {
            auto image = std::make_shared<CImageBuffer>();
            ::DecodePictures(path.c_str(), options, {index},
                             [&image](size_t, ResultPicture& picture) { *image = std::move(picture.image); });
            QMetaObject::invokeMethod(
                qApp,
                [target, aligned, shift, image] {
                    if (target)
                        target->SetDetail(aligned, shift, std::move(*image));
                },
                Qt::QueuedConnection);
        });
}

void CChildFrame::ShowPictures(std::vector<ResultPicture>& pictures)
{
    pictures_ = std::move(pictures);
    if (pictures_.size() < kPagedPictures) {
        for (size_t i = 0; i < pictures_.size(); ++i)
            AddPicture(pictures_[i], i);
        return;
    }
    CImageWnd* window = AddPicture(pictures_.front(), 0);
    window->SetPages(pictures_.size(), [this](size_t page) { TurnTo(page); });
    if (CMainFrame* main = app_.MainFrame())
        main->UpdatePageButtons();
}

std::vector<CImageBuffer> CChildFrame::DecodePictures(const std::vector<size_t>& wanted) const
{
    std::vector<CImageBuffer> images(pictures_.size());
    if (wanted.empty() || path_.empty())
        return images;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const size_t count = ::DecodePictures(path_.c_str(), app_.Options(), wanted,
                                          [&images](size_t index, ResultPicture& picture) {
                                              if (index < images.size())
                                                  images[index] = std::move(picture.image);
                                          });
    QApplication::restoreOverrideCursor();
    // A file that changed since its analysis may hold other pictures now.
    if (count != pictures_.size())
        return std::vector<CImageBuffer>(pictures_.size());
    return images;
}

void CChildFrame::TurnTo(size_t page)
{
    if (images_.empty() || page >= pictures_.size())
        return;
    const ResultPicture& picture = pictures_[page];
    std::vector<CImageBuffer> images;
    if (picture.drawn)
        images = DecodePictures({page});
    CImageWnd* window = images_.front().get();
    window->SetReduction(picture.shift, [this, window](const QRect& region, uint32_t shift) {
        FetchDetail(*window, window->Page(), region, shift);
    });
    const QSize size = ShownSize(picture);
    window->ShowPage(page, QString::fromUtf8(picture.label.c_str()), size.width(), size.height(),
                     images.empty() ? CImageBuffer() : std::move(images[page]));
}

void CChildFrame::ShowImageWindows()
{
    if (images_.empty()) {
        app_.ShowStatusMessage(QStringLiteral("表示するイメージがありません"));
        return;
    }
    if (pictures_.size() >= kPagedPictures) {
        if (!images_.front()->Image().Pixels())
            TurnTo(images_.front()->Page());
    } else {
        // The pictures are decoded again when they are first shown: the
        // analysis kept none of their pixels.
        std::vector<size_t> wanted;
        for (size_t i = 0; i < images_.size() && i < pictures_.size(); ++i)
            if (pictures_[i].drawn && !images_[i]->Image().Pixels())
                wanted.push_back(i);
        std::vector<CImageBuffer> images = DecodePictures(wanted);
        for (size_t i : wanted)
            images_[i]->SetImage(std::move(images[i]));
    }
    for (size_t i = 0; i < images_.size(); ++i) {
        CImageWnd& window = *images_[i];
        if (!window.Placed())
            PlaceImageWindow(window, i);
        window.showNormal();
        window.raise();
        window.repaint();
    }
}

void CChildFrame::PlaceImageWindow(CImageWnd& window, size_t index) const
{
    const CMainFrame* main = app_.MainFrame();
    if (!main || !main->screen())
        return;
    // Each later picture a caption's height further down and right, so that
    // every caption can be reached; none reaches past its room, and the
    // cascade starts again before it leaves less than half of the room.
    const QRect room = main->PictureRoom();
    const size_t steps = std::clamp<size_t>(
        static_cast<size_t>(std::max(0, std::min(room.width(), room.height()) / 2 / kCascadeStep)), 1, kCascadeLength);
    const int step = static_cast<int>(index % steps) * kCascadeStep;
    // The window manager frames a picture's window much as it frames the
    // main frame.
    const QRect inner = main->geometry();
    const QRect outer = main->frameGeometry();
    const QMargins frame(inner.left() - outer.left(), inner.top() - outer.top(), outer.right() - inner.right(),
                         outer.bottom() - inner.bottom());
    window.Place(room.topLeft() + QPoint(step, step), room, frame);
}
