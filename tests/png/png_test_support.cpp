#include "png_test_support.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

#include "codec/alpha_compositor.h"
#include "support/libpng_reference.h"

namespace png_test {

Bytes Be32(uint32_t v)
{
    return {static_cast<uint8_t>(v >> 24), static_cast<uint8_t>(v >> 16), static_cast<uint8_t>(v >> 8),
            static_cast<uint8_t>(v)};
}

Bytes Be16(uint32_t v)
{
    return {static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v)};
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

Bytes Text(const std::string& s)
{
    return Bytes(s.begin(), s.end());
}

Bytes ChunkBytes(const Chunk& chunk)
{
    Bytes out = Be32(static_cast<uint32_t>(chunk.data.size()));
    Bytes body = Join({Text(chunk.type), chunk.data});
    out.insert(out.end(), body.begin(), body.end());
    const Bytes crc = Be32(static_cast<uint32_t>(crc32(0, body.data(), static_cast<uInt>(body.size()))));
    out.insert(out.end(), crc.begin(), crc.end());
    return out;
}

Bytes PngFile(const std::vector<Chunk>& chunks)
{
    Bytes out{0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    for (const Chunk& c : chunks) {
        const Bytes b = ChunkBytes(c);
        out.insert(out.end(), b.begin(), b.end());
    }
    return out;
}

Bytes Deflate(const Bytes& data)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
    out.resize(size);
    return out;
}

Bytes Header(uint32_t width, uint32_t height, uint8_t depth, uint8_t colourType, uint8_t interlace)
{
    return Join({Be32(width), Be32(height), {depth, colourType, 0, 0, interlace}});
}

Bytes RgbRows(uint32_t width, uint32_t height)
{
    Bytes raw;
    for (uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);
        for (uint32_t x = 0; x < width; ++x) {
            raw.push_back(static_cast<uint8_t>(x * 40));
            raw.push_back(static_cast<uint8_t>(y * 40));
            raw.push_back(static_cast<uint8_t>(x * y * 16));
        }
    }
    return raw;
}

namespace {

}  // namespace

Rgba Libpng(const Bytes& file)
{
    libpng_reference::Picture decoded = libpng_reference::Decode(file);
    Rgba picture;
    picture.complete = decoded.complete;
    picture.width = decoded.width;
    picture.height = decoded.height;
    picture.pixels = std::move(decoded.rgba);
    picture.hasBackground = decoded.hasBackground;
    std::copy(std::begin(decoded.background), std::end(decoded.background), picture.background);
    return picture;
}

Bytes Composite(const Rgba& picture, const uint8_t* background)
{
    Bytes out;
    out.reserve(size_t{picture.width} * picture.height * 3);
    for (uint32_t y = 0; y < picture.height; ++y)
        for (uint32_t x = 0; x < picture.width; ++x) {
            const uint8_t* p = &picture.pixels[(size_t{y} * picture.width + x) * 4];
            const bool light = ((x / 8) + (y / 8)) % 2 == 1;
            for (int c = 0; c < 3; ++c) {
                const uint32_t b = background ? background[c] : light ? 0xCC : 0xFF;
                out.push_back(static_cast<uint8_t>((p[c] * p[3] + b * (255 - p[3]) + 127) / 255));
            }
        }
    return out;
}

Analysis Analyse(const std::string& path)
{
    testing_support::Headless h;
    h.app.OpenFiles({path});
    const AnalysisResult& result = h.Detailed(path);
    Analysis a;
    a.text = TreeText(result.lines);
    a.anomalies = testing_support::AnomalyList(result);
    for (const ResultPicture& picture : result.pictures) {
        a.labels.push_back(picture.label);
        const CImageBuffer& image = picture.image;
        Bytes rgb;
        if (image.Pixels())
            for (int32_t y = 0; y < image.PictureHeight(); ++y)
                for (int32_t x = 0; x < image.PictureWidth(); ++x) {
                    const uint8_t* bgr = image.PixelAt(x, y);
                    rgb.insert(rgb.end(), {bgr[2], bgr[1], bgr[0]});
                }
        a.pictures.push_back(std::move(rgb));
    }
    for (const DecodeRecord& d : result.decodes)
        a.decodes.push_back(d.label + ": " + std::to_string(static_cast<int>(d.outcome)) + " " + d.reason);
    for (const ByteRange& r : UncoveredRanges(result.lines, std::filesystem::file_size(path)))
        a.gaps += std::to_string(r.start) + "-" + std::to_string(r.end) + " ";
    return a;
}

std::string Difference(const Bytes& ours, const Bytes& theirs, uint32_t width)
{
    if (ours.size() != theirs.size())
        return "sizes " + std::to_string(ours.size()) + " and " + std::to_string(theirs.size());
    for (size_t i = 0; i < ours.size(); i += 3)
        if (std::memcmp(&ours[i], &theirs[i], 3) != 0) {
            const size_t pixel = i / 3;
            char text[96];
            std::snprintf(text, sizeof text, "pixel (%zu, %zu): ours %u,%u,%u reference %u,%u,%u", pixel % width,
                          pixel / width, ours[i], ours[i + 1], ours[i + 2], theirs[i], theirs[i + 1], theirs[i + 2]);
            return text;
        }
    return "";
}

bool RunTool(const std::string& command)
{
    return std::system(("{ " + command + "; } >/dev/null 2>&1").c_str()) == 0;
}

const std::string& PillowPython()
{
    static const std::string python = [] {
        for (const char* candidate : {"/usr/bin/python3", "python3"})
            if (RunTool(std::string(candidate) + " -c 'import PIL'"))
                return std::string(candidate);
        return std::string();
    }();
    return python;
}

bool HasTool(const char* path)
{
    return std::filesystem::exists(path);
}

}  // namespace png_test
