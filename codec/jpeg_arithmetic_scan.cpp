#include "codec/jpeg_arithmetic_scan.h"

#include <bit>
#include <cstring>

namespace {

struct Estimate {
    uint16_t qe;            // size of the less probable symbol's sub-interval
    uint8_t nextMps;        // index after a more probable symbol
    uint8_t nextLps;        // index after a less probable one
    uint8_t switchMps;      // 1: a less probable symbol swaps the two
};

// Probability estimation, ITU-T T.81 Table D.3 (indices 0 to 112), and at
// 113 the fixed estimate of sign and correction bits, which points to
// itself.
constexpr Estimate kEstimates[114] = {
    {0x5A1D, 1, 1, 1}, {0x2586, 2, 14, 0}, {0x1114, 3, 16, 0}, {0x080B, 4, 18, 0},
    {0x03D8, 5, 20, 0}, {0x01DA, 6, 23, 0}, {0x00E5, 7, 25, 0}, {0x006F, 8, 28, 0},
    {0x0036, 9, 30, 0}, {0x001A, 10, 33, 0}, {0x000D, 11, 35, 0}, {0x0006, 12, 9, 0},
    {0x0003, 13, 10, 0}, {0x0001, 13, 12, 0}, {0x5A7F, 15, 15, 1}, {0x3F25, 16, 36, 0},
    {0x2CF2, 17, 38, 0}, {0x207C, 18, 39, 0}, {0x17B9, 19, 40, 0}, {0x1182, 20, 42, 0},
    {0x0CEF, 21, 43, 0}, {0x09A1, 22, 45, 0}, {0x072F, 23, 46, 0}, {0x055C, 24, 48, 0},
    {0x0406, 25, 49, 0}, {0x0303, 26, 51, 0}, {0x0240, 27, 52, 0}, {0x01B1, 28, 54, 0},
    {0x0144, 29, 56, 0}, {0x00F5, 30, 57, 0}, {0x00B7, 31, 59, 0}, {0x008A, 32, 60, 0},
    {0x0068, 33, 62, 0}, {0x004E, 34, 63, 0}, {0x003B, 35, 32, 0}, {0x002C, 9, 33, 0},
    {0x5AE1, 37, 37, 1}, {0x484C, 38, 64, 0}, {0x3A0D, 39, 65, 0}, {0x2EF1, 40, 67, 0},
    {0x261F, 41, 68, 0}, {0x1F33, 42, 69, 0}, {0x19A8, 43, 70, 0}, {0x1518, 44, 72, 0},
    {0x1177, 45, 73, 0}, {0x0E74, 46, 74, 0}, {0x0BFB, 47, 75, 0}, {0x09F8, 48, 77, 0},
    {0x0861, 49, 78, 0}, {0x0706, 50, 79, 0}, {0x05CD, 51, 48, 0}, {0x04DE, 52, 50, 0},
    {0x040F, 53, 50, 0}, {0x0363, 54, 51, 0}, {0x02D4, 55, 52, 0}, {0x025C, 56, 53, 0},
    {0x01F8, 57, 54, 0}, {0x01A4, 58, 55, 0}, {0x0160, 59, 56, 0}, {0x0125, 60, 57, 0},
    {0x00F6, 61, 58, 0}, {0x00CB, 62, 59, 0}, {0x00AB, 63, 61, 0}, {0x008F, 32, 61, 0},
    {0x5B12, 65, 65, 1}, {0x4D04, 66, 80, 0}, {0x412C, 67, 81, 0}, {0x37D8, 68, 82, 0},
    {0x2FE8, 69, 83, 0}, {0x293C, 70, 84, 0}, {0x2379, 71, 86, 0}, {0x1EDF, 72, 87, 0},
    {0x1AA9, 73, 87, 0}, {0x174E, 74, 72, 0}, {0x1424, 75, 72, 0}, {0x119C, 76, 74, 0},
    {0x0F6B, 77, 74, 0}, {0x0D51, 78, 75, 0}, {0x0BB6, 79, 77, 0}, {0x0A40, 48, 77, 0},
    {0x5832, 81, 80, 1}, {0x4D1C, 82, 88, 0}, {0x438E, 83, 89, 0}, {0x3BDD, 84, 90, 0},
    {0x34EE, 85, 91, 0}, {0x2EAE, 86, 92, 0}, {0x299A, 87, 93, 0}, {0x2516, 71, 86, 0},
    {0x5570, 89, 88, 1}, {0x4CA9, 90, 95, 0}, {0x44D9, 91, 96, 0}, {0x3E22, 92, 97, 0},
    {0x3824, 93, 99, 0}, {0x32B4, 94, 99, 0}, {0x2E17, 86, 93, 0}, {0x56A8, 96, 95, 1},
    {0x4F46, 97, 101, 0}, {0x47E5, 98, 102, 0}, {0x41CF, 99, 103, 0}, {0x3C3D, 100, 104, 0},
    {0x375E, 93, 99, 0}, {0x5231, 102, 105, 0}, {0x4C0F, 103, 106, 0}, {0x4639, 104, 107, 0},
    {0x415E, 99, 103, 0}, {0x5627, 106, 105, 1}, {0x50E7, 107, 108, 0}, {0x4B85, 103, 109, 0},
    {0x5597, 109, 110, 0}, {0x504F, 107, 111, 0}, {0x5A10, 111, 110, 1}, {0x5522, 109, 112, 0},
    {0x59EB, 111, 112, 1}, {0x5A1D, 113, 113, 0},
};
constexpr uint8_t kFixedEstimate = 113;

inline int16_t Narrow(uint32_t v) { return static_cast<int16_t>(static_cast<uint16_t>(v)); }

// Bins of the AC model (T.81 F.1.4.4.2): three per coefficient index from
// SE = 3 (k - 1), then the magnitude categories of values at or below Kx
// and those above it, each followed 14 bins on by their magnitude bits.
constexpr uint32_t kAcLowCategories = 189;
constexpr uint32_t kAcHighCategories = 217;
// The DC model's magnitude categories (T.81 F.1.4.4.1).
constexpr uint32_t kDcCategories = 20;
constexpr uint32_t kBitsAfterCategory = 14;

}  // namespace

[[gnu::always_inline]] inline uint32_t CJpegArithmeticScan::Decision(uint8_t* state)
{
    // Renormalisation (D.2.6): the interval is doubled until it is at least
    // half the range, a byte of data entering the register whenever its
    // bits below the compared part run out. The first two bytes fill the
    // compared part itself, with the interval starting at the whole range.
    while (a_ < 0x8000) {
        if (--ct_ < 0) {
            c_ = (c_ << 8) | source_->NextByte();
            ct_ += 8;
            if (ct_ < 0 && ++ct_ == 0)
                a_ = 0x8000;
        }
        a_ <<= 1;
    }
    const Estimate& e = kEstimates[*state & 0x7F];
    const uint32_t mps = *state >> 7;
    const uint8_t afterMps = static_cast<uint8_t>((*state & 0x80) | e.nextMps);
    const uint8_t afterLps = static_cast<uint8_t>(((*state & 0x80) ^ (e.switchMps << 7)) | e.nextLps);
    a_ -= e.qe;
    const uint32_t boundary = a_ << ct_;
    if (c_ >= boundary) {
        // The upper sub-interval: the less probable symbol, unless it is
        // the larger of the two (conditional exchange, D.2.4).
        c_ -= boundary;
        const bool exchange = a_ < e.qe;
        a_ = e.qe;
        *state = exchange ? afterMps : afterLps;
        return exchange ? mps : mps ^ 1;
    }
    if (a_ >= 0x8000)
        return mps;
    const bool exchange = a_ < e.qe;
    *state = exchange ? afterLps : afterMps;
    return exchange ? mps ^ 1 : mps;
}

void CJpegArithmeticScan::StartInterval()
{
    c_ = 0;
    a_ = 0;
    ct_ = -16;
    std::memset(dcBins_, 0, sizeof dcBins_);
    std::memset(acBins_, 0, sizeof acBins_);
    fixed_ = kFixedEstimate;
    for (uint32_t i = 0; i < 4; ++i) {
        predictor_[i] = 0;
        context_[i] = 0;
    }
}

JpegScanOutcome CJpegArithmeticScan::Decode(CJpegEntropySource& source, const JpegScanSetup& scan,
                                            const JpegTables& tables, const CJpegCoefficients& planes)
{
    source_ = &source;
    start_ = scan.spectralStart;
    end_ = scan.spectralEnd;
    low_ = scan.low;
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
        if (c.dcTable > 3 || c.acTable > 3)
            return JpegScanOutcome::Unsupported;
        dcTable_[i] = c.dcTable;
        acTable_[i] = c.acTable;
        lower_[i] = tables.dcConditioning[c.dcTable] & 0x0F;
        upper_[i] = tables.dcConditioning[c.dcTable] >> 4;
        kx_[i] = tables.acConditioning[c.acTable];
    }
    StartInterval();
    switch (kind_) {
    case Kind::Sequential: return planes.Walk(scan, *this, [this](uint32_t c, int16_t* b) { return Sequential(c, b); });
    case Kind::DcFirst: return planes.Walk(scan, *this, [this](uint32_t c, int16_t* b) { return Dc(c, b); });
    case Kind::DcRefine: return planes.Walk(scan, *this, [this](uint32_t c, int16_t* b) { return DcRefine(c, b); });
    case Kind::AcFirst: return planes.Walk(scan, *this, [this](uint32_t c, int16_t* b) { return Ac(c, b); });
    case Kind::AcRefine: return planes.Walk(scan, *this, [this](uint32_t c, int16_t* b) { return AcRefine(c, b); });
    case Kind::Invalid: break;
    }
    return JpegScanOutcome::Unsupported;
}

bool CJpegArithmeticScan::Restart()
{
    if (!source_->Restart())
        return false;
    StartInterval();
    return true;
}

bool CJpegArithmeticScan::Sequential(uint32_t component, int16_t* block)
{
    return Dc(component, block) && Ac(component, block);
}

bool CJpegArithmeticScan::DcRefine(uint32_t, int16_t* block)
{
    if (Decision(&fixed_))
        block[0] = Narrow(static_cast<uint16_t>(block[0]) | (1u << low_));
    return true;
}

uint32_t CJpegArithmeticScan::MagnitudeBits(uint8_t* category, uint32_t m)
{
    // The bits below the category's top bit, each in the bin 14 on from the
    // category's (Figure F.24); the value is one more than them.
    uint8_t* st = category + kBitsAfterCategory;
    uint32_t value = m;
    while (m >>= 1)
        if (Decision(st))
            value |= m;
    return value + 1;
}

// A DC difference (F.1.4.4.1): zero or not in the bin of the context the
// previous difference left, its sign, whether its magnitude exceeds one,
// then its category and bits. The category classes the difference for the
// next one: zero, small or large against the bounds L and U, by sign.
bool CJpegArithmeticScan::Dc(uint32_t component, int16_t* block)
{
    uint8_t* bins = dcBins_[dcTable_[component]];
    uint8_t* s0 = bins + context_[component];
    int32_t diff = 0;
    if (Decision(s0) == 0) {
        context_[component] = 0;
    } else {
        const uint32_t sign = Decision(s0 + 1);
        uint8_t* st = s0 + 2 + sign;
        uint32_t m = Decision(st);
        if (m) {
            st = bins + kDcCategories;
            while (Decision(st)) {
                if ((m <<= 1) == 0x8000)
                    return false;
                ++st;
            }
        }
        if (m < ((1u << lower_[component]) >> 1))
            context_[component] = 0;
        else if (m > ((1u << upper_[component]) >> 1))
            context_[component] = 12 + 4 * sign;
        else
            context_[component] = 4 + 4 * sign;
        const uint32_t v = MagnitudeBits(st, m);
        diff = sign ? -static_cast<int32_t>(v) : static_cast<int32_t>(v);
    }
    predictor_[component] = static_cast<int32_t>(static_cast<uint32_t>(predictor_[component]) + static_cast<uint32_t>(diff));
    block[0] = Narrow(static_cast<uint32_t>(predictor_[component]) << low_);
    return true;
}

// The AC coefficients of a band (F.1.4.4.2, G.1.3.2): at each index an
// end-of-band decision, then zero or not until a value, whose sign has the
// fixed estimate and whose magnitude two decisions and a category.
bool CJpegArithmeticScan::Ac(uint32_t component, int16_t* block)
{
    uint8_t* bins = acBins_[acTable_[component]];
    for (uint32_t k = start_; k <= end_; ++k) {
        uint8_t* st = bins + 3 * (k - 1);
        if (Decision(st))
            break;
        while (Decision(st + 1) == 0) {
            st += 3;
            if (++k > end_)
                return false;
        }
        const uint32_t sign = Decision(&fixed_);
        st += 2;
        uint32_t m = Decision(st);
        if (m && Decision(st)) {
            m <<= 1;
            st = bins + (k <= kx_[component] ? kAcLowCategories : kAcHighCategories);
            while (Decision(st)) {
                if ((m <<= 1) == 0x8000)
                    return false;
                ++st;
            }
        }
        const uint32_t v = MagnitudeBits(st, m);
        block[k] = Narrow((sign ? 0u - v : v) << low_);
    }
    return true;
}

// A refining AC scan (G.1.3.3): coefficients that were non-zero before get
// a correction bit; the others may become 1 << Al in magnitude. The end of
// band can only be decided past the last coefficient the earlier scans
// made non-zero.
bool CJpegArithmeticScan::AcRefine(uint32_t component, int16_t* block)
{
    uint8_t* bins = acBins_[acTable_[component]];
    const uint32_t bit = 1u << low_;
    const uint64_t upTo = end_ == 63 ? ~uint64_t{0} : (uint64_t{2} << end_) - 1;
    const uint64_t coded = CJpegCoefficients::NonZero(block) & upTo & ~uint64_t{1};
    const uint32_t last = coded ? 63u - static_cast<uint32_t>(std::countl_zero(coded)) : 0u;
    for (uint32_t k = start_; k <= end_; ++k) {
        uint8_t* st = bins + 3 * (k - 1);
        if (k > last && Decision(st))
            break;
        for (;;) {
            int16_t& c = block[k];
            if (c != 0) {
                if (Decision(st + 2))
                    c = Narrow(static_cast<uint32_t>(c) + (c < 0 ? 0u - bit : bit));
                break;
            }
            if (Decision(st + 1)) {
                c = Narrow(Decision(&fixed_) ? 0u - bit : bit);
                break;
            }
            st += 3;
            if (++k > end_)
                return false;
        }
    }
    return true;
}
