// Frames beyond one interleaved baseline scan: the same coefficients coded
// as baseline, progressive, arithmetic and in scans of one component give
// the same picture to the byte; every sampling and colour model writers use
// against libjpeg, with nothing reported wrong; damaged progressive and
// arithmetic data.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "core/tree_ranges.h"
#include "jpeg/jpeg_test_support.h"
#include "support/libjpeg_fixture.h"
#include "support/test_support.h"

using testing_support::Bytes;
using testing_support::ReadFile;
using testing_support::TempDir;

namespace {

constexpr const char* kCjpeg = "/usr/bin/cjpeg";
constexpr const char* kJpegtran = "/usr/bin/jpegtran";
constexpr const char* kConvert = "/usr/bin/convert-im6.q16";
constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kExiftool = "/usr/bin/exiftool";
constexpr const char* kGdalTranslate = "/usr/bin/gdal_translate";

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

bool Have(const char* tool) { return std::filesystem::exists(tool); }

// A PPM (or, for one component, PGM) of the fixture's picture.
std::string WritePicture(const TempDir& dir, int width, int height, int components)
{
    const Bytes picture = jpeg_fixture::MakePicture(width, height, components);
    std::string text = (components == 1 ? "P5 " : "P6 ") + std::to_string(width) + " " + std::to_string(height) + " 255\n";
    text.append(picture.begin(), picture.end());
    return dir.Write(components == 1 ? "in.pgm" : "in.ppm", text);
}

// The first picture of a detailed analysis, row by row from the top, blue
// green red; empty without one.
Bytes PictureOf(const std::string& path)
{
    testing_support::Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const AnalysisResult* doc = h.app.Detailed(path);
    if (!doc || doc->pictures.empty() || !doc->pictures[0].image.Pixels())
        return {};
    const CImageBuffer& image = doc->pictures[0].image;
    Bytes out;
    for (int32_t y = 0; y < image.PictureHeight(); ++y)
        for (int32_t x = 0; x < image.PictureWidth(); ++x)
            out.insert(out.end(), image.PixelAt(x, y), image.PixelAt(x, y) + 3);
    return out;
}

// Successive approximation of DC and AC in a scan script for jpegtran, and
// one full scan per component, which libjpeg writes as a sequential file of
// several scans.
const char* kApproximation3 =
    "0,1,2: 0-0, 0, 1;\n0: 1-5, 0, 2;\n2: 1-63, 0, 1;\n1: 1-63, 0, 1;\n0: 6-63, 0, 2;\n0: 1-63, 2, 1;\n"
    "0,1,2: 0-0, 1, 0;\n2: 1-63, 1, 0;\n1: 1-63, 1, 0;\n0: 1-63, 1, 0;\n";
const char* kApproximation1 =
    "0: 0-0, 0, 1;\n0: 1-9, 0, 2;\n0: 10-63, 0, 1;\n0: 1-9, 2, 1;\n0: 10-63, 1, 0;\n0: 1-9, 1, 0;\n0: 0-0, 1, 0;\n";
const char* kOnePerComponent3 = "0: 0-63, 0, 0;\n2: 0-63, 0, 0;\n1: 0-63, 0, 0;\n";

struct Layout {
    const char* sampling;   // cjpeg -sample, empty for grey
    int width;
    int height;
    int restart;            // MCUs; 0 for none
};

}  // namespace

TEST(JpegCoding, LosslessTranscodesGiveTheSamePictureToTheByte)
{
    if (!Have(kCjpeg) || !Have(kJpegtran))
        GTEST_SKIP() << "cjpeg and jpegtran are not installed";
    const Layout layouts[] = {
        {"2x2,1x1,1x1", 173, 117, 0}, {"2x2,1x1,1x1", 61, 37, 3},  {"1x1,1x1,1x1", 45, 70, 0},
        {"2x1,1x1,1x1", 77, 20, 2},   {"1x2,1x1,1x1", 33, 51, 0},  {"4x1,1x1,1x1", 90, 17, 4},
        {"4x2,1x1,1x1", 101, 50, 0},  {"2x2,2x1,1x2", 66, 66, 5},  {"1x1,2x2,1x1", 40, 24, 0},
        {"2x2,1x1,2x2", 57, 31, 1},   {"", 59, 43, 0},             {"", 30, 30, 6},
    };
    for (const Layout& l : layouts) {
        const std::string what = std::string(l.sampling) + " " + std::to_string(l.width) + "x" +
                                 std::to_string(l.height) + " restart " + std::to_string(l.restart);
        TempDir dir;
        const bool grey = *l.sampling == '\0';
        const std::string in = WritePicture(dir, l.width, l.height, grey ? 1 : 3);
        const std::string base = dir.Path() + "/base.jpg";
        std::string options = grey ? "" : std::string(" -sample ") + l.sampling;
        if (l.restart)
            options += " -restart " + std::to_string(l.restart) + "B";
        ASSERT_TRUE(RunTool(std::string(kCjpeg) + " -quality 80" + options + " -outfile " + base + " " + in)) << what;
        dir.Write("sa.txt", std::string(grey ? kApproximation1 : kApproximation3));
        dir.Write("one.txt", std::string(kOnePerComponent3));
        std::vector<std::string> variants = {"-progressive", "-scans " + dir.Path() + "/sa.txt", "-arithmetic",
                                             "-arithmetic -progressive",
                                             "-arithmetic -scans " + dir.Path() + "/sa.txt"};
        if (!grey)
            variants.push_back("-scans " + dir.Path() + "/one.txt");
        const Bytes expected = PictureOf(base);
        ASSERT_FALSE(expected.empty()) << what;
        for (size_t i = 0; i < variants.size(); ++i) {
            const std::string out = dir.Path() + "/v" + std::to_string(i) + ".jpg";
            ASSERT_TRUE(RunTool(std::string(kJpegtran) + " " + variants[i] + " -outfile " + out + " " + base)) << variants[i];
            EXPECT_TRUE(PictureOf(out) == expected) << what << " " << variants[i];
        }
    }
}

namespace {

struct WriterCase {
    const char* name;
    std::string (*make)(const TempDir& dir);
};

std::string Cjpeg(const TempDir& dir, const std::string& options)
{
    const std::string in = WritePicture(dir, 150, 90, 3);
    const std::string out = dir.Path() + "/w.jpg";
    return RunTool(std::string(kCjpeg) + " " + options + " -outfile " + out + " " + in) ? out : "";
}

std::string Convert(const TempDir& dir, const std::string& options)
{
    const std::string in = WritePicture(dir, 150, 90, 3);
    const std::string out = dir.Path() + "/w.jpg";
    return RunTool(std::string(kConvert) + " " + in + " " + options + " " + out) ? out : "";
}

std::string Pillow(const TempDir& dir, const std::string& mode, const std::string& arguments)
{
    const std::string in = WritePicture(dir, 150, 90, 3);
    const std::string out = dir.Path() + "/w.jpg";
    const std::string script = "from PIL import Image\nImage.open('" + in + "').convert('" + mode + "').save('" + out +
                               "', 'JPEG'" + arguments + ")\n";
    dir.Write("w.py", script);
    return RunTool(std::string(kPython) + " " + dir.Path() + "/w.py") ? out : "";
}

// A cjpeg file rewritten by jpegtran, or given metadata by exiftool.
std::string Jpegtran(const TempDir& dir, const std::string& options)
{
    const std::string in = Cjpeg(dir, "-quality 85");
    const std::string out = dir.Path() + "/t.jpg";
    return !in.empty() && RunTool(std::string(kJpegtran) + " " + options + " -outfile " + out + " " + in) ? out : "";
}

std::string Exiftool(const TempDir& dir, const std::string& options)
{
    const std::string out = Cjpeg(dir, "-quality 85");
    return !out.empty() && RunTool(std::string(kExiftool) + " -q -overwrite_original " + options + " " + out) ? out : "";
}

std::string Gdal(const TempDir& dir, const std::string& options)
{
    const std::string in = WritePicture(dir, 150, 90, 3);
    const std::string out = dir.Path() + "/w.jpg";
    return RunTool(std::string(kGdalTranslate) + " -q -of JPEG " + options + " " + in + " " + out) ? out : "";
}

const WriterCase kWriters[] = {
    {"cjpeg_rgb", [](const TempDir& d) { return Cjpeg(d, "-rgb -quality 90"); }},
    {"cjpeg_progressive_411", [](const TempDir& d) { return Cjpeg(d, "-progressive -sample 4x1,1x1,1x1"); }},
    {"cjpeg_arithmetic_422", [](const TempDir& d) { return Cjpeg(d, "-arithmetic -sample 2x1,1x1,1x1"); }},
    {"cjpeg_optimize_restart", [](const TempDir& d) { return Cjpeg(d, "-optimize -restart 2 -sample 2x2,1x1,1x1"); }},
    {"cjpeg_smoothed_440", [](const TempDir& d) { return Cjpeg(d, "-smooth 10 -sample 1x2,1x1,1x1 -dct float"); }},
    {"magick_ycck", [](const TempDir& d) { return Convert(d, "-colorspace CMYK -quality 90"); }},
    {"magick_plane", [](const TempDir& d) { return Convert(d, "-interlace Plane -sampling-factor 2x2"); }},
    {"magick_sampling_410", [](const TempDir& d) { return Convert(d, "-sampling-factor 4x2,1x1,1x1"); }},
    {"pillow_cmyk", [](const TempDir& d) { return Pillow(d, "CMYK", ", quality=90"); }},
    {"pillow_progressive", [](const TempDir& d) { return Pillow(d, "RGB", ", progressive=True, subsampling=1"); }},
    {"pillow_grey_progressive", [](const TempDir& d) { return Pillow(d, "L", ", progressive=True"); }},
    {"pillow_icc", [](const TempDir& d) {
         return Pillow(d, "RGB", ", icc_profile=bytes(range(256)) * 300, subsampling=2, optimize=True");
     }},
    {"jpegtran_progressive_restart", [](const TempDir& d) { return Jpegtran(d, "-progressive -restart 1"); }},
    {"jpegtran_arithmetic", [](const TempDir& d) { return Jpegtran(d, "-arithmetic -restart 3B"); }},
    {"exiftool_metadata", [](const TempDir& d) {
         return Exiftool(d, "-Artist=writer -XMP:Title=title -IPTC:Keywords=key -Photoshop:XResolution=72");
     }},
    {"gdal_default", [](const TempDir& d) { return Gdal(d, ""); }},
    {"gdal_progressive", [](const TempDir& d) { return Gdal(d, "-co PROGRESSIVE=ON -co QUALITY=95"); }},
};

class JpegWriterTest : public ::testing::TestWithParam<WriterCase> {};

// The offsets of a JPEG file's markers: segments followed by their lengths,
// entropy-coded data scanned for the marker that ends it (RSTn inside it
// left out), up to EOI.
std::vector<size_t> SegmentOffsets(const Bytes& f)
{
    std::vector<size_t> at;
    size_t p = 0;
    bool data = false;
    while (p + 1 < f.size()) {
        if (data) {
            if (f[p] != 0xFF || f[p + 1] == 0 || f[p + 1] == 0xFF || (f[p + 1] >= 0xD0 && f[p + 1] <= 0xD7)) {
                ++p;
                continue;
            }
            data = false;
        }
        at.push_back(p);
        const uint8_t m = f[p + 1];
        if (m == 0xD9 || m == 0xD8) {
            p += 2;
            if (m == 0xD9)
                break;
            continue;
        }
        if (p + 4 > f.size())
            break;
        p += 2 + (size_t{f[p + 2]} << 8 | f[p + 3]);
        data = m == 0xDA;
    }
    return at;
}

}  // namespace

TEST_P(JpegWriterTest, PictureMatchesLibjpegAndNoSegmentIsInvalid)
{
    const std::string tool = std::string(GetParam().name).substr(0, std::string(GetParam().name).find('_'));
    if (((tool == "cjpeg" || tool == "jpegtran" || tool == "exiftool") && !Have(kCjpeg)) || (tool == "magick" && !Have(kConvert)) || (tool == "pillow" && !Have(kPython)) ||
        (tool == "jpegtran" && !Have(kJpegtran)) || (tool == "exiftool" && !Have(kExiftool)) ||
        (tool == "gdal" && !Have(kGdalTranslate)))
        GTEST_SKIP() << tool << " is not installed";
    TempDir dir;
    const std::string path = GetParam().make(dir);
    ASSERT_FALSE(path.empty());
    const Bytes file = ReadFile(path);
    const jpeg_test::Analysis a = jpeg_test::Analyse(file);
    EXPECT_EQ(a.rough.find("不正なマーカ"), std::string::npos) << a.rough;
    EXPECT_NE(a.result.find("[画像サイズ]  150 x    90 "), std::string::npos) << a.result;
    EXPECT_EQ(a.detail.find("未対応の形式"), std::string::npos);
    // Every segment has its line at the top of the tree, and every byte
    // some line.
    char head[16];
    for (size_t at : SegmentOffsets(file)) {
        std::snprintf(head, sizeof head, "[%08zx] ", at);
        EXPECT_TRUE(a.detail.rfind(head, 0) == 0 || a.detail.find(std::string("\n") + head) != std::string::npos)
            << "no line for the segment at " << at;
    }
    const auto detailed = jpeg_test::RunDetailed(file);
    ASSERT_NE(detailed->document, nullptr);
    // Nothing these writers make is reported wrong, in either mode.
    AnalysisResult found;
    found.anomalies = detailed->document->anomalies;
    if (const std::vector<Anomaly>* rough = detailed->h.app.RowAnomalies(detailed->path))
        found.anomalies.insert(found.anomalies.end(), rough->begin(), rough->end());
    // One writer is given bytes 0 to 255 over and over as its ICC profile:
    // that they make no profile is right to report.
    if (std::string(GetParam().name) == "pillow_icc")
        found.anomalies.erase(std::remove_if(found.anomalies.begin(), found.anomalies.end(),
                                             [](const Anomaly& a) { return a.kind.rfind("icc.", 0) == 0; }),
                              found.anomalies.end());
    EXPECT_EQ(testing_support::AnomalyList(found), "");
    EXPECT_TRUE(UncoveredRanges(detailed->document->lines, file.size()).empty());
    const jpeg_test::Difference d = jpeg_test::CompareWithLibjpeg(path, file);
    EXPECT_LE(d.mean, 3.0);
    EXPECT_LE(d.max, 24);
}

INSTANTIATE_TEST_SUITE_P(Writers, JpegWriterTest, ::testing::ValuesIn(kWriters),
                         [](const ::testing::TestParamInfo<WriterCase>& info) { return std::string(info.param.name); });

TEST(JpegCoding, DamagedProgressiveAndArithmeticDataFinishQuietly)
{
    if (!Have(kCjpeg) || !Have(kJpegtran))
        GTEST_SKIP() << "cjpeg and jpegtran are not installed";
    TempDir dir;
    const std::string in = WritePicture(dir, 96, 64, 3);
    const std::string base = dir.Path() + "/base.jpg";
    ASSERT_TRUE(RunTool(std::string(kCjpeg) + " -restart 1B -outfile " + base + " " + in));
    dir.Write("sa.txt", std::string(kApproximation3));
    uint32_t state = 7;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    const std::string variants[] = {"-progressive", "-arithmetic -progressive", "-arithmetic",
                                    "-scans " + dir.Path() + "/sa.txt"};
    for (const std::string& variant : variants) {
        const std::string coded = dir.Path() + "/coded.jpg";
        ASSERT_TRUE(RunTool(std::string(kJpegtran) + " " + variant + " -outfile " + coded + " " + base));
        const Bytes original = ReadFile(coded);
        for (int round = 0; round < 40; ++round) {
            Bytes f = original;
            // Change bytes after the headers: EOB runs, refinement bits,
            // markers and the end of the data all go wrong somewhere.
            const size_t from = f.size() / 3;
            for (int c = 0, n = 1 + int(next() % 6); c < n; ++c) {
                const size_t at = from + next() % (f.size() - from);
                f[at] = next() % 3 == 0 ? 0xFF : uint8_t(next());
            }
            if (round % 3 == 0)
                f.resize(from + next() % (f.size() - from));
            const auto d = jpeg_test::RunDetailed(f);
            // The picture is drawn as far as its data decodes.
            ASSERT_NE(d->Window(), nullptr) << variant << " round " << round;
            EXPECT_NE(d->Window()->image.Pixels(), nullptr);
        }
    }
}
