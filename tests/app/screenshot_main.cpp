// Starts the program on the current display, opens copies of the samples in
// a temporary folder (so that the side files of compressed SWF samples are
// written there, not into the source tree; where the source tree has no
// samples, a JPEG, a TIFF and an SWF file made here), runs a detailed
// analysis of the first one and saves a picture of the main frame. With
// --hex, the picture shows instead the detailed window of the SWF sample,
// maximized, with a line and its bytes selected in the hex pane.
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScreen>
#include <QTest>
#include <cstdio>
#include <cstring>


#include "app/child_frame.h"
#include "app/hex_view.h"
#include "app/main_frame.h"
#include "app/rough_list_ctrl.h"
#include "app/vantrel_view.h"
#include "app_fixture.h"

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: app_screenshot OUTPUT.png\n");
        return 2;
    }
    QApplication qapp(argc, argv);
    const QString output = QString::fromLocal8Bit(argv[1]);

    AppFixture f;
    std::vector<std::string> paths;
    const QDir samples(QStringLiteral(VANTREL_SOURCE_DIR "/samples"));
    for (const QString& name : samples.entryList(QDir::Files, QDir::Name)) {
        QFile sample(samples.filePath(name));
        if (!name.endsWith(QStringLiteral(".decompress")) && sample.open(QIODevice::ReadOnly))
            paths.push_back(f.Write(QFile::encodeName(name).toStdString(), sample.readAll()));
    }
    if (paths.empty()) {
        paths.push_back(f.Write("picture.jpg", MakeJpeg(64, 48)));
        paths.push_back(f.Write("strips.tif", MakeTiff()));
        paths.push_back(f.Write("movie.swf", MakeSwf()));
    }
    f.Frame().resize(1200, 760);
    f.OpenThroughDialog(paths);
    f.App().RunDetailedAnalysis(paths.front().c_str());
    CChildFrame* detail = f.Frame().ActiveChildFrame();
    if (!detail || f.List().RowCount() == 0) {
        std::fprintf(stderr, "no rows or no detailed window\n");
        return 1;
    }
    const bool hexMode = argc > 2 && std::strcmp(argv[2], "--hex") == 0;
    if (hexMode) {
        for (const std::string& path : paths)
            if (path.size() > 4 && path.compare(path.size() - 4, 4, ".swf") == 0 &&
                path.find("compressed") == std::string::npos)
                f.App().RunDetailedAnalysis(path.c_str());
        detail = f.Frame().ActiveChildFrame();
        detail->showMaximized();
        QTest::qWait(50);
        // A byte of a tag's body: its tag line is selected with the tag's bytes.
        if (const LineId line = AppFixture::FindLine(*detail->View(), "DoAction"); line != kNoLine)
            detail->View()->GoToLine(line);
        if (detail->HexView()->SelectionEnd() > 0)
            detail->HexView()->SetCursorOffset(detail->HexView()->SelectionStart() + 2);
    } else if (!(argc > 2 && std::strcmp(argv[2], "--as-opened") == 0)) {
        // The detailed window beside the list, both visible; with --as-opened
        // the windows stay as the program left them (maximized).
        f.Frame().OnWindowTileHorz();
    }
    // Decoded pictures, if the analysis made any, open in the work area.
    detail->ShowImageWindows();
    QTest::qWait(300);

    const QPixmap shot = f.Frame().screen()->grabWindow(0, f.Frame().frameGeometry().x(),
                                                        f.Frame().frameGeometry().y(),
                                                        f.Frame().frameGeometry().width(),
                                                        f.Frame().frameGeometry().height());
    const QPixmap picture = shot.isNull() || shot.width() < 10 ? f.Frame().grab() : shot;
    if (!picture.save(output, "PNG")) {
        std::fprintf(stderr, "cannot write %s\n", argv[1]);
        return 1;
    }
    std::printf("screenshot written to %s (%d rows, %zu messages)\n", argv[1], f.List().RowCount(),
                f.messages.size());
    return 0;
}
