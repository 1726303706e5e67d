#include <QApplication>
#include <QTimer>

#include "app/vantrel_app.h"

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    CVantrelApp app;
    if (!app.InitInstance())
        return 1;
    // Files named on the command line (Qt's own options already taken out)
    // open once the main frame is on the screen.
    const QStringList files = QCoreApplication::arguments().mid(1);
    if (!files.isEmpty())
        QTimer::singleShot(0, &qapp, [&app, files] { app.OpenCommandLine(files); });
    return qapp.exec();
}
