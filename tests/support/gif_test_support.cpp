#include "support/gif_test_support.h"

#include <gif_lib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <unordered_map>

namespace gif_test {

namespace {

using testing_support::ReadFile;
using testing_support::TempDir;

// Reads a GIF's bytes in order; every read past the end fails.
class Reader {
public:
    explicit Reader(const Bytes& bytes) : bytes_(bytes) {}
    bool Byte(uint8_t& v)
    {
        if (pos_ >= bytes_.size())
            return false;
        v = bytes_[pos_++];
        return true;
    }
    bool Word(uint16_t& v)
    {
        uint8_t lo = 0;
        uint8_t hi = 0;
        if (!Byte(lo) || !Byte(hi))
            return false;
        v = static_cast<uint16_t>(lo | (hi << 8));
        return true;
    }
    bool Take(size_t n, Bytes* to)
    {
        const size_t have = std::min(n, bytes_.size() - pos_);
        if (to)
            to->insert(to->end(), bytes_.begin() + static_cast<ptrdiff_t>(pos_),
                       bytes_.begin() + static_cast<ptrdiff_t>(pos_ + have));
        pos_ += have;
        return have == n;
    }
    // Sub-blocks up to the terminator; their bytes go to `to` when given,
    // the first one's to `first` instead when that is given (a graphic
    // control extension's fields).
    bool SubBlocks(Bytes* to, Bytes* first = nullptr)
    {
        for (bool isFirst = true;; isFirst = false) {
            uint8_t n = 0;
            if (!Byte(n))
                return false;
            if (n == 0)
                return true;
            if (!Take(n, isFirst && first ? first : to))
                return false;
        }
    }

private:
    const Bytes& bytes_;
    size_t pos_ = 0;
};

bool Table(Reader& in, uint8_t flags, Bytes& table)
{
    if (!(flags & 0x80))
        return true;
    return in.Take(size_t{3} << ((flags & 7) + 1), &table);
}

// The python3 program that reads a file with Pillow: "rgba" writes every
// frame's RGBA picture, "indices" the first frame's palette indices.
constexpr const char* kPillowScript = R"(import sys
from PIL import Image
mode = sys.argv[1]
for src, dst in zip(sys.argv[2::2], sys.argv[3::2]):
    try:
        im = Image.open(src)
        with open(dst, 'wb') as out:
            if mode == 'indices':
                out.write(im.tobytes())
            else:
                for k in range(getattr(im, 'n_frames', 1)):
                    im.seek(k)
                    out.write(im.convert('RGBA').tobytes())
    except Exception:
        pass
)";

// Pillow's own GIF writer (which interlaces by default): an animation of
// frames of several palettes and disposals with a transparent index, the
// same optimised into sub-rectangles, and still pictures.
constexpr const char* kPillowWriter = R"(import sys, random
from PIL import Image
random.seed(5)
out = sys.argv[1]
frames = []
for k in range(5):
    im = Image.new('P', (48, 36), 0)
    im.putpalette([v for i in range(256) for v in ((i * 37) & 255, (i * 91) & 255, (i * 13 + k * 40) & 255)])
    px = im.load()
    for y in range(36):
        for x in range(48):
            if (x // (4 + k)) % 3 and (y + k) % 5:
                px[x, y] = (x * y + k * 11) % (16 << (k % 3))
    im.info['transparency'] = 0
    frames.append(im)
frames[0].save(out + '/pillow_anim.gif', save_all=True, append_images=frames[1:], duration=80, loop=0,
               disposal=[0, 1, 2, 3, 1], transparency=0, optimize=False)
frames[0].save(out + '/pillow_anim_optimized.gif', save_all=True, append_images=frames[1:], duration=80,
               disposal=2, transparency=0)
still = Image.new('P', (123, 77))
still.putpalette([random.randrange(256) for _ in range(768)])
still.putdata([random.randrange(256) for _ in range(123 * 77)])
still.save(out + '/pillow_noise_256.gif')
still.convert('RGB').quantize(8).save(out + '/pillow_8_colours.gif', interlace=True)
)";

bool Run(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

bool HaveTool(const char* name)
{
    return Run(std::string("command -v ") + name);
}

// A small animation made by this coder, as input for gifsicle: a 64 x 48
// frame of 8 colours, then smaller ones at offsets, one with a transparent
// index.
Bytes GifsicleInput()
{
    Bytes palette;
    for (int i = 0; i < 8; ++i)
        palette.insert(palette.end(), {uint8_t(i * 36), uint8_t(255 - i * 30), uint8_t(i * 17 + 40)});
    std::vector<ImageBlock> images;
    for (int k = 0; k < 4; ++k) {
        ImageBlock block;
        block.width = k == 0 ? 64 : 24;
        block.height = k == 0 ? 48 : 16;
        block.left = static_cast<uint16_t>(k * 12);
        block.top = static_cast<uint16_t>(k * 9);
        block.minCodeSize = 3;
        block.control = true;
        block.transparentIndex = k == 2 ? 0 : -1;
        Bytes pixels(size_t{block.width} * block.height);
        for (int y = 0; y < block.height; ++y)
            for (int x = 0; x < block.width; ++x)
                pixels[y * block.width + x] = static_cast<uint8_t>(((x + k * 5) / 8 + (y / (3 + k))) % 8);
        block.data = EncodeLzw(pixels, 3);
        images.push_back(block);
    }
    return BuildGif(64, 48, palette, images);
}

struct Recipe {
    const char* name;
    const char* command;  // %s: the file to write; %d: the directory (ImageMagick's: the settings and images only)
};

// ImageMagick 6 ("convert"): stills of several sizes and palettes,
// interlaced, and animations of every disposal with frames smaller than the
// screen and transparent colours. Each is one parenthesised group of a single
// command (ImageMagick takes a second to start).
constexpr Recipe kImageMagick[] = {
    {"im_1x1_2.gif", "-size 1x1 xc:red -colors 2"},
    {"im_2_colours.gif", "-seed 1 -size 57x31 plasma: -colors 2"},
    {"im_4_colours.gif", "-seed 2 -size 64x48 plasma: -colors 4"},
    {"im_16_colours_interlaced.gif", "-seed 3 -size 64x48 plasma: -colors 16 -interlace GIF"},
    {"im_64_colours.gif", "-seed 4 -size 199x3 plasma: -colors 64"},
    {"im_128_colours.gif", "-seed 12 -size 90x70 plasma: -colors 128"},
    {"im_256_noise.gif", "-seed 5 -size 300x300 xc: +noise Random -colors 256"},
    {"im_256_noise_interlaced.gif", "-seed 6 -size 211x157 xc: +noise Random -colors 256 -interlace GIF"},
    {"im_gradient_tall.gif", "-size 3x500 gradient:red-blue -colors 32"},
    {"im_transparent.gif", "-seed 7 -size 40x30 plasma: -colors 8 -fill none -draw 'circle 20,15 20,5'"},
    {"im_anim_none.gif", "-dispose None -delay 10 -page 80x60+0+0 -seed 8 -size 80x60 plasma: -colors 64 "
                         "-page +10+5 -size 30x20 xc:none -fill red -draw 'circle 15,10 15,2' "
                         "-page +40+30 -size 30x20 gradient:red-blue -loop 0"},
    {"im_anim_background.gif", "-dispose Background -delay 10 -page 80x60+0+0 -seed 9 -size 80x60 plasma: "
                               "-page +10+5 -size 30x20 xc:none -fill blue -draw 'circle 15,10 15,2' "
                               "-page +45+35 -size 35x25 plasma: -page +0+0 -size 20x20 xc:green -loop 0"},
    {"im_anim_previous.gif", "-delay 10 -dispose None -page 70x50+0+0 -seed 10 -size 70x50 plasma: "
                             "-dispose Previous -page +5+5 -size 30x20 xc:none -fill yellow -draw 'circle 15,10 15,2' "
                             "-page +30+20 -size 30x20 gradient:red-blue -dispose None -page +20+10 "
                             "-size 10x10 xc:black -loop 0"},
    {"im_anim_interlaced.gif", "-dispose Background -delay 5 -interlace GIF -page 50x40+0+0 -seed 11 "
                               "-size 50x40 plasma: -page +7+9 -size 23x17 plasma: -loop 0"},
};

// gifsicle re-codes an animation: --optimize leaves sub-rectangles with
// transparency (and disposals of its choosing); interlacing; each disposal
// (set without optimizing, which would choose again).
constexpr Recipe kGifsicle[] = {
    {"gifsicle_o3.gif", "gifsicle --optimize=3 %d/gifsicle_input.gif -o %s"},
    {"gifsicle_interlace.gif", "gifsicle --interlace %d/gifsicle_input.gif -o %s"},
    {"gifsicle_o3_interlace.gif", "gifsicle --optimize=3 --interlace %d/gifsicle_input.gif -o %s"},
    {"gifsicle_o2.gif", "gifsicle --optimize=2 %d/gifsicle_input.gif -o %s"},
    {"gifsicle_background.gif", "gifsicle --disposal background %d/gifsicle_input.gif -o %s"},
    {"gifsicle_previous.gif", "gifsicle --disposal previous %d/gifsicle_input.gif -o %s"},
    {"gifsicle_colors_2.gif", "gifsicle --colors 2 %d/gifsicle_input.gif -o %s"},
};

constexpr Recipe kFfmpeg[] = {
    {"ffmpeg_testsrc.gif", "ffmpeg -v error -y -f lavfi -i testsrc=size=80x60:rate=5 -frames:v 5 %s"},
    {"ffmpeg_mandelbrot.gif", "ffmpeg -v error -y -f lavfi -i mandelbrot=size=96x72:rate=10 -frames:v 4 %s"},
};

std::string Fill(const char* pattern, const std::string& file, const std::string& dir)
{
    std::string out;
    for (const char* p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += file;
            ++p;
        } else if (p[0] == '%' && p[1] == 'd') {
            out += dir;
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

// One command for all of ImageMagick's files: each recipe in parentheses,
// written, then dropped.
void MakeInOne(const TempDir& dir, const char* tool, const Recipe* recipes, size_t n, std::vector<WriterFile>& out)
{
    if (!HaveTool(tool))
        return;
    std::string command = std::string(tool) + " -respect-parentheses";
    for (size_t i = 0; i < n; ++i)
        command += std::string(" \\( ") + recipes[i].command + " -write " + dir.Path() + "/" + recipes[i].name +
                   " \\) -delete 0--1";
    Run(command + " xc: null:");
    for (size_t i = 0; i < n; ++i) {
        const std::string path = dir.Path() + "/" + recipes[i].name;
        if (std::filesystem::exists(path))
            out.push_back({recipes[i].name, path});
        else
            std::fprintf(stderr, "could not make %s\n", recipes[i].name);
    }
}

void MakeEach(const TempDir& dir, const char* tool, const Recipe* recipes, size_t n, std::vector<WriterFile>& out)
{
    if (!HaveTool(tool))
        return;
    for (size_t i = 0; i < n; ++i) {
        const std::string path = dir.Path() + "/" + recipes[i].name;
        if (Run(Fill(recipes[i].command, path, dir.Path())) && std::filesystem::exists(path))
            out.push_back({recipes[i].name, path});
        else
            std::fprintf(stderr, "could not make %s\n", recipes[i].name);
    }
}

const TempDir& WriterDir()
{
    static const TempDir dir;
    return dir;
}

std::vector<WriterFile> Make(const std::string& writer)
{
    const TempDir& dir = WriterDir();
    std::vector<WriterFile> files;
    if (writer == "imagemagick") {
        MakeInOne(dir, "convert", kImageMagick, std::size(kImageMagick), files);
    } else if (writer == "gifsicle") {
        dir.Write("gifsicle_input.gif", GifsicleInput());
        MakeEach(dir, "gifsicle", kGifsicle, std::size(kGifsicle), files);
    } else if (writer == "ffmpeg") {
        MakeEach(dir, "ffmpeg", kFfmpeg, std::size(kFfmpeg), files);
    } else if (writer == "pillow" && !PillowPython().empty()) {
        const std::string script = dir.Write("pillow_writer.py", std::string(kPillowWriter));
        if (Run(PillowPython() + " " + script + " " + dir.Path())) {
            for (const char* name : {"pillow_anim.gif", "pillow_anim_optimized.gif", "pillow_noise_256.gif",
                                     "pillow_8_colours.gif"})
                files.push_back({name, dir.Path() + "/" + name});
        }
    }
    return files;
}

}  // namespace

bool Walk(const Bytes& gif, File& out)
{
    Reader in(gif);
    Bytes signature;
    uint8_t flags = 0;
    uint8_t ignored = 0;
    if (!in.Take(6, &signature) || signature[0] != 'G' || signature[1] != 'I' || signature[2] != 'F')
        return false;
    if (!in.Word(out.width) || !in.Word(out.height) || !in.Byte(flags) || !in.Byte(ignored) || !in.Byte(ignored))
        return false;
    if (!Table(in, flags, out.globalPalette))
        return false;
    Image next;
    for (;;) {
        uint8_t introducer = 0;
        if (!in.Byte(introducer) || introducer == 0x3B)
            return true;
        if (introducer == 0x21) {
            uint8_t label = 0;
            Bytes first;
            if (!in.Byte(label) || !in.SubBlocks(nullptr, &first))
                return false;
            if (label == 0xF9 && first.size() >= 4) {
                next.disposal = static_cast<uint8_t>((first[0] >> 2) & 7);
                next.transparentIndex = (first[0] & 1) ? first[3] : -1;
            }
            continue;
        }
        if (introducer != 0x2C)
            return false;
        Image& image = out.images.emplace_back(next);
        next = Image();
        if (!in.Word(image.left) || !in.Word(image.top) || !in.Word(image.width) || !in.Word(image.height) ||
            !in.Byte(flags))
            return false;
        image.interlaced = (flags & 0x40) != 0;
        if (!Table(in, flags, image.localPalette) || !in.Byte(image.minCodeSize) || !in.SubBlocks(&image.data))
            return false;
    }
}

GiflibFile ReadWithGiflib(const std::string& path)
{
    GiflibFile file;
    int error = 0;
    GifFileType* gif = DGifOpenFileName(path.c_str(), &error);
    if (!gif) {
        file.error = error;
        return file;
    }
    file.ok = DGifSlurp(gif) == GIF_OK;
    file.error = gif->Error;
    file.width = static_cast<uint16_t>(gif->SWidth);
    file.height = static_cast<uint16_t>(gif->SHeight);
    for (int i = 0; file.ok && i < gif->ImageCount; ++i) {
        const SavedImage& saved = gif->SavedImages[i];
        GiflibImage& image = file.images.emplace_back();
        image.left = static_cast<uint16_t>(saved.ImageDesc.Left);
        image.top = static_cast<uint16_t>(saved.ImageDesc.Top);
        image.width = static_cast<uint16_t>(saved.ImageDesc.Width);
        image.height = static_cast<uint16_t>(saved.ImageDesc.Height);
        image.interlaced = saved.ImageDesc.Interlace;
        image.raster.assign(saved.RasterBits, saved.RasterBits + size_t{image.width} * image.height);
        const ColorMapObject* map = saved.ImageDesc.ColorMap ? saved.ImageDesc.ColorMap : gif->SColorMap;
        for (int c = 0; map && c < map->ColorCount; ++c)
            image.palette.insert(image.palette.end(), {map->Colors[c].Red, map->Colors[c].Green, map->Colors[c].Blue});
        GraphicsControlBlock gcb;
        if (DGifSavedExtensionToGCB(gif, i, &gcb) == GIF_OK) {
            image.transparentIndex = gcb.TransparentColor;
            image.disposal = static_cast<uint8_t>(gcb.DisposalMode);
        }
    }
    DGifCloseFile(gif, &error);
    return file;
}

Bytes StoredOrder(const Bytes& raster, uint16_t width, uint16_t height, bool interlaced)
{
    Bytes out;
    auto row = [&](uint32_t y) {
        out.insert(out.end(), raster.begin() + static_cast<ptrdiff_t>(size_t{y} * width),
                   raster.begin() + static_cast<ptrdiff_t>(size_t{y + 1} * width));
    };
    if (!interlaced) {
        for (uint32_t y = 0; y < height; ++y)
            row(y);
        return out;
    }
    for (uint32_t y = 0; y < height; y += 8)
        row(y);
    for (uint32_t y = 4; y < height; y += 8)
        row(y);
    for (uint32_t y = 2; y < height; y += 4)
        row(y);
    for (uint32_t y = 1; y < height; y += 2)
        row(y);
    return out;
}

void CodePacker::Put(uint32_t code, uint32_t width)
{
    bits_ |= uint64_t{code} << count_;
    count_ += width;
    while (count_ >= 8) {
        bytes_.push_back(static_cast<uint8_t>(bits_));
        bits_ >>= 8;
        count_ -= 8;
    }
}

Bytes CodePacker::Finish()
{
    if (count_ > 0)
        bytes_.push_back(static_cast<uint8_t>(bits_));
    bits_ = 0;
    count_ = 0;
    return std::move(bytes_);
}

Bytes EncodeLzw(const Bytes& indices, uint8_t minCodeSize, const LzwOptions& options)
{
    const uint32_t clear = 1u << minCodeSize;
    const uint32_t end = clear + 1;
    std::unordered_map<uint32_t, uint32_t> table;  // (prefix << 8 | index) -> code
    uint32_t next = end + 1;
    uint32_t width = minCodeSize + 1u;
    CodePacker out;
    auto reset = [&] {
        table.clear();
        next = end + 1;
        width = minCodeSize + 1u;
    };
    if (options.leadingClear)
        out.Put(clear, width);
    uint32_t prefix = 0xFFFFFFFF;
    for (const uint8_t index : indices) {
        if (prefix == 0xFFFFFFFF) {
            prefix = index;
            continue;
        }
        const auto found = table.find(prefix << 8 | index);
        if (found != table.end()) {
            prefix = found->second;
            continue;
        }
        out.Put(prefix, width);
        if (next < 4096) {
            table[prefix << 8 | index] = next;
            // The decoder adds this entry one code later, and then reads
            // codes as wide as the entry needs.
            if (next >= (1u << width) && width < 12)
                ++width;
            ++next;
            if (next == 4096 && options.clearWhenFull) {
                out.Put(clear, width);
                reset();
            }
        }
        prefix = index;
    }
    if (prefix != 0xFFFFFFFF) {
        out.Put(prefix, width);
        if (next >= (1u << width) && width < 12)
            ++width;
    }
    if (options.endCode)
        out.Put(end, width);
    return out.Finish();
}

Bytes BuildGif(uint16_t width, uint16_t height, const Bytes& globalPalette, const std::vector<ImageBlock>& images)
{
    Bytes gif = {'G', 'I', 'F', '8', '9', 'a'};
    auto word = [&](uint16_t v) {
        gif.push_back(static_cast<uint8_t>(v & 0xFF));
        gif.push_back(static_cast<uint8_t>(v >> 8));
    };
    // A table's size field: 2^(n + 1) entries hold the palette; padded with black.
    auto table = [&](const Bytes& palette, uint8_t& field) {
        uint32_t n = 0;
        while ((2u << n) * 3 < palette.size() && n < 7)
            ++n;
        field = static_cast<uint8_t>(0x80 | n);
        Bytes padded = palette;
        padded.resize(size_t{3} << (n + 1), 0);
        return padded;
    };
    word(width);
    word(height);
    uint8_t field = 0;
    const Bytes global = globalPalette.empty() ? Bytes() : table(globalPalette, field);
    gif.insert(gif.end(), {field, 0, 0});
    gif.insert(gif.end(), global.begin(), global.end());
    for (const ImageBlock& image : images) {
        if (image.control) {
            const uint8_t flags = static_cast<uint8_t>((image.disposal & 7) << 2 | (image.transparentIndex >= 0));
            gif.insert(gif.end(), {0x21, 0xF9, 4, flags, 10, 0, uint8_t(std::max(image.transparentIndex, 0)), 0});
        }
        gif.push_back(0x2C);
        word(image.left);
        word(image.top);
        word(image.width);
        word(image.height);
        field = 0;
        const Bytes local = image.localPalette.empty() ? Bytes() : table(image.localPalette, field);
        gif.push_back(static_cast<uint8_t>(field | (image.interlaced ? 0x40 : 0)));
        gif.insert(gif.end(), local.begin(), local.end());
        gif.push_back(image.minCodeSize);
        for (size_t at = 0; at < image.data.size(); at += 255) {
            const size_t n = std::min<size_t>(255, image.data.size() - at);
            gif.push_back(static_cast<uint8_t>(n));
            gif.insert(gif.end(), image.data.begin() + static_cast<ptrdiff_t>(at),
                       image.data.begin() + static_cast<ptrdiff_t>(at + n));
        }
        gif.push_back(0);
    }
    gif.push_back(0x3B);
    return gif;
}

const std::vector<WriterFile>& WriterFiles(const std::string& writer)
{
    static std::map<std::string, std::vector<WriterFile>> made;
    auto found = made.find(writer);
    if (found == made.end())
        found = made.emplace(writer, Make(writer)).first;
    return found->second;
}

const std::string& PillowPython()
{
    static const std::string python = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"})
            if (Run(std::string(candidate) + " -c 'import PIL.Image'"))
                return std::string(candidate);
        return std::string();
    }();
    return python;
}

namespace {

// Runs the Pillow script on every file in one process (python3 takes a
// while to start); the output of file i goes to pillow_<i>.bin.
std::vector<std::string> RunPillow(const char* mode, const std::vector<std::string>& paths)
{
    std::vector<std::string> outputs;
    if (PillowPython().empty())
        return outputs;
    const TempDir& dir = WriterDir();
    static const std::string script = dir.Write("pillow_reader.py", std::string(kPillowScript));
    std::string command = PillowPython() + " " + script + " " + mode;
    for (size_t i = 0; i < paths.size(); ++i) {
        outputs.push_back(dir.Path() + "/pillow_" + std::to_string(i) + ".bin");
        std::filesystem::remove(outputs.back());
        command += " '" + paths[i] + "' " + outputs.back();
    }
    Run(command);
    return outputs;
}

}  // namespace

std::vector<std::vector<Bytes>> PillowFrames(const std::vector<std::string>& paths)
{
    std::vector<std::vector<Bytes>> all(paths.size());
    const std::vector<std::string> outputs = RunPillow("rgba", paths);
    for (size_t i = 0; i < outputs.size(); ++i) {
        File file;
        if (!std::filesystem::exists(outputs[i]) || !Walk(ReadFile(paths[i]), file))
            continue;
        const Bytes bytes = ReadFile(outputs[i]);
        const size_t frameBytes = size_t{file.width} * file.height * 4;
        for (size_t at = 0; frameBytes != 0 && at + frameBytes <= bytes.size(); at += frameBytes)
            all[i].emplace_back(bytes.begin() + static_cast<ptrdiff_t>(at),
                                bytes.begin() + static_cast<ptrdiff_t>(at + frameBytes));
    }
    return all;
}

bool PillowIndices(const std::string& path, Bytes& indices)
{
    const std::vector<std::string> outputs = RunPillow("indices", {path});
    if (outputs.empty() || !std::filesystem::exists(outputs[0]))
        return false;
    indices = ReadFile(outputs[0]);
    return true;
}

}  // namespace gif_test
