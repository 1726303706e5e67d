// Quitting with thousands of files open: the program, started as
// `vantrel FOLDER`, opens a folder of many files; then its main frame is
// closed, and the time from the close to the end of the program's run is
// measured. It must not grow with the files open (the trees and lists are not
// freed item by item on the way out).
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QTimer>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "app/analysis_tree_bar.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_app.h"
#include "app_fixture.h"

namespace {

constexpr int kFiles = 20000;
// Far below what freeing the items of 20,000 files takes (about 0.4 s on
// the project's machine), far above what closing the windows takes.
constexpr qint64 kLimitMs = 250;

QElapsedTimer closing;
int rowsAtClose = 0;

CMainFrame* MainFrame()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* frame = qobject_cast<CMainFrame*>(w))
            return frame;
    return nullptr;
}

// Closes the main frame once every file is listed and the batch is over
// (its bar rebuilt).
void CloseWhenOpened()
{
    CMainFrame* frame = MainFrame();
    if (!frame || !frame->RoughList() || frame->RoughList()->RowCount() < kFiles || !frame->TreeBar() ||
        frame->TreeBar()->RebuildCount() == 0) {
        QTimer::singleShot(50, CloseWhenOpened);
        return;
    }
    rowsAtClose = frame->RoughList()->RowCount();
    closing.start();
    frame->close();
}

void Schedule()
{
    QTimer::singleShot(0, CloseWhenOpened);
}

}  // namespace

Q_COREAPP_STARTUP_FUNCTION(Schedule)

int main(int, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("vantrel-quit-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const fs::path first = folder / "p00000.jpg";
    {
        std::FILE* out = std::fopen(first.c_str(), "wb");
        const QByteArray jpeg = MakeJpeg(16, 16);
        std::fwrite(jpeg.data(), 1, static_cast<size_t>(jpeg.size()), out);
        std::fclose(out);
    }
    for (int i = 1; i < kFiles; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "p%05d.jpg", i);
        fs::create_hard_link(first, folder / name);
    }
    std::string folderArg = folder.string();
    std::vector<char*> args{argv[0], folderArg.data(), nullptr};
    int count = 2;
    const int status = CVantrelApp::RunProgram(count, args.data());
    const qint64 elapsed = closing.isValid() ? closing.elapsed() : -1;
    fs::remove_all(folder);
    std::printf("%d files open; quitting took %lld ms (limit %lld ms)\n", rowsAtClose,
                static_cast<long long>(elapsed), static_cast<long long>(kLimitMs));
    return status == 0 && rowsAtClose == kFiles && elapsed >= 0 && elapsed <= kLimitMs ? 0 : 1;
}
