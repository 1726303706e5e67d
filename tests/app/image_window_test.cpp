// Image windows: creation hidden at (0, 0), the clamped client size, the
// picture painted the right way up, panning within the picture, hiding on
// close, showing from the result tree's menu, and going with their frame.
#include <QImage>
#include <QMdiArea>
#include <QMouseEvent>
#include <QPointer>
#include <QTest>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/roughly_analysis.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"
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

}  // namespace

class ImageWindowTest : public QObject {
    Q_OBJECT
private slots:
    void windowsAreCreatedHiddenWithTheClampedSize()
    {
        AppFixture f;
        f.Frame().Command(kCmdFileNew)->trigger();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        QVERIFY(frame);
        ImageRect small{0, 0, 100, 50};
        f.App().AddImageWindow("a.jpg", small);
        QCOMPARE(small.right, 100);
        QCOMPARE(small.bottom, 50);
        ImageRect large{0, 0, 2000, 1000};
        f.App().AddImageWindow("b.jpg", large);
        QCOMPARE(large.right, 1280);
        QCOMPARE(large.bottom, 720);
        QCOMPARE(frame->ImageWindows().size(), size_t{2});
        CImageWnd* a = frame->ImageWindows()[0].get();
        CImageWnd* b = frame->ImageWindows()[1].get();
        QVERIFY(a->isHidden());
        QVERIFY(b->isHidden());
        QCOMPARE(a->size(), QSize(100, 50));
        QCOMPARE(b->size(), QSize(1280, 720));
        QCOMPARE(a->pos(), QPoint(0, 0));
        QCOMPARE(a->windowTitle(), QStringLiteral("a.jpg"));
        QVERIFY(a->windowFlags() & Qt::WindowStaysOnTopHint);
        QCOMPARE(a->windowFlags() & Qt::WindowType_Mask, Qt::Tool);

        // Without an active detailed window the rectangle is clamped and no
        // window or pixel memory is made.
        f.Frame().MdiArea()->setActiveSubWindow(f.Frame().RoughWindow());
        ImageRect none{0, 0, 5000, 5000};
        f.App().AddImageWindow("c.jpg", none);
        QCOMPARE(none.right, 1280);
        uint8_t* pixels = reinterpret_cast<uint8_t*>(1);
        f.App().PrepareImage(5008, 8, 5008, 8, &pixels);
        QVERIFY(pixels == nullptr);
        QCOMPARE(frame->ImageWindows().size(), size_t{2});
    }

    void paintsThePictureFromItsTopLeftCorner()
    {
        AppFixture f;
        f.Frame().Command(kCmdFileNew)->trigger();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* w = AddPicture(f.App(), *frame, 100, 50);
        QVERIFY(w);
        QCOMPARE(w->Image().BitmapWidth(), 112);
        QCOMPARE(w->Image().MarginHeight(), 14);
        w->show();
        const QImage shot = w->grab().toImage();
        QCOMPARE(shot.pixelColor(0, 0), QColor(0, 0, 200));
        QCOMPARE(shot.pixelColor(99, 0), QColor(99, 0, 200));
        QCOMPARE(shot.pixelColor(10, 49), QColor(10, 49, 200));
    }

    void draggingPansWithinThePicture()
    {
        AppFixture f;
        f.Frame().Command(kCmdFileNew)->trigger();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* w = AddPicture(f.App(), *frame, 2000, 1000);
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
        f.Frame().Command(kCmdFileNew)->trigger();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        CImageWnd* first = AddPicture(f.App(), *frame, 2000, 1000);
        CImageWnd* second = AddPicture(f.App(), *frame, 16, 16);
        QVERIFY(first && second);

        // The result tree's menu, empty tree or not, offers the command.
        f.choose = QStringLiteral("イメージ表示(&V)");
        AppFixture::RightClick(*frame->View(), nullptr);
        QCOMPARE(f.lastPopup,
                 QStringList({"イメージ表示(&V)", "", "ｺﾋﾟｰ(&C)\tCtrl+C", "下の行を含めてｺﾋﾟｰ(&B)"}));
        QVERIFY(first->isVisible());
        QVERIFY(second->isVisible());
        // The second one a step down and right of the first, its caption free.
        QCOMPARE(first->pos(), QPoint(0, 0));
        QCOMPARE(second->pos(), QPoint(CChildFrame::kCascadeStep, CChildFrame::kCascadeStep));

        QVERIFY(QTest::qWaitForWindowExposed(first));
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
        f.Frame().Command(kCmdFileNew)->trigger();
        QPointer<CImageWnd> image = AddPicture(f.App(), *f.Frame().ActiveChildFrame(), 40, 40);
        QVERIFY(image);
        f.Frame().ActiveChildFrame()->ShowImageWindows();
        QVERIFY(image->isVisible());
        f.Frame().Command(kCmdFileClose)->trigger();
        QVERIFY(!image || image->isHidden());
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QVERIFY(image.isNull());
        QVERIFY(f.App().Documents().empty());
    }

    void enormousPicturesGetNoPixelMemory()
    {
        AppFixture f;
        f.Frame().Command(kCmdFileNew)->trigger();
        CChildFrame* frame = f.Frame().ActiveChildFrame();
        ImageRect rect{0, 0, 60000, 60000};
        f.App().AddImageWindow("huge.tif", rect);
        uint8_t* pixels = reinterpret_cast<uint8_t*>(1);
        f.App().PrepareImage(60016, 16, 60016, 16, &pixels);
        QVERIFY(pixels == nullptr);
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
