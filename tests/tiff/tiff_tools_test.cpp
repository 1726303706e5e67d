// Files that exiftool and GDAL's command-line tools write: every tag that
// exiftool lists by id carries a name, comments read as exiftool reads
// them, GeoTIFF keys and codes are named, and signed and floating-point
// pictures equal a linear stretch (numpy) of the samples as GDAL reads them.
#include <gtest/gtest.h>

#if __has_include(<tiffio.h>)
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "tiff/libtiff_picture.h"
#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

const std::string kPython = "/usr/bin/python3";
const std::string kConvert = "/usr/bin/convert-im6.q16";

bool RunTool(const std::string& command) { return std::system((command + " >/dev/null 2>&1").c_str()) == 0; }

std::string Output(const std::string& command)
{
    std::string text;
    if (FILE* p = popen((command + " 2>/dev/null").c_str(), "r")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            text.append(buffer, n);
        pclose(p);
    }
    return text;
}

bool Have(const std::string& tool) { return std::filesystem::exists(tool); }

// The ids of the IFD entries that `exiftool -v2` lists: each numbered entry
// line ("3)  ISO = 200") is followed by its "- Tag 0x8827" line. The keys of
// a GeoTIFF key directory, which it lists the same way, are keyed "geo"
// with their decimal id.
std::set<std::string> ExiftoolIds(const std::string& path)
{
    std::set<std::string> ids;
    std::istringstream lines(Output("/usr/bin/exiftool -v2 " + path));
    static const std::regex entry(R"(^[ |]*\d+\)\s)");
    static const std::regex tag(R"(- Tag 0x([0-9a-f]{4}))");
    static const std::regex directory(R"(^([ |]*)\+ \[(\w+) directory)");
    // The directories open at each depth of the listing.
    std::vector<std::string> open;
    bool numbered = false;
    for (std::string line; std::getline(lines, line);) {
        std::smatch m;
        if (std::regex_search(line, m, directory)) {
            open.resize(static_cast<size_t>(std::count(line.begin(), line.begin() + m[1].length(), '|')));
            open.push_back(m[2]);
        }
        if (numbered && std::regex_search(line, m, tag)) {
            const auto depth = static_cast<size_t>(std::count(line.begin(), line.begin() + m.position(0), '|'));
            const bool geo = depth >= 1 && depth - 1 < open.size() && open[depth - 1] == "GeoTiff";
            std::string id = m[1];
            for (char& c : id)
                c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
            ids.insert(geo ? "geo" + std::to_string(std::stoul(id, nullptr, 16)) : id);
        }
        numbered = std::regex_search(line, entry);
    }
    return ids;
}

void ExpectEveryListedTagNamed(const std::string& path, const std::string& detail)
{
    SCOPED_TRACE(path);
    const std::set<std::string> ids = ExiftoolIds(path);
    EXPECT_GT(ids.size(), 3u);
    for (const std::string& id : ids) {
        if (id.starts_with("geo")) {
            const std::string line = "GeoKey = " + id.substr(3) + " ... ";
            EXPECT_TRUE(Contains(detail, line)) << id;
            EXPECT_FALSE(Contains(detail, line + "UndefinedGeoKey")) << id;
            continue;
        }
        EXPECT_TRUE(Contains(detail, "Tag = 0x" + id + " ... ")) << id;
        EXPECT_FALSE(Contains(detail, "Tag = 0x" + id + " ... UndefinedTag")) << id;
    }
}

// Exif, GPS and Interoperability tags as a camera writes them.
const char* const kExifTags =
    " -Make=Vantrel -Model=Test -Artist=Someone -Copyright=None -Software=tools -ImageDescription=picture"
    " -ModifyDate='2024:05:06 07:08:09' -SubSecTime=45 -OffsetTime=+09:00"
    " -ExposureTime=1/250 -FNumber=2.8 -ExposureProgram#=3 -ISO=200 -SensitivityType=2"
    " -DateTimeOriginal='2024:05:06 07:08:09' -CreateDate='2024:05:06 07:08:09' -OffsetTimeOriginal=+09:00"
    " -OffsetTimeDigitized=+09:00 -SubSecTimeOriginal=123 -SubSecTimeDigitized=124"
    " -ShutterSpeedValue=1/250 -ApertureValue=2.8 -BrightnessValue=5 -ExposureCompensation=-0.7"
    " -MaxApertureValue=1.8 -SubjectDistance=3 -MeteringMode#=5 -LightSource#=1 -ExifIFD:Flash#=25 -FocalLength=35"
    " -UserComment=comment -ExifImageWidth=64 -ExifImageHeight=48 -FocalPlaneXResolution=100"
    " -FocalPlaneYResolution=100 -FocalPlaneResolutionUnit#=3 -SensingMethod#=2 -CustomRendered#=0"
    " -ExposureMode#=0 -WhiteBalance#=0 -DigitalZoomRatio=1 -FocalLengthIn35mmFormat=52"
    " -SceneCaptureType#=0 -GainControl#=0 -Contrast#=0 -Saturation#=0 -Sharpness#=0"
    " -SubjectDistanceRange#=2 -ImageUniqueID=0123456789abcdef0123456789abcdef -OwnerName=Owner"
    " -SerialNumber=42 -LensInfo='35 35 1.8 1.8' -LensMake=Vantrel -LensModel='FE 35mm F1.8'"
    " -LensSerialNumber=7 -Gamma=2.2 -GPSLatitude=35.6581 -GPSLatitudeRef=N -GPSLongitude=139.7017"
    " -GPSLongitudeRef=E -GPSAltitude=40.5 -GPSAltitudeRef#=1 -GPSTimeStamp=12:34:56 -GPSSatellites=5"
    " -GPSStatus=A -GPSMeasureMode=3 -GPSDOP=1.5 -GPSSpeedRef=K -GPSSpeed=3 -GPSTrackRef=T -GPSTrack=90"
    " -GPSImgDirectionRef=M -GPSImgDirection=45 -GPSMapDatum=WGS-84 -GPSDestLatitude=35"
    " -GPSDestLatitudeRef=S -GPSDestLongitude=139 -GPSDestLongitudeRef=W -GPSDestBearingRef=T"
    " -GPSDestBearing=10 -GPSDestDistanceRef=K -GPSDestDistance=2 -GPSProcessingMethod=GPS"
    " -GPSAreaInformation=Tokyo -GPSDateStamp=2024:05:06 -GPSDifferential#=0 -GPSHPositioningError=5"
    " -InteropIndex=R98 -InteropVersion=0100 -RelatedImageWidth=64 -RelatedImageHeight=48"
    " -XPTitle=title -Rating=3";

}  // namespace

TEST(TiffTools, ExiftoolTagsCarryNamesAndReadAsExiftoolReadsThem)
{
    if (!Have("/usr/bin/exiftool") || !Have(kConvert))
        GTEST_SKIP() << "exiftool or ImageMagick is not installed";
    testing_support::TempDir dir;
    for (const char* name : {"photo.jpg", "photo.tif"}) {
        const std::string path = dir.Path() + "/" + name;
        ASSERT_TRUE(RunTool(kConvert + " -size 64x48 gradient:red-blue " + path));
        ASSERT_TRUE(RunTool("/usr/bin/exiftool -q -overwrite_original" + std::string(kExifTags) + " " + path));
        EXPECT_EQ(FileAnomalies(path), "rough:\ndetailed:\n") << name;
        const std::string d = DrawFile(path)->detail;
        ExpectEveryListedTagNamed(path, d);
        // The interpretations of the tags people read, each a value line.
        for (const char* line : {"1/250 sec", "F2.8", "ISO 200", "Aperture priority", "Pattern", "Flash fired",
                                 "Auto mode", "35.0 mm", "FE 35mm F1.8", "0232", "0100",
                                 "2024:05:06 07:08:09.123 +09:00", "2024:05:06 07:08:09.45 +09:00",
                                 "35°39'29.16\" N (35.658100)", "35°0'0.00\" S (-35.000000)",
                                 "40.50 m (Below sea level)", "12:34:56.00 UTC"})
            EXPECT_TRUE(Contains(d, std::string("  ") + line + "\n")) << line;
        EXPECT_TRUE(Contains(d, "] Tag = 0x0001 ... InteroperabilityIndex\n"));
    }
}

TEST(TiffTools, UserCommentInItsThreeCodesReadsAsExiftoolReadsIt)
{
    if (!Have("/usr/bin/exiftool") || !Have(kConvert))
        GTEST_SKIP() << "exiftool or ImageMagick is not installed";
    testing_support::TempDir dir;
    const std::string path = dir.Path() + "/comment.jpg";
    ASSERT_TRUE(RunTool(kConvert + " -size 16x16 xc:gray " + path));
    // exiftool writes ASCII, or Unicode for other text; JIS is made from an
    // ASCII comment by changing its code and bytes.
    const std::pair<std::string, std::string> comments[] = {
        {"a comment", "ASCII"}, {"日本語のコメント", "Unicode"}, {"XXXXXXXX", "JIS"}};
    for (const auto& [text, code] : comments) {
        ASSERT_TRUE(RunTool("/usr/bin/exiftool -q -overwrite_original -UserComment='" + text + "' " + path));
        if (code == "JIS") {
            Bytes file = testing_support::ReadFile(path);
            const std::string ascii("ASCII\0\0\0XXXXXXXX", 16);
            auto at = std::search(file.begin(), file.end(), ascii.begin(), ascii.end());
            ASSERT_NE(at, file.end());
            const uint8_t jis[] = {'J', 'I', 'S', 0, 0, 0, 0, 0, 0x46, 0x7C, 0x4B, 0x5C, 0x38, 0x6C, 0x25, 0x46};
            std::copy(std::begin(jis), std::end(jis), at);
            dir.Write("comment.jpg", file);
        }
        const std::string expected = Output("/usr/bin/exiftool -b -UserComment " + path);
        ASSERT_FALSE(expected.empty()) << code;
        const std::string d = DrawFile(path)->detail;
        const size_t at = d.find(" Character Code = " + code + "\n");
        ASSERT_NE(at, std::string::npos) << code << d;
        const size_t line = d.find('\n', at) + 1;
        EXPECT_EQ(d.substr(line, d.find('\n', line) - line).substr(d.find_first_not_of(' ', line) - line),
                  expected)
            << code;
    }
}

namespace {

// Writes numbers of a dtype as an ENVI image GDAL reads ("make"), or turns
// GDAL's ENVI reading of a picture into the picture expected on screen
// ("expect"): the samples stretched linearly from the smallest to the
// largest finite value of all bands, NaN black, blue-green-red a pixel.
const char* const kNumpyScript = R"(
import numpy as np, sys
mode, raw = sys.argv[1], sys.argv[2]
if mode == "make":
    dtype, w, h, bands = sys.argv[3], int(sys.argv[4]), int(sys.argv[5]), int(sys.argv[6])
    y, x = np.mgrid[0:h, 0:w]
    planes = []
    for b in range(bands):
        v = np.sin(x / 5.0 + b) * 1000.0 + y * 35.5 - 400.0 - b * 7
        if dtype.startswith("int"):
            v = np.round(v)
        planes.append(v.astype(dtype))
    a = np.stack(planes)
    if dtype.startswith("float"):
        a[0, 3, 4] = np.nan
    a.tofile(raw)
    codes = {"int16": 2, "int32": 3, "float32": 4, "float64": 5}
    open(raw[:-4] + ".hdr", "w").write("ENVI\nsamples = %d\nlines = %d\nbands = %d\nheader offset = 0\n"
        "data type = %d\ninterleave = bsq\nbyte order = 0\n" % (w, h, bands, codes[dtype]))
    sys.exit(0)
header = {}
for line in open(raw[:-4] + ".hdr").read().splitlines():
    if "=" in line:
        header[line.split("=", 1)[0].strip()] = line.split("=", 1)[1].strip()
w, h, bands = int(header["samples"]), int(header["lines"]), int(header["bands"])
types = {"1": "u1", "2": "i2", "3": "i4", "4": "f4", "5": "f8", "12": "u2"}
order = ">" if header.get("byte order", "0") == "1" else "<"
a = np.fromfile(raw, dtype=order + types[header["data type"]]).astype(np.float64)
# GDAL keeps a pixel-interleaved picture's interleaving.
interleave = header.get("interleave", "bsq")
if interleave == "bip":
    a = a.reshape(h, w, bands).transpose(2, 0, 1)
elif interleave == "bil":
    a = a.reshape(h, bands, w).transpose(1, 0, 2)
else:
    a = a.reshape(bands, h, w)
finite = a[np.isfinite(a)]
mn, mx = finite.min(), finite.max()
with np.errstate(invalid="ignore"):
    level = np.floor((a - mn) * 255.0 / (mx - mn) + 0.5) if mx > mn else np.full(a.shape, 128.0)
level = np.where(np.isnan(a), 0, np.where(np.isinf(a), np.where(a > 0, 255, 0), np.clip(level, 0, 255)))
rgb = np.stack([level[0]] * 3) if bands == 1 else level[:3]
np.stack([rgb[2], rgb[1], rgb[0]], axis=-1).astype(np.uint8).tofile(sys.argv[3])
print("%.6g %.6g" % (mn, mx))
)";

struct DemCase {
    const char* name;
    const char* dtype;
    int bands;
    const char* options;
};

}  // namespace

TEST(TiffTools, SignedAndFloatingPointPicturesEqualAStretchOfGdalsReading)
{
    if (!Have("/usr/bin/gdal_translate") || !RunTool(kPython + " -c 'import numpy'"))
        GTEST_SKIP() << "GDAL's tools or numpy are not installed";
    const DemCase cases[] = {
        {"float32 deflate fp predictor", "float32", 1, "-co COMPRESS=DEFLATE -co PREDICTOR=3"},
        {"float64 lzw fp predictor tiles", "float64", 1,
         "-co COMPRESS=LZW -co PREDICTOR=3 -co TILED=YES -co BLOCKXSIZE=16 -co BLOCKYSIZE=16"},
        {"int16 lzw predictor", "int16", 1, "-co COMPRESS=LZW -co PREDICTOR=2"},
        {"int16 big-endian deflate predictor", "int16", 1, "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE -co PREDICTOR=2"},
        {"int32 big-endian", "int32", 1, "-co ENDIANNESS=BIG"},
        {"float64 big-endian fp predictor", "float64", 1, "-co ENDIANNESS=BIG -co COMPRESS=DEFLATE -co PREDICTOR=3"},
        {"float32 rgb chunky", "float32", 3, "-co PHOTOMETRIC=RGB -co COMPRESS=DEFLATE -co PREDICTOR=3"},
        {"float32 rgb planar", "float32", 3, "-co PHOTOMETRIC=RGB -co INTERLEAVE=BAND -co COMPRESS=PACKBITS"},
        {"float32 bigtiff", "float32", 1, "-co BIGTIFF=YES -co COMPRESS=DEFLATE -co PREDICTOR=3"},
    };
    testing_support::TempDir dir;
    const std::string script = dir.Write("stretch_samples.py", std::string(kNumpyScript));
    const std::string input = dir.Path() + "/input.raw";
    const std::string tif = dir.Path() + "/dem.tif";
    const std::string read = dir.Path() + "/read.raw";
    const std::string expected = dir.Path() + "/expected.bin";
    for (const DemCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string make = kPython + " " + script + " make " + input + " " + c.dtype + " 41 23 " +
                                 std::to_string(c.bands);
        ASSERT_TRUE(RunTool(make));
        std::filesystem::remove(tif);
        ASSERT_TRUE(RunTool("/usr/bin/gdal_translate -q -of GTiff " + std::string(c.options) + " " + input + " " + tif));
        ASSERT_TRUE(RunTool("/usr/bin/gdal_translate -q -of ENVI " + tif + " " + read));
        EXPECT_EQ(FileAnomalies(tif), "rough:\ndetailed:\n");
        const std::string range = Output(kPython + " " + script + " expect " + read + " " + expected);
        const auto d = DrawFile(tif);
        ASSERT_EQ(d->windows.size(), 1u) << d->detail;
        const CImageBuffer& image = d->windows[0]->image;
        ASSERT_NE(image.Pixels(), nullptr);
        const Bytes want = testing_support::ReadFile(expected);
        const std::vector<uint8_t> drawn = DrawnPicture(image);
        ASSERT_EQ(drawn.size(), want.size());
        EXPECT_EQ(FirstDifferentRow(drawn, want, image.PictureWidth()), -1);
        // The window's label gives the stretch's ends.
        std::istringstream ends(range);
        double mn = 0, mx = 0;
        ends >> mn >> mx;
        char label[128];
        std::snprintf(label, sizeof label, "IFD 0 最小 %g 最大 %g", mn, mx);
        EXPECT_EQ(d->windows[0]->label, label);
    }
}

TEST(TiffTools, GdalGeoTiffKeysOverviewsAndPrivateTagsAreNamed)
{
    if (!Have("/usr/bin/gdal_translate") || !Have("/usr/bin/gdaladdo") || !Have(kConvert))
        GTEST_SKIP() << "GDAL's tools or ImageMagick are not installed";
    testing_support::TempDir dir;
    const std::string source = dir.Path() + "/source.tif";
    ASSERT_TRUE(RunTool(kConvert + " -size 64x48 gradient:black-white -depth 8 -type Grayscale " + source));
    const std::pair<const char*, const char*> files[] = {
        {"utm.tif", "-a_srs EPSG:32654 -a_ullr 300000 3950000 300640 3949520 -a_nodata 0 -mo AREA=Tokyo"},
        {"geographic.tif", "-a_srs EPSG:4326 -a_ullr 139 36 140 35 -co BIGTIFF=YES -co TILED=YES"},
    };
    for (auto [name, options] : files) {
        const std::string path = dir.Path() + "/" + name;
        ASSERT_TRUE(RunTool("/usr/bin/gdal_translate -q " + std::string(options) + " " + source + " " + path));
        ASSERT_TRUE(RunTool("/usr/bin/gdaladdo -q " + path + " 2 4"));
        EXPECT_EQ(FileAnomalies(path), "rough:\ndetailed:\n") << name;
        const auto d = DrawFile(path);
        ExpectEveryListedTagNamed(path, d->detail);
        std::vector<std::string> labels;
        for (const ResultPicture* w : d->windows)
            labels.push_back(w->label);
        EXPECT_EQ(labels, (std::vector<std::string>{"IFD 0", "IFD 1", "IFD 2"}));
    }
    const std::string utm = DrawFile(dir.Path() + "/utm.tif")->detail;
    EXPECT_TRUE(Contains(utm, "] GeoKey = 1024 ... GTModelTypeGeoKey : 1 (ModelTypeProjected)\n")) << utm;
    EXPECT_TRUE(Contains(utm, "] GeoKey = 1025 ... GTRasterTypeGeoKey : 1 (RasterPixelIsArea)\n"));
    EXPECT_TRUE(Contains(utm, "] GeoKey = 3072 ... ProjectedCRSGeoKey : 32654 (WGS 84 / UTM zone 54N)\n"));
    EXPECT_TRUE(Contains(utm, "] GeoKey = 3076 ... ProjLinearUnitsGeoKey : 9001 (metre)\n"));
    EXPECT_TRUE(Contains(utm, "] Tag = 0xA481 ... GDAL_NODATA\n"));
    EXPECT_TRUE(Contains(utm, "] Tag = 0xA480 ... GDAL_METADATA\n"));
    const std::string geographic = DrawFile(dir.Path() + "/geographic.tif")->detail;
    EXPECT_TRUE(Contains(geographic, "] GeoKey = 2048 ... GeodeticCRSGeoKey : 4326 (WGS 84)\n")) << geographic;
}
#endif
