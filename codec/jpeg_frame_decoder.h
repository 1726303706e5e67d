#pragma once
// Draws the picture of one JPEG frame from its scans, as the marker walk
// meets them. A baseline or extended sequential frame whose first scan
// holds every component in a layout the baseline scan decoder knows is
// decoded straight into the pixels, MCU after MCU; every other frame this
// program draws (progressive, arithmetic coding, components in scans of
// their own, any sampling factors from 1 to 4, four components) is decoded
// scan by scan into coefficient planes and painted once its scans are in.
#include <cstdint>
#include <cstdio>
#include <memory>

#include "codec/jpeg_arithmetic_scan.h"
#include "codec/jpeg_coefficients.h"
#include "codec/jpeg_entropy_source.h"
#include "codec/jpeg_huffman_scan.h"
#include "codec/jpeg_plane_painter.h"
#include "codec/jpeg_scan_decoder.h"
#include "codec/jpeg_stream_parser.h"
#include "image/page_warmer.h"

class CJpegFrameDecoder {
public:
    // The Adobe segment's colour transform (APP14): -1 without one.
    static constexpr int kNoAdobe = -1;

    // Whether this decoder draws frames of this kind: DCT frames with 8-bit
    // samples, baseline, extended sequential or progressive, Huffman or
    // arithmetic coded, of one, three or four components whose sampling
    // factors lie from 1 to 4, with a size. Lossless, hierarchical and
    // 12-bit frames are not drawn, and neither are frames whose number of
    // lines a DNL segment gives.
    static bool Drawable(const JpegFrame& frame);
    // The colour model (T.81 leaves it to the application): one component
    // is grey; three are YCbCr unless the Adobe transform is 0, or there is
    // no Adobe segment and the components are named 'R', 'G', 'B'; four are
    // YCCK with transform 2 and CMYK otherwise, their inks inverted when an
    // Adobe segment is present, as Adobe writes them.
    static CJpegPlanePainter::Colour ColourOf(const JpegFrame& frame, int adobeTransform);
    // Whether a frame decoded through coefficient planes needs more memory
    // for them than allowed (CJpegCoefficients::kMaxBytes).
    static bool TooLarge(const JpegFrame& frame);
    // Whether the frame the parser read, with the scan it read last as its
    // first, is decoded straight into the pixels (no coefficient planes).
    static bool DecodesDirectly(const CJpegStreamParser& parser, int adobeTransform);
    // Whether the frame can be drawn in part (CJpegScanDecoder::Target::
    // partial): one decoded straight into its pixels, or one whose planes
    // are painted in a layout the baseline painter knows (grey, YCbCr, or
    // RGB of one block an MCU; the first component 1 or 2 blocks each way
    // and the largest, every other component one).
    static bool DrawsInPart(const CJpegStreamParser& parser, int adobeTransform);

    CJpegFrameDecoder();
    ~CJpegFrameDecoder();
    CJpegFrameDecoder(const CJpegFrameDecoder&) = delete;
    CJpegFrameDecoder& operator=(const CJpegFrameDecoder&) = delete;

    // The scans of a frame decoded through coefficient planes visit at most
    // this many blocks in all, for each block of the frame and for each byte
    // of the data: a file of many scans that each code nothing but an
    // end-of-band run over a large frame cannot make the decoding run for
    // ever. Files as writers make them stay below: libjpeg's progression
    // visits a block six times at most, and a script of a scan for each of
    // many bands and bit levels codes several bytes a block, each byte
    // allowing eight more visits. Scans beyond are not decoded.
    static constexpr uint64_t kVisitsPerBlock = 12;
    static constexpr uint64_t kVisitsPerByte = 8;

    // Starts the picture of a drawable frame in target (no pixels: nothing
    // is decoded); dataBytes is the size of the data it comes from, threads
    // the threads it may use (CDecodeThreads::Limit).
    void Begin(const JpegFrame& frame, int adobeTransform, const CJpegScanDecoder::Target& target,
               uint64_t dataBytes, uint32_t threads = 0);
    // Decodes the scan whose entropy-coded data begins at fp's position,
    // with the tables parser holds now; previousByte is the byte before the
    // data (for the baseline decoder's rule on stuffing). fp is left at the
    // first byte the decoding did not use.
    JpegScanOutcome DecodeScan(FILE* fp, uint32_t previousByte, const CJpegStreamParser& parser);
    // Paints a picture decoded into coefficient planes; nothing for one
    // decoded straight into its pixels.
    void Finish();

private:
    JpegScanSetup SetupOf(const JpegScan& scan, const JpegTables& tables) const;
    void LatchQuantization(const JpegScanSetup& setup, const JpegTables& tables);

    JpegFrame frame_;
    int adobe_ = kNoAdobe;
    CJpegScanDecoder::Target target_;
    CJpegPlanePainter::Setup paint_;
    bool started_ = false;      // a scan has been decoded
    bool direct_ = false;       // decoded straight into the pixels
    bool planesReady_ = false;
    uint64_t dataBytes_ = 0;
    uint32_t threads_ = 0;
    uint64_t visits_ = 0;         // blocks the scans have visited so far
    uint64_t budget_ = 0;
    std::vector<bool> latched_;
    std::unique_ptr<CJpegScanDecoder> baseline_;
    std::unique_ptr<CJpegCoefficients> planes_;
    std::unique_ptr<CJpegEntropySource> source_;
    std::unique_ptr<CJpegHuffmanScan> huffman_;
    std::unique_ptr<CJpegArithmeticScan> arithmetic_;
    // Prepares the planes' and the picture's memory while the scans are
    // decoded on this thread; it ends before the painting.
    CPageWarmer warmer_;
};
