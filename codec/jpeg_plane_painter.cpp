#include "codec/jpeg_plane_painter.h"

#include <algorithm>
#include <bit>

#include "codec/jpeg_mcu_painter.h"

namespace {

inline int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline uint8_t Clamp255(int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// JFIF YCbCr to RGB factors in 16.16 fixed point, the arithmetic of the
// baseline painter: R = (Y 65536 + Cr 91881) >> 16,
// G = (Y 65536 - Cb 22554 - Cr 46802) >> 16, B = (Y 65536 + Cb 116130) >> 16,
// wrapping in 32 bits.
constexpr uint32_t kCrToR = 91881;
constexpr uint32_t kCbToG = 22554;
constexpr uint32_t kCrToG = 46802;
constexpr uint32_t kCbToB = 116130;

struct Rgb {
    uint8_t r, g, b;
};

inline Rgb FromYcc(int32_t y, int32_t cb, int32_t cr)
{
    const uint32_t uy = static_cast<uint32_t>(y) << 16;
    const uint32_t ucb = static_cast<uint32_t>(cb);
    const uint32_t ucr = static_cast<uint32_t>(cr);
    return {Clamp255(static_cast<int32_t>(uy + ucr * kCrToR) >> 16),
            Clamp255(static_cast<int32_t>(uy - ucb * kCbToG - ucr * kCrToG) >> 16),
            Clamp255(static_cast<int32_t>(uy + ucb * kCbToB) >> 16)};
}

// Inks subtract from white, black from all three, as CMYK TIFF pictures are
// drawn: R = (255 - K)(255 - C) / 255.
inline Rgb FromInks(uint32_t c, uint32_t m, uint32_t y, uint32_t k)
{
    const uint32_t white = 255u - k;
    return {static_cast<uint8_t>(white * (255u - c) / 255u), static_cast<uint8_t>(white * (255u - m) / 255u),
            static_cast<uint8_t>(white * (255u - y) / 255u)};
}

// Whether component c's samples are taken as they are (chroma of YCbCr and
// YCCK) rather than level-shifted by 128 (T.81 A.3.1).
bool Centred(CJpegPlanePainter::Colour colour, size_t c)
{
    return (colour == CJpegPlanePainter::Colour::YCbCr || colour == CJpegPlanePainter::Colour::Ycck) &&
           (c == 1 || c == 2);
}

// Position in a block ([row][column], row-major) of each zigzag index k of
// T.81 Figure 5.
struct NaturalOrder {
    uint8_t at[64];
    constexpr NaturalOrder() : at{}
    {
        for (int k = 0; k < 64; ++k)
            at[k] = static_cast<uint8_t>((kZigzag[k] & 0x0F) * 8 + (kZigzag[k] >> 4));
    }
};
constexpr NaturalOrder kNatural;

// Dequantizes one block held in zigzag order into [row][column] order:
// F = coefficient x quantization value, wrapping in 32 bits, 0 wherever the
// coefficient is 0; rowMask gets bit r for each row that may hold a non-zero
// value.
void Dequantize(const int16_t* block, const int32_t* q, int32_t* f, uint8_t* rowMask)
{
    std::fill_n(f, 64, 0);
    uint32_t mask = 0;
    for (uint64_t left = CJpegCoefficients::NonZero(block); left; left &= left - 1) {
        const int k = std::countr_zero(left);
        const uint8_t at = kNatural.at[k];
        f[at] = Wrap(int64_t{block[k]} * q[at]);
        mask |= 1u << (at >> 3);
    }
    *rowMask = static_cast<uint8_t>(mask);
}

}  // namespace

CJpegPlanePainter::CJpegPlanePainter(const CJpegCoefficients& planes, const Setup& setup,
                                     const CJpegScanDecoder::Target& target)
    : planes_(planes), setup_(setup), target_(target)
{
    const uint32_t mcuWidth = 8 * planes.MaxH();
    const uint32_t mcuHeight = 8 * planes.MaxV();
    const uint32_t paintWidth = std::min<uint32_t>(planes.McusAcross() * mcuWidth,
                                                   static_cast<uint32_t>(std::max(target.bitmapWidth, 0)));
    for (const CJpegCoefficients::Plane& p : planes.Planes()) {
        rows_.emplace_back(static_cast<size_t>(p.blocksWide) * 64 * p.v);
        std::vector<uint32_t>& columns = columnOf_.emplace_back(paintWidth);
        for (uint32_t x = 0; x < paintWidth; ++x)
            columns[x] = x / mcuWidth * 8 * p.h + (x % mcuWidth) * p.h / planes.MaxH();
        std::vector<uint32_t>& rows = rowOf_.emplace_back(mcuHeight);
        for (uint32_t y = 0; y < mcuHeight; ++y)
            rows[y] = y * p.v / planes.MaxV();
    }
}

void CJpegPlanePainter::PaintRows(uint32_t first, uint32_t count)
{
    for (uint32_t my = first; my < first + count && my < planes_.McusDown(); ++my) {
        TransformRow(my);
        ConvertRow(my);
    }
}

void CJpegPlanePainter::TransformRow(uint32_t mcuRow)
{
    int32_t f[64];
    int32_t s[64];
    const std::vector<CJpegCoefficients::Plane>& planes = planes_.Planes();
    for (size_t c = 0; c < planes.size(); ++c) {
        const CJpegCoefficients::Plane& p = planes[c];
        const int32_t shift = Centred(setup_.colour, c) ? 0 : 128;
        const size_t stride = static_cast<size_t>(p.blocksWide) * 8;
        for (uint32_t by = 0; by < p.v; ++by) {
            for (uint32_t bx = 0; bx < p.blocksWide; ++bx) {
                uint8_t mask;
                Dequantize(p.Block(bx, mcuRow * p.v + by), setup_.quant[c].data(), f, &mask);
                JpegInverseDct(f, mask, s);
                int32_t* out = rows_[c].data() + by * 8 * stride + bx * 8;
                for (int m = 0; m < 8; ++m)
                    for (int n = 0; n < 8; ++n)
                        out[m * stride + n] = Wrap(int64_t{s[m * 8 + n]} + shift);
            }
        }
    }
}

void CJpegPlanePainter::ConvertRow(uint32_t mcuRow)
{
    const std::vector<CJpegCoefficients::Plane>& planes = planes_.Planes();
    const uint32_t mcuHeight = 8 * planes_.MaxV();
    const size_t rowBytes = static_cast<size_t>(target_.bitmapWidth) * 3;
    const size_t width = columnOf_[0].size();
    const int32_t* line[4] = {};
    for (uint32_t j = 0; j < mcuHeight; ++j) {
        const uint64_t y = uint64_t{mcuRow} * mcuHeight + j;
        if (y >= static_cast<uint64_t>(target_.bitmapHeight))
            return;
        for (size_t c = 0; c < planes.size() && c < 4; ++c)
            line[c] = rows_[c].data() + static_cast<size_t>(rowOf_[c][j]) * planes[c].blocksWide * 8;
        uint8_t* p = target_.pixels + (static_cast<uint64_t>(target_.bitmapHeight) - 1 - y) * rowBytes;
        auto at = [&](size_t c, size_t x) { return line[c][columnOf_[c][x]]; };
        for (size_t x = 0; x < width; ++x, p += 3) {
            Rgb out{};
            switch (setup_.colour) {
            case Colour::Grey: out.r = out.g = out.b = Clamp255(at(0, x)); break;
            case Colour::YCbCr: out = FromYcc(at(0, x), at(1, x), at(2, x)); break;
            case Colour::Rgb: out = {Clamp255(at(0, x)), Clamp255(at(1, x)), Clamp255(at(2, x))}; break;
            case Colour::Cmyk:
            case Colour::Ycck: {
                uint32_t ink[4];
                if (setup_.colour == Colour::Cmyk) {
                    for (size_t c = 0; c < 4; ++c)
                        ink[c] = Clamp255(at(c, x));
                } else {
                    // The first three inks come as the complements of a
                    // YCbCr picture.
                    const Rgb complement = FromYcc(at(0, x), at(1, x), at(2, x));
                    ink[0] = 255u - complement.r;
                    ink[1] = 255u - complement.g;
                    ink[2] = 255u - complement.b;
                    ink[3] = Clamp255(at(3, x));
                }
                if (setup_.invertedInks)
                    for (uint32_t& v : ink)
                        v = 255u - v;
                out = FromInks(ink[0], ink[1], ink[2], ink[3]);
                break;
            }
            }
            p[0] = out.b;
            p[1] = out.g;
            p[2] = out.r;
        }
    }
}

bool CJpegPlanePainter::BaselineLayout(CJpegScanDecoder::Frame* frame) const
{
    const std::vector<CJpegCoefficients::Plane>& planes = planes_.Planes();
    const bool colourFits = setup_.colour == Colour::Grey || setup_.colour == Colour::YCbCr ||
                            (setup_.colour == Colour::Rgb && planes_.MaxH() == 1 && planes_.MaxV() == 1);
    if (!colourFits || planes.empty() || planes.size() > static_cast<size_t>(CJpegScanDecoder::kMaxComponents) ||
        planes[0].h > 2 || planes[0].v > 2 || planes[0].h != planes_.MaxH() || planes[0].v != planes_.MaxV())
        return false;
    for (size_t c = 1; c < planes.size(); ++c)
        if (planes[c].h != 1 || planes[c].v != 1)
            return false;
    *frame = CJpegScanDecoder::Frame();
    frame->width = setup_.width;
    frame->height = setup_.height;
    frame->rgb = setup_.colour == Colour::Rgb;
    frame->componentCount = static_cast<int>(planes.size());
    for (size_t c = 0; c < planes.size(); ++c) {
        frame->components[c].identifier = static_cast<uint32_t>(c);
        frame->components[c].horizontal = planes[c].h;
        frame->components[c].vertical = planes[c].v;
    }
    return true;
}

void CJpegPlanePainter::PaintBaselineRows(const CJpegScanDecoder::Frame& frame, uint32_t first, uint32_t count)
{
    CJpegMcuPainter painter(frame, target_);
    const std::vector<CJpegCoefficients::Plane>& planes = planes_.Planes();
    const uint32_t across = planes_.McusAcross();
    JpegCoefficientBatch batch;
    batch.blocks.resize(static_cast<size_t>(across) * painter.BlocksPerMcu() * 64);
    batch.rowMasks.resize(static_cast<size_t>(across) * painter.BlocksPerMcu());
    const uint64_t mcuHeight = 8 * planes_.MaxV();
    for (uint32_t my = first; my < first + count && my < planes_.McusDown(); ++my) {
        // A view of the picture leaves out the MCU rows above and below it.
        if (target_.partial && (uint64_t{my} * mcuHeight >= uint64_t{target_.viewY} + target_.viewHeight ||
                                uint64_t{my + 1} * mcuHeight <= target_.viewY))
            continue;
        int32_t* block = batch.blocks.data();
        uint8_t* mask = batch.rowMasks.data();
        for (uint32_t mx = 0; mx < across; ++mx)
            for (size_t c = 0; c < planes.size(); ++c) {
                const CJpegCoefficients::Plane& p = planes[c];
                for (uint32_t b = 0; b < p.h * p.v; ++b, block += 64, ++mask)
                    Dequantize(p.Block(mx * p.h + b % p.h, my * p.v + b / p.h), setup_.quant[c].data(), block, mask);
            }
        batch.firstMcu = uint64_t{my} * across;
        batch.mcus = across;
        painter.Paint(batch);
    }
}
