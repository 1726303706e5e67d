// Opening thousands of files in one batch: vantrel-dump on folders of 1,000,
// 10,000 and 100,000 hard links to one small camera-like JPEG file (Exif with
// a thumbnail, two quantisation tables, restart markers), against
// `exiv2 -pS` listing the segments of the same 10,000 files; the peak memory
// per open file; and, where the desktop program is built, its opening of
// 10,000 files on the offscreen platform against the headless shell's.
// Detailed output (-d) of 1,000 and 10,000 of them. The best of several runs
// counts, since the machine may be shared. With --desktop [runs] only the
// desktop program and the headless shell are timed, ten times each or runs
// times, to profile or to compare builds on a noisy machine.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

#if __has_include(<jpeglib.h>)
#include "bench/bench_support.h"

#ifdef VANTREL_BENCH_APP
#include <QApplication>

#include "app/vantrel_app.h"
#endif

namespace fs = std::filesystem;
using namespace bench_support;

namespace {

// Bytes of one file's entry texts (its path and its rough lines).
size_t LineBytesPerFile(const std::string& dir)
{
    CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
    app.OpenFiles({dir + "/p000000.jpg"});
    size_t bytes = 0;
    for (const AnalysisEntry* e = app.Entries().GetEntryListHead()->next; e; e = e->next)
        bytes += std::strlen(e->text) + 1;
    return bytes;
}

double HeadlessSeconds(const std::string& dir, uint32_t threads)
{
    const auto start = std::chrono::steady_clock::now();
    CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
    app.SetBatchThreads(threads);
    app.OpenFiles(ExpandFolders({dir}, false));
    return Seconds(std::chrono::steady_clock::now() - start);
}

#ifdef VANTREL_BENCH_APP
double DesktopSeconds(const std::string& dir)
{
    CVantrelApp app;
    app.SetMessageHook([](const MessageBoxRequest&) { return MessageAnswer::Ok; });
    app.InitInstance();
    QApplication::processEvents();
    const auto start = std::chrono::steady_clock::now();
    app.OpenFiles({QString::fromStdString(dir)}, MessageOwner::None);
    // The views lay out and paint what the batch added.
    QApplication::processEvents();
    return Seconds(std::chrono::steady_clock::now() - start);
}
#endif

// The desktop program analyses a batch on one thread per processor; the
// headless shell is timed both ways. The three take turns, so that a busy
// spell of a shared machine falls on all of them alike.
int DesktopAgainstHeadless(const std::string& dir, int runs)
{
    const uint32_t processors = std::max(1u, std::thread::hardware_concurrency());
    double headless = 1e9, headlessSerial = 1e9;
#ifdef VANTREL_BENCH_APP
    double desktop = 1e9;
#endif
    for (int run = 0; run < runs; ++run) {
        headlessSerial = std::min(headlessSerial, HeadlessSeconds(dir, 1));
        headless = std::min(headless, HeadlessSeconds(dir, processors));
#ifdef VANTREL_BENCH_APP
        desktop = std::min(desktop, DesktopSeconds(dir));
#endif
    }
    std::printf("headless shell 10000 files: %7.3f s one at a time, %7.3f s on %u threads\n", headlessSerial,
                headless, processors);
#ifdef VANTREL_BENCH_APP
    std::printf("desktop (offscreen) 10000 files: %7.3f s; desktop / headless (same threads): %.2f, / headless one "
                "at a time: %.2f\n",
                desktop, desktop / headless, desktop / headlessSerial);
#else
    std::printf("desktop program: not built\n");
#endif
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
#ifdef VANTREL_BENCH_APP
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication qapp(argc, argv);
#else
    (void)argc;
    (void)argv;
#endif
    const std::string root = (fs::temp_directory_path() / "vantrel-bench-batch").string();
    fs::create_directories(root);
    const std::string photo = root + "/photo.jpg";
    {
        // A 160 x 120 picture at quality 85.
        WriteFile(photo, WithCameraExif(EncodeWithRestarts(160, 120, 85)));
    }
    std::printf("file: %s, %ju bytes; the best of several runs each\n", photo.c_str(),
                static_cast<uintmax_t>(fs::file_size(photo)));

    const bool desktopOnly = argc > 1 && std::strcmp(argv[1], "--desktop") == 0;
    const size_t counts[] = {1000, 10000, 100000};
    double perFile[3] = {};
    long peak[3] = {};
    std::string dirs[3];
    for (int i = 0; i < 3 && !desktopOnly; ++i) {
        dirs[i] = MakeLinks(root, photo, counts[i]);
        const RunResult r = BestOf(i == 2 ? 2 : 3, {VANTREL_DUMP, "--rows", dirs[i]});
        perFile[i] = r.seconds / static_cast<double>(counts[i]);
        peak[i] = r.peakKiB;
        std::printf("vantrel-dump %6zu files: %7.3f s (%5.1f us per file), peak %ld KiB, exit %d\n", counts[i],
                    r.seconds, perFile[i] * 1e6, r.peakKiB, r.status);
    }
    if (desktopOnly)
        return DesktopAgainstHeadless(MakeLinks(root, photo, counts[1]), argc > 2 ? std::max(1, std::atoi(argv[2])) : 10);
    std::printf("per-file time at 100,000 / at 1,000: %.2f\n", perFile[2] / perFile[0]);

    // Detailed output: every file gets a window of its own, which the next
    // file's analysis must tell apart from the others.
    double detailedPerFile[2] = {};
    for (int i = 0; i < 2; ++i) {
        const RunResult r = BestOf(i == 1 ? 2 : 3, {VANTREL_DUMP, "-d", dirs[i]});
        detailedPerFile[i] = r.seconds / static_cast<double>(counts[i]);
        std::printf("vantrel-dump -d %6zu files: %7.3f s (%5.1f us per file), peak %ld KiB, exit %d\n", counts[i],
                    r.seconds, detailedPerFile[i] * 1e6, r.peakKiB, r.status);
    }
    std::printf("-d per-file time at 10,000 / at 1,000: %.2f\n", detailedPerFile[1] / detailedPerFile[0]);

    const RunResult exiv2 = [&] {
        std::vector<std::string> args{"exiv2", "-pS"};
        for (const auto& entry : fs::directory_iterator(dirs[1]))
            args.push_back(entry.path().string());
        return BestOf(3, args);
    }();
    if (exiv2.status < 0)
        std::printf("exiv2 -pS: not run (exiv2 missing)\n");
    else
        std::printf("exiv2 -pS     10000 files: %7.3f s; vantrel-dump / exiv2: %.2f\n", exiv2.seconds,
                    perFile[1] * 10000 / exiv2.seconds);

    const size_t lineBytes = LineBytesPerFile(dirs[0]);
    const double perOpenFile = static_cast<double>(peak[2] - peak[0]) * 1024.0 / (counts[2] - counts[0]);
    std::printf("peak memory per open file: %.0f bytes, of which its lines' own bytes %zu: %.0f beyond them\n",
                perOpenFile, lineBytes, perOpenFile - static_cast<double>(lineBytes));

    return DesktopAgainstHeadless(dirs[1], 5);
}

#else
int main()
{
    std::printf("batch_open: libjpeg headers missing, nothing measured\n");
    return 0;
}
#endif
