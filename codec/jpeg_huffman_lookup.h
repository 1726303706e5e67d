#pragma once
// A Huffman code list (ITU-T T.81 Annex C, codes in canonical order) turned
// into lookup tables, shared by the JPEG scan decoders. Codes of up to
// kFastBits bits are found with one index into fast; longer ones by the
// canonical ranges of their length. The codes of a list are generated in
// canonical order, so the codes that can match at all form a prefix-free
// set, and the table yields exactly the entry that a walk through the list
// in order would stop at.
#include <cstdint>
#include <vector>

#include "codec/jpeg_records.h"

// The value of a coefficient coded in size bits (ITU-T T.81 F.2.2.1): a
// leading 0 bit marks a negative value, v - (2^size - 1). size from 1 to 16.
inline int32_t JpegExtend(uint32_t v, uint32_t size)
{
    const uint32_t negative = ((v >> (size - 1)) & 1u) - 1u;   // all ones when the top bit is 0
    return static_cast<int32_t>(v - (negative & ((1u << size) - 1u)));
}

class CJpegHuffmanLookup {
public:
    static constexpr int kFastBits = 9;

    // (length << 8) | symbol; 0 where no code of up to kFastBits bits matches.
    uint16_t fast[1u << kFastBits] = {};
    uint32_t first[17] = {};      // first code of each length
    uint32_t count[17] = {};      // codes of that length that fit in it
    uint32_t index[17] = {};      // position of the length's first symbol
    uint8_t symbols[16 * 256] = {};
    uint32_t lastLength = 0;      // length of the list's last entry: what a failed search reads
    // For AC tables: where a code and the value bits that follow it fit in
    // kFastBits bits together, (value << 16) | (run << 8) | total length;
    // 0 elsewhere (end of block, runs of zeros, longer codes).
    int32_t fastAc[1u << kFastBits] = {};

    // Builds the lookup for the table unless it was built for the same
    // codes already: a TIFF picture decodes each of its strips or tiles
    // with the same tables, built once.
    void Prepare(const HuffmanTable& table, bool ac);

    // Decodes one symbol from bits (a reader with Peek and Skip holding at
    // least 16 bits); false for a code that matches no entry, after taking
    // as many bits as the list's last entry is long.
    template <class Bits>
    bool Decode(Bits& bits, uint32_t& symbol) const
    {
        const uint32_t f = fast[bits.Peek(kFastBits)];
        if (f) {
            bits.Skip(static_cast<int>(f >> 8));
            symbol = f & 0xFF;
            return true;
        }
        for (uint32_t len = kFastBits + 1; len <= lastLength; ++len) {
            const uint32_t v = bits.Peek(static_cast<int>(len)) - first[len];
            if (v < count[len]) {
                bits.Skip(static_cast<int>(len));
                symbol = symbols[index[len] + v];
                return true;
            }
        }
        bits.Skip(static_cast<int>(lastLength));
        return false;
    }

private:
    void Build(const HuffmanTable& table);
    void BuildFastAc();

    // The codes the lookup was built from (code, length and symbol of
    // each), and whether fastAc was built.
    std::vector<uint32_t> builtFrom_;
    bool builtFastAc_ = false;
    std::vector<uint32_t> key_;
};
