#pragma once
// The quantized DCT coefficients of a whole JPEG frame, component by
// component, for pictures whose scans each carry part of the data: the
// progressive process (spectral selection and successive approximation,
// ITU-T T.81 Annex G), frames whose components are coded in scans of their
// own, and any other frame the painting cannot follow MCU by MCU. The scan
// decoders fill the planes; the picture is painted from them once the last
// scan is in.
//
// A plane covers whole MCUs of the interleaved layout (T.81 A.2.3): its
// blocks are h x v per MCU. A scan of one component codes only the blocks
// that hold samples of the component (A.2.2), a smaller rectangle of them.
#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "codec/jpeg_stream_parser.h"
#include "image/image_buffer.h"

// How the decoding of a scan ended.
enum class JpegScanOutcome {
    Complete,        // every MCU of the scan decoded
    BadData,         // a code that matches no entry, or values outside the block
    DataEnded,       // the data ran out before the last MCU
    MissingRestart,  // no RSTn where a restart interval ended
    Unsupported,     // parameters this decoder does not follow (skipped)
    OverBudget,      // the frame's scans have visited as many blocks as allowed (skipped)
};

// One scan of a coefficient frame as the scan decoders take it.
struct JpegScanSetup {
    struct Component {
        uint32_t plane = 0;      // index of the frame component
        uint32_t dcTable = 0;    // destinations of its entropy coding tables
        uint32_t acTable = 0;
    };
    Component components[4];
    uint32_t count = 0;
    uint32_t spectralStart = 0;   // Ss
    uint32_t spectralEnd = 63;    // Se
    uint32_t high = 0;            // Ah
    uint32_t low = 0;             // Al
    bool progressive = false;
    uint32_t restartInterval = 0;
};

// What a scan codes, by its progression parameters; Invalid for parameters
// T.81 G.1.1.1.1 does not allow: a DC scan has Ss = Se = 0, an AC scan one
// component and 1 <= Ss <= Se <= 63, and a refinement lowers the bit by one.
enum class JpegScanKind { Sequential, DcFirst, DcRefine, AcFirst, AcRefine, Invalid };
JpegScanKind ScanKind(const JpegScanSetup& scan);

class CJpegCoefficients {
public:
    struct Plane {
        uint32_t h = 1;              // sampling factors
        uint32_t v = 1;
        uint32_t blocksWide = 0;     // blocks of the MCU grid
        uint32_t blocksHigh = 0;
        uint32_t usedWide = 0;       // blocks that hold the component's samples
        uint32_t usedHigh = 0;
        int16_t* blocks = nullptr;   // 64 coefficients a block, in zigzag order (T.81 Figure 5)

        int16_t* Block(uint32_t bx, uint32_t by) const
        {
            return blocks + (static_cast<size_t>(by) * blocksWide + bx) * 64;
        }
    };

    // All coefficients of one frame stay below this: the planes of the
    // largest picture drawn (256 MiB of pixels) at three components without
    // subsampling take 512 MiB.
    static constexpr uint64_t kMaxBytes = uint64_t{512} << 20;

    // Bytes the planes of frame would take.
    static uint64_t BytesFor(const JpegFrame& frame);
    // Makes zeroed planes for frame (whose sampling factors are 1 to 4);
    // false when they would exceed kMaxBytes or memory runs out.
    bool Allocate(const JpegFrame& frame);

    // Blocks of all planes, and the blocks a scan codes.
    uint64_t Blocks() const;
    uint64_t ScanBlocks(const JpegScanSetup& scan) const;

    // Bit k set for each coefficient k of block that is not zero.
    static uint64_t NonZero(const int16_t* block);

    // The memory of the planes, for having the system prepare it ahead.
    void* Memory() const { return memory_.get(); }
    size_t MemoryBytes() const { return bytes_; }

    uint32_t McusAcross() const { return mcusAcross_; }
    uint32_t McusDown() const { return mcusDown_; }
    uint32_t MaxH() const { return maxH_; }
    uint32_t MaxV() const { return maxV_; }
    const std::vector<Plane>& Planes() const { return planes_; }

    // Walks the blocks of a scan in coding order (T.81 A.2): for each MCU,
    // block(i, block) for each of its blocks (i: the component's place in
    // the scan), and decoder.Restart() between restart intervals. In a scan
    // of one component, the blocks that decoder.Skippable() says need no
    // decoding (those of an end-of-band run) are passed over at once with
    // decoder.Skip(n). Stops at the first block or restart that fails, with
    // decoder.Failure().
    template <class Decoder, class BlockFn>
    JpegScanOutcome Walk(const JpegScanSetup& scan, Decoder& decoder, BlockFn&& block) const;

private:
    std::unique_ptr<uint8_t, ImageMemoryUnmapper> memory_;
    size_t bytes_ = 0;
    std::vector<Plane> planes_;
    uint32_t mcusAcross_ = 0;
    uint32_t mcusDown_ = 0;
    uint32_t maxH_ = 1;
    uint32_t maxV_ = 1;
};

template <class Decoder, class BlockFn>
JpegScanOutcome CJpegCoefficients::Walk(const JpegScanSetup& scan, Decoder& decoder, BlockFn&& block) const
{
    const bool single = scan.count == 1;
    const Plane& first = planes_[scan.components[0].plane];
    const uint32_t across = single ? first.usedWide : mcusAcross_;
    const uint32_t down = single ? first.usedHigh : mcusDown_;
    // MCUs left in the current restart interval.
    uint64_t untilRestart = scan.restartInterval ? scan.restartInterval : UINT64_MAX;
    for (uint32_t my = 0; my < down; ++my) {
        for (uint32_t mx = 0; mx < across;) {
            if (untilRestart == 0) {
                if (!decoder.Restart())
                    return JpegScanOutcome::MissingRestart;
                untilRestart = scan.restartInterval;
            }
            if (single) {
                if (const uint64_t skip = std::min<uint64_t>({decoder.Skippable(), across - mx, untilRestart})) {
                    decoder.Skip(static_cast<uint32_t>(skip));
                    mx += static_cast<uint32_t>(skip);
                    untilRestart -= skip;
                    continue;
                }
                if (!block(0, first.Block(mx, my)))
                    return decoder.Failure();
            } else {
                for (uint32_t i = 0; i < scan.count; ++i) {
                    const Plane& p = planes_[scan.components[i].plane];
                    for (uint32_t by = 0; by < p.v; ++by)
                        for (uint32_t bx = 0; bx < p.h; ++bx)
                            if (!block(i, p.Block(mx * p.h + bx, my * p.v + by)))
                                return decoder.Failure();
                }
            }
            ++mx;
            --untilRestart;
        }
    }
    return JpegScanOutcome::Complete;
}
