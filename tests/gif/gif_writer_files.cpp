#include "gif_writer_files.h"

#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace gif_files {

namespace {

using gif_test::Bytes;
using gif_test::WriterFile;

struct Recipe {
    const char* name;
    const char* command;  // %i: a writer file to start from (%j: a second one), %o: the file to write
    const char* writer;   // where the input files come from
};

constexpr Recipe kRecipes[] = {
    {"gifsicle_comment_loop.gif",
     "gifsicle --comment 'made by gifsicle' --comment 'two\nlines' --loopcount=3 %i -o %o", "gifsicle"},
    {"gifsicle_forever.gif", "gifsicle --loopcount=forever --no-comments %i -o %o", "gifsicle"},
    {"gifsicle_merged_local.gif", "gifsicle --merge %i %j -o %o", "imagemagick"},
    {"ffmpeg_testsrc_64x48.gif", "ffmpeg -v error -y -f lavfi -i testsrc=size=64x48:rate=4 -t 1 %o", ""},
    {"exiftool_xmp.gif", "exiftool -q -o %o -XMP-dc:Title=Vantrel '-XMP-dc:Description=two words' %i",
     "imagemagick"},
    {"im_comment.gif", "convert -seed 4 -size 33x21 plasma: -colors 8 -comment 'ImageMagick comment' %o", ""},
};

std::string Fill(const char* pattern, const std::string& in, const std::string& in2, const std::string& out)
{
    std::string text;
    for (const char* p = pattern; *p; ++p) {
        const char c = p[0] == '%' ? p[1] : 0;
        if (c == 'i' || c == 'j' || c == 'o') {
            text += c == 'i' ? in : c == 'j' ? in2 : out;
            ++p;
        } else {
            text += *p;
        }
    }
    return text;
}

// The writer's input: its second and third files (the 256-colour noise and
// the 128-colour plasma for ImageMagick, which a merge cannot give one
// global table).
bool Inputs(const char* writer, std::string& in, std::string& in2)
{
    if (!*writer)
        return true;
    const std::vector<WriterFile>& files = gif_test::WriterFiles(writer);
    const auto find = [&](const char* name) {
        for (const WriterFile& f : files)
            if (f.name == name)
                return f.path;
        return std::string();
    };
    if (std::strcmp(writer, "gifsicle") == 0) {
        in = find("gifsicle_o3.gif");
    } else {
        in = find("im_256_noise.gif");
        in2 = find("im_128_colours.gif");
    }
    return !in.empty();
}

std::vector<WriterFile> MakeFeatureFiles()
{
    static const testing_support::TempDir dir;
    std::vector<WriterFile> files;
    for (const Recipe& r : kRecipes) {
        std::string in;
        std::string in2;
        const std::string out = dir.Path() + "/" + r.name;
        if (!Inputs(r.writer, in, in2))
            continue;
        if (std::system((Fill(r.command, in, in2, out) + " >/dev/null 2>&1").c_str()) == 0 &&
            std::filesystem::exists(out))
            files.push_back({r.name, out});
        else
            std::fprintf(stderr, "could not make %s\n", r.name);
    }
    return files;
}

// Composes giflib's frames pixel by pixel: the previous frame's disposal (2
// clears its rectangle, 3 and 4 put back the screen as it was before it),
// then the frame without its transparent index, black for an index beyond
// the palette, nothing outside the screen.
class Composer {
public:
    Composer(uint32_t width, uint32_t height) : width_(width), height_(height), canvas_(size_t{width} * height * 4) {}

    const Bytes& Draw(const gif_test::GiflibImage& frame)
    {
        if (previous_ && previous_->disposal == 2)
            ClearRectangle(*previous_);
        else if (previous_ && (previous_->disposal == 3 || previous_->disposal == 4))
            canvas_ = before_;
        before_ = canvas_;
        for (uint32_t y = 0; y < frame.height; ++y)
            for (uint32_t x = 0; x < frame.width; ++x)
                Put(frame, x, y);
        previous_ = &frame;
        return canvas_;
    }

private:
    void ClearRectangle(const gif_test::GiflibImage& f)
    {
        for (uint32_t y = f.top; y < uint32_t{f.top} + f.height && y < height_; ++y)
            for (uint32_t x = f.left; x < uint32_t{f.left} + f.width && x < width_; ++x)
                std::memset(&canvas_[(size_t{y} * width_ + x) * 4], 0, 4);
    }
    void Put(const gif_test::GiflibImage& f, uint32_t x, uint32_t y)
    {
        const uint32_t sx = f.left + x;
        const uint32_t sy = f.top + y;
        const int index = f.raster[size_t{y} * f.width + x];
        if (sx >= width_ || sy >= height_ || index == f.transparentIndex)
            return;
        uint8_t* px = &canvas_[(size_t{sy} * width_ + sx) * 4];
        const bool known = size_t(index) * 3 + 3 <= f.palette.size();
        for (int c = 0; c < 3; ++c)
            px[c] = known ? f.palette[size_t(index) * 3 + c] : 0;
        px[3] = 255;
    }

    uint32_t width_;
    uint32_t height_;
    Bytes canvas_;
    Bytes before_;
    const gif_test::GiflibImage* previous_ = nullptr;
};

// GIF pixels are opaque or fully transparent: the checkerboard shows
// through the transparent ones, white squares at the top left.
Bytes OverCheckerboard(const Bytes& rgba, uint32_t width, uint32_t height)
{
    Bytes rgb(size_t{width} * height * 3);
    for (uint32_t y = 0; y < height; ++y) {
        for (uint32_t x = 0; x < width; ++x) {
            const uint8_t* px = &rgba[(size_t{y} * width + x) * 4];
            uint8_t* out = &rgb[(size_t{y} * width + x) * 3];
            const uint8_t grey = ((x / 8 + y / 8) & 1) ? 0xCC : 0xFF;
            for (int c = 0; c < 3; ++c)
                out[c] = px[3] ? px[c] : grey;
        }
    }
    return rgb;
}

}  // namespace

const std::vector<WriterFile>& AllWriterFiles()
{
    static const std::vector<WriterFile> files = [] {
        std::vector<WriterFile> all;
        for (const char* writer : {"imagemagick", "gifsicle", "pillow", "ffmpeg"})
            for (const WriterFile& f : gif_test::WriterFiles(writer))
                all.push_back(f);
        for (const WriterFile& f : MakeFeatureFiles())
            all.push_back(f);
        return all;
    }();
    return files;
}

std::vector<Bytes> GiflibPictures(const std::string& path, uint16_t& width, uint16_t& height)
{
    const gif_test::GiflibFile file = gif_test::ReadWithGiflib(path);
    std::vector<Bytes> pictures;
    if (!file.ok)
        return pictures;
    width = file.width;
    height = file.height;
    Composer composer(width, height);
    for (const gif_test::GiflibImage& image : file.images)
        pictures.push_back(OverCheckerboard(composer.Draw(image), width, height));
    return pictures;
}

}  // namespace gif_files
