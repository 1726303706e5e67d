// Image windows: created hidden, owned and titled; opened in the main
// frame's work area, scaled to fit; the picture painted the right way up and
// nothing of its margin; panning within the picture, hiding on close and on
// Escape or Ctrl+W, showing from the result tree's menu, and going with their
// frame.
#include <QImage>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPointer>
#include <QSignalSpy>
#include <QFontMetrics>
#include <QDialog>
#include <QAction>
#include <QTest>
#include <QSettings>
#include <QTemporaryDir>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/roughly_analysis.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
#include "core/analysis_run.h"
#include "formats/all_formats.h"
#include "image/image_buffer.h"
#include "test_registry.h"

namespace {

void Drag(QWidget& w, QPoint from, QPoint to)
{
    QTest::mousePress(&w, Qt::LeftButton, Qt::NoModifier, from);
    QMouseEvent move(QEvent::MouseMove, QPointF(to), w.mapToGlobal(QPointF(to)), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&w, &move);
    QTest::mouseRelease(&w, Qt::LeftButton, Qt::NoModifier, to);
}

// Makes picture the active window, with the focus from a click inside it.
bool ActivatePicture(CImageWnd& picture)
{
    // A tool window counts as active while its owner is (qWaitForWindowActive
    // would not wait): wait for the application's own active window.
    picture.activateWindow();
    if (!QTest::qWaitFor([&picture] { return QApplication::activeWindow() == &picture; }))
        return false;
    QTest::mouseClick(&picture, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    return QApplication::focusWidget() == &picture;
}

}  // namespace

class ImageWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowsAreCreatedHiddenOwnedAndTitled()
    {
        AppFixture f;
        CChildFrame* frame = f.EmptyWindow();
        QVERIFY(frame);
        // The pictures as an analysis records them.
        AnalysisResult result;
        CAnalysisRun run(AnalysisOptions{.formats = AllFormats()}, AnalysisMode::Detailed, result);
        run.AddPicture("a.jpg", 100, 50, "");
        run.AddPicture("b.tif", 2000, 1000, "IFD 1");
        run.AddPicture("c.jpg", 160, 120, "サムネイル");
        frame->ShowResult(result);
        QCOMPARE(frame->ImageWindows().size(), size_t{3});
        CImageWnd* a = frame->ImageWindows()[0].get();
        CImageWnd* b = frame->ImageWindows()[1].get();
        QVERIFY(a->isHidden());
        QVERIFY(b->isHidden());
        QCOMPARE(a->size(), QSize(100, 50));
        QCOMPARE(b->PictureSize(), QSize(2000, 1000));
        // The caption says which picture of which file it is.
        QCOMPARE(a->windowTitle(), QStringLiteral("a.jpg"));
        QCOMPARE(b->windowTitle(), QStringLiteral("b.tif - IFD 1"));
        QCOMPARE(frame->ImageWindows()[2]->windowTitle(), QStringLiteral("c.jpg - サムネイル"));
        // Owned by the main frame's window, never above other programs.
        QVERIFY(!(a->windowFlags() & Qt::WindowStaysOnTopHint));
        QCOMPARE(a->windowFlags() & Qt::WindowType_Mask, Qt::Tool);
        QCOMPARE(a->parentWidget()->window(), static_cast<QWidget*>(&f.Frame()));
    }

    void picturesOpenInTheWorkAreaScaledToFit()
    {
        AppFixture f;
        f.Frame().showNormal();
        f.Frame().setGeometry(40, 30, 760, 540);
        CChildFrame* frame = f.EmptyWindow();
        CImageWnd* huge = AddPicture(*frame, 6000, 4000);
        CImageWnd* small = AddPicture(*frame, 120, 80);
        QVERIFY(huge && small);
        frame->ShowImageWindows();
        const QRect work = f.Frame().WorkArea();
        // Cascaded from the work area's corner, clear of the bars, inside it.
        QCOMPARE(huge->pos(), work.topLeft());
        QCOMPARE(small->pos(), work.topLeft() + QPoint(CChildFrame::kCascadeStep, CChildFrame::kCascadeStep));
        QVERIFY2(work.contains(huge->frameGeometry()), qPrintable(QStringLiteral("%1,%2 %3x%4").arg(huge->x()).arg(huge->y()).arg(huge->width()).arg(huge->height())));
        QVERIFY(work.contains(small->frameGeometry()));
        // The large picture is scaled to fit and says so; the small one is not.
        QVERIFY(huge->Zoom() < 1.0);
        QCOMPARE(huge->width(), static_cast<int>(6000 * huge->Zoom()));
        QCOMPARE(huge->windowTitle(), QStringLiteral("picture.jpg (%1%)").arg(std::lround(huge->Zoom() * 100)));
        QCOMPARE(small->Zoom(), 1.0);
        QCOMPARE(small->size(), QSize(120, 80));
        // Shown again, a window keeps the place it was given.
        huge->move(work.topLeft() + QPoint(5, 7));
        huge->close();
        frame->ShowImageWindows();
        QCOMPARE(huge->pos(), work.topLeft() + QPoint(5, 7));
    }

    void zoomingOutShowsWhiteBeyondThePicture()
    {
        AppFixture f;
        CImageWnd* w = AddPicture(*f.EmptyWindow(), 200, 100);
        QVERIFY(w);
        w->show();
        // 200 x 100 in a bitmap of 208 x 112: the margin is never drawn.
        // Scaled to 100 x 50, the picture is centred in the 200 x 100 window.
        w->SetZoom(0.5);
        const QImage shot = w->grab().toImage();
        QCOMPARE(shot.pixelColor(51, 26).blue(), 200);
        QCOMPARE(shot.pixelColor(148, 73).blue(), 200);
        for (const QPoint& p : {QPoint(49, 30), QPoint(151, 30), QPoint(154, 30), QPoint(60, 76), QPoint(60, 81),
                                QPoint(190, 95)})
            QCOMPARE(shot.pixelColor(p), QColor(Qt::white));
    }

    void escapeAndCtrlWCloseThePicture()
    {
        AppFixture f;
        CImageWnd* w = AddPicture(*f.EmptyWindow(), 40, 40);
        for (QKeyCombination keys : {QKeyCombination(Qt::Key_Escape), Qt::CTRL | Qt::Key_W}) {
            w->show();
            QVERIFY(w->isVisible());
            QTest::keyClick(w, keys.key(), keys.keyboardModifiers());
            QVERIFY(w->isHidden());
        }
    }

    void closingKeysAfterAClickCloseOnlyThatPicture()
    {
        AppFixture f;
        QPointer<CChildFrame> frame = f.EmptyWindow();
        CImageWnd* first = AddPicture(*frame, 200, 100);
        CImageWnd* second = AddPicture(*frame, 90, 60);
        QVERIFY(first && second);
        frame->ShowImageWindows();
        // The pictures' parent is their MDI frame: the frame's close key must
        // not reach past a picture that has the focus.
        QVERIFY(ActivatePicture(*first));
        QTest::keyClick(first, Qt::Key_W, Qt::ControlModifier);
        QVERIFY(first->isHidden());
        QVERIFY(second->isVisible());
        QVERIFY(ActivatePicture(*second));
        QTest::keyClick(second, Qt::Key_Escape);
        QVERIFY(second->isHidden());
        QVERIFY(frame);
        QVERIFY(frame->isVisible());
        QCOMPARE(f.ChildFrames().size(), size_t{1});
        // With the focus back in the frame, Ctrl+W closes the frame.
        f.Frame().activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&f.Frame()));
        frame->View()->setFocus();
        QTest::keyClick(frame->View(), Qt::Key_W, Qt::ControlModifier);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(f.ChildFrames().empty());
    }

    void mainFrameKeysWorkFromAnActivePicture()
    {
        AppFixture f;
        CChildFrame* frame = f.EmptyWindow();
        CImageWnd* w = AddPicture(*frame, 200, 100);
        QVERIFY(w);
        frame->ShowImageWindows();
        QVERIFY(ActivatePicture(*w));
        QStringList dialogs;
        f.App().SetModalHook([&dialogs](QDialog& dialog) {
            dialogs << dialog.windowTitle();
            return 0;
        });
        QTest::keyClick(w, Qt::Key_O, Qt::ControlModifier);
        QCOMPARE(dialogs, QStringList({"開く"}));
        QTest::keyClick(w, Qt::Key_F, Qt::ControlModifier);
        QCOMPARE(dialogs, QStringList({"開く", "検索"}));
        // Finding again with nothing found before asks for a text.
        QSignalSpy next(f.Frame().Command(kCmdEditRepeat), &QAction::triggered);
        QTest::keyClick(w, Qt::Key_F3);
        QCOMPARE(next.size(), 1);
        QVERIFY(w->isVisible());
        QTest::keyClick(w, Qt::Key_Q, Qt::ControlModifier);
        QVERIFY(!f.Frame().isVisible());
        QVERIFY(!w->isVisible());
    }

    void smallPicturesShowTheirCaptionCentred()
    {
        AppFixture f;
        f.Frame().showNormal();
        f.Frame().setGeometry(40, 30, 760, 540);
        CChildFrame* frame = f.EmptyWindow();
        AnalysisResult result;
        CAnalysisRun run(AnalysisOptions{.formats = AllFormats()}, AnalysisMode::Detailed, result);
        run.AddPicture("a-rather-long-file-name-for-a-thumbnail.jpg", 111, 111, "サムネイル");
        frame->ShowResult(result);
        CImageWnd* w = frame->ImageWindows().back().get();
        const QFontMetrics metrics(QApplication::font("QMdiSubWindowTitleBar"));
        const int caption = metrics.horizontalAdvance(w->windowTitle());
        QVERIFY2(w->width() > caption, qPrintable(QString::number(w->width())));
        QCOMPARE(w->height(), 111);
        frame->ShowImageWindows();
        QVERIFY(w->width() > caption);
        QCOMPARE(w->Zoom(), 1.0);
        // A few pixels stay as narrow as the floor allows.
        CImageWnd* tiny = AddPicture(*frame, 4, 4);
        QVERIFY(tiny->width() >= CImageWnd::kMinClientWidth);

        // The picture lies in the middle, white on either side.
        CImageWnd* picture = AddPicture(*frame, 20, 16);
        picture->show();
        const int left = (picture->width() - 20) / 2;
        const QImage shot = picture->grab().toImage();
        QCOMPARE(shot.pixelColor(left, 0), QColor(0, 0, 200));
        QCOMPARE(shot.pixelColor(left + 19, 15), QColor(19, 15, 200));
        QCOMPARE(shot.pixelColor(left - 1, 5), QColor(Qt::white));
        QCOMPARE(shot.pixelColor(left + 20, 5), QColor(Qt::white));
    }

    void paintsThePictureFromItsTopLeftCorner()
    {
        AppFixture f;
        f.EmptyWindow();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* w = AddPicture(*frame, 100, 50);
        QVERIFY(w);
        QCOMPARE(w->Image().BitmapWidth(), 112);
        QCOMPARE(w->Image().MarginHeight(), 14);
        w->show();
        // A window widened for its caption centres the picture.
        const int left = (w->width() - 100) / 2;
        const QImage shot = w->grab().toImage();
        QCOMPARE(shot.pixelColor(left, 0), QColor(0, 0, 200));
        QCOMPARE(shot.pixelColor(left + 99, 0), QColor(99, 0, 200));
        QCOMPARE(shot.pixelColor(left + 10, 49), QColor(10, 49, 200));
    }

    void draggingPansWithinThePicture()
    {
        AppFixture f;
        f.EmptyWindow();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* w = AddPicture(*frame, 2000, 1000);
        QVERIFY(w);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w));
        QCOMPARE(w->ScrollOrigin(), QPoint(0, 0));
        // Dragging left and up moves the view right and down.
        Drag(*w, QPoint(600, 400), QPoint(500, 350));
        QCOMPARE(w->ScrollOrigin(), QPoint(100, 50));
        QVERIFY(!w->Dragging());
        QCOMPARE(w->grab().toImage().pixelColor(0, 0), QColor(100, 50, 200));
        // The far edges: 2000 - 1280 = 720 and 1000 - 720 = 280 at most.
        Drag(*w, QPoint(1000, 500), QPoint(380, 270));
        QCOMPARE(w->ScrollOrigin(), QPoint(720, 280));
        QCOMPARE(w->grab().toImage().pixelColor(1279, 719), QColor(1999 % 256, 999 % 256, 200));
        // A step past an edge is dropped for that axis only.
        Drag(*w, QPoint(500, 500), QPoint(499, 510));
        QCOMPARE(w->ScrollOrigin(), QPoint(720, 270));
        Drag(*w, QPoint(500, 500), QPoint(510, 501));
        QCOMPARE(w->ScrollOrigin(), QPoint(710, 269));
        // Moving without the button held changes nothing.
        QMouseEvent move(QEvent::MouseMove, QPointF(0, 0), w->mapToGlobal(QPointF(0, 0)), Qt::NoButton,
                         Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(w, &move);
        QCOMPARE(w->ScrollOrigin(), QPoint(710, 269));
    }

    void scrollRulesAtTheEdges()
    {
        CImageBuffer picture;
        QVERIFY(picture.Create(112, 12, 64, 14));   // 100 x 50
        // A client as wide as the picture leaves no room on that axis.
        QCOMPARE(CImageWnd::NextScrollOrigin({0, 0}, {50, 20}, {40, 10}, QSize(100, 50), picture), QPoint(0, 0));
        QCOMPARE(CImageWnd::NextScrollOrigin({0, 0}, {50, 20}, {40, 15}, QSize(90, 45), picture), QPoint(10, 5));
        QCOMPARE(CImageWnd::NextScrollOrigin({0, 0}, {50, 20}, {40, 14}, QSize(90, 45), picture), QPoint(10, 0));
        QCOMPARE(CImageWnd::NextScrollOrigin({0, 0}, {50, 20}, {39, 15}, QSize(90, 45), picture), QPoint(0, 5));
        QCOMPARE(CImageWnd::NextScrollOrigin({10, 5}, {0, 0}, {-1, 1}, QSize(90, 45), picture), QPoint(10, 4));
        // Far pointer positions cannot wrap the arithmetic around.
        QCOMPARE(CImageWnd::NextScrollOrigin({5, 5}, {INT32_MAX, INT32_MIN}, {INT32_MIN, INT32_MAX}, QSize(90, 45),
                                             picture),
                 QPoint(5, 5));
    }

    void closeHidesAndTheMenuShowsAgainUnchanged()
    {
        AppFixture f;
        f.EmptyWindow();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* first = AddPicture(*frame, 2000, 1000);
        CImageWnd* second = AddPicture(*frame, 16, 16);
        QVERIFY(first && second);

        // The result tree's menu, empty tree or not, offers the command.
        f.choose = QStringLiteral("イメージ表示(&V)");
        AppFixture::RightClick(*frame->View(), kNoLine);
        QCOMPARE(f.lastPopup,
                 QStringList({"イメージ表示(&V)", "", "ｺﾋﾟｰ(&C)\tCtrl+C", "下の行を含めてｺﾋﾟｰ(&B)\tCtrl+Shift+C"}));
        QVERIFY(first->isVisible());
        QVERIFY(second->isVisible());
        // The second one a step down and right of the first, its caption free.
        QCOMPARE(second->pos() - first->pos(), QPoint(CChildFrame::kCascadeStep, CChildFrame::kCascadeStep));

        QVERIFY(QTest::qWaitForWindowExposed(first));
        first->SetZoom(1.0);
        Drag(*first, QPoint(300, 300), QPoint(200, 250));
        QVERIFY(!first->close());
        QVERIFY(first->isHidden());
        QCOMPARE(frame->ImageWindows().size(), size_t{2});
        frame->View()->OnShowImage();
        QVERIFY(first->isVisible());
        QCOMPARE(first->ScrollOrigin(), QPoint(100, 50));
    }

    void imageWindowsGoWithTheirFrame()
    {
        AppFixture f;
        f.EmptyWindow();
        QPointer<CImageWnd> image = AddPicture(*f.Frame().ActiveChildFrame(), 40, 40);
        QVERIFY(image);
        f.Frame().ActiveChildFrame()->ShowImageWindows();
        QVERIFY(image->isVisible());
        f.Frame().Command(kCmdFileClose)->trigger();
        QVERIFY(!image || image->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(image.isNull());
        QVERIFY(f.App().Documents().empty());
    }

    void reducedPicturesShowTheirPartInFinePixels()
    {
        // With a budget of 1 MB in the profile, an 800 x 600 picture (1.4 MB)
        // comes reduced to a quarter of its sides.
        QTemporaryDir profile;
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, profile.path());
        QSettings(QStringLiteral("Local AppWizard-Generated Applications"), QStringLiteral("Vantrel"))
            .setValue(QStringLiteral("Settings/PictureBudgetMB"), 1);
        AppFixture f(profile.path());
        constexpr int kWidth = 800, kHeight = 600;
        const std::string path = f.Write("large.tif", MakeTiff(kWidth, kHeight));
        f.OpenThroughDialog({path});
        f.App().RunDetailedAnalysis(path.c_str());
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        QVERIFY(frame && frame->ImageWindows().size() == 1);
        frame->ShowImageWindows();
        CImageWnd* w = frame->ImageWindows()[0].get();
        QCOMPARE(w->Reduction(), 2u);
        QCOMPARE(w->Image().PictureWidth(), kWidth / 4);
        QVERIFY(!w->DetailPending() && w->DetailRegion().isNull());
        // The picture's pixel (x, y) in blue, green, red.
        const auto expected = [](int x, int y) {
            const uint32_t i = (uint32_t(y) * kWidth + uint32_t(x)) * 3;
            return QColor((i * 7) & 0xFF, ((i + 1) * 7) & 0xFF, ((i + 2) * 7) & 0xFF);
        };
        // At its own size the window asks for the part in view, and paints
        // it over the reduced picture once it comes.
        w->SetZoom(4.0);
        QVERIFY(!w->windowTitle().contains(QLatin1Char('%')));
        QVERIFY(QTest::qWaitFor([w] { return !w->DetailPending() && !w->DetailRegion().isNull(); }, 10000));
        QCOMPARE(w->DetailShift(), 0u);
        QVERIFY(w->DetailRegion().contains(QRect(0, 0, w->width(), w->height()) & QRect(0, 0, kWidth, kHeight)));
        const QImage shot = w->grab().toImage();
        int wrong = 0;
        for (const QPoint& p : {QPoint(1, 1), QPoint(3, 2), QPoint(17, 5), QPoint(42, 31)})
            wrong += shot.pixelColor(p) != expected(p.x(), p.y());
        QCOMPARE(wrong, 0);
        // A drag of three screen pixels moves the view by three of the
        // picture's, less than one pixel of the reduced bitmap.
        Drag(*w, QPoint(60, 60), QPoint(57, 57));
        QCOMPARE(w->ScrollOrigin(), QPoint(0, 0));
        const QImage moved = w->grab().toImage();
        QCOMPARE(moved.pixelColor(1, 1), expected(4, 4));
        QCOMPARE(moved.pixelColor(17, 5), expected(20, 8));
        // Fitted again, the reduced picture needs no finer pixels.
        w->SetZoom(0.5);
        QVERIFY(w->DetailRegion().isNull());
    }

    void enormousPicturesGetNoPixelMemory()
    {
        AppFixture f;
        f.EmptyWindow();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        AnalysisResult result;
        CAnalysisRun run(AnalysisOptions{.formats = AllFormats()}, AnalysisMode::Detailed, result);
        run.AddPicture("huge.tif", 60000, 60000, "");
        QVERIFY(run.PreparePicture(60016, 16, 60016, 16) == nullptr);
        frame->ShowResult(result);
        // The window stays, white.
        CImageWnd* w = frame->ImageWindows().back().get();
        w->show();
        QCOMPARE(w->grab().toImage().pixelColor(5, 5), QColor(Qt::white));
        Drag(*w, QPoint(100, 100), QPoint(50, 50));
        QCOMPARE(w->ScrollOrigin(), QPoint(0, 0));
    }
};

VANTREL_GUI_TEST(ImageWindowTest);

#include "image_window_test.moc"
