#include "support/libjpeg_fixture.h"

#include <cmath>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>

namespace jpeg_fixture {

namespace {
struct ErrorJump {
    jpeg_error_mgr mgr;
    std::jmp_buf jump;
};

void OnError(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(info->err)->jump, 1);
}
}  // namespace

std::vector<uint8_t> MakePicture(int width, int height, int components)
{
    std::vector<uint8_t> picture(static_cast<size_t>(width) * height * components);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* p = &picture[(static_cast<size_t>(y) * width + x) * components];
            const double fx = static_cast<double>(x) / width;
            const double fy = static_cast<double>(y) / height;
            const int stripe = ((x / 23) + (y / 17)) % 2 ? 40 : 0;
            p[0] = static_cast<uint8_t>(std::lround(200 * fx + 30 * std::sin(y * 0.07)) + stripe);
            if (components == 3) {
                p[1] = static_cast<uint8_t>(std::lround(220 * fy + 20 * std::cos(x * 0.05)));
                p[2] = static_cast<uint8_t>(std::lround(120 + 100 * std::sin((x + y) * 0.02)) - stripe);
            }
        }
    }
    return picture;
}

std::vector<uint8_t> Encode(const std::vector<uint8_t>& picture, const EncodeOptions& options)
{
    jpeg_compress_struct info {};
    ErrorJump error {};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnError;
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    if (setjmp(error.jump)) {
        jpeg_destroy_compress(&info);
        std::free(buffer);
        return {};
    }
    jpeg_create_compress(&info);
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(options.width);
    info.image_height = static_cast<JDIMENSION>(options.height);
    info.input_components = options.components;
    info.in_color_space = options.components == 3 ? JCS_RGB : JCS_GRAYSCALE;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, options.quality, TRUE);
    if (options.rgb && options.components == 3)
        jpeg_set_colorspace(&info, JCS_RGB);
    info.comp_info[0].h_samp_factor = options.h0;
    info.comp_info[0].v_samp_factor = options.v0;
    for (int c = 1; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    info.restart_interval = static_cast<unsigned>(options.restartInterval);
    if (options.progressive)
        jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const size_t stride = static_cast<size_t>(options.width) * options.components;
    while (info.next_scanline < info.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(&picture[info.next_scanline * stride]);
        jpeg_write_scanlines(&info, &row, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> file(buffer, buffer + size);
    std::free(buffer);
    return file;
}

std::vector<uint8_t> Decode(const std::vector<uint8_t>& file, int* width, int* height)
{
    jpeg_decompress_struct info {};
    ErrorJump error {};
    info.err = jpeg_std_error(&error.mgr);
    error.mgr.error_exit = OnError;
    std::vector<uint8_t> rgb;
    if (setjmp(error.jump)) {
        jpeg_destroy_decompress(&info);
        return {};
    }
    jpeg_create_decompress(&info);
    jpeg_mem_src(&info, file.data(), static_cast<unsigned long>(file.size()));
    jpeg_read_header(&info, TRUE);
    const bool inks = info.num_components == 4;
    info.out_color_space = inks ? JCS_CMYK : JCS_RGB;
    // Chroma by repetition, as the analyzer upsamples it.
    info.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&info);
    *width = static_cast<int>(info.output_width);
    *height = static_cast<int>(info.output_height);
    rgb.resize(static_cast<size_t>(*width) * *height * 3);
    std::vector<uint8_t> cmyk(static_cast<size_t>(*width) * 4);
    while (info.output_scanline < info.output_height) {
        uint8_t* out = &rgb[static_cast<size_t>(info.output_scanline) * *width * 3];
        JSAMPROW row = inks ? cmyk.data() : out;
        jpeg_read_scanlines(&info, &row, 1);
        if (!inks)
            continue;
        // Inks subtract from white, black from all three; Adobe stores
        // them as 255 minus the ink.
        for (int x = 0; x < *width; ++x) {
            uint32_t ink[4];
            for (int c = 0; c < 4; ++c)
                ink[c] = info.saw_Adobe_marker ? 255u - cmyk[x * 4 + c] : cmyk[x * 4 + c];
            for (int c = 0; c < 3; ++c)
                out[x * 3 + c] = static_cast<uint8_t>((255u - ink[3]) * (255u - ink[c]) / 255u);
        }
    }
    jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return rgb;
}

}  // namespace jpeg_fixture
