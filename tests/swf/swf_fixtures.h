#pragma once
// Builders for SWF and zlib test inputs: an LSB-first bit writer for crafted
// deflate blocks, zlib compression with a chosen strategy, and small SWF files
// with real tags.
#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>
#include <utility>

namespace swf_fixtures {

using Bytes = std::vector<uint8_t>;

// Packs deflate fields least significant bit first; Huffman codes are sent
// most significant bit first (Code).
class BitWriter {
public:
    void Bits(uint32_t value, uint32_t n)
    {
        for (uint32_t i = 0; i < n; ++i) {
            if (fill_ == 0)
                bytes_.push_back(0);
            if ((value >> i) & 1u)
                bytes_.back() |= static_cast<uint8_t>(1u << fill_);
            fill_ = (fill_ + 1) & 7u;
        }
    }
    void Code(uint32_t code, uint32_t length)
    {
        for (uint32_t i = length; i-- > 0;)
            Bits((code >> i) & 1u, 1);
    }
    void Align() { fill_ = 0; }
    Bytes Take() { return bytes_; }

private:
    Bytes bytes_;
    uint32_t fill_ = 0;
};

struct ZlibOptions {
    int level = Z_DEFAULT_COMPRESSION;
    int strategy = Z_DEFAULT_STRATEGY;
    int windowBits = 15;
    std::string dictionary;
};

inline Bytes Compress(const Bytes& data, const ZlibOptions& options = {})
{
    z_stream z{};
    deflateInit2(&z, options.level, Z_DEFLATED, options.windowBits, 8, options.strategy);
    if (!options.dictionary.empty())
        deflateSetDictionary(&z, reinterpret_cast<const Bytef*>(options.dictionary.data()),
                             static_cast<uInt>(options.dictionary.size()));
    Bytes out(deflateBound(&z, data.size()) + 64);
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = static_cast<uInt>(data.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

// zlib's own decompression, the reference for the side file.
inline Bytes ZlibInflate(const Bytes& stream, const std::string& dictionary = {})
{
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    Bytes out;
    uint8_t chunk[65536];
    for (;;) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        int rc = inflate(&z, Z_NO_FLUSH);
        if (rc == Z_NEED_DICT) {
            inflateSetDictionary(&z, reinterpret_cast<const Bytef*>(dictionary.data()),
                                 static_cast<uInt>(dictionary.size()));
            continue;
        }
        out.insert(out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
        if (rc != Z_OK)
            break;
    }
    inflateEnd(&z);
    return out;
}

// A zlib stream around raw deflate bytes (header 0x78 0x01, Adler-32 of data).
inline Bytes Wrap(const Bytes& deflate, const Bytes& data)
{
    Bytes out;
    out.reserve(deflate.size() + 6);
    out.push_back(0x78);
    out.push_back(0x01);
    out.insert(out.end(), deflate.begin(), deflate.end());
    uLong adler = adler32(1, data.data(), static_cast<uInt>(data.size()));
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<uint8_t>(adler >> shift));
    return out;
}

// Canonical Huffman codes for code lengths, RFC 1951 3.2.2.
inline std::vector<uint32_t> CanonicalCodes(const std::vector<uint8_t>& lengths)
{
    uint32_t count[16] = {};
    for (uint8_t len : lengths)
        if (len != 0)
            ++count[len];
    uint32_t next[16] = {};
    uint32_t code = 0;
    for (uint32_t bits = 1; bits < 16; ++bits) {
        code = (code + count[bits - 1]) << 1;
        next[bits] = code;
    }
    std::vector<uint32_t> codes(lengths.size());
    for (size_t s = 0; s < lengths.size(); ++s)
        if (lengths[s] != 0)
            codes[s] = next[lengths[s]]++;
    return codes;
}

// One final dynamic block with HLIT 258 and the given code lengths, sent
// with a code-length code of sixteen 4-bit codes (complete; with
// clIncomplete length 15 has none), then the symbols: literal/length symbols
// as they are, distance symbols as -(symbol + 1). No symbol has extra bits.
inline Bytes DynamicBlock(const std::vector<std::pair<uint32_t, uint8_t>>& literal, const std::vector<uint8_t>& distance,
                   const std::vector<int>& symbols, bool clIncomplete)
{
    std::vector<uint8_t> lit(258, 0);
    for (auto [symbol, len] : literal)
        lit[symbol] = len;
    BitWriter w;
    w.Bits(1, 1);
    w.Bits(2, 2);
    w.Bits(1, 5);                                            // HLIT 258
    w.Bits(static_cast<uint32_t>(distance.size() - 1), 5);  // HDIST
    w.Bits(15, 4);                                           // HCLEN 19
    const uint32_t order[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    for (uint32_t s : order)
        w.Bits(s >= 16 || (clIncomplete && s == 15) ? 0 : 4, 3);
    // Code-length symbols 0 to 15 (or 14) have the codes 0 to 15 in order.
    for (uint8_t len : lit)
        w.Code(len, 4);
    for (uint8_t len : distance)
        w.Code(len, 4);
    const std::vector<uint32_t> litCodes = CanonicalCodes(lit);
    const std::vector<uint32_t> distCodes = CanonicalCodes(distance);
    for (int s : symbols) {
        if (s >= 0)
            w.Code(litCodes[s], lit[s]);
        else
            w.Code(distCodes[-s - 1], distance[-s - 1]);
    }
    return w.Take();
}

inline void PutLe(Bytes& out, uint32_t value, int bytes)
{
    for (int i = 0; i < bytes; ++i)
        out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A tag with its short (length < 63) or long header.
inline void PutTag(Bytes& out, uint32_t code, const Bytes& payload, bool forceLong = false)
{
    if (payload.size() < 63 && !forceLong) {
        PutLe(out, (code << 6) | static_cast<uint32_t>(payload.size()), 2);
    } else {
        PutLe(out, (code << 6) | 63u, 2);
        PutLe(out, static_cast<uint32_t>(payload.size()), 4);
    }
    out.insert(out.end(), payload.begin(), payload.end());
}

// The RECT: 5-bit width, then four fields of that width, MSB first, padded.
inline Bytes Rect(uint32_t bits, uint32_t xmin, uint32_t xmax, uint32_t ymin, uint32_t ymax)
{
    Bytes out;
    uint64_t acc = 0;
    uint32_t count = 0;
    auto put = [&](uint32_t value, uint32_t n) {
        for (uint32_t i = n; i-- > 0;) {
            acc = (acc << 1) | ((value >> i) & 1u);
            if (++count == 8) {
                out.push_back(static_cast<uint8_t>(acc));
                acc = 0;
                count = 0;
            }
        }
    };
    put(bits, 5);
    put(xmin, bits);
    put(xmax, bits);
    put(ymin, bits);
    put(ymax, bits);
    if (count)
        out.push_back(static_cast<uint8_t>(acc << (8 - count)));
    return out;
}

// The body of an SWF file (everything after the 8-byte header): the frame
// header and the given tags.
inline Bytes Body(const Bytes& tags, uint32_t rate = 0x1800, uint32_t frames = 1)
{
    Bytes body = Rect(15, 0, 11000, 0, 8000);
    PutLe(body, rate, 2);
    PutLe(body, frames, 2);
    body.insert(body.end(), tags.begin(), tags.end());
    return body;
}

// A small movie with real tags: attributes, background, a shape with a
// filled rectangle, placement, frames and the End tag.
inline Bytes MovieTags(uint32_t frames = 2)
{
    Bytes tags;
    PutTag(tags, 69, {0x08, 0x00, 0x00, 0x00});
    PutTag(tags, 9, {0xFF, 0xFF, 0xFF});
    Bytes shape = {0x01, 0x00};
    Bytes bounds = Rect(14, 0, 2000, 0, 2000);
    shape.insert(shape.end(), bounds.begin(), bounds.end());
    Bytes style = {0x01, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x11, 0x35, 0x64, 0x00, 0x19, 0x00, 0x64,
                   0x00, 0x19, 0x00, 0x7D, 0x00, 0x00};
    shape.insert(shape.end(), style.begin(), style.end());
    PutTag(tags, 2, shape);
    PutTag(tags, 26, {0x06, 0x01, 0x00, 0x01, 0x00});
    for (uint32_t f = 0; f < frames; ++f)
        PutTag(tags, 1, {});
    PutTag(tags, 0, {});
    return tags;
}

inline Bytes Fws(const Bytes& body, uint8_t version = 10)
{
    Bytes file = {'F', 'W', 'S', version};
    PutLe(file, static_cast<uint32_t>(body.size() + 8), 4);
    file.insert(file.end(), body.begin(), body.end());
    return file;
}

inline Bytes Cws(const Bytes& body, const Bytes& stream, uint8_t version = 10)
{
    Bytes file = {'C', 'W', 'S', version};
    PutLe(file, static_cast<uint32_t>(body.size() + 8), 4);
    file.insert(file.end(), stream.begin(), stream.end());
    return file;
}

// Bytes that compress well but not trivially: text-like runs mixed with a
// simple pseudo-random sequence.
inline Bytes Sample(size_t size, uint32_t seed = 1)
{
    Bytes out;
    out.reserve(size);
    uint32_t x = seed;
    static const char* words[] = {"DefineShape ", "PlaceObject2 ", "ShowFrame ", "twips ", "0123456789 "};
    while (out.size() < size) {
        x = x * 1103515245u + 12345u;
        if ((x >> 16) % 3 == 0) {
            const char* w = words[(x >> 20) % 5];
            while (*w && out.size() < size)
                out.push_back(static_cast<uint8_t>(*w++));
        } else {
            out.push_back(static_cast<uint8_t>(x >> 24));
        }
    }
    return out;
}

}  // namespace swf_fixtures
