#pragma once
// What the batch benchmarks share: timing other programs, reading files,
// folders of hard links to one file, and camera-like JPEG files made with
// libjpeg.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <jpeglib.h>

extern char** environ;

namespace bench_support {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;

inline double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

inline Bytes ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

inline void WriteFile(const std::string& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A w x h baseline picture of gradients and texture (noise adds detail that
// does not compress, as in photographs), with a restart interval of one MCU
// row.
inline Bytes EncodeWithRestarts(int w, int h, int quality, int noise = 0)
{
    std::vector<uint8_t> rgb(static_cast<size_t>(w) * h * 3);
    uint32_t state = 1;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            state = state * 1664525u + 1013904223u;
            const int grain = noise ? static_cast<int>(state >> 24) % (noise + 1) : 0;
            p[0] = static_cast<uint8_t>(x * 255 / w + grain);
            p[1] = static_cast<uint8_t>(y * 255 / h + grain);
            p[2] = static_cast<uint8_t>(((x ^ y) & 0xFF) + grain);
        }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = static_cast<JDIMENSION>(w);
    cinfo.image_height = static_cast<JDIMENSION>(h);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
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

// picture with the Exif segment (and its thumbnail) of the bundled
// camera-like sample right after SOI, where cameras put it.
inline Bytes WithCameraExif(Bytes picture)
{
    const Bytes sample = ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/photo-exif.jpg");
    if (sample.size() > 6 && sample[2] == 0xFF && sample[3] == 0xE1) {
        const size_t length = (size_t{sample[4]} << 8 | sample[5]) + 2;
        if (2 + length <= sample.size())
            picture.insert(picture.begin() + 2, sample.begin() + 2, sample.begin() + 2 + static_cast<long>(length));
    }
    return picture;
}

// A folder of n hard links to file, named so that name order is link order.
// A file system allows only so many links to one file: each block of
// kLinksPerCopy links goes to a copy of its own.
inline std::string MakeLinks(const std::string& root, const std::string& file, size_t n)
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
inline RunResult Run(const std::vector<std::string>& args)
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

inline RunResult BestOf(int runs, const std::vector<std::string>& args)
{
    RunResult best;
    for (int i = 0; i < runs; ++i) {
        const RunResult r = Run(args);
        if (r.seconds < best.seconds)
            best = r;
    }
    return best;
}

}  // namespace bench_support
