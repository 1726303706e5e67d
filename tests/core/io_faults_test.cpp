#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <random>
#include <string>

#include "core/read_stream.h"
#include "core/stream_size.h"
#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Bytes;
using testing_support::Headless;
using testing_support::TempDir;

struct Sample {
    const char* name;
    uint32_t format;
};
constexpr Sample kSamples[] = {
    {"photo-exif.jpg", kFormatJpeg},
    {"odd-422-restart.jpg", kFormatJpeg},
    {"rgb-lzw.tif", kFormatTiff},
    {"fax-g4.tif", kFormatTiff},
    {"stage-compressed.swf", kFormatSwf},
};

Bytes SampleBytes(const char* name)
{
    return testing_support::ReadFile(std::string(VANTREL_SOURCE_DIR) + "/samples/" + name);
}

// A file cut short after its format was detected is analysed as far as it
// goes, as a file that short from the start would be.
TEST(IoFaults, FileTruncatedAfterDetection)
{
    for (const Sample& sample : kSamples) {
        const Bytes bytes = SampleBytes(sample.name);
        for (const size_t keep : {size_t{0}, size_t{5}, bytes.size() / 2}) {
            SCOPED_TRACE(std::string(sample.name) + " cut to " + std::to_string(keep));
            TempDir dir;
            const std::string path = dir.Write(sample.name, bytes);
            const AnalysisOptions options = testing_support::AllFormatOptions();
            AnalysisResult cut;
            ASSERT_EQ(DetectFormat(path.c_str(), options, cut), sample.format);
            fs::resize_file(path, keep);
            AnalyzeDetected(sample.format, path.c_str(), AnalysisMode::Rough, options, cut);
            EXPECT_TRUE(cut.analysed);

            const std::string shortPath = dir.Write("short", Bytes(bytes.begin(), bytes.begin() + long(keep)));
            AnalysisResult reference;
            AnalyzeDetected(sample.format, shortPath.c_str(), AnalysisMode::Rough, options, reference);
            ASSERT_EQ(cut.roughLines.size(), reference.roughLines.size());
            for (size_t i = 0; i < cut.roughLines.size(); ++i) {
                EXPECT_EQ(cut.roughLines[i].level, reference.roughLines[i].level);
                EXPECT_EQ(cut.RoughText(cut.roughLines[i]), reference.RoughText(reference.roughLines[i]));
            }
            EXPECT_EQ(cut.summary, reference.summary);
        }
    }
}

// A device that fails reading at a given offset (EIO), as a dying disk does.
off_t g_failAt = 0;
ssize_t FailingRead(int fd, void* buffer, size_t size)
{
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= g_failAt) {
        errno = EIO;
        return -1;
    }
    return read(fd, buffer, std::min<size_t>(size, static_cast<size_t>(g_failAt - at)));
}

// A read error in the middle ends each analysis quietly: the walks stop as at
// the end of the file instead of reading on for ever.
TEST(IoFaults, ReadErrorEndsTheAnalysis)
{
    for (const Sample& sample : kSamples) {
        const Bytes bytes = SampleBytes(sample.name);
        TempDir dir;
        const std::string path = dir.Write(sample.name, bytes);
        for (const off_t failAt : {off_t{2}, off_t{40}, static_cast<off_t>(bytes.size() / 2)}) {
            for (const uint32_t detailed : {0u, 1u}) {
                SCOPED_TRACE(std::string(sample.name) + " failing at " + std::to_string(failAt) +
                             (detailed ? " detailed" : " rough"));
                g_failAt = failAt;
                FILE* fp = OpenReadStream(open(path.c_str(), O_RDONLY), FailingRead);
                ASSERT_NE(fp, nullptr);
                testing_support::StandaloneRun run(detailed ? AnalysisMode::Detailed : AnalysisMode::Rough);
                RunAnalyzer(sample.format, {.run = &run.run, .fp = fp, .path = path.c_str(),
                                            .mode = detailed ? AnalysisMode::Detailed : AnalysisMode::Rough});
                EXPECT_NE(std::feof(fp), 0);
                std::fclose(fp);
            }
        }
    }
}

// Bytes that differ from their neighbours and repeat at no short period, so
// that a byte read at the wrong position shows.
Bytes Patterned(size_t size, unsigned step, unsigned period)
{
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * step + i / period);
    return bytes;
}

// The analysis stream keeps its own position and the last blocks it read:
// random seeks and reads of every size, across blocks and past the end, give
// the file's bytes and positions; a block read where the file ended is read
// again once the file has grown.
TEST(IoFaults, StreamReadsTheFileAtEveryPosition)
{
    const Bytes bytes = Patterned(70001, 13, 251);
    TempDir dir;
    const std::string path = dir.Write("bytes.bin", bytes);
    FILE* fp = OpenReadStream(open(path.c_str(), O_RDONLY));
    ASSERT_NE(fp, nullptr);
    std::mt19937 random(5);
    Bytes got(40000);
    for (int round = 0; round < 2000; ++round) {
        const long at = static_cast<long>(random() % (bytes.size() + 100));
        const size_t want = round % 50 == 0 ? 20000 + random() % 20000 : random() % 9000;
        ASSERT_EQ(std::fseek(fp, at, SEEK_SET), 0);
        const size_t n = std::fread(got.data(), 1, want, fp);
        const size_t expected = static_cast<size_t>(at) >= bytes.size() ? 0 : std::min(want, bytes.size() - size_t(at));
        ASSERT_EQ(n, expected) << "at " << at << " want " << want;
        ASSERT_TRUE(std::equal(got.begin(), got.begin() + long(n), bytes.begin() + std::min<long>(at, long(bytes.size()))));
        ASSERT_EQ(std::ftell(fp), at + long(n));
    }
    ASSERT_EQ(std::fseek(fp, 0, SEEK_END), 0);
    EXPECT_EQ(std::ftell(fp), long(bytes.size()));
    EXPECT_EQ(std::fgetc(fp), EOF);

    // The file grows: its new bytes are read, also in the block that ended it.
    Bytes more(100, 0x5A);
    {
        std::FILE* out = std::fopen(path.c_str(), "ab");
        ASSERT_NE(out, nullptr);
        std::fwrite(more.data(), 1, more.size(), out);
        std::fclose(out);
    }
    ASSERT_EQ(std::fseek(fp, long(bytes.size()) - 1, SEEK_SET), 0);
    EXPECT_EQ(std::fgetc(fp), bytes.back());
    EXPECT_EQ(std::fgetc(fp), 0x5A);
    std::fclose(fp);
}

// The walks' position and seek read the C library's own fields: after any
// mix of reads, bytes put back (the last one read or another), seeks inside
// and outside the buffer and reads past the end, StreamPosition tells what
// ftell tells and the next byte is the file's byte there, on every kind of
// stream an analysis may be given.
TEST(IoFaults, StreamPositionAgreesWithTheLibrary)
{
    const Bytes bytes = Patterned(150000, 29, 509);
    TempDir dir;
    const std::string path = dir.Write("bytes.bin", bytes);
    const auto open = [&](int kind) -> FILE* {
        switch (kind) {
        case 0: return OpenFileReadStream(::open(path.c_str(), O_RDONLY), static_cast<off_t>(bytes.size()));
        case 1: return OpenReadStream(::open(path.c_str(), O_RDONLY));
        case 2: g_failAt = 1 << 30; return OpenReadStream(::open(path.c_str(), O_RDONLY), FailingRead);
        case 3: return std::fopen(path.c_str(), "rb");
        default: return fmemopen(const_cast<uint8_t*>(bytes.data()), bytes.size(), "rb");
        }
    };
    for (int kind = 0; kind < 5; ++kind) {
        SCOPED_TRACE("stream kind " + std::to_string(kind));
        FILE* fp = open(kind);
        ASSERT_NE(fp, nullptr);
        std::mt19937 random(static_cast<unsigned>(kind + 11));
        Bytes got(70000);
        for (int step = 0; step < 3000; ++step) {
            const long here = std::ftell(fp);
            const uint64_t size = bytes.size();
            switch (random() % 6) {
            case 0: std::fgetc(fp); break;
            case 1: (void)!std::fread(got.data(), 1, random() % (step % 97 == 0 ? 70000 : 300), fp); break;
            case 2: {
                // Puts back the byte just read, or one that differs from it.
                const int c = std::fgetc(fp);
                if (c != EOF)
                    std::ungetc(random() % 2 ? c : c ^ 0x55, fp);
                break;
            }
            case 3: SeekStream(fp, here >= 0 ? static_cast<uint64_t>(here) + random() % 700 - 350 : 0); break;
            case 4: SeekStream(fp, random() % (size + 50)); break;
            default: std::fseek(fp, static_cast<long>(random() % (size + 50)), SEEK_SET); break;
            }
            const long told = std::ftell(fp);
            ASSERT_EQ(StreamPosition(fp), told < 0 ? 0u : static_cast<uint64_t>(told)) << "step " << step;
            // Put-back bytes that differ from the file's are the stream's
            // own; read through them before looking at the file's bytes.
            if (told >= 0 && static_cast<uint64_t>(told) < size && random() % 4 == 0) {
                const int c = std::fgetc(fp);
                if (c != EOF && std::ftell(fp) == told + 1 && c != (bytes[static_cast<size_t>(told)] ^ 0x55)) {
                    ASSERT_EQ(c, bytes[static_cast<size_t>(told)]) << "step " << step;
                }
            }
        }
        std::fclose(fp);
    }
}

// A view of an analysis stream reads the file at its own position, and the
// stream reads on where it stood; only the streams of analysis files have
// views, and not those whose reads a test replaces.
TEST(IoFaults, ViewsReadBesideTheStream)
{
    const Bytes bytes = Patterned(5000, 7, 256);
    TempDir dir;
    const std::string path = dir.Write("bytes.bin", bytes);
    FILE* fp = OpenReadStream(open(path.c_str(), O_RDONLY));
    ASSERT_NE(fp, nullptr);
    ASSERT_EQ(std::fgetc(fp), bytes[0]);
    FILE* view = OpenReadStreamView(fp);
    ASSERT_NE(view, nullptr);
    Bytes part(100);
    ASSERT_EQ(std::fseek(view, 4000, SEEK_SET), 0);
    ASSERT_EQ(std::fread(part.data(), 1, part.size(), view), part.size());
    EXPECT_TRUE(std::equal(part.begin(), part.end(), bytes.begin() + 4000));
    EXPECT_EQ(std::ftell(view), 4100);
    EXPECT_EQ(std::fread(part.data(), 1, part.size(), view), 100u);
    ASSERT_EQ(std::fseek(view, -10, SEEK_END), 0);
    EXPECT_EQ(std::fread(part.data(), 1, part.size(), view), 10u);
    EXPECT_NE(std::feof(view), 0);
    EXPECT_EQ(std::ftell(fp), 1);
    EXPECT_EQ(std::fgetc(fp), bytes[1]);
    std::fclose(view);
    std::fclose(fp);

    g_failAt = 100;
    FILE* failing = OpenReadStream(open(path.c_str(), O_RDONLY), FailingRead);
    ASSERT_NE(failing, nullptr);
    EXPECT_EQ(OpenReadStreamView(failing), nullptr);
    std::fclose(failing);
    FILE* plain = std::fopen(path.c_str(), "rb");
    ASSERT_NE(plain, nullptr);
    EXPECT_EQ(OpenReadStreamView(plain), nullptr);
    std::fclose(plain);
}

// Writes bytes at offset into a file, leaving a hole before them.
void WriteAt(const std::string& path, uint64_t offset, const Bytes& bytes)
{
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset)), ssize_t(bytes.size()));
    close(fd);
}

// A TIFF file whose JPEG data begins 8 bytes below 4 GiB: the JPEG walk goes
// on past 4 GiB, and its lines show the whole offsets there. Exif data found
// past 4 GiB is not laid out (TIFF positions are 32-bit). The file is sparse:
// a few bytes before and after the hole.
TEST(IoFaults, PositionsPastFourGiB)
{
    TempDir dir;
    const std::string path = dir.Path() + "/large.tif";
    // Little-endian TIFF, one IFD: Compression 6, JPEGInterchangeFormat
    // 0xFFFFFFF8, JPEGInterchangeFormatLength 64.
    WriteAt(path, 0,
            {'I', 'I', 42, 0, 8, 0, 0, 0, 3, 0,
             0x03, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,
             0x01, 0x02, 4, 0, 1, 0, 0, 0, 0xF8, 0xFF, 0xFF, 0xFF,
             0x02, 0x02, 4, 0, 1, 0, 0, 0, 64, 0, 0, 0,
             0, 0, 0, 0});
    WriteAt(path, 0xFFFFFFF8,
            {0xFF, 0xD8,                                                   // SOI
             0xFF, 0xFE, 0, 16, '0', '1', '2', '3', '4', '5', '6', '7', '8', '9', 'a', 'b', 'c', 'd',
             0xFF, 0xE1, 0, 16, 'E', 'x', 'i', 'f', 0, 0, 'I', 'I', 42, 0, 8, 0, 0, 0,
             0xFF, 0xD0,                                                   // RST0: invalid here
             0xFF, 0xD9});
    Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const std::string detail = h.DetailText(path);
    const std::string jpeg = detail.substr(detail.find("[fffffff8] Jpeg Data"));
    EXPECT_EQ(jpeg,
              "[fffffff8] Jpeg Data\n"
              "  [fffffff8] SOI\n"
              "  [fffffffa] COM\n"
              "    [fffffffc] Field Length = 16 [byte]\n"
              "    [fffffffe] Comment : 0123456789abcd\n"
              "  [10000000c] APP1\n"
              "    [10000000e] Field Length = 16 [byte]\n"
              "    [100000010] File Format = Exif\n"
              "    [100000014] NULL = 0x00 / Padding = 0x00\n"
              "    [100000016] Thumbnail Data (TIFF Format) 0x100000016 - 0x10000001D\n"
              "  [100000020] EOI\n");
}

// Exif data just below 4 GiB whose offsets, added to its header's position,
// lead past 4 GiB and past the file's end: those positions are not read,
// and no sum wraps round to the start of the file.
TEST(IoFaults, ExifOffsetsPastFourGiBAreNotRead)
{
    TempDir dir;
    const std::string path = dir.Path() + "/exif-high.tif";
    // Little-endian TIFF, one IFD: Compression 6, JPEGInterchangeFormat
    // 0xFFFFFF00, JPEGInterchangeFormatLength 40.
    WriteAt(path, 0,
            {'I', 'I', 42, 0, 8, 0, 0, 0, 3, 0,
             0x03, 0x01, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0,
             0x01, 0x02, 4, 0, 1, 0, 0, 0, 0x00, 0xFF, 0xFF, 0xFF,
             0x02, 0x02, 4, 0, 1, 0, 0, 0, 40, 0, 0, 0,
             0, 0, 0, 0});
    // The Exif header at 0xFFFFFF0C; its IFD holds DateTime at offset 0x200
    // and names a next IFD at offset 0x300.
    WriteAt(path, 0xFFFFFF00,
            {0xFF, 0xD8,
             0xFF, 0xE1, 0, 34, 'E', 'x', 'i', 'f', 0, 0,
             'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0,
             0x32, 0x01, 2, 0, 20, 0, 0, 0, 0x00, 0x02, 0, 0,
             0x00, 0x03, 0, 0,
             0xFF, 0xD9});
    Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const std::string detail = h.DetailText(path);
    const size_t exif = detail.find("[ffffff0c] ImageFileHeader");
    ASSERT_NE(exif, std::string::npos) << detail;
    const std::string nested = detail.substr(exif);
    EXPECT_NE(nested.find("[ffffff1e] Offset = 0x10000010c\n"), std::string::npos) << nested;
    EXPECT_NE(nested.find("[ffffff22] Offset to Next IFD = 0x10000020c\n"), std::string::npos) << nested;
    // Neither the DateTime text nor a second IFD.
    const size_t next = nested.find("Offset to Next IFD");
    EXPECT_EQ(nested.find("ImageFileDirectory", next), std::string::npos) << nested;
    EXPECT_EQ(nested.find("[ffffff1e] Offset = 0x10000010c\n        \n"), std::string::npos) << nested;
}

}  // namespace
