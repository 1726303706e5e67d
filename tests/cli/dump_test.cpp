#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include <tiffio.h>

#include "cli/image_export.h"
#include "cli/json_writer.h"
#include "support/test_support.h"

namespace {

using testing_support::Dump;
using testing_support::ReadFile;
using testing_support::TempDir;

// Splits text into lines (without their newlines).
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1)
        lines.push_back(text.substr(start, nl - start));
    return lines;
}

// Top-level (unindented) lines of a printed tree.
std::vector<std::string> TopLevel(const std::string& text)
{
    std::vector<std::string> top;
    for (const std::string& line : Lines(text))
        if (!line.empty() && line[0] != ' ')
            top.push_back(line);
    return top;
}

TEST(DumpUsage, BadArgumentsAreUsageErrors)
{
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--bogus", "x"}, {"--images"}, {"--images", "dir", "x"}, {"-d", "--ppm", "x"}}) {
        const auto r = Dump(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.out, "");
        EXPECT_NE(r.err.find("vantrel-dump: "), std::string::npos);
    }
    const auto help = Dump({"--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: vantrel-dump", 0), 0u);
    const auto version = Dump({"--version"});
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out, std::string("vantrel-dump ") + VANTREL_VERSION + "\n");
}

TEST(DumpOutput, UnsupportedFileIsReportedOnStandardError)
{
    TempDir dir;
    const std::string path = dir.Write("end.jpg", "\xFF\xD9");
    const auto r = Dump({path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[Vantrel] 未対応の形式です。 " + path + "\n");
    EXPECT_EQ(r.out, "\n");
}

TEST(DumpOutput, AFileGivenTwiceIsOpenedOnce)
{
    TempDir dir;
    const std::string path = dir.Write("a.tif", "II*\0");
    const auto r = Dump({path, path});
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "[ファイルオープンエラー] ファイル：" + path + " はすでに開かれています\n");
    const auto sections = r.out.find("\n\n");
    ASSERT_NE(sections, std::string::npos);
    EXPECT_EQ(TopLevel(r.out.substr(0, sections + 1)), std::vector<std::string>{path});
    const auto rows = Lines(r.out.substr(sections + 2));
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].rfind(path + "\tTIFF\t", 0), 0u);
}

TEST(DumpFolders, FilesOpenInNameOrderAndUnsupportedOnesAreCountedOnce)
{
    TempDir dir;
    const std::string b = dir.Write("b.tif", "II*\0");
    const std::string a = dir.Write("a.swf", "FWS");
    dir.Write("notes.txt", "text");
    dir.Write("z.bin", "\xFF\xD9");
    std::filesystem::create_directories(dir.Path() + "/sub");
    const std::string c = dir.Write("sub/c.jpg", "\xFF\xD8");
    dir.Write("sub/d.txt", "text");
    // The side file of a compressed SWF file beside it is the program's own
    // output, not a file of the folder; one without its SWF file is.
    dir.Write("a.swf.decompress", "body");
    dir.Write("sub/gone.swf.decompress", "body");
    std::filesystem::create_directories(dir.Path() + "/empty");
    const std::string skipped1 = "[Vantrel] フォルダ内の未対応の形式のファイルを2個読み飛ばしました\n";
    const std::string skipped2 = "[Vantrel] フォルダ内の未対応の形式のファイルを4個読み飛ばしました\n";
    struct Case {
        std::vector<std::string> args;
        std::vector<std::string> rows;   // paths, from the top
        std::string err;
        int status;
    };
    const Case cases[] = {
        {{dir.Path()}, {b, a}, skipped1, 1},
        {{"-r", dir.Path() + "/"}, {c, b, a}, skipped2, 1},
        {{"--progress", dir.Path() + "/sub"}, {c},
         "[1/3] " + c + "\n[2/3] " + dir.Path() + "/sub/d.txt\n[3/3] " + dir.Path() +
         "/sub/gone.swf.decompress\n[Vantrel] フォルダ内の未対応の形式のファイルを2個読み飛ばしました\n", 1},
        // A folder that holds nothing to open says so; its empty subfolder
        // inside a folder that does hold files does not.
        {{dir.Path() + "/empty"}, {}, "[Vantrel] フォルダ：" + dir.Path() + "/empty には開くファイルがありません\n", 0},
        // A folder is no duplicate of a file in it; the file given again is.
        {{a, dir.Path() + "/sub", a}, {c, a}, "[ファイルオープンエラー] ファイル：" + a + " はすでに開かれています\n" +
         "[Vantrel] フォルダ内の未対応の形式のファイルを2個読み飛ばしました\n", 1},
        {{dir.Path() + "/sub/c.jpg"}, {c}, "", 0},
    };
    for (const Case& test : cases) {
        std::vector<std::string> args{"--rows"};
        args.insert(args.end(), test.args.begin(), test.args.end());
        const auto r = Dump(args);
        SCOPED_TRACE(args.back());
        EXPECT_EQ(r.status, test.status);
        EXPECT_EQ(r.err, test.err);
        std::vector<std::string> paths;
        for (const std::string& line : Lines(r.out))
            paths.push_back(line.substr(0, line.find('\t')));
        EXPECT_EQ(paths, test.rows);
    }
}

TEST(DumpOutput, TreeRowsAndDetailedSelections)
{
    TempDir dir;
    const std::string a = dir.Write("a.swf", "FWS");
    const std::string b = dir.Write("b.jpg", "\xFF\xD8");
    const auto all = Dump({a, b});
    EXPECT_EQ(all.status, 0);
    EXPECT_EQ(all.err, "");
    const std::string tree = Dump({"--tree", a, b}).out;
    const std::string rows = Dump({"--rows", a, b}).out;
    EXPECT_EQ(all.out, tree + "\n" + rows);
    // The tree has the files at depth 0 in opening order; the rows put the
    // newest file first.
    EXPECT_EQ(TopLevel(tree), (std::vector<std::string>{a, b}));
    const auto rowLines = Lines(rows);
    ASSERT_EQ(rowLines.size(), 2u);
    EXPECT_EQ(rowLines[0].rfind(b + "\tJPEG\t", 0), 0u);
    EXPECT_EQ(rowLines[1].rfind(a + "\tSWF\t", 0), 0u);

    // Detailed trees in command-line order, each starting with its path and
    // separated by one empty line; a refused file has no tree.
    const std::string bad = dir.Write("bad", "xyz");
    const auto detailed = Dump({"-d", a, bad, b});
    EXPECT_EQ(detailed.status, 1);
    const auto lines = Lines(detailed.out);
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines[0], a);
    const auto blank = std::find(lines.begin(), lines.end(), std::string());
    ASSERT_NE(blank, lines.end());
    ASSERT_NE(blank + 1, lines.end());
    EXPECT_EQ(blank[1], b);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), std::string()), 1);
}

TEST(DumpJson, CarriesFilesMessagesAndRawBytes)
{
    TempDir dir;
    const std::string path = dir.Write("x\xFFy.tif", "MM");
    const std::string bad = dir.Write("bad", "no");
    const auto r = Dump({"--json", "-d", path, bad});
    EXPECT_EQ(r.status, 1);
    const std::string escapedPath = dir.Path() + "/x\\udcffy.tif";
    EXPECT_NE(r.out.find("{\"path\":\"" + escapedPath + "\",\"opened\":true,\"format\":\"TIFF\",\"result\":\""),
              std::string::npos)
        << r.out;
    EXPECT_NE(r.out.find("\"detailed\":{\"tree\":[{\"text\":\"" + escapedPath + "\"},"),
              std::string::npos);
    EXPECT_NE(r.out.find("\"opened\":false,\"format\":null"), std::string::npos);
    EXPECT_NE(r.out.find("{\"caption\":\"Vantrel\",\"text\":\"未対応の形式です。\\n"), std::string::npos);
    EXPECT_EQ(r.out.back(), '\n');
}

TEST(JsonWriter, EscapesControlsAndKeepsValidUtf8)
{
    std::ostringstream out;
    CJsonWriter::WriteEscaped(out, std::string("a\"\\\n\t\x01\x7F解\xE8\xA7\xED\xA0\x80\xC0\xAF", 17));
    EXPECT_EQ(out.str(), "\"a\\\"\\\\\\n\\t\\u0001\\u007f解\\udce8\\udca7\\udced\\udca0\\udc80\\udcc0\\udcaf\"");
}

TEST(ImageExport, BmpAndPpmHoldThePictureWithoutItsMargin)
{
    CImageBuffer image;
    // A 3 x 2 picture: bitmap 16 x 16 with 13 margin columns and 14 margin rows.
    uint8_t* pixels = image.Create(16, 13, 16, 14);
    ASSERT_NE(pixels, nullptr);
    auto put = [&](int x, int y, uint8_t b, uint8_t g, uint8_t r) {
        uint8_t* p = pixels + static_cast<size_t>(15 - y) * image.RowBytes() + x * 3;
        p[0] = b;
        p[1] = g;
        p[2] = r;
    };
    put(0, 0, 1, 2, 3);
    put(2, 0, 4, 5, 6);
    put(1, 1, 7, 8, 9);
    TempDir dir;
    ASSERT_TRUE(WritePpm(image, dir.Path() + "/p.ppm"));
    const auto ppm = ReadFile(dir.Path() + "/p.ppm");
    const std::string header = "P6\n3 2\n255\n";
    ASSERT_EQ(ppm.size(), header.size() + 18);
    const std::vector<uint8_t> body(ppm.begin() + static_cast<long>(header.size()), ppm.end());
    EXPECT_EQ(body, (std::vector<uint8_t>{3, 2, 1, 0, 0, 0, 6, 5, 4, 0, 0, 0, 9, 8, 7, 0, 0, 0}));

    ASSERT_TRUE(WriteBmp(image, dir.Path() + "/p.bmp"));
    const auto bmp = ReadFile(dir.Path() + "/p.bmp");
    // Rows of 9 bytes padded to 12, bottom row first.
    ASSERT_EQ(bmp.size(), 54u + 24u);
    EXPECT_EQ(bmp[0], 'B');
    EXPECT_EQ(bmp[18], 3);
    EXPECT_EQ(bmp[22], 2);
    EXPECT_EQ(bmp[28], 24);
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 54, bmp.begin() + 66),
              (std::vector<uint8_t>{0, 0, 0, 7, 8, 9, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(std::vector<uint8_t>(bmp.begin() + 66, bmp.end()),
              (std::vector<uint8_t>{1, 2, 3, 0, 0, 0, 4, 5, 6, 0, 0, 0}));

    CImageBuffer empty;
    EXPECT_EQ(empty.Create(1 << 16, 1, 1 << 16, 1), nullptr);
    EXPECT_FALSE(WriteBmp(empty, dir.Path() + "/none.bmp"));
}

// A picture beyond the picture budget: the same lines, a reduced picture in
// the JSON document, and the same picture files, written a band of rows at a
// time, as with the budget that holds it whole.
TEST(DumpImages, PicturesBeyondTheBudgetAreWrittenWholeFromBands)
{
    TempDir dir;
    const std::string path = dir.Path() + "/large.tif";
    constexpr uint32_t kWidth = 700, kHeight = 501, kTile = 64;
    {
        TIFFSetWarningHandler(nullptr);
        TIFF* tif = TIFFOpen(path.c_str(), "w");
        ASSERT_NE(tif, nullptr);
        TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, kWidth);
        TIFFSetField(tif, TIFFTAG_IMAGELENGTH, kHeight);
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_LZW);
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, kTile);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, kTile);
        std::vector<uint8_t> tile(kTile * kTile * 3);
        for (uint32_t y = 0; y < kHeight; y += kTile)
            for (uint32_t x = 0; x < kWidth; x += kTile) {
                for (uint32_t i = 0; i < tile.size(); ++i)
                    tile[i] = static_cast<uint8_t>((x + i / 3 % kTile) * (i % 3 + 1) + (y + i / 3 / kTile) * 5);
                ASSERT_GT(TIFFWriteTile(tif, tile.data(), x, y, 0, 0), 0);
            }
        TIFFClose(tif);
    }
    for (const bool ppm : {false, true}) {
        SCOPED_TRACE(ppm);
        std::vector<std::string> whole{"-d", "--images", dir.Path() + "/whole"};
        std::vector<std::string> reduced{"-d", "--picture-budget", "1", "--images", dir.Path() + "/reduced"};
        if (ppm) {
            whole.push_back("--ppm");
            reduced.push_back("--ppm");
        }
        whole.push_back(path);
        reduced.push_back(path);
        const auto a = Dump(whole);
        const auto b = Dump(reduced);
        EXPECT_EQ(b.status, 0);
        EXPECT_EQ(a.out, b.out);
        const std::string name = std::string("/large.tif.1.") + (ppm ? "ppm" : "bmp");
        const auto expected = ReadFile(dir.Path() + "/whole" + name);
        ASSERT_GT(expected.size(), size_t{kWidth} * kHeight * 3);
        EXPECT_TRUE(ReadFile(dir.Path() + "/reduced" + name) == expected);
    }
    const auto json = Dump({"--json", "-d", "--picture-budget", "1", path});
    EXPECT_NE(json.out.find("\"width\":700,\"height\":501,\"pixels\":true,\"reducedBy\":4"), std::string::npos)
        << json.out.substr(json.out.find("\"images\""));
}

}  // namespace

// Analysing several files at once must change nothing a user sees: the same
// trees, rows, messages, progress lines, exit status and picture files, in
// the same order, as one file at a time.
TEST(DumpJobs, SeveralFilesAtOnceGiveTheOutputOfOneAtATime)
{
    TempDir dir;
    namespace fs = std::filesystem;
    // Copies, so that compressed SWF files leave their side files here.
    for (const char* folder : {"/samples", "/tests/corpus"})
        for (const auto& entry : fs::directory_iterator(std::string(VANTREL_SOURCE_DIR) + folder))
            if (entry.path().extension() != ".md" && entry.path().extension() != ".py" &&
                entry.path().extension() != ".decompress")
                fs::copy_file(entry.path(), dir.Path() + "/" + entry.path().filename().string(),
                              fs::copy_options::overwrite_existing);
    dir.Write("broken.jpg", "\xFF\xD8\xFF\xC0\x00\x11");
    dir.Write("again.tif", "II*\0");
    const std::string files = dir.Path();
    auto images = [&](const std::string& folder) {
        std::vector<std::pair<std::string, testing_support::Bytes>> written;
        for (const auto& entry : fs::directory_iterator(folder))
            written.emplace_back(entry.path().filename().string(), ReadFile(entry.path().string()));
        std::sort(written.begin(), written.end());
        return written;
    };
    for (const std::vector<std::string>& options :
         {std::vector<std::string>{"--progress"}, {"--json", "-d"}, {"-d", "--gaps"}, {"-d", "--images"}}) {
        SCOPED_TRACE(options.back());
        std::vector<std::string> serial = options, parallel = options;
        const bool withImages = options.back() == "--images";
        const std::string oneDir = dir.Path() + ".j1", manyDir = dir.Path() + ".j3";
        if (withImages) {
            fs::create_directories(oneDir);
            fs::create_directories(manyDir);
            serial.push_back(oneDir);
            parallel.push_back(manyDir);
        }
        // Each picture on one decoding thread against three.
        serial.insert(serial.end(), {"-j", "1", "--decode-threads", "1", files, files + "/again.tif"});
        parallel.insert(parallel.end(), {"-j3", "--decode-threads=3", files, files + "/again.tif"});
        const auto one = Dump(serial);
        const auto many = Dump(parallel);
        EXPECT_EQ(one.status, many.status);
        // A picture that cannot be written (a reduced one whose full size a
        // BMP file cannot hold) is named with the folder it was to go to.
        const auto inFolder = [](std::string err, const std::string& folder) {
            for (size_t at = err.find(folder); at != std::string::npos; at = err.find(folder, at))
                err.replace(at, folder.size(), "IMAGES");
            return err;
        };
        EXPECT_EQ(inFolder(one.err, oneDir), inFolder(many.err, manyDir));
        EXPECT_EQ(one.out, many.out);
        EXPECT_GT(one.out.size(), 200u);
        if (withImages) {
            const auto written = images(oneDir);
            EXPECT_GT(written.size(), 20u);
            EXPECT_EQ(written, images(manyDir));
            fs::remove_all(oneDir);
            fs::remove_all(manyDir);
        }
    }
    for (const char* bad : {"0", "257", "x", "-1", "4k"}) {
        const auto r = Dump({"-j", bad, files});
        EXPECT_EQ(r.status, 2) << bad;
        EXPECT_NE(r.err.find("option '-j' needs a number of files from 1 to 256"), std::string::npos);
    }
    EXPECT_EQ(Dump({files, "-j"}).status, 2);
    for (const char* bad : {"x", "-1", "100", ""})
        EXPECT_EQ(Dump({"--decode-threads", bad, files}).status, 2) << bad;
    EXPECT_EQ(Dump({files, "--decode-threads"}).status, 2);
}
