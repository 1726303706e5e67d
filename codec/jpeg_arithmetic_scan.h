#pragma once
// Decodes one arithmetic-coded scan (ITU-T T.81 Annex D, with the models of
// F.1.4.4 for sequential scans and G.1.3 for progressive ones) into the
// coefficient planes of its frame. The statistics bins start at zero at the
// start of the scan and of every restart interval; DC conditioning (the
// bounds L and U) and AC conditioning (Kx) come from DAC or their defaults.
#include <cstdint>

#include "codec/jpeg_coefficients.h"
#include "codec/jpeg_entropy_source.h"
#include "codec/jpeg_stream_parser.h"

class CJpegArithmeticScan {
public:
    JpegScanOutcome Decode(CJpegEntropySource& source, const JpegScanSetup& scan, const JpegTables& tables,
                           const CJpegCoefficients& planes);

    // What the coefficient walk asks of the decoder.
    bool Restart();
    JpegScanOutcome Failure() const { return JpegScanOutcome::BadData; }
    // Arithmetic coding has no end-of-band runs: every block is decoded.
    uint32_t Skippable() const { return 0; }
    void Skip(uint32_t) {}

private:
    using Kind = JpegScanKind;

    // One binary decision with the adaptive estimate *state (D.2.4 to
    // D.2.6): its index in Table D.3 in the low seven bits, the more
    // probable symbol in bit 7.
    uint32_t Decision(uint8_t* state);
    void StartInterval();
    bool Sequential(uint32_t component, int16_t* block);
    bool DcRefine(uint32_t component, int16_t* block);
    bool Dc(uint32_t component, int16_t* block);
    bool Ac(uint32_t component, int16_t* block);
    bool AcRefine(uint32_t component, int16_t* block);
    // The magnitude of a value whose category m was decoded ending at the
    // bin category.
    uint32_t MagnitudeBits(uint8_t* category, uint32_t m);

    CJpegEntropySource* source_ = nullptr;
    // The code register C, the interval A and the count of bits in C below
    // the part compared with A (negative while the first two bytes are read).
    uint32_t c_ = 0;
    uint32_t a_ = 0;
    int ct_ = -16;
    Kind kind_ = Kind::Sequential;
    uint32_t start_ = 1;
    uint32_t end_ = 63;
    uint32_t low_ = 0;

    // Statistics bins per table destination: 64 for DC (F.1.4.4.1), 256
    // for AC (F.1.4.4.2); and the fixed estimate of sign and correction
    // bits, which never adapts.
    uint8_t dcBins_[4][64] = {};
    uint8_t acBins_[4][256] = {};
    uint8_t fixed_ = 0;
    uint32_t dcTable_[4] = {};
    uint32_t acTable_[4] = {};
    uint32_t lower_[4] = {};     // L and U of each component's DC table
    uint32_t upper_[4] = {};
    uint32_t kx_[4] = {};
    int32_t predictor_[4] = {};
    uint32_t context_[4] = {};   // DC context of the last difference (0, 4, 8, 12 or 16)
};
