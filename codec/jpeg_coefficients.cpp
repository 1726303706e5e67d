#include "codec/jpeg_coefficients.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

uint64_t DivideUp(uint64_t a, uint64_t b) { return (a + b - 1) / b; }

// A frame of one component is never interleaved: its MCU is one block,
// whatever sampling factors the frame gives it (T.81 A.2.2).
uint32_t Factor(const JpegFrame& frame, uint32_t factor) { return frame.components.size() == 1 ? 1 : factor; }

}  // namespace

JpegScanKind ScanKind(const JpegScanSetup& scan)
{
    if (!scan.progressive)
        return JpegScanKind::Sequential;
    const uint32_t start = scan.spectralStart, end = scan.spectralEnd, low = scan.low;
    const bool dc = start == 0;
    const bool valid = (dc ? end == 0 : (end >= start && end <= 63 && scan.count == 1)) && low <= 13 &&
                       (scan.high == 0 || scan.high == low + 1);
    if (!valid)
        return JpegScanKind::Invalid;
    if (dc)
        return scan.high ? JpegScanKind::DcRefine : JpegScanKind::DcFirst;
    return scan.high ? JpegScanKind::AcRefine : JpegScanKind::AcFirst;
}

uint64_t CJpegCoefficients::BytesFor(const JpegFrame& frame)
{
    uint32_t maxH = 1, maxV = 1;
    for (const FrameComponent& c : frame.components) {
        maxH = std::max(maxH, Factor(frame, c.sampling >> 4));
        maxV = std::max(maxV, Factor(frame, c.sampling & 0x0F));
    }
    const uint64_t across = DivideUp(frame.samplesPerLine, 8 * maxH);
    const uint64_t down = DivideUp(frame.lines, 8 * maxV);
    uint64_t blocks = 0;
    for (const FrameComponent& c : frame.components)
        blocks += across * Factor(frame, c.sampling >> 4) * down * Factor(frame, c.sampling & 0x0F);
    return blocks * 64 * sizeof(int16_t);
}

bool CJpegCoefficients::Allocate(const JpegFrame& frame)
{
    memory_.reset();
    planes_.clear();
    const uint64_t bytes = BytesFor(frame);
    if (bytes == 0 || bytes > kMaxBytes)
        return false;
    // Zeroed pages from the system: a coefficient that no scan codes is 0,
    // and pages no scan reaches cost nothing until they are read.
    size_t mapped = 0;
    uint8_t* memory = CImageBuffer::MapZeroedMemory(static_cast<size_t>(bytes), &mapped);
    if (!memory)
        return false;
    memory_ = std::unique_ptr<uint8_t, ImageMemoryUnmapper>(memory, ImageMemoryUnmapper{mapped});
    bytes_ = static_cast<size_t>(bytes);
    maxH_ = maxV_ = 1;
    for (const FrameComponent& c : frame.components) {
        maxH_ = std::max(maxH_, Factor(frame, c.sampling >> 4));
        maxV_ = std::max(maxV_, Factor(frame, c.sampling & 0x0F));
    }
    mcusAcross_ = static_cast<uint32_t>(DivideUp(frame.samplesPerLine, 8 * maxH_));
    mcusDown_ = static_cast<uint32_t>(DivideUp(frame.lines, 8 * maxV_));
    int16_t* next = reinterpret_cast<int16_t*>(memory_.get());
    for (const FrameComponent& c : frame.components) {
        Plane p;
        p.h = Factor(frame, c.sampling >> 4);
        p.v = Factor(frame, c.sampling & 0x0F);
        p.blocksWide = mcusAcross_ * p.h;
        p.blocksHigh = mcusDown_ * p.v;
        // The component's own size, ceil(X h / Hmax) by ceil(Y v / Vmax)
        // samples (T.81 A.1.1), in blocks.
        p.usedWide = static_cast<uint32_t>(DivideUp(DivideUp(uint64_t{frame.samplesPerLine} * p.h, maxH_), 8));
        p.usedHigh = static_cast<uint32_t>(DivideUp(DivideUp(uint64_t{frame.lines} * p.v, maxV_), 8));
        p.blocks = next;
        next += static_cast<size_t>(p.blocksWide) * p.blocksHigh * 64;
        planes_.push_back(p);
    }
    return true;
}

uint64_t CJpegCoefficients::Blocks() const
{
    uint64_t blocks = 0;
    for (const Plane& p : planes_)
        blocks += uint64_t{p.blocksWide} * p.blocksHigh;
    return blocks;
}

uint64_t CJpegCoefficients::ScanBlocks(const JpegScanSetup& scan) const
{
    if (scan.count == 1) {
        const Plane& p = planes_[scan.components[0].plane];
        return uint64_t{p.usedWide} * p.usedHigh;
    }
    uint64_t perMcu = 0;
    for (uint32_t i = 0; i < scan.count; ++i)
        perMcu += uint64_t{planes_[scan.components[i].plane].h} * planes_[scan.components[i].plane].v;
    return perMcu * mcusAcross_ * mcusDown_;
}

uint64_t CJpegCoefficients::NonZero(const int16_t* block)
{
#if defined(__SSE2__)
    // Sixteen coefficients at a time: compared with zero, packed to bytes,
    // one bit each.
    const __m128i zero = _mm_setzero_si128();
    uint64_t zeros = 0;
    for (int i = 0; i < 4; ++i) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * i + 8));
        const __m128i bytes = _mm_packs_epi16(_mm_cmpeq_epi16(a, zero), _mm_cmpeq_epi16(b, zero));
        zeros |= uint64_t(static_cast<uint32_t>(_mm_movemask_epi8(bytes)) & 0xFFFFu) << (16 * i);
    }
    return ~zeros;
#else
    uint64_t mask = 0;
    for (int k = 0; k < 64; ++k)
        mask |= uint64_t{block[k] != 0} << k;
    return mask;
#endif
}
