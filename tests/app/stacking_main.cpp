// Under a real window manager: a modal dialog opened while a decoded
// picture's window is up must stand above that window (or the picture must
// be out of the way) and be the active window. The stacking order is read
// from the window manager's _NET_CLIENT_LIST_STACKING, bottom to top.
#include <QApplication>
#include <QDialog>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QTimer>
#include <cstdio>

#include "app/app_resources.h"
#include "app/child_frame.h"
#include "app/image_wnd.h"
#include "app/main_frame.h"
#include "app_fixture.h"

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

}  // namespace

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    AppFixture f;
    f.Frame().Command(kCmdFileNew)->trigger();
    CChildFrame* frame = f.Frame().ActiveChildFrame();
    CImageWnd* image = AddPicture(f.App(), *frame, 900, 600);
    frame->ShowImageWindows();
    if (!image || !QTest::qWaitForWindowExposed(image)) {
        std::fprintf(stderr, "the image window was not shown\n");
        return 1;
    }
    QTest::qWait(500);

    QString verdict = QStringLiteral("no dialog seen");
    f.App().SetModalHook(nullptr);
    QTimer::singleShot(1000, [&] {
        auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        const QList<quint64> stacking = RootWindows("_NET_CLIENT_LIST_STACKING");
        const QList<quint64> active = RootWindows("_NET_ACTIVE_WINDOW");
        const qsizetype dialogAt = stacking.indexOf(dialog->winId());
        const qsizetype imageAt = stacking.indexOf(image->winId());
        if (dialogAt < 0)
            verdict = QStringLiteral("the dialog is not managed");
        else if (imageAt > dialogAt)
            verdict = QStringLiteral("the image window stands above the dialog");
        else if (active.isEmpty() || active.front() != dialog->winId())
            verdict = QStringLiteral("the dialog is not the active window");
        else
            verdict = QString();
        dialog->accept();
    });
    f.Frame().Command(kCmdAppAbout)->trigger();
    if (!verdict.isEmpty()) {
        std::fprintf(stderr, "%s\n", qPrintable(verdict));
        return 1;
    }
    if (!image->isVisible()) {
        std::fprintf(stderr, "the image window did not come back\n");
        return 1;
    }
    std::printf("the dialog stood above the image window\n");
    return 0;
}
