#include "support/png_fixture.h"

#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace png_fixture {

namespace {

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}

void PutBe32(Bytes& out, uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(v >> shift));
}

ApngFrameControl ReadFrameControl(const uint8_t* p)
{
    ApngFrameControl c;
    c.width = Be32(p + 4);
    c.height = Be32(p + 8);
    c.xOffset = Be32(p + 12);
    c.yOffset = Be32(p + 16);
    c.delayNumerator = static_cast<uint16_t>((p[20] << 8) | p[21]);
    c.delayDenominator = static_cast<uint16_t>((p[22] << 8) | p[23]);
    c.disposeOp = p[24];
    c.blendOp = p[25];
    return c;
}

void AddChunk(Bytes& out, const char* type, const Bytes& data)
{
    PutBe32(out, static_cast<uint32_t>(data.size()));
    const size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBe32(out, static_cast<uint32_t>(crc32(0, out.data() + start, static_cast<uInt>(out.size() - start))));
}

class Collect {
public:
    Collect(Decoded& d) : d_(d) {}
    bool operator()(uint32_t y, const uint8_t* rgba) const
    {
        if (y < d_.height) {
            std::memcpy(d_.rgba.data() + size_t{y} * d_.width * 4, rgba, size_t{d_.width} * 4);
            d_.rowSeen[y] = true;
        }
        return true;
    }

private:
    Decoded& d_;
};

Decoded Prepare(const PngImageHeader& header)
{
    Decoded d;
    d.width = header.width;
    d.height = header.height;
    // The tests' pictures are small; a huge header decodes into nothing here.
    if (uint64_t{header.width} * header.height <= (1u << 22)) {
        d.rgba.assign(size_t{header.width} * header.height * 4, 0);
        d.rowSeen.assign(header.height, false);
    } else {
        d.width = d.height = 0;
    }
    return d;
}

}  // namespace

PngFile ReadPng(const Bytes& file)
{
    static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    PngFile png;
    if (file.size() < 8 || std::memcmp(file.data(), kSignature, 8) != 0)
        return png;
    size_t at = 8;
    while (file.size() - at >= 12) {
        const uint32_t length = Be32(&file[at]);
        const std::string type(reinterpret_cast<const char*>(&file[at + 4]), 4);
        if (length > file.size() - at - 12)
            break;
        const uint8_t* data = &file[at + 8];
        at += 12 + size_t{length};
        if (type == "IHDR" && length == 13) {
            png.header = {Be32(data), Be32(data + 4), data[8], data[9], data[12]};
            png.ok = true;
        } else if (type == "PLTE") {
            png.palette.assign(data, data + length);
        } else if (type == "tRNS") {
            png.trns.assign(data, data + length);
        } else if (type == "IDAT") {
            png.idat.insert(png.idat.end(), data, data + length);
            if (!png.frames.empty() && png.frames.size() == 1)
                png.frames[0].zlib.insert(png.frames[0].zlib.end(), data, data + length);
        } else if (type == "fcTL" && length == 26) {
            png.frames.push_back({ReadFrameControl(data), {}});
        } else if (type == "fdAT" && length >= 4 && !png.frames.empty()) {
            png.frames.back().zlib.insert(png.frames.back().zlib.end(), data + 4, data + length);
        } else if (type == "IEND") {
            break;
        }
    }
    return png;
}

Decoded DecodeZlib(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& zlib)
{
    Decoded d = Prepare(header);
    CPngDecoder decoder(header, palette, trns, Collect(d));
    FILE* in = std::tmpfile();
    std::fwrite(zlib.data(), 1, zlib.size(), in);
    std::rewind(in);
    CInflater inflater;
    if (decoder.Ready())
        d.inflate = inflater.InflateToSink(in, decoder, UINT64_MAX, zlib.size());
    std::fclose(in);
    d.result = decoder.Finish();
    return d;
}

Decoded DecodeFile(const PngFile& png)
{
    return DecodeZlib(png.header, png.palette, png.trns, png.idat);
}

Decoded DecodeRaw(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& raw,
                  size_t piece)
{
    Decoded d = Prepare(header);
    CPngDecoder decoder(header, palette, trns, Collect(d));
    for (size_t at = 0; at < raw.size(); at += piece) {
        const size_t n = raw.size() - at < piece ? raw.size() - at : piece;
        if (!decoder.Write(raw.data() + at, n))
            break;
    }
    d.result = decoder.Finish();
    return d;
}

Bytes Deflate(const Bytes& data, int level)
{
    uLongf size = compressBound(static_cast<uLong>(data.size()));
    Bytes out(size);
    compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), level);
    out.resize(size);
    return out;
}

Bytes MakePng(const PngImageHeader& header, const Bytes& palette, const Bytes& trns, const Bytes& zlib)
{
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes ihdr;
    PutBe32(ihdr, header.width);
    PutBe32(ihdr, header.height);
    ihdr.insert(ihdr.end(), {header.bitDepth, header.colourType, 0, 0, header.interlace});
    AddChunk(out, "IHDR", ihdr);
    if (!palette.empty())
        AddChunk(out, "PLTE", palette);
    if (!trns.empty())
        AddChunk(out, "tRNS", trns);
    AddChunk(out, "IDAT", zlib);
    AddChunk(out, "IEND", {});
    return out;
}

std::string PixelText(const uint8_t* rgba)
{
    return std::to_string(rgba[0]) + "," + std::to_string(rgba[1]) + "," + std::to_string(rgba[2]) + "," +
           std::to_string(rgba[3]);
}

bool RunTool(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
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

}  // namespace png_fixture
