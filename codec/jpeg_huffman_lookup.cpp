#include "codec/jpeg_huffman_lookup.h"

#include <algorithm>
#include <iterator>

void CJpegHuffmanLookup::Prepare(const HuffmanTable& table, bool ac)
{
    key_.clear();
    for (const HuffmanCode& c : table.codes)
        key_.insert(key_.end(), {c.code, c.length, c.symbol});
    if (!builtFrom_.empty() && key_ == builtFrom_ && builtFastAc_ == ac)
        return;
    std::fill(std::begin(fast), std::end(fast), uint16_t{0});
    std::fill(std::begin(first), std::end(first), 0u);
    std::fill(std::begin(count), std::end(count), 0u);
    std::fill(std::begin(index), std::end(index), 0u);
    std::fill(std::begin(symbols), std::end(symbols), uint8_t{0});
    std::fill(std::begin(fastAc), std::end(fastAc), 0);
    lastLength = 0;
    Build(table);
    if (ac)
        BuildFastAc();
    builtFrom_.swap(key_);
    builtFastAc_ = ac;
}

void CJpegHuffmanLookup::BuildFastAc()
{
    for (uint32_t i = 0; i < (1u << kFastBits); ++i) {
        const uint32_t f = fast[i];
        if (!f)
            continue;
        const uint32_t len = f >> 8;
        const uint32_t size = f & 0x0F;
        const uint32_t run = (f >> 4) & 0x0F;
        if (size == 0 || len + size > static_cast<uint32_t>(kFastBits))
            continue;
        const uint32_t bits = (i >> (kFastBits - len - size)) & ((1u << size) - 1u);
        fastAc[i] = static_cast<int32_t>(static_cast<uint32_t>(JpegExtend(bits, size)) << 16) |
                    static_cast<int32_t>((run << 8) | (len + size));
    }
}

void CJpegHuffmanLookup::Build(const HuffmanTable& table)
{
    uint32_t n = 0;
    uint32_t previousLength = 0;
    for (const HuffmanCode& c : table.codes) {
        if (n >= sizeof symbols)
            break;
        const uint32_t len = c.length;
        if (len == 0 || len > 16)
            continue;
        lastLength = len;
        symbols[n] = static_cast<uint8_t>(c.symbol);
        if (len != previousLength) {
            first[len] = c.code;
            index[len] = n;
            previousLength = len;
        }
        // A code whose value does not fit in its length can never match.
        if (c.code < (1u << len)) {
            if (count[len] == c.code - first[len])
                ++count[len];
            if (len <= static_cast<uint32_t>(kFastBits)) {
                const uint32_t shift = kFastBits - len;
                const uint32_t base = c.code << shift;
                for (uint32_t k = 0; k < (1u << shift); ++k)
                    if (fast[base + k] == 0)
                        fast[base + k] = static_cast<uint16_t>((len << 8) | c.symbol);
            }
        }
        ++n;
    }
}
