#include "codec/jpeg_scan_decoder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "codec/batch_hand_off.h"
#include "codec/decode_threads.h"

// The transform and the colour conversion are plain loops over eight lanes;
// where the compiler can, it also builds them for AVX2 and picks the variant
// at load time. Both variants compute the same integers.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && defined(__linux__) && \
    !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
#define VANTREL_VECTOR_CLONES __attribute__((target_clones("avx2", "default"), noinline))
#else
#define VANTREL_VECTOR_CLONES
#endif

namespace {

// 65536 x cos(k pi / 16), to the nearest integer.
constexpr int32_t C1 = 64277;
constexpr int32_t C2 = 60547;
constexpr int32_t C3 = 54491;
constexpr int32_t C4 = 46341;
constexpr int32_t C5 = 36410;
constexpr int32_t C6 = 25080;
constexpr int32_t C7 = 12785;

// kCosine[m][v] = 65536 x cos((2m + 1) v pi / 16), to the nearest integer: the
// basis of the vertical pass of the inverse DCT.
constexpr int32_t kCosine[8][8] = {
    {65536, 64277, 60547, 54491, 46341, 36410, 25080, 12785},
    {65536, 54491, 25080, -12785, -46341, -64277, -60547, -36410},
    {65536, 36410, -25080, -64277, -46341, 12785, 60547, 54491},
    {65536, 12785, -60547, -36410, 46341, 54491, -25080, -64277},
    {65536, -12785, -60547, 36410, 46341, -54491, -25080, 64277},
    {65536, -36410, -25080, 64277, -46341, -12785, 60547, -54491},
    {65536, -54491, 25080, 12785, -46341, 64277, -60547, 36410},
    {65536, -64277, 60547, -54491, 46341, -36410, 25080, -12785},
};

// The same table transposed, [v][m], so that the vertical pass runs along
// contiguous memory.
struct CosineByFrequency {
    int32_t t[8][8];
    constexpr CosineByFrequency() : t{}
    {
        for (int v = 0; v < 8; ++v)
            for (int m = 0; m < 8; ++m)
                t[v][m] = kCosine[m][v];
    }
};
constexpr CosineByFrequency kCosineT;

// JFIF YCbCr to RGB factors in 16.16 fixed point.
constexpr int32_t kCrToR = 91881;
constexpr int32_t kCbToG = 22554;
constexpr int32_t kCrToG = 46802;
constexpr int32_t kCbToB = 116130;

// All sample arithmetic is 32-bit and wraps on overflow (hostile coefficients
// can overflow any width); >> is an arithmetic shift of the signed value.
inline int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline int32_t Add(int32_t a, int32_t b) { return Wrap(int64_t{a} + b); }
inline int32_t Sub(int32_t a, int32_t b) { return Wrap(int64_t{a} - b); }
inline int32_t Mul(int32_t a, int32_t b) { return Wrap(int64_t{a} * b); }
inline int32_t MulShift(int32_t a, int32_t b) { return Mul(a, b) >> 16; }

inline int32_t Clamp255(int32_t v) { return v < 0 ? 0 : (v > 255 ? 255 : v); }

// One row of the horizontal pass: the eight horizontal frequencies r[0..7]
// of one vertical frequency become the row's values gv[n]. False for a row
// that comes out all zero, which the vertical pass then skips.
[[gnu::always_inline]] inline bool InverseDctRow(const int32_t* r, int32_t* gv)
{
    const int32_t F0 = r[0], F1 = r[1], F2 = r[2], F3 = r[3], F4 = r[4], F5 = r[5], F6 = r[6], F7 = r[7];
    if ((F1 | F2 | F3 | F4 | F5 | F6 | F7) == 0) {
        // Only the first term survives: every output equals (F0 x C4) >> 16.
        const int32_t a0 = MulShift(F0, C4);
        if (a0 == 0)
            return false;
        for (int n = 0; n < 8; ++n)
            gv[n] = a0;
        return true;
    }
    const int32_t a0 = MulShift(F0, C4);
    const int32_t a4 = MulShift(F4, C4);
    const int32_t b1 = MulShift(Add(F1, F7), C4);
    const int32_t b7 = MulShift(Sub(F1, F7), C4);
    const int32_t e0 = Add(a0, a4);
    const int32_t e1 = Sub(a0, a4);
    const int32_t e2 = Sub(Mul(F2, C6), Mul(F6, C2)) >> 16;
    const int32_t e3 = Add(Mul(F2, C2), Mul(F6, C6)) >> 16;
    const int32_t o0 = Add(b1, F3);
    const int32_t o1 = Sub(b1, F3);
    const int32_t o2 = Sub(b7, F5);
    const int32_t o3 = Add(F5, b7);
    const int32_t t0 = Add(e0, e3);
    const int32_t t1 = Add(e1, e2);
    const int32_t t2 = Sub(e1, e2);
    const int32_t t3 = Sub(e0, e3);
    const int32_t p0 = Add(Mul(o0, C3), Mul(o3, C5)) >> 16;
    const int32_t p1 = Add(Mul(o1, C7), Mul(o2, C1)) >> 16;
    const int32_t p2 = Sub(Mul(o1, C1), Mul(o2, C7)) >> 16;
    const int32_t p3 = Sub(Mul(o3, C3), Mul(o0, C5)) >> 16;
    gv[0] = Add(t0, p0);
    gv[1] = Add(t1, p1);
    gv[2] = Add(t2, p2);
    gv[3] = Add(t3, p3);
    gv[4] = Sub(t3, p3);
    gv[5] = Sub(t2, p2);
    gv[6] = Sub(t1, p1);
    gv[7] = Sub(t0, p0);
    return true;
}

// The separable inverse DCT in 16.16 fixed point. f is indexed [row v][column
// u] (vertical, horizontal frequency); rowMask has bit v set when row v may
// hold a non-zero value (rows without the bit are all zero). out receives the
// samples [vertical position m][horizontal position n]. Rows known to be zero
// are skipped: every product with a zero is zero, so the result is the same.
VANTREL_VECTOR_CLONES void InverseDct(const int32_t* f, uint32_t rowMask, int32_t* out)
{
    int32_t g[8][8];   // [v][n]
    uint32_t liveRows = 0;
    for (int v = 0; v < 8; ++v)
        if ((rowMask & (1u << v)) && InverseDctRow(f + v * 8, g[v]))
            liveRows |= 1u << v;

    // Vertical pass: s[n][m] = ((g[n][0] C4 >> 16) T[m][0] >> 16) + sum over
    // v >= 1 of (g[n][v] T[m][v] >> 16), all shifted right by 2. Computed in
    // unsigned arithmetic, which wraps exactly like the signed 32-bit values.
    uint32_t acc[8][8];   // [m][n]
    if (liveRows & 1u) {
        uint32_t first[8];
        for (int n = 0; n < 8; ++n) {
            const uint32_t c4 = static_cast<uint32_t>(MulShift(g[0][n], C4));
            // T[m][0] is 65536 for every m.
            first[n] = static_cast<uint32_t>(static_cast<int32_t>(c4 << 16) >> 16);
        }
        for (int m = 0; m < 8; ++m)
            for (int n = 0; n < 8; ++n)
                acc[m][n] = first[n];
    } else {
        std::memset(acc, 0, sizeof acc);
    }
    for (int v = 1; v < 8; ++v) {
        if (!(liveRows & (1u << v)))
            continue;
        const uint32_t* gv = reinterpret_cast<const uint32_t*>(g[v]);
        for (int m = 0; m < 8; ++m) {
            const uint32_t t = static_cast<uint32_t>(kCosineT.t[v][m]);
            uint32_t* row = acc[m];
            for (int n = 0; n < 8; ++n)
                row[n] += static_cast<uint32_t>(static_cast<int32_t>(gv[n] * t) >> 16);
        }
    }
    for (int m = 0; m < 8; ++m)
        for (int n = 0; n < 8; ++n)
            out[m * 8 + n] = static_cast<int32_t>(acc[m][n]) >> 2;
}

// Eight pixels from their luma and chroma samples, written as blue, green
// and red bytes: R = (Y 65536 + Cr 91881) >> 16,
// G = (Y 65536 - Cb 22554 - Cr 46802) >> 16, B = (Y 65536 + Cb 116130) >> 16,
// in wrapping 32-bit arithmetic, each clamped to 0 to 255.
#if defined(__GNUC__) && !defined(__clang__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
typedef uint32_t U32x8 __attribute__((vector_size(32)));
typedef int32_t I32x8 __attribute__((vector_size(32)));
typedef uint64_t U64x4 __attribute__((vector_size(32)));

// The chroma parts of the three sums, Cr 91881, Cb 22554 + Cr 46802 and
// Cb 116130, for eight samples; subtracting the second is the same, in
// wrapping arithmetic, as subtracting both products one after the other.
struct ChromaTerms {
    U32x8 red, green, blue;
};

[[gnu::always_inline]] inline ChromaTerms TermsOf(const int32_t* cb, const int32_t* cr)
{
    U32x8 ucb, ucr;
    std::memcpy(&ucb, cb, sizeof ucb);
    std::memcpy(&ucr, cr, sizeof ucr);
    return {ucr * kCrToR, ucb * kCbToG + ucr * kCrToG, ucb * kCbToB};
}

// Eight pixels from their luma samples and chroma terms, written as 24 bytes
// of blue, green and red.
[[gnu::always_inline]] inline void ConvertEight(const int32_t* ys, const ChromaTerms& t, uint8_t* p)
{
    U32x8 y;
    std::memcpy(&y, ys, sizeof y);
    y <<= 16;
    I32x8 r = reinterpret_cast<I32x8>(y + t.red) >> 16;
    I32x8 g = reinterpret_cast<I32x8>(y - t.green) >> 16;
    I32x8 b = reinterpret_cast<I32x8>(y + t.blue) >> 16;
    r = r < 0 ? 0 : r;
    r = r > 255 ? 255 : r;
    g = g < 0 ? 0 : g;
    g = g > 255 ? 255 : g;
    b = b < 0 ? 0 : b;
    b = b > 255 ? 255 : b;
    // Each pixel's blue, green and red are the low three bytes of its word;
    // two words make a 64-bit lane, whose six bytes are closed up and then
    // joined with the next lane's into three 64-bit stores.
    const U64x4 pairs = reinterpret_cast<U64x4>(b | (g << 8) | (r << 16));
    const U64x4 six = (pairs & 0xFFFFFFu) | ((pairs >> 8) & 0xFFFFFF000000u);
    const uint64_t first = six[0] | six[1] << 48, second = six[1] >> 16 | six[2] << 32,
                   third = six[2] >> 32 | six[3] << 16;
    std::memcpy(p, &first, 8);
    std::memcpy(p + 8, &second, 8);
    std::memcpy(p + 16, &third, 8);
}

// The chroma of one MCU: Paint converts a row of eight pixels of a luma block
// whose chroma lies in chroma row cy, at left (bx 0) or right (bx 1) in the
// chroma block when chroma is spread over two blocks across. With chroma
// shared by two or four pixels its terms are computed once for the block
// and spread over the pixels.
template <uint32_t hs, uint32_t vs>
class McuChroma {
public:
    explicit McuChroma(const int32_t (*chroma)[64]) : chroma_(chroma)
    {
        if constexpr (hs != 0 || vs != 0)
            for (uint32_t k = 0; k < 8; ++k)
                terms_[k] = TermsOf(chroma[0] + k * 8, chroma[1] + k * 8);
    }

    [[gnu::always_inline]] void Paint(const int32_t* ys, uint32_t bx, uint32_t cy, uint8_t* p) const
    {
        constexpr U32x8 kLeftHalf = {0, 0, 1, 1, 2, 2, 3, 3};
        constexpr U32x8 kRightHalf = {4, 4, 5, 5, 6, 6, 7, 7};
        if constexpr (hs == 0 && vs == 0) {
            ConvertEight(ys, TermsOf(chroma_[0] + cy * 8, chroma_[1] + cy * 8), p);
        } else if constexpr (hs == 0) {
            ConvertEight(ys, terms_[cy], p);
        } else {
            const ChromaTerms& c = terms_[cy];
            const U32x8 spread = bx ? kRightHalf : kLeftHalf;
            const ChromaTerms t = {__builtin_shuffle(c.red, spread), __builtin_shuffle(c.green, spread),
                                   __builtin_shuffle(c.blue, spread)};
            ConvertEight(ys, t, p);
        }
    }

private:
    const int32_t (*chroma_)[64];
    ChromaTerms terms_[8];
};
#else
inline void ConvertEight(const int32_t* ys, const int32_t* cb, const int32_t* cr, uint8_t* p)
{
    for (uint32_t i = 0; i < 8; ++i) {
        const uint32_t y = static_cast<uint32_t>(ys[i]) << 16;
        const uint32_t ucb = static_cast<uint32_t>(cb[i]);
        const uint32_t ucr = static_cast<uint32_t>(cr[i]);
        p[i * 3 + 2] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y + ucr * kCrToR) >> 16));
        p[i * 3 + 1] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y - ucb * kCbToG - ucr * kCrToG) >> 16));
        p[i * 3 + 0] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y + ucb * kCbToB) >> 16));
    }
}

template <uint32_t hs, uint32_t vs>
class McuChroma {
public:
    explicit McuChroma(const int32_t (*chroma)[64]) : chroma_(chroma) {}

    void Paint(const int32_t* ys, uint32_t bx, uint32_t cy, uint8_t* p) const
    {
        int32_t cb[8];
        int32_t cr[8];
        for (uint32_t i = 0; i < 8; ++i) {
            const uint32_t cx = (i + 8 * bx) >> hs;
            cb[i] = chroma_[0][cy * 8 + cx];
            cr[i] = chroma_[1][cy * 8 + cx];
        }
        ConvertEight(ys, cb, cr, p);
    }

private:
    const int32_t (*chroma_)[64];
};
#endif

// Converts the samples of one MCU to blue, green and red and writes them into
// the bottom-up pixel memory. Luma block b covers block (b mod h0, b div h0)
// of the MCU; the one chroma block is spread over the whole MCU, so the chroma
// cell of a pixel is its MCU position divided by the sampling factors (1 or 2,
// hence the shifts). Each sampling has its own copy, with the shifts known.
template <uint32_t hs, uint32_t vs>
[[gnu::always_inline]] inline void PaintMcuOf(const int32_t (*luma)[64], const int32_t (*chroma)[64], uint64_t x,
                                              uint64_t y, const CJpegScanDecoder::Target& target)
{
    const size_t rowBytes = static_cast<size_t>(target.bitmapWidth) * 3;
    const McuChroma<hs, vs> colours(chroma);
    for (uint32_t b = 0; b < (1u << hs) * (1u << vs); ++b) {
        const uint32_t bx = b & hs;
        const uint32_t by = b >> hs;
        const uint64_t ox = x + 8 * bx;
        const uint64_t oy = y + 8 * by;
        for (uint32_t j = 0; j < 8; ++j) {
            const uint64_t row = static_cast<uint64_t>(target.bitmapHeight) - 1 - (oy + j);
            colours.Paint(luma[b] + j * 8, bx, (j + 8 * by) >> vs, target.pixels + row * rowBytes + ox * 3);
        }
    }
}

VANTREL_VECTOR_CLONES void PaintMcu(const int32_t (*luma)[64], const int32_t (*chroma)[64], uint32_t h0,
                                    uint32_t v0, uint64_t x, uint64_t y, const CJpegScanDecoder::Target& target)
{
    if (h0 == 1 && v0 == 1)
        PaintMcuOf<0, 0>(luma, chroma, x, y, target);
    else if (h0 == 2 && v0 == 1)
        PaintMcuOf<1, 0>(luma, chroma, x, y, target);
    else if (h0 == 1)
        PaintMcuOf<0, 1>(luma, chroma, x, y, target);
    else
        PaintMcuOf<1, 1>(luma, chroma, x, y, target);
}

// Writes one MCU of red, green and blue blocks (level-shifted samples) into
// the bottom-up pixel memory.
void PaintRgbMcu(const int32_t* red, const int32_t (*greenBlue)[64], uint64_t x, uint64_t y,
                 const CJpegScanDecoder::Target& target)
{
    const size_t rowBytes = static_cast<size_t>(target.bitmapWidth) * 3;
    for (uint32_t j = 0; j < 8; ++j) {
        const uint64_t row = static_cast<uint64_t>(target.bitmapHeight) - 1 - (y + j);
        uint8_t* p = target.pixels + row * rowBytes + x * 3;
        for (uint32_t i = 0; i < 8; ++i) {
            p[i * 3 + 0] = static_cast<uint8_t>(Clamp255(Add(greenBlue[1][j * 8 + i], 128)));
            p[i * 3 + 1] = static_cast<uint8_t>(Clamp255(Add(greenBlue[0][j * 8 + i], 128)));
            p[i * 3 + 2] = static_cast<uint8_t>(Clamp255(red[j * 8 + i]));
        }
    }
}

// The value of a coefficient coded in size bits (ITU-T T.81 F.2.2.1): a
// leading 0 bit marks a negative value, v - (2^size - 1). size from 1 to 16.
inline int32_t Extend(uint32_t v, uint32_t size)
{
    const uint32_t negative = ((v >> (size - 1)) & 1u) - 1u;   // all ones when the top bit is 0
    return static_cast<int32_t>(v - (negative & ((1u << size) - 1u)));
}

// A Huffman code list turned into lookup tables. Codes of up to kFastBits bits
// are found with one index into fast; longer ones by the canonical ranges of
// their length. The codes of a list are generated in canonical order, so the
// codes that can match at all form a prefix-free set, and the table yields
// exactly the entry that a walk through the list in order would stop at.
constexpr int kFastBits = 9;

struct HuffmanLookup {
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
    // The codes the lookup was built from (code, length and symbol of
    // each), and whether fastAc was built: a TIFF picture decodes each
    // of its strips or tiles with the same tables, built once.
    std::vector<uint32_t> builtFrom;
    bool builtFastAc = false;

    // Builds the lookup for the table unless it was built for the same
    // codes already.
    void Prepare(const HuffmanTable& table, bool ac)
    {
        key.clear();
        for (const HuffmanCode& c : table.codes)
            key.insert(key.end(), {c.code, c.length, c.symbol});
        if (!builtFrom.empty() && key == builtFrom && builtFastAc == ac)
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
        builtFrom.swap(key);
        builtFastAc = ac;
    }

    void BuildFastAc()
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
            fastAc[i] = static_cast<int32_t>(static_cast<uint32_t>(Extend(bits, size)) << 16) |
                        static_cast<int32_t>((run << 8) | (len + size));
        }
    }

    void Build(const HuffmanTable& table)
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

private:
    std::vector<uint32_t> key;
};

// The dequantized coefficients of a run of consecutive MCUs, waiting for the
// transform and the colour conversion. Each block holds 64 values in [row]
// [column] order and is all zero except where a coefficient was coded; the
// painter clears what it read, so a batch can be filled again.
struct CoefficientBatch {
    uint64_t firstMcu = 0;
    uint32_t mcus = 0;
    std::vector<int32_t> blocks;     // kBatchMcus x blocks per MCU x 64
    std::vector<uint8_t> rowMasks;   // per block: bit v set when row v may be non-zero
};

constexpr uint32_t kBatchMcus = 64;
// Batches in flight between the entropy decoding and the painting.
constexpr size_t kBatchSlots = 4;
// Pictures of fewer MCUs are decoded on the caller's thread alone: a thread
// would cost more than it saves.
constexpr uint64_t kThreadedMcus = 4 * kBatchMcus;

}  // namespace

struct CJpegScanDecoder::State {
    // Raw bytes of the file, read in chunks. The last kKeep bytes of a chunk
    // stay in front of the next one so that the decoder can step back to the
    // end of a restart interval.
    static constexpr size_t kChunk = 1u << 16;
    static constexpr size_t kKeep = 64;
    uint8_t buffer[kKeep + kChunk];
    size_t nextRead = kChunk;   // bytes the next Fill asks for
    uint64_t bufferStart = 0;   // file offset of buffer[0]
    size_t length = 0;
    size_t pos = 0;
    bool atEnd = false;
    FILE* fp = nullptr;
    // The file is not yet where the bytes in the buffer end: it is put there
    // before the first read, so that a scan that needs only the bytes given
    // ahead does not touch the file at all.
    bool seekBeforeRead = false;

    // The bits of the data bytes taken so far, most significant first.
    // The bit count is 64-bit so that the decoder's 32-bit coefficient stores
    // cannot alias it and it stays in a register.
    uint64_t acc = 0;
    int64_t bits = 0;
    uint32_t previous = 0;      // last data byte, 0x100 for end of file

    // Data bytes taken since startOffset: the file offset after each of the
    // last 16, and the byte itself, for finding where the bits used so far end.
    uint64_t startOffset = 0;
    uint32_t startPrevious = 0;
    uint64_t dataCount = 0;
    uint64_t firstEofByte = UINT64_MAX;
    uint64_t ringOffset[16] = {};
    uint32_t ringByte[16] = {};

    // Coefficient batches, kept between decodings; a clean one is all zero.
    CoefficientBatch batches[kBatchSlots];
    bool batchClean[kBatchSlots] = {};

    HuffmanLookup dcLookup[kMaxComponents];
    HuffmanLookup acLookup[kMaxComponents];
    uint8_t natural[64] = {};   // natural index ([row][column]) of each zigzag position
    int32_t predictor[8] = {};  // DC predictor of each component identifier
    bool firstBlock[8] = {};

    Outcome DecodeMcus(const Frame& frame, const int32_t (*quant)[64], uint64_t total, CBatchHandOff& handOff,
                       CoefficientBatch* batches, uint64_t& decoded);
    // One MCU's blocks into block (64 values each) and their row masks;
    // false for a code that matches no entry.
    bool DecodeMcu(const Frame& frame, const int32_t (*quant)[64], int32_t* block, uint8_t* rowMasks);
    bool DecodeAc(const HuffmanLookup& ac, const int32_t* q, int32_t dc, int32_t* freq, uint8_t* rowMask);

    int RawByte()
    {
        if (pos == length) {
            if (atEnd || !Fill())
                return -1;
        }
        return buffer[pos++];
    }

    bool Fill()
    {
        if (length > kKeep) {
            const size_t drop = length - kKeep;
            std::memmove(buffer, buffer + drop, kKeep);
            bufferStart += drop;
            length = kKeep;
            pos -= drop;
        }
        if (seekBeforeRead) {
            std::fseek(fp, static_cast<long>(bufferStart + length), SEEK_SET);
            seekBeforeRead = false;
        }
        const size_t room = kKeep + kChunk - length;
        const size_t got = std::fread(buffer + length, 1, nextRead < room ? nextRead : room, fp);
        nextRead = kChunk;
        length += got;
        if (got == 0)
            atEnd = true;
        return got > 0;
    }

    uint64_t Offset() const { return bufferStart + pos; }

    void Start(uint64_t offset, uint32_t previousByte)
    {
        acc = 0;
        bits = 0;
        previous = previousByte;
        startOffset = offset;
        startPrevious = previousByte;
        dataCount = 0;
        firstEofByte = UINT64_MAX;
    }

    // Takes the next data byte as the byte-at-a-time reader would.
    void TakeByte()
    {
        int b = RawByte();
        if (b == 0 && previous == 0xFF)
            b = RawByte();
        uint32_t value;
        if (b < 0) {
            value = 0xFF;
            if (firstEofByte == UINT64_MAX)
                firstEofByte = dataCount;
            previous = 0x100;
        } else {
            value = static_cast<uint32_t>(b);
            previous = value;
        }
        ringOffset[dataCount & 15] = Offset();
        ringByte[dataCount & 15] = previous;
        ++dataCount;
        acc |= uint64_t{value} << (56 - bits);
        bits += 8;
    }

    void Refill()
    {
        // Fast path: bytes without 0xFF among them, after a byte that is not
        // 0xFF, involve no stuffing and no end of file.
        const int want = static_cast<int>((64 - bits) >> 3);
        if (want == 0)
            return;
        if (previous != 0xFF && pos + static_cast<size_t>(want) <= length) {
            const uint8_t* b = buffer + pos;
            bool plain = true;
            for (int i = 0; i < want; ++i)
                plain &= b[i] != 0xFF;
            if (plain) {
                for (int i = 0; i < want; ++i) {
                    acc |= uint64_t{b[i]} << (56 - bits);
                    bits += 8;
                    ringOffset[dataCount & 15] = bufferStart + pos + static_cast<size_t>(i) + 1;
                    ringByte[dataCount & 15] = b[i];
                    ++dataCount;
                }
                pos += static_cast<size_t>(want);
                previous = b[want - 1];
                return;
            }
        }
        while (bits <= 56)
            TakeByte();
    }

    uint32_t Peek(int n) const { return static_cast<uint32_t>(acc >> (64 - n)); }
    void Skip(int n)
    {
        acc <<= n;
        bits -= n;
    }
    // n from 1 to 32, with at least n bits in the accumulator.
    uint32_t Take(int n)
    {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // Data bytes whose bits have been used, counted from startOffset.
    uint64_t BytesUsed() const { return (dataCount * 8 - static_cast<uint64_t>(bits) + 7) / 8; }
    bool PastEnd() const { return BytesUsed() > firstEofByte; }
    uint64_t OffsetAfterUsed() const
    {
        const uint64_t used = BytesUsed();
        return used == 0 ? startOffset : ringOffset[(used - 1) & 15];
    }
    uint32_t LastUsedByte() const
    {
        const uint64_t used = BytesUsed();
        return used == 0 ? startPrevious : ringByte[(used - 1) & 15];
    }

    // Starts on the entropy-coded data: the bytes ahead (if any) are the
    // file's from ahead.offset on; without them the file stands at
    // ahead.offset, or is put there when seek is set.
    void StartReading(FILE* file, const Ahead& ahead, bool seek, uint32_t previousByte)
    {
        fp = file;
        if (seek && ahead.size == 0)
            std::fseek(fp, static_cast<long>(ahead.offset), SEEK_SET);
        bufferStart = ahead.offset;
        if (ahead.size > 0)
            std::memcpy(buffer, ahead.bytes, ahead.size);
        length = ahead.size;
        pos = 0;
        atEnd = false;
        seekBeforeRead = ahead.size > 0;
        Start(bufferStart, previousByte > 0xFF ? 0x100 : previousByte);
    }

    // The first slots batches, each for blocks blocks and all zero. Batches
    // are all zero after a complete decoding (the painter clears what it
    // read): the many strips of a TIFF picture reuse them.
    CoefficientBatch* PrepareBatches(size_t slots, size_t blocks)
    {
        for (size_t i = 0; i < slots; ++i) {
            if (batchClean[i]) {
                batches[i].blocks.resize(blocks * 64);
                batches[i].rowMasks.resize(blocks);
            } else {
                batches[i].blocks.assign(blocks * 64, 0);
                batches[i].rowMasks.assign(blocks, 0);
            }
        }
        return batches;
    }

    // Moves the byte position back to offset. That is normally a few bytes
    // back, which the kept tail covers; otherwise the stream is repositioned.
    void SeekBack(uint64_t offset)
    {
        if (offset >= bufferStart && offset <= bufferStart + length) {
            pos = static_cast<size_t>(offset - bufferStart);
            return;
        }
        std::fseek(fp, static_cast<long>(offset), SEEK_SET);
        seekBeforeRead = false;
        bufferStart = offset;
        length = 0;
        pos = 0;
        atEnd = false;
    }

    // Decodes one symbol; false for a code that matches no entry, after
    // reading as many bits as the list's last entry is long.
    bool Decode(const HuffmanLookup& h, uint32_t& symbol)
    {
        const uint32_t f = h.fast[Peek(kFastBits)];
        if (f) {
            Skip(static_cast<int>(f >> 8));
            symbol = f & 0xFF;
            return true;
        }
        for (uint32_t len = kFastBits + 1; len <= h.lastLength; ++len) {
            const uint32_t v = Peek(static_cast<int>(len)) - h.first[len];
            if (v < h.count[len]) {
                Skip(static_cast<int>(len));
                symbol = h.symbols[h.index[len] + v];
                return true;
            }
        }
        Skip(static_cast<int>(h.lastLength));
        return false;
    }

    // After a restart interval: the rest of the last byte is padding, then an
    // RSTn marker (possibly after fill bytes 0xFF) must follow.
    bool Restart()
    {
        const uint64_t offset = OffsetAfterUsed();
        const uint32_t last = LastUsedByte();
        SeekBack(offset);
        int b = RawByte();
        if (b == 0 && last == 0xFF)
            b = RawByte();
        bool found = false;
        if (b == 0xFF) {
            do
                b = RawByte();
            while (b == 0xFF);
            found = b >= 0xD0 && b <= 0xD7;
        }
        if (!found) {
            SeekBack(offset);
            Start(offset, last);
            return false;
        }
        Start(Offset(), static_cast<uint32_t>(b));
        return true;
    }

    // Leaves the stream where the byte-at-a-time reader would stand.
    void Finish()
    {
        if (PastEnd()) {
            std::fseek(fp, 0, SEEK_END);
            std::fgetc(fp);   // sets the end-of-file indicator, as the reader's last read did
            return;
        }
        std::fseek(fp, static_cast<long>(OffsetAfterUsed()), SEEK_SET);
    }
};

CJpegScanDecoder::CJpegScanDecoder() : state_(std::make_unique<State>()) {}
CJpegScanDecoder::~CJpegScanDecoder() = default;

bool CJpegScanDecoder::Supported(const Frame& frame)
{
    if (frame.componentCount < 1 || frame.componentCount > kMaxComponents)
        return false;
    if (frame.rgb && (frame.componentCount != 3 || frame.components[0].horizontal != 1 ||
                      frame.components[0].vertical != 1))
        return false;
    for (int c = 0; c < frame.componentCount; ++c) {
        const Component& comp = frame.components[c];
        if (comp.identifier > 7 || !comp.quant || !comp.dc || !comp.ac)
            return false;
        if (c == 0) {
            if (comp.horizontal < 1 || comp.horizontal > 2 || comp.vertical < 1 || comp.vertical > 2)
                return false;
        } else if (comp.horizontal != 1 || comp.vertical != 1) {
            return false;
        }
    }
    return true;
}

namespace {

// The second stage of the decoding: the inverse DCT of each block of a batch,
// the level shift of the luma samples and the colour conversion into the
// pixel memory, MCU after MCU.
class McuPainter {
public:
    McuPainter(const CJpegScanDecoder::Frame& frame, const CJpegScanDecoder::Target& target)
        : frame_(frame), target_(target), h0_(frame.components[0].horizontal), v0_(frame.components[0].vertical)
    {
        const uint64_t mcuWidth = 8 * h0_;
        mcusAcross_ = (frame.width + mcuWidth - 1) / mcuWidth;
        for (int c = 0; c < frame.componentCount; ++c)
            blocksPerMcu_ += frame.components[c].horizontal * frame.components[c].vertical;
    }

    uint32_t BlocksPerMcu() const { return blocksPerMcu_; }

    void Paint(CoefficientBatch& batch)
    {
        int32_t* block = batch.blocks.data();
        const uint8_t* mask = batch.rowMasks.data();
        for (uint32_t i = 0; i < batch.mcus; ++i) {
            for (int c = 0; c < frame_.componentCount; ++c) {
                const CJpegScanDecoder::Component& comp = frame_.components[c];
                for (uint32_t b = 0; b < comp.horizontal * comp.vertical; ++b, block += 64, ++mask) {
                    if (target_.pixels)
                        Transform(block, *mask, c == 0 ? luma_[b] : chroma_[c - 1], c == 0);
                    for (uint32_t v = 0; v < 8; ++v)
                        if (*mask & (1u << v))
                            std::memset(block + v * 8, 0, 8 * sizeof block[0]);
                }
            }
            if (target_.pixels) {
                const uint64_t mcu = batch.firstMcu + i;
                const uint64_t x = (mcu % mcusAcross_) * 8 * h0_;
                const uint64_t y = (mcu / mcusAcross_) * 8 * v0_;
                if (frame_.rgb)
                    PaintRgbMcu(luma_[0], chroma_, x, y, target_);
                else
                    PaintMcu(luma_, chroma_, h0_, v0_, x, y, target_);
            }
        }
    }

private:
    static void Transform(const int32_t* block, uint32_t rowMask, int32_t* out, bool levelShift)
    {
        InverseDct(block, rowMask, out);
        if (levelShift)
            for (int i = 0; i < 64; ++i)
                out[i] = Add(out[i], 128);
    }

    const CJpegScanDecoder::Frame& frame_;
    const CJpegScanDecoder::Target& target_;
    const uint32_t h0_;
    const uint32_t v0_;
    uint64_t mcusAcross_ = 0;
    uint32_t blocksPerMcu_ = 0;
    // Samples of one MCU: up to four luma blocks, one block of each chroma.
    // The chroma of a one-component picture stays 0.
    int32_t luma_[4][64] = {};
    int32_t chroma_[2][64] = {};
};

}  // namespace

bool CJpegScanDecoder::State::DecodeMcu(const Frame& frame, const int32_t (*quant)[64], int32_t* block,
                                        uint8_t* rowMasks)
{
    for (int c = 0; c < frame.componentCount; ++c) {
        const Component& comp = frame.components[c];
        const uint32_t blocks = comp.horizontal * comp.vertical;
        for (uint32_t b = 0; b < blocks; ++b, block += 64, ++rowMasks) {
            Refill();
            uint32_t size;
            if (!Decode(dcLookup[c], size))
                return false;
            uint32_t d = 0;
            if (size > 0 && size <= 32) {
                d = Take(static_cast<int>(size));
                // Sign extension (ITU-T T.81 F.2.2.1): a leading 0 bit marks
                // a negative difference.
                if (!((d >> (size - 1)) & 1u))
                    d -= size == 32 ? 0xFFFFFFFFu : (1u << size) - 1u;
            } else if (size > 32) {
                // Wider than a read can deliver: the read yields 0 and takes
                // no bits; the sign rule still applies.
                d = 1;
            }
            int32_t& pred = predictor[comp.identifier];
            if (firstBlock[comp.identifier]) {
                pred = static_cast<int32_t>(d);
                firstBlock[comp.identifier] = false;
            } else {
                pred = Add(pred, static_cast<int32_t>(d));
            }
            if (!DecodeAc(acLookup[c], quant[c], pred, block, rowMasks))
                return false;
        }
    }
    return true;
}

// Dequantization as the coefficients arrive: F = coefficient x quantization
// value, and 0 wherever no coefficient is coded (the block is zero on entry).
bool CJpegScanDecoder::State::DecodeAc(const HuffmanLookup& ac, const int32_t* q, int32_t dc, int32_t* freq,
                                       uint8_t* rowMask)
{
    freq[0] = Mul(dc, q[0]);
    uint32_t mask = freq[0] ? 1u : 0u;
    for (uint32_t k = 1; k < 64;) {
        if (bits < 32)
            Refill();
        // Short code and its value bits in one look-up.
        const int32_t fa = ac.fastAc[Peek(kFastBits)];
        if (fa) {
            Skip(fa & 0xFF);
            k += (fa >> 8) & 0x0F;
            if (k < 64) {
                const uint8_t at = natural[k];
                freq[at] = Mul(fa >> 16, q[at]);
                mask |= 1u << (at >> 3);
            }
            ++k;
            continue;
        }
        uint32_t rs;
        if (!Decode(ac, rs)) {
            *rowMask = static_cast<uint8_t>(mask);
            return false;
        }
        const uint32_t run = rs >> 4;
        const uint32_t sz = rs & 15;
        if (rs == 0)
            break;
        int32_t value = 0;
        if (sz > 0)
            value = Extend(Take(static_cast<int>(sz)), sz);
        k += run;
        // A run that passes the block's end writes nothing beyond it.
        if (k < 64 && value != 0) {
            const uint8_t at = natural[k];
            freq[at] = Mul(value, q[at]);
            mask |= 1u << (at >> 3);
        }
        ++k;
    }
    *rowMask = static_cast<uint8_t>(mask);
    return true;
}

namespace {
// A small frame (a TIFF tile or strip of a few MCUs) seldom needs a whole
// chunk of the file: its first read asks for about what its MCUs take when
// coded at a few bytes a block, so that thousands of tiny tiles do not read
// 64 KiB each. Later reads take whole chunks; the bytes decoded are the same.
size_t FirstReadBytes(const CJpegScanDecoder::Frame& frame, uint64_t mcus)
{
    constexpr uint64_t kMin = 1024;
    constexpr uint64_t kBytesPerBlock = 64;
    uint64_t blocks = 0;
    for (int c = 0; c < frame.componentCount; ++c)
        blocks += uint64_t{frame.components[c].horizontal} * frame.components[c].vertical;
    const uint64_t want = kMin + mcus * blocks * kBytesPerBlock;
    return static_cast<size_t>(want < (uint64_t{1} << 16) ? want : (uint64_t{1} << 16));
}
}  // namespace

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target)
{
    const long here = std::ftell(fp);
    Ahead none;
    none.offset = here < 0 ? 0 : static_cast<uint64_t>(here);
    return Decode(fp, previousByte, frame, target, none, true);
}

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target, const Ahead& ahead)
{
    return Decode(fp, previousByte, frame, target, ahead, false);
}

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target, const Ahead& ahead, bool leaveAfterUsed)
{
    Result result;
    if (!Supported(frame))
        return result;
    State& s = *state_;
    static_assert(kMaxAheadBytes <= State::kChunk);
    s.StartReading(fp, ahead.bytes && ahead.size <= kMaxAheadBytes ? ahead : Ahead{nullptr, 0, ahead.offset},
                   ahead.bytes != nullptr, previousByte);

    const int count = frame.componentCount;
    for (int c = 0; c < count; ++c) {
        s.dcLookup[c].Prepare(*frame.components[c].dc, false);
        s.acLookup[c].Prepare(*frame.components[c].ac, true);
    }

    // Quantization values in the decoder's [row][column] order.
    int32_t quant[kMaxComponents][64];
    for (int c = 0; c < count; ++c)
        for (int u = 0; u < 8; ++u)
            for (int v = 0; v < 8; ++v)
                quant[c][v * 8 + u] = static_cast<int32_t>(frame.components[c].quant->value[u][v]);

    for (int k = 0; k < 64; ++k)
        s.natural[k] = static_cast<uint8_t>((kZigzag[k] & 0x0F) * 8 + (kZigzag[k] >> 4));

    // Components that share an identifier share its DC predictor.
    for (int32_t& p : s.predictor)
        p = 0;
    for (bool& f : s.firstBlock)
        f = true;

    const uint64_t mcuWidth = 8 * frame.components[0].horizontal;
    const uint64_t mcuHeight = 8 * frame.components[0].vertical;
    const uint64_t total = ((frame.width + mcuWidth - 1) / mcuWidth) * ((frame.height + mcuHeight - 1) / mcuHeight);
    s.nextRead = FirstReadBytes(frame, total);

    // The entropy decoding runs here; the transform and the painting of whole
    // batches of MCUs may run on a second thread, a few batches behind.
    McuPainter painter(frame, target);
    const uint32_t perMcu = painter.BlocksPerMcu();
    const uint32_t batchMcus = static_cast<uint32_t>(total < kBatchMcus ? total : kBatchMcus);
    const bool threaded =
        !stayOnCallerThread_ && CDecodeThreads::Limit() > 1 && target.pixels && total >= kThreadedMcus;
    const size_t slots = threaded ? kBatchSlots : 1;
    CoefficientBatch* batches = s.PrepareBatches(slots, size_t{batchMcus} * perMcu);
    // The painter of each thread that paints: the decoding thread itself
    // paints a batch when every slot is in use.
    McuPainter helper(frame, target);
    McuPainter* painters[] = {&helper, &painter};
    CBatchHandOff handOff(slots, threaded,
                          [&](uint32_t worker, size_t slot) { painters[worker]->Paint(batches[slot]); });
    result.outcome = s.DecodeMcus(frame, quant, total, handOff, batches, result.mcusDecoded);
    handOff.Finish();
    for (size_t i = 0; i < slots; ++i)
        s.batchClean[i] = result.outcome == Outcome::Complete;
    if (leaveAfterUsed)
        s.Finish();
    return result;
}

// Decodes the MCUs into batches and hands each full batch, and at the end the
// last one, to the painter; a MCU whose decoding fails is not painted.
CJpegScanDecoder::Outcome CJpegScanDecoder::State::DecodeMcus(const Frame& frame, const int32_t (*quant)[64],
                                                               uint64_t total, CBatchHandOff& handOff,
                                                               CoefficientBatch* batches, uint64_t& decoded)
{
    CoefficientBatch* batch = nullptr;
    uint32_t perMcu = 0;
    for (int c = 0; c < frame.componentCount; ++c)
        perMcu += frame.components[c].horizontal * frame.components[c].vertical;
    Outcome outcome = Outcome::Complete;
    for (uint64_t mcu = 0; mcu < total; ++mcu) {
        if (!batch) {
            batch = &batches[handOff.Acquire()];
            batch->firstMcu = mcu;
            batch->mcus = 0;
        }
        const size_t at = size_t{batch->mcus} * perMcu;
        if (!DecodeMcu(frame, quant, batch->blocks.data() + at * 64, batch->rowMasks.data() + at)) {
            outcome = Outcome::BadCode;
            break;
        }
        ++decoded;
        if (++batch->mcus * size_t{perMcu} == batch->rowMasks.size()) {
            handOff.Submit();
            batch = nullptr;
        }
        if (PastEnd()) {
            outcome = Outcome::EndOfFile;
            break;
        }
        if (frame.restartInterval && mcu + 1 < total && (mcu + 1) % frame.restartInterval == 0) {
            if (!Restart()) {
                outcome = Outcome::MissingRestart;
                break;
            }
            for (bool& f : firstBlock)
                f = true;
        }
    }
    if (batch) {
        // The blocks of a MCU cut short stay in the batch but are not painted.
        handOff.Submit();
    }
    return outcome;
}
