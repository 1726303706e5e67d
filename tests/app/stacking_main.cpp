// Under a real window manager: a decoded picture larger than the screen
// opens inside the main frame's work area, scaled to fit; a modal dialog, the
// progress dialog of a folder batch and a message box without an owner
// opened while it is up stand above it
// and are the active window, also after the picture is clicked; and the
// progress dialog's Cancel can be clicked with the pointer and ends the
// batch. The stacking order is read from the window manager's
// _NET_CLIENT_LIST_STACKING, bottom to top; clicks are real pointer events
// through the XTest extension. The picture opens clear of the list's rows,
// and Ctrl+W after a click in it closes the picture alone, not its
// detailed window. With an argument, a picture of the screen
// with the progress dialog over the picture is saved there. Exits 77 when
// XTest cannot be loaded.
#include <dlfcn.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QProcess>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app_fixture.h"
#include "app/app_resources.h"

namespace {

// Window ids of a root window property, in the property's order.
QList<quint64> RootWindows(const char* property)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-root"), QString::fromLatin1(property)});
    xprop.waitForFinished(5000);
    QList<quint64> ids;
    const QString out = QString::fromLocal8Bit(xprop.readAllStandardOutput());
    for (const QRegularExpressionMatch& m : QRegularExpression(QStringLiteral("0x[0-9a-fA-F]+")).globalMatch(out))
        ids << m.captured().toULongLong(nullptr, 16);
    return ids;
}

// A left click at a screen position, as the pointer makes it.
class PointerClicks {
public:
    PointerClicks()
    {
        void* x11 = dlopen("libX11.so.6", RTLD_NOW);
        void* xtst = dlopen("libXtst.so.6", RTLD_NOW);
        if (!x11 || !xtst)
            return;
        const auto open = reinterpret_cast<void* (*)(const char*)>(dlsym(x11, "XOpenDisplay"));
        flush_ = reinterpret_cast<int (*)(void*)>(dlsym(x11, "XFlush"));
        motion_ = reinterpret_cast<int (*)(void*, int, int, int, unsigned long)>(dlsym(xtst, "XTestFakeMotionEvent"));
        button_ = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(dlsym(xtst, "XTestFakeButtonEvent"));
        key_ = reinterpret_cast<int (*)(void*, unsigned, int, unsigned long)>(dlsym(xtst, "XTestFakeKeyEvent"));
        keycode_ = reinterpret_cast<unsigned char (*)(void*, unsigned long)>(dlsym(x11, "XKeysymToKeycode"));
        display_ = open && flush_ && motion_ && button_ && key_ && keycode_ ? open(nullptr) : nullptr;
    }
    bool Ready() const { return display_ != nullptr; }
    void Click(QPoint at) const
    {
        motion_(display_, -1, at.x(), at.y(), 0);
        button_(display_, 1, 1, 0);
        button_(display_, 1, 0, 0);
        flush_(display_);
    }
    // Ctrl and a key (an X keysym), pressed and released.
    void ControlKey(unsigned long keysym) const
    {
        constexpr unsigned long kControlL = 0xFFE3;
        const unsigned control = keycode_(display_, kControlL);
        const unsigned key = keycode_(display_, keysym);
        key_(display_, control, 1, 0);
        key_(display_, key, 1, 0);
        key_(display_, key, 0, 0);
        key_(display_, control, 0, 0);
        flush_(display_);
    }

private:
    void* display_ = nullptr;
    int (*flush_)(void*) = nullptr;
    int (*motion_)(void*, int, int, int, unsigned long) = nullptr;
    int (*button_)(void*, unsigned, int, unsigned long) = nullptr;
    int (*key_)(void*, unsigned, int, unsigned long) = nullptr;
    unsigned char (*keycode_)(void*, unsigned long) = nullptr;
};

// Empty when dialog stands above image and is the active window.
QString StackingVerdict(const QWidget& dialog, const QWidget& image)
{
    const QList<quint64> stacking = RootWindows("_NET_CLIENT_LIST_STACKING");
    const QList<quint64> active = RootWindows("_NET_ACTIVE_WINDOW");
    const qsizetype dialogAt = stacking.indexOf(dialog.winId());
    const qsizetype imageAt = stacking.indexOf(image.winId());
    if (dialogAt < 0 || imageAt < 0)
        return QStringLiteral("a window is not managed");
    if (imageAt > dialogAt)
        return QStringLiteral("the image window stands above the dialog");
    if (active.isEmpty() || active.front() != dialog.winId())
        return QStringLiteral("the dialog is not the active window");
    return QString();
}

int Fail(const QString& why)
{
    std::fprintf(stderr, "%s\n", qPrintable(why));
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    const PointerClicks pointer;
    if (!pointer.Ready()) {
        std::printf("XTest not available: stacking check skipped\n");
        return 77;
    }
    AppFixture f;
    f.OpenThroughDialog({f.Write("listed.jpg", MakeJpeg(16, 16))});
    CChildFrame* frame = f.EmptyWindow();
    CImageWnd* image = AddPicture(*frame, 6000, 4000);
    frame->ShowImageWindows();
    if (!image || !QTest::qWaitForWindowExposed(image))
        return Fail(QStringLiteral("the image window was not shown"));
    QTest::qWait(500);
    if (!f.Frame().WorkArea().contains(image->frameGeometry()) || image->Zoom() >= 1.0 ||
        !image->windowTitle().endsWith(QStringLiteral("%)")))
        return Fail(QStringLiteral("the large picture was not fitted into the work area"));
    const QRect row = f.List().visualRect(f.List().model()->index(0, 0));
    const QWidget& rows = *f.List().viewport();
    if (f.List().model()->rowCount() != 1 ||
        image->frameGeometry().intersects(QRect(rows.mapToGlobal(QPoint(0, 0)), QSize(rows.width(), row.bottom() + 1))))
        return Fail(QStringLiteral("the picture covers the list's rows"));

    // A modal dialog over the picture.
    QString verdict = QStringLiteral("no dialog seen");
    f.App().SetModalHook(nullptr);
    QTimer::singleShot(1000, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        verdict = StackingVerdict(*dialog, *image);
        dialog->accept();
    });
    f.Frame().Command(kCmdAppAbout)->trigger();
    if (!verdict.isEmpty())
        return Fail(QStringLiteral("version box: ") + verdict);

    // A folder batch long enough to be cancelled from its progress dialog.
    constexpr int kFiles = 60000;
    const QString folder = QString::fromStdString(f.Dir()) + QStringLiteral("/batch");
    QDir().mkpath(folder);
    const std::string first = f.Write("batch/p00000.jpg", MakeJpeg(16, 16));
    for (int i = 1; i < kFiles; ++i)
        link(first.c_str(), QFile::encodeName(folder + QStringLiteral("/p%1.jpg").arg(i, 5, 10, QLatin1Char('0'))).constData());
    f.App().SetProgressTiming(0, 20);
    verdict = QStringLiteral("no progress dialog seen");
    int phase = 0;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        auto* dialog = f.Frame().findChild<QProgressDialog*>();
        if (!dialog || !dialog->isVisible())
            return;
        if (phase == 0) {
            // The picture is clicked where the dialog does not cover it.
            pointer.Click(image->mapToGlobal(QPoint(4, 4)));
            phase = 1;
        } else if (phase < 10) {
            ++phase;   // time for the window manager to act on the click
        } else if (phase == 10) {
            verdict = StackingVerdict(*dialog, *image);
            if (argc > 1)
                f.Frame().screen()->grabWindow(0).save(QString::fromLocal8Bit(argv[1]), "PNG");
            auto* cancel = dialog->findChild<QPushButton*>();
            if (cancel)
                pointer.Click(cancel->mapToGlobal(cancel->rect().center()));
            phase = 11;
        }
    });
    watcher.start(30);
    f.OpenThroughDialog({QFile::encodeName(folder).toStdString()});
    watcher.stop();
    if (!verdict.isEmpty())
        return Fail(QStringLiteral("progress dialog: ") + verdict);
    if (f.List().RowCount() >= kFiles)
        return Fail(QStringLiteral("the progress dialog's Cancel could not be clicked"));
    if (!image->isVisible())
        return Fail(QStringLiteral("the image window did not stay up"));

    // A message box without an owner window, as the opening procedure shows.
    f.App().SetMessageHook(nullptr);
    verdict = QStringLiteral("no message box seen");
    QTimer::singleShot(1000, [&] {
        if (QWidget* box = QApplication::activeModalWidget()) {
            verdict = StackingVerdict(*box, *image);
            qobject_cast<QDialog*>(box)->accept();
        }
    });
    f.App().MessageBox(MessageBoxRequest{"text", "", MessageOwner::None, MessageButtons::Ok});
    if (!verdict.isEmpty())
        return Fail(QStringLiteral("message box: ") + verdict);

    // A click in the picture gives it the keys: Ctrl+W closes it alone.
    const QPointer<CChildFrame> detailed(frame);
    image->activateWindow();
    QTest::qWait(300);
    pointer.Click(image->mapToGlobal(QPoint(20, 20)));
    QTest::qWait(300);
    constexpr unsigned long kKeyW = 0x77;
    pointer.ControlKey(kKeyW);
    QTest::qWait(500);
    if (image->isVisible())
        return Fail(QStringLiteral("Ctrl+W in the picture left it up"));
    if (!detailed || detailed->isHidden())
        return Fail(QStringLiteral("Ctrl+W in the picture closed its detailed window"));
    std::printf("the dialogs stood above the image window; the batch was cancelled after %d of %d files\n",
                f.List().RowCount(), kFiles);
    return 0;
}
