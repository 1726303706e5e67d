#pragma once
// Decodes one Huffman-coded scan into the coefficient planes of its frame:
// a sequential scan (T.81 F.2.2, every coefficient of its blocks at once) or
// one scan of the progressive process (G.1.2): the first DC scan and its
// refinements, and AC scans of a spectral band, first (with end-of-band
// runs) or refining a lower bit.
#include <cstdint>

#include "codec/jpeg_coefficients.h"
#include "codec/jpeg_entropy_source.h"
#include "codec/jpeg_huffman_lookup.h"
#include "codec/jpeg_stream_parser.h"

class CJpegHuffmanScan {
public:
    // The tables the scan names must be present (the marker walk accepts no
    // scan without them); a scan whose progression parameters T.81 does not
    // allow is not decoded.
    JpegScanOutcome Decode(CJpegEntropySource& source, const JpegScanSetup& scan, const JpegTables& tables,
                           const CJpegCoefficients& planes);

    // What the coefficient walk asks of the decoder.
    bool Restart();
    JpegScanOutcome Failure() const { return failure_; }
    // Blocks of a first AC scan's end-of-band run, which code nothing.
    uint32_t Skippable() const { return kind_ == Kind::AcFirst ? eobRun_ : 0; }
    void Skip(uint32_t blocks) { eobRun_ -= blocks; }

private:
    using Kind = JpegScanKind;

    // Walks the scan with decode as the block decoder, after each block
    // checking that the data has not run out.
    template <bool (CJpegHuffmanScan::*Step)(uint32_t, int16_t*)>
    JpegScanOutcome WalkWith(const CJpegCoefficients& planes, const JpegScanSetup& scan);
    bool Sequential(uint32_t component, int16_t* block);
    bool DcRefine(uint32_t component, int16_t* block);
    bool DcFirst(uint32_t component, int16_t* block);
    bool AcFirst(uint32_t component, int16_t* block);
    bool AcRefine(uint32_t component, int16_t* block);
    // Refines the already non-zero coefficients of block at zigzag positions
    // [k, end] with one correction bit each.
    void RefineNonZero(int16_t* block, uint32_t k, uint32_t end);
    bool Fail(JpegScanOutcome outcome)
    {
        failure_ = outcome;
        return false;
    }
    // The data ran out: more zero bits were used than the accumulator holds
    // of them.
    bool Exhausted() const { return source_->Exhausted(); }

    CJpegEntropySource* source_ = nullptr;
    Kind kind_ = Kind::Sequential;
    uint32_t start_ = 0;
    uint32_t end_ = 63;
    uint32_t low_ = 0;
    uint32_t eobRun_ = 0;
    int32_t predictor_[4] = {};
    CJpegHuffmanLookup dc_[4];
    CJpegHuffmanLookup ac_[4];
    JpegScanOutcome failure_ = JpegScanOutcome::BadData;
};
