// Detailed analyses run beside the windows: a large photo and a long fax
// document keep the event loop turning while they are analysed; a cancel in
// the middle leaves a window that shows what was analysed, and the file can
// be analysed again; other commands wait for the analysis, and quitting ends
// it.
#include <QBuffer>
#include <QImage>
#include <QMdiArea>
#include <QProgressDialog>
#include <QPushButton>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <cstring>
#include <functional>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "test_registry.h"

#if VANTREL_HAVE_LIBTIFF
#include "bench/g4_document.h"
#endif

namespace {

// Turns of the event loop that the main window's thread takes while the
// detailed analysis's progress dialog is up: an analysis that ran on that
// thread, or held it waiting, would leave none, however fast the machine.
constexpr int kTurnsWhileAnalysing = 5;

class TurnCounter {
public:
    explicit TurnCounter(CMainFrame& frame)
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, &frame] {
            for (auto* dialog : frame.findChildren<QProgressDialog*>())
                if (dialog->isVisible() && dialog->windowTitle() == QStringLiteral("詳細解析")) {
                    ++turns_;
                    return;
                }
        });
        timer_.start(0);
    }
    int Turns() const { return turns_; }

private:
    QTimer timer_;
    int turns_ = 0;
};

// A 6000 x 4000 photo-like JPEG: smooth gradients with fine texture, at the
// quality cameras use.
QByteArray LargeJpeg()
{
    QImage image(6000, 4000, QImage::Format_RGB888);
    for (int y = 0; y < image.height(); ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < image.width(); ++x) {
            row[x * 3 + 0] = static_cast<uchar>(x / 24 + ((x * y) & 15));
            row[x * 3 + 1] = static_cast<uchar>(y / 16 + ((x ^ y) & 7));
            row[x * 3 + 2] = static_cast<uchar>((x + y) / 40);
        }
    }
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG", 90);
    return bytes;
}

std::string LastTopLevelText(CChildFrame& frame)
{
    const std::vector<std::string> texts = AppFixture::TopLevelTexts(*frame.View());
    return texts.empty() ? std::string() : texts.back();
}

// Whether two pictures show the same pixels, whatever layout holds them.
bool SamePixels(const CImageBuffer& a, const CImageBuffer& b)
{
    if (!a.Pixels() || !b.Pixels() || a.PictureWidth() != b.PictureWidth() || a.PictureHeight() != b.PictureHeight())
        return false;
    for (int32_t y = 0; y < a.PictureHeight(); ++y)
        for (int32_t x = 0; x < a.PictureWidth(); ++x) {
            uint8_t p[3], q[3];
            a.ColourAt(x, y, p);
            b.ColourAt(x, y, q);
            if (std::memcmp(p, q, 3) != 0)
                return false;
        }
    return true;
}

// A colour copy of a picture in any layout.
CImageBuffer CopyOf(const CImageBuffer& image)
{
    CImageBuffer copy;
    uint8_t* pixels = image.Pixels() ? copy.Create(image.BitmapWidth(), image.MarginWidth(), image.BitmapHeight(),
                                                   image.MarginHeight())
                                     : nullptr;
    for (int32_t y = 0; pixels && y < image.BitmapHeight(); ++y)
        for (int32_t x = 0; x < image.BitmapWidth(); ++x)
            image.ColourAt(x, y, pixels + static_cast<size_t>(image.BitmapHeight() - 1 - y) * copy.RowBytes() +
                                     static_cast<size_t>(x) * 3);
    return copy;
}

// Calls act once, as soon as the detailed analysis's progress dialog is up.
class OnProgress {
public:
    explicit OnProgress(CMainFrame& frame, std::function<void(QProgressDialog&)> act) : act_(std::move(act))
    {
        QObject::connect(&timer_, &QTimer::timeout, &timer_, [this, &frame] {
            for (auto* dialog : frame.findChildren<QProgressDialog*>())
                if (dialog->isVisible() && dialog->windowTitle() == QStringLiteral("詳細解析") && act_)
                    std::exchange(act_, nullptr)(*dialog);
        });
        timer_.start(2);
    }
    bool Acted() const { return !act_; }

private:
    QTimer timer_;
    std::function<void(QProgressDialog&)> act_;
};

const char* const kCancelledLine = "解析はキャンセルされました";

}  // namespace

class BackgroundAnalysisTest : public QObject {
    Q_OBJECT
private slots:
    void largeFilesKeepTheWindowsServed()
    {
        AppFixture f;
        std::vector<std::string> paths{f.Write("large.jpg", LargeJpeg())};
#if VANTREL_HAVE_LIBTIFF
        paths.push_back(f.Dir() + "/fax.tif");
        QVERIFY(g4_document::WriteDocument(paths.back()));
#else
        qInfo("libtiff missing: the fax document is left out");
#endif
        f.OpenThroughDialog(paths);
        // The progress dialog is up from the analysis's start to its end.
        f.App().SetProgressTiming(0, 5);
        for (const std::string& path : paths) {
            TurnCounter counter(f.Frame());
            f.App().RunDetailedAnalysis(path.c_str());
            qInfo("%s: %d turns of the event loop during the analysis", path.c_str(), counter.Turns());
            QVERIFY2(counter.Turns() >= kTurnsWhileAnalysing, path.c_str());
            CChildFrame* frame = f.Frame().ActiveChildFrame();
            QVERIFY(frame);
            QCOMPARE(frame->windowTitle(), QString::fromStdString(path));
            QVERIFY(!frame->ImageWindows().empty());
            // The analysis keeps no pixels: a picture is decoded when shown.
            QVERIFY(!frame->ImageWindows().front()->Image().Pixels());
            frame->ShowImageWindows();
            QVERIFY(frame->ImageWindows().front()->Image().Pixels());
        }
#if VANTREL_HAVE_LIBTIFF
        // The pages of a fax document share one window that pages through them.
        CChildFrame* fax = f.Frame().ActiveChildFrame();
        QCOMPARE(fax->ImageWindows().size(), size_t{1});
        CImageWnd& pages = *fax->ImageWindows().front();
        QCOMPARE(pages.Pages(), size_t{g4_document::kPages});
        QVERIFY2(pages.windowTitle().contains(QStringLiteral(" [1/%1]").arg(g4_document::kPages)), qPrintable(pages.windowTitle()));
        // A fax page is held in a bit a pixel.
        QCOMPARE(pages.Image().Layout(), CImageBuffer::Samples::Bilevel);
        const CImageBuffer first = CopyOf(pages.Image());
        QTest::keyClick(&pages, Qt::Key_PageDown);
        QCOMPARE(pages.Page(), size_t{1});
        QVERIFY(pages.Image().Pixels() && !SamePixels(first, pages.Image()));
        QTest::keyClick(&pages, Qt::Key_End);
        QCOMPARE(pages.Page(), size_t{g4_document::kPages - 1});
        QVERIFY(pages.windowTitle().contains(QStringLiteral("[%1/%1]").arg(g4_document::kPages)));
        QTest::keyClick(&pages, Qt::Key_Home);
        QCOMPARE(pages.Page(), size_t{0});
        QVERIFY(SamePixels(first, pages.Image()));
        // The tool bar's buttons turn the same pages, while the window
        // whose pictures they are is the active one.
        QAction* next = f.Frame().Command(kCmdPictureNext);
        QVERIFY(next && next->isEnabled());
        next->trigger();
        QCOMPARE(pages.Page(), size_t{1});
        f.Frame().Command(kCmdPictureLast)->trigger();
        QCOMPARE(pages.Page(), size_t{g4_document::kPages - 1});
        f.Frame().Command(kCmdPicturePrevious)->trigger();
        QCOMPARE(pages.Page(), size_t{g4_document::kPages - 2});
        f.Frame().Command(kCmdPictureFirst)->trigger();
        QCOMPARE(pages.Page(), size_t{0});
        f.Frame().MdiArea()->activatePreviousSubWindow();
        QVERIFY(f.Frame().ActiveChildFrame() != fax && !next->isEnabled());
#endif
        QVERIFY(f.messages.empty());
    }

    void cancelShowsWhatWasAnalysedAndTheFileCanBeAnalysedAgain()
    {
        AppFixture f;
        const std::string path = f.Write("large.jpg", LargeJpeg());
        f.OpenThroughDialog({path});
        f.App().SetProgressTiming(0, 5);
        Qt::WindowFlags flags;
        OnProgress cancel(f.Frame(), [&flags](QProgressDialog& dialog) {
            flags = dialog.windowFlags();
            QTest::mouseClick(dialog.findChild<QPushButton*>(), Qt::LeftButton);
        });
        f.App().RunDetailedAnalysis(path.c_str());
        QVERIFY(cancel.Acted());
        // A caption with a close button only.
        QVERIFY(!(flags & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint)));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        CChildFrame* cancelled = f.Frame().ActiveChildFrame();
        QVERIFY(cancelled);
        QCOMPARE(LastTopLevelText(*cancelled), std::string(kCancelledLine));
        QVERIFY(!f.Frame().findChild<QProgressDialog*>());
        QCOMPARE(f.Frame().StatusText(), QStringLiteral("レディ"));

        // The file has its window: asked again, it says so.
        f.App().RunDetailedAnalysis(path.c_str());
        QCOMPARE(f.messages.size(), size_t{1});
        std::vector<CImageBuffer> kept;
        for (const auto& window : cancelled->ImageWindows())
            kept.push_back(CopyOf(window->Image()));
        QVERIFY(kept.size() <= 1);

        // Closed, the file is analysed anew, to its end.
        cancelled->close();
        QTest::qWait(0);
        f.App().SetProgressTiming(CVantrelApp::kProgressDelayMs, CVantrelApp::kProgressUpdateMs);
        f.App().RunDetailedAnalysis(path.c_str());
        CChildFrame* whole = f.Frame().ActiveChildFrame();
        QVERIFY(whole && whole != cancelled);
        QVERIFY(LastTopLevelText(*whole) != kCancelledLine);
        QCOMPARE(whole->ImageWindows().size(), size_t{1});
        // A picture that the cancelled analysis left is the whole picture.
        for (const CImageBuffer& image : kept)
            QVERIFY(!image.Pixels() || SamePixels(image, whole->ImageWindows().front()->Image()));
        QCOMPARE(f.messages.size(), size_t{1});
        QCOMPARE(f.App().DocumentCount(), size_t{1});
    }

    void commandsWaitForTheAnalysisAndQuittingEndsIt()
    {
        AppFixture f;
        const std::string path = f.Write("large.jpg", LargeJpeg());
        const std::string other = f.Write("small.jpg", MakeJpeg(16, 16));
        f.OpenThroughDialog({path, other});
        f.App().SetProgressTiming(0, 5);
        QString refusal;
        OnProgress refuse(f.Frame(), [&](QProgressDialog&) {
            f.App().RunDetailedAnalysis(other.c_str());
            f.OpenThroughDialog({other});
            f.App().DeleteEntry(other.c_str());
            refusal = f.Frame().statusBar()->currentMessage();
        });
        f.App().RunDetailedAnalysis(path.c_str());
        QVERIFY(refuse.Acted());
        QCOMPARE(refusal, QStringLiteral("解析中のため実行できません"));
        QCOMPARE(f.App().DocumentCount(), size_t{1});
        QCOMPARE(f.List().RowCount(), 2);
        QVERIFY(f.messages.empty());

        // Quitting during an analysis ends it; the program closes once it has.
        f.ChildFrames().front()->close();
        QTest::qWait(0);
        OnProgress quit(f.Frame(), [&](QProgressDialog&) { f.Frame().Command(kCmdAppExit)->trigger(); });
        f.App().RunDetailedAnalysis(path.c_str());
        QVERIFY(quit.Acted());
        QVERIFY(f.Frame().isVisible());
        QTRY_VERIFY(!f.Frame().isVisible());
        QVERIFY(f.App().Documents().empty());
        QVERIFY(f.messages.empty());
    }
};

VANTREL_GUI_TEST(BackgroundAnalysisTest);

#include "background_analysis_test.moc"
