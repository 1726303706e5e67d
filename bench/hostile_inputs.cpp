// Times both analyses of 1 MiB inputs built to be as costly as possible for
// each analyzer and decoder, and of every file of tests/corpus/. Prints the
// time of each and the slowest; bench/RESULTS.md records the figures.
// Usage: bench_hostile_inputs [DIR] [NAME]   (DIR: where to write the inputs;
// NAME: only the inputs whose name contains it, kept in DIR)
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <tuple>
#include <vector>

#include "core/analyze.h"
#include "formats/all_formats.h"
#include "headless/headless_session.h"

namespace {

using Bytes = std::vector<uint8_t>;
constexpr size_t kSize = 1u << 20;

void Be16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v >> 8));
    b.push_back(static_cast<uint8_t>(v));
}
void Le16(Bytes& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void Le32(Bytes& b, uint32_t v)
{
    Le16(b, v);
    Le16(b, v >> 16);
}
void Segment(Bytes& b, uint8_t marker, const Bytes& payload)
{
    b.push_back(0xFF);
    b.push_back(marker);
    Be16(b, static_cast<uint32_t>(payload.size() + 2));
    b.insert(b.end(), payload.begin(), payload.end());
}

// A grey JPEG of the given size whose scan codes each block in 2 bits (DC
// difference 0, then end of block), filling the rest of 1 MiB.
Bytes JpegMinimalBlocks(uint32_t width, uint32_t height)
{
    Bytes b{0xFF, 0xD8};
    Bytes dqt{0};
    for (int i = 0; i < 64; ++i)
        dqt.push_back(1);
    Segment(b, 0xDB, dqt);
    Segment(b, 0xC0, {8, uint8_t(height >> 8), uint8_t(height), uint8_t(width >> 8), uint8_t(width), 1, 1, 0x11, 0});
    Bytes dc{0x00, 1};
    dc.resize(17, 0);
    dc.push_back(0);
    Segment(b, 0xC4, dc);
    Bytes ac{0x10, 1};
    ac.resize(17, 0);
    ac.push_back(0);
    Segment(b, 0xC4, ac);
    Segment(b, 0xDA, {1, 1, 0x00, 0, 63, 0});
    b.resize(kSize - 2, 0x00);
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}

// A grey progressive 9400 x 9400 JPEG of as many AC refinement scans as fit
// in 1 MiB, each coding nothing but the longest end-of-band runs (32767
// blocks a symbol, 15 bits) over every block of the frame.
Bytes JpegProgressiveScans()
{
    Bytes b{0xFF, 0xD8};
    Bytes dqt{0};
    dqt.resize(65, 1);
    Segment(b, 0xDB, dqt);
    Segment(b, 0xC2, {8, 0x24, 0xB8, 0x24, 0xB8, 1, 1, 0x11, 0});
    Bytes ac{0x10, 1};
    ac.resize(17, 0);
    ac.push_back(0xE0);
    Segment(b, 0xC4, ac);
    const uint64_t blocks = uint64_t{1175} * 1175;
    const size_t runBytes = static_cast<size_t>((blocks + 32766) / 32767 * 15 + 7) / 8;
    while (b.size() + 10 + runBytes + 2 < kSize) {
        Segment(b, 0xDA, {1, 1, 0x00, 1, 63, 0x10});
        // "0" then fourteen 1 bits, over and over: 0x7F 0xFF... with the
        // 0xFF bytes stuffed.
        uint64_t bits = 0;
        int count = 0;
        for (size_t i = 0; i < runBytes * 8; ++i) {
            bits = bits << 1 | (i % 15 != 0);
            if (++count == 8) {
                b.push_back(static_cast<uint8_t>(bits));
                if ((bits & 0xFF) == 0xFF)
                    b.push_back(0);
                bits = 0;
                count = 0;
            }
        }
    }
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}

// A grey 9400 x 9400 JPEG coded arithmetically in one sequential scan whose
// data is filled with the pattern given.
Bytes JpegArithmetic(uint8_t marker, const Bytes& data)
{
    Bytes b{0xFF, 0xD8};
    Bytes dqt{0};
    dqt.resize(65, 1);
    Segment(b, 0xDB, dqt);
    Segment(b, marker, {8, 0x24, 0xB8, 0x24, 0xB8, 1, 1, 0x11, 0});
    Segment(b, 0xDA, {1, 1, 0x00, 0, marker == 0xC9 ? uint8_t(63) : uint8_t(0), 0});
    b.insert(b.end(), data.begin(), data.begin() + static_cast<long>(std::min(data.size(), kSize - b.size() - 2)));
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}

// Every byte pair a marker that is not accepted: a rough line each.
Bytes JpegInvalidMarkers()
{
    Bytes b{0xFF, 0xD8};
    while (b.size() < kSize) {
        b.push_back(0xFF);
        b.push_back(0xD0);
    }
    return b;
}

// One IFD with as many entries as fit, each claiming the whole file as SHORT
// values.
Bytes TiffManyEntries()
{
    Bytes b{'I', 'I', 42, 0};
    Le32(b, 8);
    const uint32_t entries = (kSize - 14) / 12;
    Le16(b, entries);
    for (uint32_t i = 0; i < entries; ++i) {
        Le16(b, 0x0100 + (i % 300));
        Le16(b, 3);
        Le32(b, (kSize - 16) / 2);
        Le32(b, 8);
    }
    Le32(b, 0);
    b.resize(kSize, 0);
    return b;
}

// A chain of small IFDs, each an uncompressed 1 x 1 picture.
Bytes TiffManyIfds()
{
    Bytes b{'I', 'I', 42, 0};
    Le32(b, 8);
    while (b.size() + 200 < kSize) {
        const uint32_t at = static_cast<uint32_t>(b.size());
        Le16(b, 6);
        const uint32_t next = at + 2 + 6 * 12 + 4;
        for (const auto& [tag, value] : std::vector<std::pair<uint16_t, uint32_t>>{
                 {256, 1}, {257, 1}, {258, 8}, {259, 1}, {273, 8}, {279, 1}}) {
            Le16(b, tag);
            Le16(b, 3);
            Le32(b, 1);
            Le32(b, value);
        }
        Le32(b, next);
    }
    Le32(b, 0);
    return b;
}

Bytes TiffStrip(uint32_t width, uint32_t height, uint32_t compression, uint32_t bits, uint32_t samples,
                uint32_t photometric, const Bytes& strip)
{
    Bytes b{'I', 'I', 42, 0};
    Le32(b, 8);
    const std::vector<std::pair<uint16_t, uint32_t>> entries{
        {256, width}, {257, height}, {258, bits}, {259, compression}, {262, photometric},
        {273, 8 + 2 + 9 * 12 + 4}, {277, samples}, {278, height}, {279, static_cast<uint32_t>(strip.size())}};
    Le16(b, static_cast<uint32_t>(entries.size()));
    for (const auto& [tag, value] : entries) {
        Le16(b, tag);
        Le16(b, 4);
        Le32(b, 1);
        Le32(b, value);
    }
    Le32(b, 0);
    b.insert(b.end(), strip.begin(), strip.end());
    return b;
}

// A 9400 x 9400 YCbCr picture in new-style JPEG tiles of 16 x 16 pixels
// (345,744 tiles, one MCU each) without byte counts, every tile offset
// pointing at the same abbreviated stream; the shared tables code every
// block in 2 bits.
Bytes TiffJpegTiles()
{
    constexpr uint32_t kSide = 9400, kTile = 16;
    constexpr uint32_t tiles = ((kSide + kTile - 1) / kTile) * ((kSide + kTile - 1) / kTile);
    Bytes tables{0xFF, 0xD8};
    Bytes dqt{0};
    dqt.resize(65, 1);
    Segment(tables, 0xDB, dqt);
    for (uint8_t destination : {0x00, 0x10}) {
        Bytes dht{destination, 1};
        dht.resize(18, 0);
        Segment(tables, 0xC4, dht);
    }
    tables.insert(tables.end(), {0xFF, 0xD9});
    Bytes stream{0xFF, 0xD8};
    Segment(stream, 0xC0, {8, 0, kTile, 0, kTile, 3, 1, 0x22, 0, 2, 0x11, 0, 3, 0x11, 0});
    Segment(stream, 0xDA, {3, 1, 0x00, 2, 0x00, 3, 0x00, 0, 63, 0});
    stream.insert(stream.end(), {0x00, 0x00, 0xFF, 0xD9});

    const std::vector<std::tuple<uint16_t, uint16_t, uint32_t, uint32_t>> fields{
        {256, 4, 1, kSide}, {257, 4, 1, kSide}, {258, 3, 1, 8},     {259, 3, 1, 7}, {262, 3, 1, 6},
        {277, 3, 1, 3},     {322, 3, 1, kTile}, {323, 3, 1, kTile}, {324, 3, tiles, 0}, {347, 7, 0, 0}};
    const uint32_t tablesAt = 8 + 2 + static_cast<uint32_t>(fields.size()) * 12 + 4;
    const uint32_t streamAt = tablesAt + static_cast<uint32_t>(tables.size());
    const uint32_t offsetsAt = streamAt + static_cast<uint32_t>(stream.size());
    Bytes b{'I', 'I', 42, 0};
    Le32(b, 8);
    Le16(b, static_cast<uint32_t>(fields.size()));
    for (auto [tag, type, count, value] : fields) {
        if (tag == 324)
            value = offsetsAt;
        if (tag == 347) {
            count = static_cast<uint32_t>(tables.size());
            value = tablesAt;
        }
        Le16(b, tag);
        Le16(b, type);
        Le32(b, count);
        Le32(b, value);
    }
    Le32(b, 0);
    b.insert(b.end(), tables.begin(), tables.end());
    b.insert(b.end(), stream.begin(), stream.end());
    for (uint32_t i = 0; i < tiles; ++i)
        Le16(b, streamAt);
    b.resize(std::max(b.size(), kSize), 0);
    return b;
}

Bytes Pattern(size_t n, uint32_t seed)
{
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) {
        seed = seed * 1103515245u + 12345u;
        b[i] = static_cast<uint8_t>(seed >> 16);
    }
    return b;
}

Bytes Deflate(const Bytes& data)
{
    uLongf size = compressBound(data.size());
    Bytes out(size);
    compress2(out.data(), &size, data.data(), data.size(), 9);
    out.resize(size);
    return out;
}

// A compressed SWF file whose body is ShowFrame tags as far as 1 MiB of
// compressed data reaches, declaring the longest length.
Bytes SwfTagBomb(bool compressed)
{
    Bytes body{0x50, 0x00, 0x0C, 0x01, 0x00};
    const size_t bodySize = compressed ? (size_t{512} << 20) : kSize - 8;
    body.reserve(bodySize);
    while (body.size() + 2 <= bodySize) {
        body.push_back(0x40);
        body.push_back(0x00);
    }
    Bytes b{compressed ? uint8_t('C') : uint8_t('F'), 'W', 'S', 10};
    Le32(b, compressed ? 0xFFFFFFFFu : static_cast<uint32_t>(body.size() + 8));
    const Bytes payload = compressed ? Deflate(body) : body;
    b.insert(b.end(), payload.begin(), payload.end());
    return b;
}

double TimeBoth(const std::string& path)
{
    const auto start = std::chrono::steady_clock::now();
    CHeadlessSession app(AnalysisOptions{.formats = AllFormats()});
    app.OpenFiles({path});
    app.AnalyseDetailed(path);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path dir = argc > 1 ? fs::path(argv[1]) : fs::temp_directory_path() / "vantrel-hostile";
    fs::create_directories(dir);
    std::vector<std::pair<std::string, Bytes>> inputs;
    inputs.emplace_back("jpeg-minimal-blocks-9400x9400.jpg", JpegMinimalBlocks(9400, 9400));
    inputs.emplace_back("jpeg-minimal-blocks-65535x65535.jpg", JpegMinimalBlocks(65535, 65535));
    inputs.emplace_back("jpeg-invalid-markers.jpg", JpegInvalidMarkers());
    inputs.emplace_back("jpeg-progressive-eob-scans.jpg", JpegProgressiveScans());
    inputs.emplace_back("jpeg-arithmetic-zeros.jpg", JpegArithmetic(0xC9, Bytes(kSize, 0x00)));
    inputs.emplace_back("jpeg-arithmetic-garbage.jpg", JpegArithmetic(0xC9, Pattern(kSize, 5)));
    inputs.emplace_back("jpeg-arithmetic-ones.jpg", JpegArithmetic(0xC9, [] {
                            Bytes b;
                            while (b.size() < kSize) {
                                b.push_back(0xFF);
                                b.push_back(0x00);
                            }
                            return b;
                        }()));
    inputs.emplace_back("tiff-many-entries.tif", TiffManyEntries());
    inputs.emplace_back("tiff-many-ifds.tif", TiffManyIfds());
    inputs.emplace_back("tiff-lzw-garbage.tif", TiffStrip(9400, 9400, 5, 8, 3, 2, Pattern(kSize - 200, 7)));
    inputs.emplace_back("tiff-packbits-runs.tif", TiffStrip(9400, 9400, 32773, 8, 3, 2, [] {
                            Bytes b;
                            while (b.size() < kSize - 200) {
                                b.push_back(0x81);
                                b.push_back(0x55);
                            }
                            return b;
                        }()));
    inputs.emplace_back("tiff-g4-zeros.tif", TiffStrip(9400, 9400, 4, 1, 1, 0, Bytes(kSize - 200, 0x00)));
    inputs.emplace_back("tiff-g4-pass-modes.tif", TiffStrip(9400, 9400, 4, 1, 1, 0, Bytes(kSize - 200, 0x11)));
    inputs.emplace_back("tiff-g3-garbage.tif", TiffStrip(9400, 9400, 3, 1, 1, 0, Pattern(kSize - 200, 3)));
    inputs.emplace_back("tiff-jpeg-tiny-tiles.tif", TiffJpegTiles());
    inputs.emplace_back("tiff-deflate-bomb.tif", TiffStrip(9400, 9400, 32946, 8, 3, 2, Deflate(Bytes(size_t{1} << 30, 0))));
    inputs.emplace_back("swf-showframe-tags.swf", SwfTagBomb(false));
    inputs.emplace_back("cws-showframe-bomb.swf", SwfTagBomb(true));
    const fs::path corpus = fs::path(VANTREL_SOURCE_DIR) / "tests" / "corpus";
    for (const auto& entry : fs::directory_iterator(corpus)) {
        if (entry.path().extension() == ".md" || entry.path().extension() == ".py")
            continue;
        std::FILE* fp = std::fopen(entry.path().c_str(), "rb");
        Bytes b(fs::file_size(entry.path()));
        if (fp) {
            b.resize(std::fread(b.data(), 1, b.size(), fp));
            std::fclose(fp);
        }
        inputs.emplace_back("corpus/" + entry.path().filename().string(), b);
    }
    double slowest = 0;
    std::string slowestName;
    const std::string only = argc > 2 ? argv[2] : "";
    for (const auto& [name, bytes] : inputs) {
        if (name.find(only) == std::string::npos)
            continue;
        const fs::path path = dir / fs::path(name).filename();
        std::FILE* fp = std::fopen(path.c_str(), "wb");
        std::fwrite(bytes.data(), 1, bytes.size(), fp);
        std::fclose(fp);
        if (name.rfind("corpus/", 0) != 0) {
            std::printf("%-44s %8zu bytes  ", name.c_str(), bytes.size());
            std::fflush(stdout);
        }
        const double seconds = TimeBoth(path.string());
        if (name.rfind("corpus/", 0) != 0)
            std::printf("%7.3f s\n", seconds);
        if (seconds > slowest) {
            slowest = seconds;
            slowestName = name;
        }
        fs::remove(path.string() + ".decompress");
        if (only.empty())
            fs::remove(path);
    }
    std::printf("slowest: %s, %.3f s (rough and detailed analysis together)\n", slowestName.c_str(), slowest);
    return slowest <= 1.0 ? 0 : 1;
}
