// Writes the bundled sample files: small JPEG, TIFF and SWF files made with
// libjpeg, libtiff and zlib (test-only libraries), plus hand-built Exif and
// SWF structures. Usage: make_samples DIR
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>
#include <tiffio.h>
#include <zlib.h>

namespace {

using Bytes = std::vector<uint8_t>;

struct LittleEndian {
    Bytes& out;
    void U8(uint32_t v) { out.push_back(static_cast<uint8_t>(v)); }
    void U16(uint32_t v) { U8(v); U8(v >> 8); }
    void U32(uint32_t v) { U16(v); U16(v >> 16); }
    void Text(const std::string& s) { out.insert(out.end(), s.begin(), s.end()); }
};

bool WriteFile(const std::string& path, const Bytes& bytes)
{
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return false;
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), fp) == bytes.size();
    return std::fclose(fp) == 0 && ok;
}

// An RGB test picture: colour gradients with a few circles.
Bytes Picture(int w, int h)
{
    Bytes rgb(static_cast<size_t>(w) * h * 3);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            uint8_t* p = &rgb[(static_cast<size_t>(y) * w + x) * 3];
            const double d = std::hypot(x - w / 2.0, y - h / 2.0);
            const bool ring = static_cast<int>(d) / 8 % 2 == 0;
            p[0] = static_cast<uint8_t>(255 * x / std::max(1, w - 1));
            p[1] = static_cast<uint8_t>(255 * y / std::max(1, h - 1));
            p[2] = ring ? 200 : 40;
        }
    return rgb;
}

Bytes EncodeJpeg(const Bytes& rgb, int w, int h, int hSampling, int vSampling, int restartRows)
{
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
    jpeg_set_quality(&cinfo, 85, TRUE);
    cinfo.comp_info[0].h_samp_factor = hSampling;
    cinfo.comp_info[0].v_samp_factor = vSampling;
    cinfo.restart_in_rows = restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&rgb[static_cast<size_t>(cinfo.next_scanline) * w * 3]);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    Bytes out(buffer, buffer + size);
    jpeg_destroy_compress(&cinfo);
    std::free(buffer);
    return out;
}

// An APP1 Exif segment: IFD0 with Make, DateTime and the Exif IFD pointer,
// the Exif IFD with ExifVersion, and IFD1 describing a JPEG thumbnail.
Bytes ExifSegment(const Bytes& thumbnail)
{
    Bytes tiff;
    LittleEndian le{tiff};
    le.Text("II");
    le.U16(42);
    le.U32(8);
    // IFD0 at 8: 4 entries -> 2 + 48 + 4 = 54 bytes; data follows at 62.
    const uint32_t makeOffset = 62, dateOffset = makeOffset + 8, exifIfd = dateOffset + 20;
    const uint32_t ifd1 = exifIfd + 2 + 12 + 4, thumbOffset = ifd1 + 2 + 3 * 12 + 4;
    le.U16(4);
    le.U16(0x010F); le.U16(2); le.U32(8); le.U32(makeOffset);
    le.U16(0x0112); le.U16(3); le.U32(1); le.U32(1);
    le.U16(0x0132); le.U16(2); le.U32(20); le.U32(dateOffset);
    le.U16(0x8769); le.U16(4); le.U32(1); le.U32(exifIfd);
    le.U32(ifd1);
    le.Text(std::string("Vantrel", 8));
    le.Text(std::string("2026:12:08 12:00:00", 20));
    le.U16(1);
    le.U16(0x9000); le.U16(7); le.U32(4); le.Text("0230");
    le.U32(0);
    le.U16(3);
    le.U16(0x0103); le.U16(3); le.U32(1); le.U32(6);
    le.U16(0x0201); le.U16(4); le.U32(1); le.U32(thumbOffset);
    le.U16(0x0202); le.U16(4); le.U32(1); le.U32(static_cast<uint32_t>(thumbnail.size()));
    le.U32(0);
    tiff.insert(tiff.end(), thumbnail.begin(), thumbnail.end());

    Bytes segment{0xFF, 0xE1};
    const size_t length = 2 + 6 + tiff.size();
    segment.push_back(static_cast<uint8_t>(length >> 8));
    segment.push_back(static_cast<uint8_t>(length));
    const std::string exif("Exif\0\0", 6);
    segment.insert(segment.end(), exif.begin(), exif.end());
    segment.insert(segment.end(), tiff.begin(), tiff.end());
    return segment;
}

bool WriteTiff(const std::string& path, const char* mode, int w, int h, uint16_t compression)
{
    TIFF* tif = TIFFOpen(path.c_str(), mode);
    if (!tif)
        return false;
    const bool bilevel = compression == COMPRESSION_CCITTFAX3 || compression == COMPRESSION_CCITTFAX4;
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, w);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, h);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, compression);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 16);
    TIFFSetField(tif, TIFFTAG_XRESOLUTION, 72.0);
    TIFFSetField(tif, TIFFTAG_YRESOLUTION, 72.0);
    TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, RESUNIT_INCH);
    TIFFSetField(tif, TIFFTAG_SOFTWARE, "Vantrel sample generator");
    const Bytes rgb = Picture(w, h);
    if (bilevel) {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 1);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISWHITE);
        Bytes row(static_cast<size_t>((w + 7) / 8));
        for (int y = 0; y < h; ++y) {
            std::fill(row.begin(), row.end(), 0);
            for (int x = 0; x < w; ++x)
                if (rgb[(static_cast<size_t>(y) * w + x) * 3 + 2] > 100)
                    row[x / 8] |= static_cast<uint8_t>(0x80 >> (x % 8));
            TIFFWriteScanline(tif, row.data(), static_cast<uint32_t>(y), 0);
        }
    } else {
        TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 8);
        TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 3);
        TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_RGB);
        if (compression == COMPRESSION_LZW)
            TIFFSetField(tif, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
        for (int y = 0; y < h; ++y)
            TIFFWriteScanline(tif, const_cast<uint8_t*>(&rgb[static_cast<size_t>(y) * w * 3]),
                              static_cast<uint32_t>(y), 0);
    }
    TIFFClose(tif);
    return true;
}

// An uncompressed SWF file: a 550 x 400 stage (RECT with 15-bit fields),
// 12 frames per second, a background colour, two frames and the End tag.
Bytes SwfBody()
{
    Bytes body;
    // RECT: 5-bit field width 15, then Xmin 0, Xmax 11000, Ymin 0, Ymax 8000 in twips.
    uint64_t bits = 0;
    int count = 0;
    auto put = [&](uint32_t value, int width) {
        for (int i = width - 1; i >= 0; --i) {
            bits = (bits << 1) | ((value >> i) & 1u);
            if (++count % 8 == 0) {
                body.push_back(static_cast<uint8_t>(bits));
                bits = 0;
            }
        }
    };
    put(15, 5);
    put(0, 15);
    put(11000, 15);
    put(0, 15);
    put(8000, 15);
    while (count % 8)
        put(0, 1);
    LittleEndian le{body};
    le.U16(12 << 8);      // frame rate 12.0 in 8.8 fixed point
    le.U16(2);            // frame count
    le.U16(9 << 6 | 3);   // SetBackgroundColor
    le.U8(0x33); le.U8(0x66); le.U8(0x99);
    le.U16(1 << 6);       // ShowFrame
    le.U16(12 << 6 | 0x3F);   // DoAction with a long length
    le.U32(1);
    le.U8(0);
    le.U16(1 << 6);
    le.U16(0);            // End
    return body;
}

Bytes SwfFile(const Bytes& body, bool compressed)
{
    Bytes out;
    LittleEndian le{out};
    le.Text(compressed ? "CWS" : "FWS");
    le.U8(6);
    le.U32(static_cast<uint32_t>(8 + body.size()));
    if (!compressed) {
        out.insert(out.end(), body.begin(), body.end());
        return out;
    }
    uLongf size = compressBound(body.size());
    Bytes packed(size);
    compress2(packed.data(), &size, body.data(), body.size(), 9);
    out.insert(out.end(), packed.begin(), packed.begin() + static_cast<long>(size));
    return out;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    bool ok = true;

    const Bytes thumbnail = EncodeJpeg(Picture(32, 24), 32, 24, 2, 2, 0);
    Bytes photo = EncodeJpeg(Picture(160, 120), 160, 120, 2, 2, 0);
    // The Exif segment goes right after SOI, where cameras put it.
    const Bytes exif = ExifSegment(thumbnail);
    photo.insert(photo.begin() + 2, exif.begin(), exif.end());
    ok &= WriteFile(dir + "/photo-exif.jpg", photo);
    ok &= WriteFile(dir + "/odd-422-restart.jpg", EncodeJpeg(Picture(75, 41), 75, 41, 2, 1, 1));

    ok &= WriteTiff(dir + "/rgb-lzw.tif", "w", 96, 64, COMPRESSION_LZW);
    ok &= WriteTiff(dir + "/rgb-packbits-be.tif", "wb", 50, 30, COMPRESSION_PACKBITS);
    ok &= WriteTiff(dir + "/fax-g4.tif", "w", 200, 100, COMPRESSION_CCITTFAX4);

    const Bytes body = SwfBody();
    ok &= WriteFile(dir + "/stage.swf", SwfFile(body, false));
    ok &= WriteFile(dir + "/stage-compressed.swf", SwfFile(body, true));
    return ok ? 0 : 1;
}
