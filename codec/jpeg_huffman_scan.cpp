#include "codec/jpeg_huffman_scan.h"

#include <bit>

namespace {

// Coefficients are kept in 16 bits, as every value valid data can give;
// damaged data wraps.
inline int16_t Narrow(int32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(static_cast<uint32_t>(v))); }

inline int32_t Shifted(int32_t v, uint32_t low)
{
    return static_cast<int32_t>(static_cast<uint32_t>(v) << low);
}

}  // namespace

JpegScanOutcome CJpegHuffmanScan::Decode(CJpegEntropySource& source, const JpegScanSetup& scan,
                                         const JpegTables& tables, const CJpegCoefficients& planes)
{
    source_ = &source;
    start_ = scan.spectralStart;
    end_ = scan.spectralEnd;
    low_ = scan.low;
    eobRun_ = 0;
    failure_ = JpegScanOutcome::BadData;
    kind_ = ScanKind(scan);
    if (kind_ == Kind::Invalid)
        return JpegScanOutcome::Unsupported;
    if (kind_ == Kind::Sequential) {
        start_ = 1;
        end_ = 63;
        low_ = 0;
    }
    for (uint32_t i = 0; i < scan.count; ++i) {
        const JpegScanSetup::Component& c = scan.components[i];
        if (kind_ == Kind::Sequential || kind_ == Kind::DcFirst) {
            if (c.dcTable > 3 || !tables.dcPresent[c.dcTable])
                return JpegScanOutcome::Unsupported;
            dc_[i].Prepare(tables.dc[c.dcTable], false);
        }
        if (kind_ == Kind::Sequential || kind_ == Kind::AcFirst || kind_ == Kind::AcRefine) {
            if (c.acTable > 3 || !tables.acPresent[c.acTable])
                return JpegScanOutcome::Unsupported;
            ac_[i].Prepare(tables.ac[c.acTable], false);
        }
        predictor_[i] = 0;
    }
    switch (kind_) {
    case Kind::Sequential: return WalkWith<&CJpegHuffmanScan::Sequential>(planes, scan);
    case Kind::DcFirst: return WalkWith<&CJpegHuffmanScan::DcFirst>(planes, scan);
    case Kind::DcRefine: return WalkWith<&CJpegHuffmanScan::DcRefine>(planes, scan);
    case Kind::AcFirst: return WalkWith<&CJpegHuffmanScan::AcFirst>(planes, scan);
    case Kind::AcRefine: return WalkWith<&CJpegHuffmanScan::AcRefine>(planes, scan);
    case Kind::Invalid: break;
    }
    return JpegScanOutcome::Unsupported;
}

template <bool (CJpegHuffmanScan::*Step)(uint32_t, int16_t*)>
JpegScanOutcome CJpegHuffmanScan::WalkWith(const CJpegCoefficients& planes, const JpegScanSetup& scan)
{
    return planes.Walk(scan, *this, [this](uint32_t component, int16_t* block) {
        if (!(this->*Step)(component, block))
            return false;
        return !Exhausted() || Fail(JpegScanOutcome::DataEnded);
    });
}

bool CJpegHuffmanScan::Restart()
{
    eobRun_ = 0;
    for (int32_t& p : predictor_)
        p = 0;
    return source_->Restart();
}

bool CJpegHuffmanScan::DcRefine(uint32_t, int16_t* block)
{
    source_->Refill();
    if (source_->Take(1))
        block[0] = Narrow(block[0] | (1 << low_));
    return true;
}

// The DC difference (T.81 F.2.2.1): a category s of at most 16, then s bits.
bool CJpegHuffmanScan::DcFirst(uint32_t component, int16_t* block)
{
    CJpegEntropySource& src = *source_;
    src.Refill();
    uint32_t s;
    if (!dc_[component].Decode(src, s) || s > 16)
        return Fail(JpegScanOutcome::BadData);
    const int32_t diff = s ? JpegExtend(src.Take(static_cast<int>(s)), s) : 0;
    predictor_[component] = static_cast<int32_t>(static_cast<uint32_t>(predictor_[component]) + static_cast<uint32_t>(diff));
    block[0] = Narrow(Shifted(predictor_[component], low_));
    return true;
}

bool CJpegHuffmanScan::Sequential(uint32_t component, int16_t* block)
{
    if (!DcFirst(component, block))
        return false;
    return AcFirst(component, block);
}

// Run-length and size symbols (T.81 F.2.2.2, G.1.2.2): a run of zeros and
// the size of the value after it; 0xF0 a run of sixteen zeros; with a size
// of 0 otherwise, the end of the band here and in the next 2^r + r bits
// minus one blocks (a sequential scan only has r = 0, the end of block).
bool CJpegHuffmanScan::AcFirst(uint32_t component, int16_t* block)
{
    if (eobRun_ > 0) {
        --eobRun_;
        return true;
    }
    CJpegEntropySource& src = *source_;
    const CJpegHuffmanLookup& table = ac_[component];
    for (uint32_t k = start_; k <= end_; ++k) {
        src.Refill();
        uint32_t rs;
        if (!table.Decode(src, rs))
            return Fail(JpegScanOutcome::BadData);
        const uint32_t r = rs >> 4;
        const uint32_t s = rs & 0x0F;
        if (s == 0) {
            if (r == 15) {
                k += 15;
                continue;
            }
            if (kind_ == Kind::AcFirst) {
                eobRun_ = (1u << r) - 1;
                if (r)
                    eobRun_ += src.Take(static_cast<int>(r));
            }
            break;
        }
        k += r;
        const int32_t value = JpegExtend(src.Take(static_cast<int>(s)), s);
        if (k > end_)
            return Fail(JpegScanOutcome::BadData);
        block[k] = Narrow(Shifted(value, low_));
    }
    return true;
}

void CJpegHuffmanScan::RefineNonZero(int16_t* block, uint32_t k, uint32_t end)
{
    if (k > end)
        return;
    CJpegEntropySource& src = *source_;
    const int32_t bit = 1 << low_;
    // Most coefficients of a band are zero: only the others are visited.
    const uint64_t band = (end == 63 ? ~uint64_t{0} : (uint64_t{1} << (end + 1)) - 1) & (~uint64_t{0} << k);
    for (uint64_t left = CJpegCoefficients::NonZero(block) & band; left; left &= left - 1) {
        int16_t& c = block[std::countr_zero(left)];
        src.Refill();
        if (src.Take(1) && (c & bit) == 0)
            c = Narrow(c >= 0 ? c + bit : c - bit);
    }
}

// A refining AC scan (T.81 G.1.2.3): each symbol places one new coefficient
// of magnitude 1 << Al after r zero-history coefficients, and every
// coefficient that is already non-zero on the way gets a correction bit; an
// end-of-band run leaves only correction bits for the rest of its blocks.
bool CJpegHuffmanScan::AcRefine(uint32_t component, int16_t* block)
{
    CJpegEntropySource& src = *source_;
    const int32_t bit = 1 << low_;
    uint32_t k = start_;
    if (eobRun_ == 0) {
        for (; k <= end_; ++k) {
            src.Refill();
            uint32_t rs;
            if (!ac_[component].Decode(src, rs))
                return Fail(JpegScanOutcome::BadData);
            uint32_t r = rs >> 4;
            const uint32_t s = rs & 0x0F;
            int32_t value = 0;
            if (s != 0) {
                // A new coefficient is always of magnitude one.
                if (s != 1)
                    return Fail(JpegScanOutcome::BadData);
                value = src.Take(1) ? bit : -bit;
            } else if (r != 15) {
                eobRun_ = 1u << r;
                if (r)
                    eobRun_ += src.Take(static_cast<int>(r));
                break;
            }
            // Skip r zero-history coefficients, refining the non-zero ones.
            for (; k <= end_; ++k) {
                int16_t& c = block[k];
                if (c != 0) {
                    src.Refill();
                    if (src.Take(1) && (c & bit) == 0)
                        c = Narrow(c >= 0 ? c + bit : c - bit);
                } else if (r == 0) {
                    break;
                } else {
                    --r;
                }
            }
            if (value != 0) {
                if (k > end_)
                    return Fail(JpegScanOutcome::BadData);
                block[k] = Narrow(value);
            }
        }
    }
    if (eobRun_ > 0) {
        RefineNonZero(block, k, end_);
        --eobRun_;
    }
    return true;
}
