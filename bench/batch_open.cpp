// Opening thousands of files in one batch: vantrel-dump on folders of 1,000,
// 10,000 and 100,000 hard links to one small camera-like JPEG file (Exif with
// a thumbnail, two quantisation tables, restart markers), against
// `exiv2 -pS` listing the segments of the same 10,000 files; the peak memory
// per open file; and, where the desktop program is built, its opening of
// 10,000 files on the offscreen platform against the headless shell's.
// Detailed output (-d) of 1,000 and 10,000 of them. The best of several runs
// counts, since the machine may be shared.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "core/analysis_app.h"
#include "formats/all_formats.h"
#include "headless/headless_shell.h"

#if __has_include(<jpeglib.h>)
#include <jpeglib.h>

#ifdef VANTREL_BENCH_APP
#include <QApplication>

#include "app/vantrel_app.h"
#endif

extern char** environ;

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<uint8_t>;

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A 160 x 120 baseline picture with a restart interval of one MCU row.
Bytes EncodeWithRestarts()
{
    constexpr int w = 160, h = 120;
    std::vector<uint8_t> rgb(w * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(y * w + x) * 3];
            p[0] = static_cast<uint8_t>(x * 255 / w);
            p[1] = static_cast<uint8_t>(y * 255 / h);
            p[2] = static_cast<uint8_t>((x ^ y) & 0xFF);
        }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = w;
    cinfo.image_height = h;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 85, TRUE);
    cinfo.restart_in_rows = 1;
    jpeg_start_compress(&cinfo, TRUE);
    for (int y = 0; y < h; ++y) {
        JSAMPROW row = &rgb[static_cast<size_t>(y) * w * 3];
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// The picture above with the Exif segment (and its thumbnail) of the bundled
// camera-like sample right after SOI, where cameras put it.
Bytes MakePhoto()
{
    const Bytes sample = ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/photo-exif.jpg");
    Bytes photo = EncodeWithRestarts();
    if (sample.size() > 6 && sample[2] == 0xFF && sample[3] == 0xE1) {
        const size_t length = (size_t{sample[4]} << 8 | sample[5]) + 2;
        if (2 + length <= sample.size())
            photo.insert(photo.begin() + 2, sample.begin() + 2, sample.begin() + 2 + static_cast<long>(length));
    }
    return photo;
}

// A folder of n hard links to file, named so that name order is link order.
// A file system allows only so many links to one file: each block of
// kLinksPerCopy links goes to a copy of its own.
std::string MakeLinks(const std::string& root, const std::string& file, size_t n)
{
    constexpr size_t kLinksPerCopy = 30000;
    const std::string dir = root + "/n" + std::to_string(n);
    fs::create_directories(dir);
    char name[32];
    for (size_t i = 0; i < n; ++i) {
        const std::string source = file + "." + std::to_string(i / kLinksPerCopy);
        if (!fs::exists(source))
            fs::copy_file(file, source);
        std::snprintf(name, sizeof name, "/p%06zu.jpg", i);
        const std::string link = dir + name;
        if (!fs::exists(link))
            fs::create_hard_link(source, link);
    }
    return dir;
}

struct RunResult {
    double seconds = 1e9;
    long peakKiB = 0;
    int status = -1;
};

// Runs a program with stdout and stderr to /dev/null; wall time and the
// child's peak resident memory.
RunResult Run(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    RunResult r;
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) {
        posix_spawn_file_actions_destroy(&actions);
        return r;
    }
    int status = 0;
    rusage usage {};
    wait4(pid, &status, 0, &usage);
    r.seconds = Seconds(std::chrono::steady_clock::now() - start);
    r.peakKiB = usage.ru_maxrss;
    r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    posix_spawn_file_actions_destroy(&actions);
    return r;
}

RunResult BestOf(int runs, const std::vector<std::string>& args)
{
    RunResult best;
    for (int i = 0; i < runs; ++i) {
        const RunResult r = Run(args);
        if (r.seconds < best.seconds)
            best = r;
    }
    return best;
}

// Bytes of one file's entry texts (its path and its rough lines).
size_t LineBytesPerFile(const std::string& dir)
{
    CHeadlessShell shell;
    CAnalysisApp app(shell, AllFormats());
    app.OpenFiles({dir + "/p000000.jpg"});
    size_t bytes = 0;
    for (const AnalysisEntry* e = app.Entries().GetEntryListHead()->next; e; e = e->next)
        bytes += std::strlen(e->text) + 1;
    return bytes;
}

double HeadlessSeconds(const std::string& dir)
{
    const auto start = std::chrono::steady_clock::now();
    CHeadlessShell shell;
    CAnalysisApp app(shell, AllFormats());
    app.OpenFiles(ExpandFolders({dir}, false), MessageOwner::None);
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
        const Bytes bytes = MakePhoto();
        std::ofstream(photo, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<std::streamsize>(bytes.size()));
    }
    std::printf("file: %s, %ju bytes; the best of several runs each\n", photo.c_str(),
                static_cast<uintmax_t>(fs::file_size(photo)));

    const size_t counts[] = {1000, 10000, 100000};
    double perFile[3] = {};
    long peak[3] = {};
    std::string dirs[3];
    for (int i = 0; i < 3; ++i) {
        dirs[i] = MakeLinks(root, photo, counts[i]);
        const RunResult r = BestOf(i == 2 ? 2 : 3, {VANTREL_DUMP, "--rows", dirs[i]});
        perFile[i] = r.seconds / static_cast<double>(counts[i]);
        peak[i] = r.peakKiB;
        std::printf("vantrel-dump %6zu files: %7.3f s (%5.1f us per file), peak %ld KiB, exit %d\n", counts[i],
                    r.seconds, perFile[i] * 1e6, r.peakKiB, r.status);
    }
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

    double headless = 1e9;
    for (int run = 0; run < 3; ++run)
        headless = std::min(headless, HeadlessSeconds(dirs[1]));
    std::printf("headless shell 10000 files: %7.3f s\n", headless);
#ifdef VANTREL_BENCH_APP
    double desktop = 1e9;
    for (int run = 0; run < 3; ++run)
        desktop = std::min(desktop, DesktopSeconds(dirs[1]));
    std::printf("desktop (offscreen) 10000 files: %7.3f s; desktop / headless: %.2f\n", desktop, desktop / headless);
#else
    std::printf("desktop program: not built\n");
#endif
    return 0;
}

#else
int main()
{
    std::printf("batch_open: libjpeg headers missing, nothing measured\n");
    return 0;
}
#endif
