// JPEG data inside TIFF structures: a thumbnail IFD (Compression 6 with
// JPEGInterchangeFormat) is laid out by the JPEG analyzer under its data
// line, in a TIFF file and in the Exif segment of a JPEG file.
#include <gtest/gtest.h>

#if __has_include(<jpeglib.h>)
#include <cstdio>
#include <jpeglib.h>

#include "tiff/tiff_builder.h"

using namespace tiff_test;

namespace {

// A small baseline JPEG file written by libjpeg.
Bytes EncodeJpeg(uint32_t width, uint32_t height)
{
    jpeg_compress_struct cinfo;
    jpeg_error_mgr jerr;
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = width;
    cinfo.image_height = height;
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 80, TRUE);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(size_t{width} * 3);
    while (cinfo.next_scanline < height) {
        for (size_t i = 0; i < row.size(); ++i)
            row[i] = static_cast<uint8_t>(i * 5 + cinfo.next_scanline * 9);
        JSAMPROW rows[] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

std::string Hex8(uint64_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08x", static_cast<unsigned>(v));
    return text;
}

// "[%08x]" of an offset. Built by appending: GCC 12 warns falsely on
// const char* + std::string temporaries here.
std::string Bracket(uint32_t offset)
{
    std::string text(1, '[');
    text += Hex8(offset);
    text += ']';
    return text;
}

// The TIFF structure of an Exif segment: IFD 0 describes a main picture
// (whose data lies elsewhere), IFD 1 the JPEG thumbnail that follows the
// directories.
Bytes ThumbnailTiff(bool le, const Bytes& thumbnail, uint32_t* thumbnailAt)
{
    TiffBuilder t(le);
    auto build = [&](uint32_t at) {
        return t.Build({{t.Long(256, {64}), t.Long(257, {32}), t.Short(259, {6})},
                        {t.Short(259, {6}), t.Long(513, {at}), t.Long(514, {uint32_t(thumbnail.size())})}});
    };
    *thumbnailAt = static_cast<uint32_t>(build(0).size());
    Bytes tiff = build(*thumbnailAt);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());
    return tiff;
}

size_t Windows(const std::string& path)
{
    testing_support::Headless h;
    h.app.OpenFiles({path});
    h.Detailed(path);
    const AnalysisResult* doc = h.app.Detailed(path);
    return doc ? doc->pictures.size() : 0;
}

// The line that follows the first line containing text, or "".
std::string LineAfter(const std::string& detail, const std::string& text)
{
    const size_t at = detail.find(text);
    if (at == std::string::npos)
        return "";
    const size_t start = detail.find('\n', at) + 1;
    return detail.substr(start, detail.find('\n', start) - start);
}

size_t Indent(const std::string& line)
{
    return line.find_first_not_of(' ');
}

}  // namespace

TEST(TiffJpegData, ThumbnailIfdIsLaidOutByTheJpegAnalyzerWithoutATiffWindow)
{
    const Bytes thumbnail = EncodeJpeg(24, 16);
    testing_support::TempDir dir;
    const size_t thumbnailWindows = Windows(dir.Write("thumbnail.jpg", thumbnail));
    for (bool le : {true, false}) {
        SCOPED_TRACE(le ? "II" : "MM");
        uint32_t at = 0;
        const Bytes file = ThumbnailTiff(le, thumbnail, &at);
        const std::string path = dir.Write("thumbnail.tif", file);
        const Analysis a = Analyse(file);
        const std::string dataLine = Bracket(at) + " Jpeg Data";
        ASSERT_TRUE(Contains(a.detail, "\n" + dataLine + "\n")) << a.detail;
        // The JPEG layout hangs under the data line, starting with its SOI.
        const std::string soi = LineAfter(a.detail, dataLine);
        EXPECT_EQ(soi.substr(Indent(soi)), Bracket(at) + " SOI");
        EXPECT_GT(Indent(soi), 0u);
        EXPECT_TRUE(Contains(a.detail, "] EOI\n"));
        // IFD 0 has neither strips nor JPEG data: no window; IFD 1 gets none
        // from the TIFF side, only what the JPEG analyzer shows.
        EXPECT_EQ(Windows(path), thumbnailWindows);
    }
}

TEST(TiffJpegData, ExifThumbnailOfAJpegFileHangsUnderTheThumbnailDataLine)
{
    const Bytes thumbnail = EncodeJpeg(16, 8);
    Bytes photo = EncodeJpeg(48, 32);
    uint32_t at = 0;
    const Bytes tiff = ThumbnailTiff(true, thumbnail, &at);
    // APP1: marker, length, "Exif", NUL, pad, then the TIFF structure; it
    // goes right after the photo's SOI.
    Bytes app1 = {0xFF, 0xE1};
    const size_t length = 2 + 6 + tiff.size();
    app1.push_back(static_cast<uint8_t>(length >> 8));
    app1.push_back(static_cast<uint8_t>(length));
    for (char c : std::string("Exif"))
        app1.push_back(static_cast<uint8_t>(c));
    app1.push_back(0);
    app1.push_back(0);
    app1.insert(app1.end(), tiff.begin(), tiff.end());
    photo.insert(photo.begin() + 2, app1.begin(), app1.end());

    const Analysis a = Analyse(photo, "photo.jpg");
    constexpr uint32_t kTiffAt = 2 + 10;
    const std::string thumbnailLine = Bracket(kTiffAt) + " Thumbnail Data (TIFF Format)";
    ASSERT_TRUE(Contains(a.detail, thumbnailLine)) << a.detail;
    const std::string dataLine = Bracket(kTiffAt + at) + " Jpeg Data";
    ASSERT_TRUE(Contains(a.detail, dataLine)) << a.detail;
    // The nested TIFF lies below the thumbnail line, its JPEG data below the
    // data line.
    const std::string header = LineAfter(a.detail, thumbnailLine);
    const size_t thumbnailIndent = Indent(a.detail.substr(a.detail.rfind('\n', a.detail.find(thumbnailLine)) + 1));
    EXPECT_EQ(header.substr(Indent(header)), Bracket(kTiffAt) + " ImageFileHeader");
    EXPECT_GT(Indent(header), thumbnailIndent);
    const std::string soi = LineAfter(a.detail, dataLine);
    EXPECT_EQ(soi.substr(Indent(soi)), Bracket(kTiffAt + at) + " SOI");
    const size_t dataIndent = Indent(a.detail.substr(a.detail.rfind('\n', a.detail.find(dataLine)) + 1));
    EXPECT_GT(Indent(soi), dataIndent);
    EXPECT_GT(dataIndent, thumbnailIndent);
}

#endif
