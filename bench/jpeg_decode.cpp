// Times the detailed analysis of 6000 x 4000 JPEG files (the whole
// vantrel-dump -d run, in-process: rough analysis, detailed analysis with the
// picture decoded, printing) against libjpeg decoding the same file to RGB,
// and prints the ratio: baseline 4:2:0, 4:4:4 and 4:2:0 with restart
// intervals, and 4:2:0 coded progressively (libjpeg's default script) with
// Huffman and with arithmetic coding. Vantrel runs with all its decoding
// threads and with one.
#include <algorithm>
#include <chrono>
#include <ctime>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/dump_command.h"
#include "codec/decode_threads.h"

#if __has_include(<jpeglib.h>)
#include <jpeglib.h>

namespace {

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;

// Something like a photograph: smooth shading, edges, and fine noise.
std::vector<uint8_t> MakePicture()
{
    std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
    uint32_t noise = 12345;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            noise = noise * 1664525u + 1013904223u;
            const int n = int((noise >> 24) & 15) - 8;
            const int edge = ((x / 97) + (y / 61)) % 3 == 0 ? 35 : 0;
            uint8_t* p = &rgb[(size_t(y) * kWidth + x) * 3];
            p[0] = uint8_t(std::clamp(60 + (x * 150) / kWidth + edge + n, 0, 255));
            p[1] = uint8_t(std::clamp(40 + (y * 170) / kHeight + n, 0, 255));
            p[2] = uint8_t(std::clamp(128 + int(90 * std::sin((x + 2 * y) * 0.003)) - edge + n, 0, 255));
        }
    }
    return rgb;
}

// One file of the benchmark: chroma sampling of the luma component (2 x 2
// for 4:2:0, 1 x 1 for 4:4:4) and MCUs per restart interval (0 for none).
struct Layout {
    const char* name;
    int sampling;
    unsigned restartInterval;
    bool progressive = false;
    bool arithmetic = false;
};

std::vector<uint8_t> Encode(const std::vector<uint8_t>& rgb, const Layout& layout)
{
    jpeg_compress_struct info {};
    jpeg_error_mgr err {};
    info.err = jpeg_std_error(&err);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = kWidth;
    info.image_height = kHeight;
    info.input_components = 3;
    info.in_color_space = JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 90, TRUE);
    info.comp_info[0].h_samp_factor = layout.sampling;
    info.comp_info[0].v_samp_factor = layout.sampling;
    info.restart_interval = layout.restartInterval;
    if (layout.progressive)
        jpeg_simple_progression(&info);
    info.arith_code = layout.arithmetic ? TRUE : FALSE;
    jpeg_start_compress(&info, TRUE);
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[size_t(info.next_scanline) * kWidth * 3]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

// libjpeg's own decoding of the file (read from disk, as the analyzer does).
uint64_t LibjpegDecode(const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    jpeg_decompress_struct info {};
    jpeg_error_mgr err {};
    info.err = jpeg_std_error(&err);
    jpeg_create_decompress(&info);
    jpeg_stdio_src(&info, fp);
    jpeg_read_header(&info, TRUE);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    std::vector<uint8_t> out(size_t(info.output_width) * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = &out[size_t(info.output_scanline) * info.output_width * 3];
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    std::fclose(fp);
    uint64_t sum = 0;
    for (size_t i = 0; i < out.size(); i += 4099)
        sum += out[i];
    return sum;
}

struct Timing {
    double wall = 1e30;   // best wall-clock time of the runs
    double cpu = 1e30;    // best processor time of the runs
};

// Times one run of f into best.
template <typename F>
void Measure(Timing& best, F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t cpuStart = std::clock();
    f();
    const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
    const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    best.wall = std::min(best.wall, wall);
    best.cpu = std::min(best.cpu, cpu);
}

// Runs libjpeg and Vantrel (all threads, one thread) in turn on one file and
// prints a line; false when Vantrel is over the limit.
bool Compare(const Layout& layout, const std::vector<uint8_t>& picture, const std::string& path, int runs,
             bool keep, uint64_t& check)
{
    const std::vector<uint8_t> file = Encode(picture, layout);
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()),
                                                std::streamsize(file.size()));
    size_t lines = 0;
    const auto dump = [&](const char* threads) {
        std::ostringstream out, err;
        RunDump({"-d", "--decode-threads", threads, path}, out, err);
        const std::string text = out.str();
        lines = size_t(std::count(text.begin(), text.end(), '\n'));
    };
    // The machine may be shared: runs alternate so that all see the same
    // load, and the best of each is kept.
    Timing libjpeg, vantrel, single;
    for (int i = 0; i < runs; ++i) {
        Measure(libjpeg, [&] { check += LibjpegDecode(path); });
        Measure(vantrel, [&] { dump("0"); });
        Measure(single, [&] { dump("1"); });
    }
    std::printf("%-15s %9zu %8.1f %8.1f %8.1f %8.1f %8.1f %8.1f %6.2f %6.2f %6.2f  (%zu lines)\n", layout.name,
                file.size(), libjpeg.wall * 1000, libjpeg.cpu * 1000, vantrel.wall * 1000, vantrel.cpu * 1000,
                single.wall * 1000, single.cpu * 1000, vantrel.wall / libjpeg.wall, single.wall / libjpeg.wall,
                single.cpu / libjpeg.cpu, lines);
    if (!keep)
        std::filesystem::remove(path);
    return vantrel.cpu / libjpeg.cpu <= 2.5 || vantrel.wall / libjpeg.wall <= 2.5;
}

}  // namespace

int main(int argc, char** argv)
{
    const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // A second argument keeps the files at that path with a suffix (for profiling).
    const bool keep = argc > 2;
    const std::string base =
        keep ? std::string(argv[2]) : (std::filesystem::temp_directory_path() / "vantrel-bench-6000x4000").string();
    static constexpr Layout kLayouts[] = {
        {"4:2:0", 2, 0},
        {"4:4:4", 1, 0},
        {"4:2:0 restart", 2, 100},
        {"4:2:0 progr.", 2, 0, true, false},
        {"4:2:0 pr. arith", 2, 0, true, true},
    };
    const std::vector<uint8_t> picture = MakePicture();
    uint64_t check = 0;
    bool within = true;
    std::printf("6000 x 4000 pictures, best of %d runs; times in ms; ratios against libjpeg's time\n", runs);
    std::printf("%-15s %9s %8s %8s %8s %8s %8s %8s %6s %6s %6s\n", "file", "bytes", "libjpeg", "cpu",
                "vantrel", "cpu", "1 thread", "cpu", "ratio", "1 thr", "1 cpu");
    for (size_t i = 0; i < std::size(kLayouts); ++i)
        within &= Compare(kLayouts[i], picture, base + "-" + std::to_string(i) + ".jpg", runs, keep, check);
    std::printf("%s (limit 2.50)\n", within ? "within the limit" : "OVER THE LIMIT");
    return check == 0 || !within ? 1 : 0;
}
#else
int main()
{
    std::puts("libjpeg is not available: nothing to compare with");
    return 0;
}
#endif
