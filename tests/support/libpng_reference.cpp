#include "support/libpng_reference.h"

#include <png.h>

#include <csetjmp>
#include <cstring>

namespace libpng_reference {

namespace {

uint8_t To8(uint32_t v, int depth)
{
    if (depth == 16)
        return static_cast<uint8_t>(v >> 8);
    if (depth == 8)
        return static_cast<uint8_t>(v);
    return static_cast<uint8_t>(v * 255 / ((1u << depth) - 1));
}

void Background(png_structp png, png_infop info, Picture& out)
{
    png_color_16p bg = nullptr;
    if (!png_get_bKGD(png, info, &bg) || !bg)
        return;
    const int type = png_get_color_type(png, info);
    const int depth = png_get_bit_depth(png, info);
    if (type == PNG_COLOR_TYPE_PALETTE) {
        png_colorp palette = nullptr;
        int n = 0;
        if (!png_get_PLTE(png, info, &palette, &n) || bg->index >= n)
            return;
        out.background[0] = palette[bg->index].red;
        out.background[1] = palette[bg->index].green;
        out.background[2] = palette[bg->index].blue;
    } else if (type & PNG_COLOR_MASK_COLOR) {
        out.background[0] = To8(bg->red, depth);
        out.background[1] = To8(bg->green, depth);
        out.background[2] = To8(bg->blue, depth);
    } else {
        out.background[0] = out.background[1] = out.background[2] = To8(bg->gray, depth);
    }
    out.hasBackground = true;
}


struct MemorySource {
    const uint8_t* data;
    size_t size;
    size_t at;
};

void ReadFromMemory(png_structp png, png_bytep out, size_t n)
{
    auto* source = static_cast<MemorySource*>(png_get_io_ptr(png));
    if (n > source->size - source->at)
        png_error(png, "end of file");
    std::memcpy(out, source->data + source->at, n);
    source->at += n;
}

void QuietError(png_structp png, png_const_charp) { png_longjmp(png, 1); }
void QuietWarning(png_structp, png_const_charp) {}

// libpng leaves this function by longjmp on an error, so nothing with a
// destructor lives in its frame; the picture belongs to the caller.
void Read(const std::vector<uint8_t>& file, Picture& out, std::vector<png_bytep>& rowPointers)
{
    MemorySource source{file.data(), file.size(), 0};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, QuietError, QuietWarning);
    png_infop info = png_create_info_struct(png);
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_read_info(png, info);
    Background(png, info, out);
    png_set_expand(png);
    png_set_strip_16(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    const int passes = png_set_interlace_handling(png);
    png_read_update_info(png, info);
    out.width = png_get_image_width(png, info);
    out.height = png_get_image_height(png, info);
    if (png_get_rowbytes(png, info) != size_t{out.width} * 4)
        png_error(png, "not RGBA");
    out.rgba.assign(size_t{out.width} * out.height * 4, 0);
    if (passes == 1) {
        for (uint32_t y = 0; y < out.height; ++y, ++out.rows)
            png_read_row(png, out.rgba.data() + size_t{y} * out.width * 4, nullptr);
    } else {
        for (uint32_t y = 0; y < out.height; ++y)
            rowPointers.push_back(out.rgba.data() + size_t{y} * out.width * 4);
        png_read_image(png, rowPointers.data());
        out.rows = out.height;
    }
    out.complete = true;
    png_destroy_read_struct(&png, &info, nullptr);
}

}  // namespace

Picture Decode(const std::vector<uint8_t>& file)
{
    Picture picture;
    std::vector<png_bytep> rowPointers;
    Read(file, picture, rowPointers);
    return picture;
}

}  // namespace libpng_reference
