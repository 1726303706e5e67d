#include "app_fixture.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QSettings>
#include <QTest>
#include <QTreeWidget>

#include "app/analysis_tree_bar.h"
#include "app/analysis_tree_ctrl.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_doc.h"
#include "core/analysis_run.h"
#include "image/image_buffer.h"

namespace {

void Put16(QByteArray& b, uint16_t v)
{
    b.append(static_cast<char>(v & 0xFF));
    b.append(static_cast<char>(v >> 8));
}

void Put32(QByteArray& b, uint32_t v)
{
    Put16(b, static_cast<uint16_t>(v & 0xFFFF));
    Put16(b, static_cast<uint16_t>(v >> 16));
}

}  // namespace

QByteArray MakeJpeg(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB888);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixelColor(x, y, QColor((x * 255) / std::max(1, width - 1), (y * 255) / std::max(1, height - 1), 96));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

QByteArray MakeTiff(int width, int height)
{
    // Little-endian header, one IFD of nine entries, then the BitsPerSample
    // values and one strip of RGB pixels.
    constexpr uint16_t kEntries = 9;
    constexpr uint32_t kIfd = 8;
    constexpr uint32_t kBits = kIfd + 2 + kEntries * 12 + 4;
    constexpr uint32_t kStrip = kBits + 6;
    const uint32_t stripBytes = static_cast<uint32_t>(width) * static_cast<uint32_t>(height) * 3;
    QByteArray b("II*\0", 4);
    Put32(b, kIfd);
    Put16(b, kEntries);
    const auto entry = [&](uint16_t tag, uint16_t type, uint32_t count, uint32_t value) {
        Put16(b, tag);
        Put16(b, type);
        Put32(b, count);
        Put32(b, value);
    };
    entry(256, 3, 1, static_cast<uint32_t>(width));    // ImageWidth
    entry(257, 3, 1, static_cast<uint32_t>(height));   // ImageLength
    entry(258, 3, 3, kBits);         // BitsPerSample
    entry(259, 3, 1, 1);             // Compression: none
    entry(262, 3, 1, 2);             // PhotometricInterpretation: RGB
    entry(273, 4, 1, kStrip);        // StripOffsets
    entry(277, 3, 1, 3);             // SamplesPerPixel
    entry(278, 3, 1, static_cast<uint32_t>(height));   // RowsPerStrip
    entry(279, 4, 1, stripBytes);    // StripByteCounts
    Put32(b, 0);
    Put16(b, 8);
    Put16(b, 8);
    Put16(b, 8);
    for (uint32_t i = 0; i < stripBytes; ++i)
        b.append(static_cast<char>((i * 7) & 0xFF));
    return b;
}

QByteArray MakeSwf()
{
    // "FWS", version 6, length, an empty RECT (5 bits of zero), 24 frames per
    // second, one frame, then ShowFrame and End.
    QByteArray b("FWS\x06", 4);
    Put32(b, 17);
    b.append('\0');
    Put16(b, 0x1800);
    Put16(b, 1);
    Put16(b, 1 << 6);
    Put16(b, 0);
    return b;
}

AppFixture::AppFixture(const QString& settingsDir) : app_(std::make_unique<CVantrelApp>())
{
    const QString settings = settingsDir.isEmpty() ? dir_.filePath(QStringLiteral("settings")) : settingsDir;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settings);
    app_->SetMessageHook([this](const MessageBoxRequest& request) {
        messages.push_back(request);
        if (request.buttons == MessageButtons::OkCancel && !answers.empty()) {
            const MessageAnswer answer = answers.front();
            answers.pop_front();
            return answer;
        }
        return MessageAnswer::Ok;
    });
    app_->SetExitHook([](int code) { throw AppExit{code}; });
    app_->SetPopupHook([this](QMenu& menu) -> QAction* {
        ++popupCount;
        lastPopup.clear();
        lastDefault = menu.defaultAction() ? menu.defaultAction()->text() : QString();
        QAction* chosen = nullptr;
        for (QAction* action : menu.actions()) {
            lastPopup << action->text();
            if (!choose.isEmpty() && action->text() == choose)
                chosen = action;
        }
        return chosen;
    });
    app_->SetModalHook([](QDialog&) { return 0; });
    app_->InitInstance();
    (void)QTest::qWaitForWindowExposed(&Frame());
}

AppFixture::~AppFixture()
{
    app_.reset();
}

CMainFrame& AppFixture::Frame()
{
    return *app_->MainFrame();
}

CRoughListCtrl& AppFixture::List()
{
    return *Frame().RoughList();
}

CAnalysisTreeBar& AppFixture::Bar()
{
    return *Frame().TreeBar();
}

CAnalysisTreeCtrl& AppFixture::BarTree()
{
    return *Bar().Tree();
}

std::string AppFixture::Write(const std::string& name, const QByteArray& bytes)
{
    const QString path = dir_.filePath(QString::fromStdString(name));
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    return QFile::encodeName(path).toStdString();
}

std::string AppFixture::Dir() const
{
    return QFile::encodeName(dir_.path()).toStdString();
}

void AppFixture::OpenThroughDialog(const std::vector<std::string>& paths)
{
    QStringList list;
    for (const std::string& p : paths)
        list << QFile::decodeName(QByteArray::fromStdString(p));
    app_->SetOpenDialogHook([list] { return list; });
    Frame().Command(57601)->trigger();
}

std::vector<std::string> AppFixture::RowPaths()
{
    std::vector<std::string> out;
    for (int i = 0; i < List().RowCount(); ++i)
        out.push_back(List().RowPath(i));
    return out;
}

std::vector<std::string> AppFixture::TopLevelTexts(const CTreeWidgetControl& tree)
{
    std::vector<std::string> out;
    for (LineId line = tree.Lines().First(); line != kNoLine; line = tree.Lines().NextSibling(line))
        out.push_back(tree.LineBytes(line));
    return out;
}

namespace {
LineId NthSibling(const CLineTree& lines, LineId line, int i)
{
    for (; line != kNoLine && i > 0; --i)
        line = lines.NextSibling(line);
    return line;
}
}  // namespace

LineId AppFixture::TopLine(const CTreeWidgetControl& tree, int i)
{
    return NthSibling(tree.Lines(), tree.Lines().First(), i);
}

LineId AppFixture::ChildLine(const CTreeWidgetControl& tree, LineId line, int i)
{
    return tree.Lines().Contains(line) ? NthSibling(tree.Lines(), tree.Lines().FirstChild(line), i) : kNoLine;
}

LineId AppFixture::FindLine(const CTreeWidgetControl& tree, std::string_view part)
{
    for (LineId line = 1; line <= tree.Lines().Count(); ++line)
        if (tree.Lines().Text(line).find(part) != std::string_view::npos)
            return line;
    return kNoLine;
}

std::string AppFixture::BarText()
{
    std::string text;
    const CLineTree& lines = BarTree().Lines();
    const std::function<void(LineId, size_t)> append = [&](LineId line, size_t depth) {
        for (; line != kNoLine; line = lines.NextSibling(line)) {
            text += std::string(depth * 2, ' ') + std::string(lines.Text(line)) + "\n";
            append(lines.FirstChild(line), depth + 1);
        }
    };
    append(lines.First(), 0);
    return text;
}

QString AppFixture::Cell(const CRoughListCtrl& list, int row, int column)
{
    return list.IndexOfRow(row).siblingAtColumn(column).data().toString();
}

namespace {
// A right click on a view's row, scrolled into view first, or on an empty
// point of its viewport for an invalid index.
void RightClickIndex(QTreeView& view, const QModelIndex& index)
{
    if (index.isValid())
        view.scrollTo(index);
    const QPoint pos = index.isValid() ? view.visualRect(index).center() : QPoint(5, view.viewport()->height() - 5);
    QTest::mouseClick(view.viewport(), Qt::RightButton, Qt::NoModifier, pos);
}
}  // namespace

void AppFixture::RightClick(CRoughListCtrl& list, int row)
{
    RightClickIndex(list, list.IndexOfRow(row));
}

void AppFixture::RightClick(CTreeWidgetControl& tree, LineId line)
{
    RightClickIndex(tree, tree.IndexOf(line));
}

std::vector<CChildFrame*> AppFixture::ChildFrames()
{
    std::vector<CChildFrame*> out;
    for (QMdiSubWindow* w : Frame().MdiArea()->subWindowList(QMdiArea::CreationOrder))
        if (auto* frame = qobject_cast<CChildFrame*>(w))
            out.push_back(frame);
    return out;
}

CChildFrame* AppFixture::EmptyWindow()
{
    app_->NewDocument();
    CChildFrame* frame = app_->Documents().back()->Frame();
    Frame().AddChildFrame(frame);
    return frame;
}

CImageWnd* AddPicture(CChildFrame& frame, int32_t w, int32_t h)
{
    ResultPicture picture;
    picture.title = "picture.jpg";
    picture.width = w;
    picture.height = h;
    const int32_t bw = CImageBuffer::PaddedSize(w);
    const int32_t bh = CImageBuffer::PaddedSize(h);
    uint8_t* pixels = picture.image.Create(bw, bw - w, bh, bh - h);
    for (int32_t y = 0; pixels && y < h; ++y) {
        uint8_t* row = pixels + static_cast<size_t>(bh - 1 - y) * static_cast<size_t>(bw) * 3;
        for (int32_t x = 0; x < w; ++x) {
            row[x * 3 + 0] = 200;
            row[x * 3 + 1] = static_cast<uint8_t>(y);
            row[x * 3 + 2] = static_cast<uint8_t>(x);
        }
    }
    CImageWnd* window = frame.AddPicture(picture, frame.ImageWindows().size());
    return pixels ? window : nullptr;
}
