#include <QApplication>

#include "app/vantrel_app.h"

int main(int argc, char** argv)
{
    QApplication qapp(argc, argv);
    CVantrelApp app;
    // File names on the command line are accepted and ignored.
    if (!app.InitInstance())
        return 1;
    return qapp.exec();
}
