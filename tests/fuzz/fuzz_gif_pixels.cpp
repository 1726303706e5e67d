// The GIF picture decoding: LZW data decoded into two frames and composed
// onto a small screen. The first bytes pick the screen, each
// frame's rectangle, minimum code size (also the refused ones above 8),
// interlacing, disposal, transparent index and palette size, and how the
// data is cut into pieces; the rest is the LZW data, split between the two
// frames. Decoding in pieces must give what decoding in one piece gives, and
// counting without keeping the indices the same counts.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "codec/gif_composer.h"
#include "codec/gif_lzw_decoder.h"

namespace {

constexpr size_t kHeader = 3;
constexpr size_t kFrameHeader = 7;

struct FrameChoice {
    GifFrame frame;
    uint8_t minCodeSize = 0;
};

FrameChoice ChooseFrame(const uint8_t* p, const std::vector<uint8_t>& palette)
{
    FrameChoice c;
    c.frame.left = p[0] % 48;
    c.frame.top = p[1] % 48;
    // Up to 255 x 255: enough pixels for the string table to fill.
    c.frame.width = p[2];
    c.frame.height = p[3];
    c.minCodeSize = p[4] & 15;
    c.frame.interlaced = (p[4] & 0x10) != 0;
    c.frame.disposal = static_cast<uint8_t>(p[4] >> 5);
    c.frame.transparentIndex = (p[5] & 1) ? p[6] : -1;
    c.frame.palette = std::span<const uint8_t>(palette.data(), static_cast<size_t>(p[5] >> 1) * 3 * 2);
    return c;
}

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

bool SameResult(const GifLzwResult& a, const GifLzwResult& b)
{
    return a.status == b.status && a.pixelsOut == b.pixelsOut && a.bytesUsed == b.bytesUsed &&
           a.extraBytes == b.extraBytes && a.codes == b.codes && a.faultBitOffset == b.faultBitOffset &&
           a.endCode == b.endCode && a.surplusPixels == b.surplusPixels && a.tableFilled == b.tableFilled;
}

// Decodes data whole, in pieces of 1 to 16 bytes picked by seed, and
// without output; returns the indices of the whole decoding.
std::vector<uint8_t> DecodeFrame(const FrameChoice& c, const uint8_t* data, size_t size, uint32_t seed,
                                 GifLzwResult& result)
{
    const uint64_t pixels = uint64_t{c.frame.width} * c.frame.height;
    std::vector<uint8_t> whole(pixels, 0xAA);
    CGifLzwDecoder one(c.minCodeSize, pixels, whole);
    one.Write(data, size);
    result = one.Finish();

    std::vector<uint8_t> pieces(pixels, 0xAA);
    CGifLzwDecoder many(c.minCodeSize, pixels, pieces);
    for (size_t at = 0; at < size;) {
        seed = seed * 1103515245u + 12345u;
        const size_t n = std::min<size_t>(1 + ((seed >> 16) & 15), size - at);
        many.Write(data + at, n);
        at += n;
    }
    CGifLzwDecoder counting(c.minCodeSize, pixels, {});
    counting.Write(data, size);

    Check(SameResult(result, many.Finish()) && whole == pieces);
    Check(SameResult(result, counting.Finish()));
    Check(result.pixelsOut <= pixels && result.bytesUsed + result.extraBytes == result.bytesIn);
    return whole;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeader + 2 * kFrameHeader)
        return 0;
    std::vector<uint8_t> palette(256 * 3);
    for (size_t i = 0; i < palette.size(); ++i)
        palette[i] = static_cast<uint8_t>(i * 7);
    const uint8_t* lzw = data + kHeader + 2 * kFrameHeader;
    const size_t lzwSize = size - kHeader - 2 * kFrameHeader;
    const size_t split = lzwSize * data[2] / 255;

    CGifComposer composer(data[0] % 40, data[1] % 40);
    for (int k = 0; k < 2; ++k) {
        const FrameChoice c = ChooseFrame(data + kHeader + k * kFrameHeader, palette);
        const uint8_t* piece = k == 0 ? lzw : lzw + split;
        const size_t pieceSize = k == 0 ? split : lzwSize - split;
        GifLzwResult result;
        const std::vector<uint8_t> indices = DecodeFrame(c, piece, pieceSize, data[2] + k, result);
        const GifFrameResult drawn = composer.Compose(c.frame, indices, result.pixelsOut);
        Check(drawn.pixelsDrawn <= result.pixelsOut);
        Check(composer.Canvas().size() == size_t{composer.Width()} * composer.Height() * 4);
    }
    return 0;
}
