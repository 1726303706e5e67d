#include "codec/jpeg_mcu_painter.h"

#include <algorithm>
#include <bit>
#include <cstring>

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

// One pixel of ConvertEight below, for the pixels of a view.
inline void ConvertOne(int32_t ys, int32_t cb, int32_t cr, uint8_t* p)
{
    const uint32_t y = static_cast<uint32_t>(ys) << 16;
    const uint32_t ucb = static_cast<uint32_t>(cb);
    const uint32_t ucr = static_cast<uint32_t>(cr);
    p[2] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y + ucr * kCrToR) >> 16));
    p[1] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y - ucb * kCbToG - ucr * kCrToG) >> 16));
    p[0] = static_cast<uint8_t>(Clamp255(static_cast<int32_t>(y + ucb * kCbToB) >> 16));
}

// The least position of the grid origin + k step (k >= 0) at or after start.
inline uint64_t OnGrid(uint64_t start, uint64_t origin, uint64_t step)
{
    if (start <= origin)
        return origin;
    return origin + (start - origin + step - 1) / step * step;
}

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

#if defined(__GNUC__) && !defined(__clang__)
// The vector helpers below are always inlined, so no vector calling
// convention applies and the ABI note GCC gives for them does not matter.
// GCC gives it when the file is finished, so it is off to the file's end.
#pragma GCC diagnostic ignored "-Wpsabi"
typedef uint32_t DctU32x8 __attribute__((vector_size(32)));
typedef int32_t DctI32x8 __attribute__((vector_size(32)));

// Transposes eight rows of eight 32-bit values: three rounds of unpacking,
// 32-bit pairs, 64-bit pairs, then 128-bit halves.
[[gnu::always_inline]] inline void Transpose(DctU32x8 (&r)[8])
{
    constexpr DctU32x8 kLo32 = {0, 8, 1, 9, 4, 12, 5, 13}, kHi32 = {2, 10, 3, 11, 6, 14, 7, 15};
    constexpr DctU32x8 kLo64 = {0, 1, 8, 9, 4, 5, 12, 13}, kHi64 = {2, 3, 10, 11, 6, 7, 14, 15};
    constexpr DctU32x8 kLo128 = {0, 1, 2, 3, 8, 9, 10, 11}, kHi128 = {4, 5, 6, 7, 12, 13, 14, 15};
    DctU32x8 t[8], u[8];
    for (int i = 0; i < 8; i += 2) {
        t[i] = __builtin_shuffle(r[i], r[i + 1], kLo32);
        t[i + 1] = __builtin_shuffle(r[i], r[i + 1], kHi32);
    }
    for (int i = 0; i < 8; i += 4) {
        u[i] = __builtin_shuffle(t[i], t[i + 2], kLo64);
        u[i + 1] = __builtin_shuffle(t[i], t[i + 2], kHi64);
        u[i + 2] = __builtin_shuffle(t[i + 1], t[i + 3], kLo64);
        u[i + 3] = __builtin_shuffle(t[i + 1], t[i + 3], kHi64);
    }
    for (int i = 0; i < 4; ++i) {
        r[i] = __builtin_shuffle(u[i], u[i + 4], kLo128);
        r[i + 4] = __builtin_shuffle(u[i], u[i + 4], kHi128);
    }
}

// (a C) >> 16 on eight lanes, the product wrapping in 32 bits.
[[gnu::always_inline]] inline DctU32x8 MulShift8(DctU32x8 a, int32_t c)
{
    return reinterpret_cast<DctU32x8>(reinterpret_cast<DctI32x8>(a * static_cast<uint32_t>(c)) >> 16);
}
[[gnu::always_inline]] inline DctU32x8 Shift8(DctU32x8 a)
{
    return reinterpret_cast<DctU32x8>(reinterpret_cast<DctI32x8>(a) >> 16);
}

// The horizontal pass of all eight rows at once, each lane one row: the
// rows' arithmetic of InverseDctRow on the columns of f, g rows out.
[[gnu::always_inline]] inline void InverseDctRows(const int32_t* f, int32_t (*g)[8])
{
    DctU32x8 c[8];
    std::memcpy(c, f, sizeof c);
    Transpose(c);
    const DctU32x8 a0 = MulShift8(c[0], C4), a4 = MulShift8(c[4], C4);
    const DctU32x8 b1 = MulShift8(c[1] + c[7], C4), b7 = MulShift8(c[1] - c[7], C4);
    const DctU32x8 e0 = a0 + a4, e1 = a0 - a4;
    const DctU32x8 e2 = Shift8(c[2] * uint32_t{C6} - c[6] * uint32_t{C2});
    const DctU32x8 e3 = Shift8(c[2] * uint32_t{C2} + c[6] * uint32_t{C6});
    const DctU32x8 o0 = b1 + c[3], o1 = b1 - c[3], o2 = b7 - c[5], o3 = c[5] + b7;
    const DctU32x8 t0 = e0 + e3, t1 = e1 + e2, t2 = e1 - e2, t3 = e0 - e3;
    const DctU32x8 p0 = Shift8(o0 * uint32_t{C3} + o3 * uint32_t{C5});
    const DctU32x8 p1 = Shift8(o1 * uint32_t{C7} + o2 * uint32_t{C1});
    const DctU32x8 p2 = Shift8(o1 * uint32_t{C1} - o2 * uint32_t{C7});
    const DctU32x8 p3 = Shift8(o3 * uint32_t{C3} - o0 * uint32_t{C5});
    DctU32x8 r[8] = {t0 + p0, t1 + p1, t2 + p2, t3 + p3, t3 - p3, t2 - p2, t1 - p1, t0 - p0};
    Transpose(r);
    std::memcpy(g, r, sizeof r);
}
#endif

// The separable inverse DCT in 16.16 fixed point. f is indexed [row v][column
// u] (vertical, horizontal frequency); rowMask has bit v set when row v may
// hold a non-zero value (rows without the bit are all zero). out receives the
// samples [vertical position m][horizontal position n]. Rows known to be zero
// are skipped: every product with a zero is zero, so the result is the same.
VANTREL_VECTOR_CLONES void InverseDct(const int32_t* f, uint32_t rowMask, int32_t* out)
{
    int32_t g[8][8];   // [v][n]
    uint32_t liveRows = 0;
#if defined(__GNUC__) && !defined(__clang__)
    // With more than two rows, all eight at once cost less than one by one;
    // a row all zero on entry comes out all zero.
    if (std::popcount(rowMask) > 2) {
        InverseDctRows(f, g);
        liveRows = rowMask;
    } else
#endif
    {
        for (int v = 0; v < 8; ++v)
            if ((rowMask & (1u << v)) && InverseDctRow(f + v * 8, g[v]))
                liveRows |= 1u << v;
    }

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

}  // namespace

void JpegInverseDct(const int32_t* f, uint32_t rowMask, int32_t* out)
{
    InverseDct(f, rowMask, out);
}

// With row 0 holding F0 alone, the horizontal pass gives (F0 C4) >> 16 at
// every position, and the vertical pass takes the first term of that row
// alone: ((g C4 >> 16) 65536 >> 16) >> 2, in the same wrapping arithmetic.
int32_t JpegDcSample(int32_t dc)
{
    const int32_t row = MulShift(dc, C4);
    const uint32_t first = static_cast<uint32_t>(MulShift(row, C4));
    return static_cast<int32_t>(first << 16) >> 16 >> 2;
}

CJpegMcuPainter::CJpegMcuPainter(const CJpegScanDecoder::Frame& frame, const CJpegScanDecoder::Target& target)
    : frame_(frame), target_(target), h0_(frame.components[0].horizontal), v0_(frame.components[0].vertical)
{
    const uint64_t mcuWidth = 8 * h0_;
    mcusAcross_ = (frame.width + mcuWidth - 1) / mcuWidth;
    for (int c = 0; c < frame.componentCount; ++c)
        blocksPerMcu_ += frame.components[c].horizontal * frame.components[c].vertical;
}

void CJpegMcuPainter::Paint(JpegCoefficientBatch& batch)
{
    if (target_.partial) {
        PaintPart(batch);
        return;
    }
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

void CJpegMcuPainter::Transform(const int32_t* block, uint32_t rowMask, int32_t* out, bool levelShift)
{
    InverseDct(block, rowMask, out);
    if (levelShift)
        for (int i = 0; i < 64; ++i)
            out[i] = Add(out[i], 128);
}

// A view holds every 2^shift-th pixel of every 2^shift-th row. Below shift 3
// every block of an MCU the view reaches has some of them and is transformed
// whole; from shift 3 on a block holds at most one, and the block's DC
// sample, its mean, stands for it: the transform of the AC terms, the most
// part of the work, is left out.
void CJpegMcuPainter::PaintPart(JpegCoefficientBatch& batch)
{
    int32_t* block = batch.blocks.data();
    const uint8_t* mask = batch.rowMasks.data();
    const uint64_t step = uint64_t{1} << target_.shift;
    const bool dcOnly = target_.shift >= 3;
    const uint64_t mcuWidth = 8 * h0_;
    const uint64_t mcuHeight = 8 * v0_;
    const uint64_t right = uint64_t{target_.viewX} + target_.viewWidth;
    const uint64_t bottom = uint64_t{target_.viewY} + target_.viewHeight;
    for (uint32_t i = 0; i < batch.mcus; ++i) {
        const uint64_t mcu = batch.firstMcu + i;
        const uint64_t x = (mcu % mcusAcross_) * mcuWidth;
        const uint64_t y = (mcu / mcusAcross_) * mcuHeight;
        const uint64_t x0 = OnGrid(x, target_.viewX, step);
        const uint64_t y0 = OnGrid(y, target_.viewY, step);
        const uint64_t x1 = std::min(x + mcuWidth, right);
        const uint64_t y1 = std::min(y + mcuHeight, bottom);
        const bool shown = target_.pixels && x0 < x1 && y0 < y1;
        for (int c = 0; c < frame_.componentCount; ++c) {
            const CJpegScanDecoder::Component& comp = frame_.components[c];
            for (uint32_t b = 0; b < comp.horizontal * comp.vertical; ++b, block += 64, ++mask) {
                int32_t* out = c == 0 ? luma_[b] : chroma_[c - 1];
                if (shown && dcOnly)
                    out[0] = c == 0 ? Add(JpegDcSample(block[0]), 128) : JpegDcSample(block[0]);
                else if (shown)
                    Transform(block, *mask, out, c == 0);
                for (uint32_t v = 0; v < 8; ++v)
                    if (*mask & (1u << v))
                        std::memset(block + v * 8, 0, 8 * sizeof block[0]);
            }
        }
        if (shown)
            PaintPartOfMcu(x, y, x0, x1, y0, y1, dcOnly);
    }
}

void CJpegMcuPainter::PaintPartOfMcu(uint64_t x, uint64_t y, uint64_t x0, uint64_t x1, uint64_t y0, uint64_t y1,
                                     bool dcOnly)
{
    const uint32_t shift = target_.shift;
    const uint64_t step = uint64_t{1} << shift;
    const size_t rowBytes = static_cast<size_t>(target_.bitmapWidth) * 3;
    // Chroma of one block an MCU spreads over the MCU's h0 x v0 luma blocks.
    const uint32_t hs = h0_ - 1;
    const uint32_t vs = v0_ - 1;
    for (uint64_t py = y0; py < y1; py += step) {
        const uint64_t row = static_cast<uint64_t>(target_.bitmapHeight) - 1 - ((py - target_.viewY) >> shift);
        const auto iy = static_cast<uint32_t>(py - y);
        for (uint64_t px = x0; px < x1; px += step) {
            const auto ix = static_cast<uint32_t>(px - x);
            uint8_t* p = target_.pixels + row * rowBytes + ((px - target_.viewX) >> shift) * 3;
            const uint32_t b = (ix >> 3) + (iy >> 3) * h0_;
            const uint32_t at = dcOnly ? 0 : (iy & 7) * 8 + (ix & 7);
            if (frame_.rgb) {
                p[0] = static_cast<uint8_t>(Clamp255(Add(chroma_[1][at], 128)));
                p[1] = static_cast<uint8_t>(Clamp255(Add(chroma_[0][at], 128)));
                p[2] = static_cast<uint8_t>(Clamp255(luma_[0][at]));
                continue;
            }
            const uint32_t cat = dcOnly ? 0 : (iy >> vs) * 8 + (ix >> hs);
            ConvertOne(luma_[b][at], chroma_[0][cat], chroma_[1][cat], p);
        }
    }
}
