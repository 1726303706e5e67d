#pragma once
// Builders for hand-made JPEG byte sequences.
#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

namespace jpeg_bytes {

using Bytes = std::vector<uint8_t>;

inline void Put(Bytes& out, std::initializer_list<uint8_t> bytes)
{
    for (uint8_t b : bytes)
        out.push_back(b);
}
inline void Put(Bytes& out, const Bytes& bytes)
{
    out.reserve(out.size() + bytes.size());
    for (uint8_t b : bytes)
        out.push_back(b);
}
inline void Put16(Bytes& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}
inline void PutText(Bytes& out, const std::string& text) { out.insert(out.end(), text.begin(), text.end()); }

// A marker segment: the marker, the length (payload + 2), the payload.
inline Bytes Segment(uint8_t marker, const Bytes& payload)
{
    Bytes out;
    out.reserve(payload.size() + 4);
    out.push_back(0xFF);
    out.push_back(marker);
    Put16(out, static_cast<uint32_t>(payload.size() + 2));
    Put(out, payload);
    return out;
}

inline Bytes Soi() { return {0xFF, 0xD8}; }
inline Bytes Eoi() { return {0xFF, 0xD9}; }

// The standard JFIF header: version 1.1, the given unit and densities, no
// thumbnail.
inline Bytes App0Jfif(uint8_t unit = 1, uint32_t xDensity = 72, uint32_t yDensity = 72)
{
    Bytes p;
    PutText(p, "JFIF");
    Put(p, {0, 1, 1, unit});
    Put16(p, xDensity);
    Put16(p, yDensity);
    Put(p, {0, 0});
    return Segment(0xE0, p);
}

// One 8-bit quantization table with every value v.
inline Bytes Dqt(uint8_t selector = 0, uint8_t v = 1)
{
    Bytes p(65, v);
    p[0] = selector;
    return Segment(0xDB, p);
}

// Standard Huffman tables of ITU-T T.81 Annex K.3 (Tables K.3 and K.5).
inline const Bytes& LumaDcCounts()
{
    static const Bytes counts{0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    return counts;
}
inline const Bytes& LumaDcSymbols()
{
    static const Bytes symbols{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11};
    return symbols;
}
inline const Bytes& LumaAcCounts()
{
    static const Bytes counts{0, 2, 1, 3, 3, 2, 4, 3, 5, 5, 4, 4, 0, 0, 1, 0x7D};
    return counts;
}
inline const Bytes& LumaAcSymbols()
{
    static const Bytes symbols{
        0x01, 0x02, 0x03, 0x00, 0x04, 0x11, 0x05, 0x12, 0x21, 0x31, 0x41, 0x06, 0x13, 0x51, 0x61, 0x07, 0x22, 0x71,
        0x14, 0x32, 0x81, 0x91, 0xA1, 0x08, 0x23, 0x42, 0xB1, 0xC1, 0x15, 0x52, 0xD1, 0xF0, 0x24, 0x33, 0x62, 0x72,
        0x82, 0x09, 0x0A, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x34, 0x35, 0x36, 0x37,
        0x38, 0x39, 0x3A, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x4A, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59,
        0x5A, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0x6A, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0x83,
        0x84, 0x85, 0x86, 0x87, 0x88, 0x89, 0x8A, 0x92, 0x93, 0x94, 0x95, 0x96, 0x97, 0x98, 0x99, 0x9A, 0xA2, 0xA3,
        0xA4, 0xA5, 0xA6, 0xA7, 0xA8, 0xA9, 0xAA, 0xB2, 0xB3, 0xB4, 0xB5, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xC2, 0xC3,
        0xC4, 0xC5, 0xC6, 0xC7, 0xC8, 0xC9, 0xCA, 0xD2, 0xD3, 0xD4, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9, 0xDA, 0xE1, 0xE2,
        0xE3, 0xE4, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xFA};
    return symbols;
}

// The body of one table inside a DHT segment.
inline Bytes HuffmanBody(uint8_t classDestination, const Bytes& counts, const Bytes& symbols)
{
    Bytes p{classDestination};
    Put(p, counts);
    Put(p, symbols);
    return p;
}

// A DHT segment with the standard luminance DC (class 0) and AC (class 1)
// tables under destination 0.
inline Bytes DhtStandardLuma()
{
    Bytes p = HuffmanBody(0x00, LumaDcCounts(), LumaDcSymbols());
    Put(p, HuffmanBody(0x10, LumaAcCounts(), LumaAcSymbols()));
    return Segment(0xC4, p);
}

struct Component {
    uint8_t id;
    uint8_t sampling;
    uint8_t quant;
};

inline Bytes Sof0(uint32_t width, uint32_t height, std::initializer_list<Component> components, uint8_t marker = 0xC0,
                  uint8_t precision = 8)
{
    Bytes p{precision};
    Put16(p, height);
    Put16(p, width);
    p.push_back(static_cast<uint8_t>(components.size()));
    for (const Component& c : components)
        Put(p, {c.id, c.sampling, c.quant});
    return Segment(marker, p);
}

// A scan header; each component is {selector, table selection}.
inline Bytes Sos(std::initializer_list<std::pair<uint8_t, uint8_t>> components)
{
    Bytes p{static_cast<uint8_t>(components.size())};
    for (const auto& c : components)
        Put(p, {c.first, c.second});
    Put(p, {0, 63, 0});
    return Segment(0xDA, p);
}

inline Bytes Dri(uint32_t interval)
{
    Bytes p;
    Put16(p, interval);
    return Segment(0xDD, p);
}

// Writes entropy-coded bits most significant first, stuffing a 0x00 after
// each 0xFF byte and padding the last byte with 1-bits.
class BitWriter {
public:
    void Bits(const char* pattern)
    {
        for (const char* c = pattern; *c; ++c)
            if (*c == '0' || *c == '1')
                Bit(*c == '1');
    }
    void Bit(bool one)
    {
        acc_ = static_cast<uint8_t>((acc_ << 1) | (one ? 1 : 0));
        if (++count_ == 8)
            Flush();
    }
    Bytes Finish()
    {
        while (count_ != 0)
            Bit(true);
        return out_;
    }

private:
    void Flush()
    {
        out_.push_back(acc_);
        if (acc_ == 0xFF)
            out_.push_back(0x00);
        acc_ = 0;
        count_ = 0;
    }
    Bytes out_;
    uint8_t acc_ = 0;
    int count_ = 0;
};

// Entropy-coded data of n gray blocks that each code a DC difference of 0
// (code 00) and an end of block (code 1010) with the standard luminance
// tables: 6 bits per block, padded with 1-bits.
inline Bytes FlatGrayBlocks(size_t n)
{
    Bytes out;
    uint32_t acc = 0;
    int bits = 0;
    for (size_t i = 0; i < n; ++i) {
        acc = (acc << 6) | 0x0A;
        bits += 6;
        while (bits >= 8) {
            const uint8_t byte = static_cast<uint8_t>(acc >> (bits - 8));
            out.push_back(byte);
            if (byte == 0xFF)
                out.push_back(0x00);
            bits -= 8;
        }
    }
    if (bits > 0) {
        const uint8_t byte = static_cast<uint8_t>((acc << (8 - bits)) | ((1u << (8 - bits)) - 1));
        out.push_back(byte);
        if (byte == 0xFF)
            out.push_back(0x00);
    }
    return out;
}

// A complete one-component baseline file of width x height whose blocks are
// all flat mid-gray.
inline Bytes FlatGrayFile(uint32_t width, uint32_t height)
{
    Bytes f = Soi();
    Put(f, Dqt());
    Put(f, Sof0(width, height, {{1, 0x11, 0}}));
    Put(f, DhtStandardLuma());
    Put(f, Sos({{1, 0x00}}));
    Put(f, FlatGrayBlocks(static_cast<size_t>((width + 7) / 8) * ((height + 7) / 8)));
    Put(f, Eoi());
    return f;
}

}  // namespace jpeg_bytes
