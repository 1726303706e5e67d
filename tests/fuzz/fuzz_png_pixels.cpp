// The PNG picture decoder, with the APNG composer and the alpha compositor
// behind it. The first seven bytes choose the picture:
//   0, 1  width - 1 and height - 1 (1 to 256 each)
//   2     colour type and depth (one of the 15 legal pairs), bit 7 Adam7
//   3     palette entries (the palette's bytes follow)
//   4     tRNS length (its bytes follow the palette)
//   5     bit 7: inflate the rest with CInflater, else hand the rest over as
//         inflated data in pieces whose sizes the low bits vary
//   6     the frame's place on a slightly larger canvas and its dispose_op
//         and blend_op (unknown ones included)
#include <algorithm>
#include <cstdio>
#include <span>
#include <vector>

#include "codec/alpha_compositor.h"
#include "codec/apng_composer.h"
#include "codec/inflater.h"
#include "codec/png_decoder.h"
#include "fuzz_support.h"

namespace {

constexpr uint8_t kLayouts[15][2] = {{0, 1}, {0, 2}, {0, 4}, {0, 8}, {0, 16}, {2, 8}, {2, 16}, {3, 1},
                                     {3, 2}, {3, 4}, {3, 8}, {4, 8}, {4, 16}, {6, 8}, {6, 16}};
constexpr size_t kHeaderBytes = 7;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    PngImageHeader header;
    header.width = data[0] + 1u;
    header.height = data[1] + 1u;
    header.colourType = kLayouts[(data[2] & 0x7F) % 15][0];
    header.bitDepth = kLayouts[(data[2] & 0x7F) % 15][1];
    header.interlace = data[2] >> 7;
    size_t at = kHeaderBytes;
    const size_t paletteBytes = std::min<size_t>(3 * size_t{data[3]}, size - at);
    std::span<const uint8_t> palette(data + at, paletteBytes);
    at += paletteBytes;
    const size_t trnsBytes = std::min<size_t>(data[4], size - at);
    std::span<const uint8_t> trns(data + at, trnsBytes);
    at += trnsBytes;

    const uint8_t place = data[6];
    CApngComposer composer(header.width + (place & 3), header.height + ((place >> 2) & 3));
    ApngFrameControl frame{header.width, header.height, (place >> 4) & 1u, (place >> 5) & 1u, 1, 10,
                           static_cast<uint8_t>(data[5] & 3), static_cast<uint8_t>((place >> 6) & 3)};
    composer.BeginFrame(frame);
    const CAlphaCompositor checkerboard;
    std::vector<uint8_t> rgb(size_t{header.width} * 3);
    CPngDecoder decoder(header, palette, trns, [&](uint32_t y, const uint8_t* rgba) {
        composer.FrameRow(y, rgba);
        checkerboard.CompositeRow(y, rgba, header.width, rgb.data());
        return true;
    });

    const uint8_t* rest = data + at;
    const size_t restSize = size - at;
    if (data[5] & 0x80) {
        FILE* in = std::fopen(fuzz_support::WriteInput(rest, restSize).c_str(), "rb");
        if (in) {
            CInflater inflater;
            inflater.InflateToSink(in, decoder, header.DataBytes() + 4096, restSize);
            std::fclose(in);
        }
    } else {
        uint32_t piece = (data[5] & 0x3F) + 1;
        for (size_t done = 0; done < restSize;) {
            const size_t n = std::min<size_t>(piece, restSize - done);
            if (!decoder.Write(rest + done, n))
                break;
            done += n;
            piece = piece * 5 % 251 + 1;
        }
    }
    decoder.Finish();
    composer.EndFrame();
    // The next frame carries out the first one's disposal.
    frame.xOffset = 0;
    frame.disposeOp = 0;
    composer.BeginFrame(frame);
    return 0;
}
