#include "codec/jpeg_frame_decoder.h"

#include <algorithm>

#include "codec/decode_threads.h"

using namespace jpeg_marker;

namespace {

// MCU rows painted by one job of the painting threads.
constexpr uint32_t kRowsPerJob = 4;

JpegScanOutcome OutcomeOf(CJpegScanDecoder::Outcome o)
{
    switch (o) {
    case CJpegScanDecoder::Outcome::Complete: return JpegScanOutcome::Complete;
    case CJpegScanDecoder::Outcome::BadCode: return JpegScanOutcome::BadData;
    case CJpegScanDecoder::Outcome::EndOfFile: return JpegScanOutcome::DataEnded;
    case CJpegScanDecoder::Outcome::MissingRestart: return JpegScanOutcome::MissingRestart;
    }
    return JpegScanOutcome::BadData;
}

bool Named(const JpegFrame& frame, const char* names)
{
    for (size_t i = 0; i < frame.components.size(); ++i)
        if (frame.components[i].identifier != static_cast<uint8_t>(names[i]))
            return false;
    return true;
}

}  // namespace

bool CJpegFrameDecoder::Drawable(const JpegFrame& frame)
{
    const uint32_t m = frame.marker;
    if (m != kSof0 && m != kSof1 && m != kSof2 && m != kSof9 && m != kSof10)
        return false;
    const size_t n = frame.components.size();
    if (frame.precision != 8 || frame.lines == 0 || frame.samplesPerLine == 0 || (n != 1 && n != 3 && n != 4))
        return false;
    return std::all_of(frame.components.begin(), frame.components.end(), [](const FrameComponent& c) {
        const uint32_t h = c.sampling >> 4, v = c.sampling & 0x0F;
        return h >= 1 && h <= 4 && v >= 1 && v <= 4;
    });
}

CJpegPlanePainter::Colour CJpegFrameDecoder::ColourOf(const JpegFrame& frame, int adobeTransform)
{
    using Colour = CJpegPlanePainter::Colour;
    switch (frame.components.size()) {
    case 1: return Colour::Grey;
    case 3:
        if (adobeTransform == 0 || (adobeTransform == kNoAdobe && Named(frame, "RGB")))
            return Colour::Rgb;
        return Colour::YCbCr;
    default: return adobeTransform == 2 ? Colour::Ycck : Colour::Cmyk;
    }
}

bool CJpegFrameDecoder::TooLarge(const JpegFrame& frame)
{
    return CJpegCoefficients::BytesFor(frame) > CJpegCoefficients::kMaxBytes;
}

CJpegFrameDecoder::CJpegFrameDecoder() = default;
CJpegFrameDecoder::~CJpegFrameDecoder() = default;

void CJpegFrameDecoder::Begin(const JpegFrame& frame, int adobeTransform, const CJpegScanDecoder::Target& target,
                              uint64_t dataBytes, uint32_t threads)
{
    dataBytes_ = dataBytes;
    threads_ = threads;
    visits_ = 0;
    frame_ = frame;
    adobe_ = adobeTransform;
    target_ = target;
    paint_ = CJpegPlanePainter::Setup();
    paint_.colour = ColourOf(frame, adobeTransform);
    paint_.invertedInks = adobeTransform != kNoAdobe;
    paint_.width = frame.samplesPerLine;
    paint_.height = frame.lines;
    paint_.quant.assign(frame.components.size(), std::vector<int32_t>(64, 0));
    latched_.assign(frame.components.size(), false);
    started_ = direct_ = planesReady_ = false;
}

bool CJpegFrameDecoder::DecodesDirectly(const CJpegStreamParser& parser, int adobeTransform)
{
    using Colour = CJpegPlanePainter::Colour;
    const Colour colour = ColourOf(parser.StreamFrame(), adobeTransform);
    CJpegScanDecoder::Frame frame;
    return (colour == Colour::Grey || colour == Colour::YCbCr || colour == Colour::Rgb) &&
           parser.BaselineFrame(frame, colour == Colour::Rgb);
}

bool CJpegFrameDecoder::DrawsInPart(const CJpegStreamParser& parser, int adobeTransform)
{
    using Colour = CJpegPlanePainter::Colour;
    if (DecodesDirectly(parser, adobeTransform))
        return true;
    const JpegFrame& frame = parser.StreamFrame();
    const Colour colour = ColourOf(frame, adobeTransform);
    if (!Drawable(frame) || frame.components.size() > static_cast<size_t>(CJpegScanDecoder::kMaxComponents) ||
        (colour != Colour::Grey && colour != Colour::YCbCr && colour != Colour::Rgb))
        return false;
    const uint32_t h0 = frame.components[0].sampling >> 4, v0 = frame.components[0].sampling & 0x0F;
    if (h0 > 2 || v0 > 2 || (colour == Colour::Rgb && (h0 != 1 || v0 != 1)))
        return false;
    return std::all_of(frame.components.begin() + 1, frame.components.end(),
                       [](const FrameComponent& c) { return c.sampling == 0x11; });
}

JpegScanSetup CJpegFrameDecoder::SetupOf(const JpegScan& scan, const JpegTables& tables) const
{
    JpegScanSetup s;
    for (const JpegScanComponentField& field : scan.components) {
        if (s.count == 4)
            break;
        const auto found = std::find_if(frame_.components.begin(), frame_.components.end(),
                                        [&](const FrameComponent& f) { return f.identifier == field.component.selector; });
        JpegScanSetup::Component& c = s.components[s.count++];
        c.plane = static_cast<uint32_t>(found - frame_.components.begin());
        c.dcTable = field.component.tableSelection >> 4;
        c.acTable = field.component.tableSelection & 0x0F;
    }
    s.spectralStart = scan.spectralStart;
    s.spectralEnd = scan.spectralEnd;
    s.high = scan.approximation >> 4;
    s.low = scan.approximation & 0x0F;
    s.progressive = IsProgressive(frame_.marker);
    s.restartInterval = tables.restartInterval;
    return s;
}

// A component's quantization table is the one in effect at the start of
// its first scan; tables redefined later serve later components.
void CJpegFrameDecoder::LatchQuantization(const JpegScanSetup& setup, const JpegTables& tables)
{
    for (uint32_t i = 0; i < setup.count; ++i) {
        const uint32_t p = setup.components[i].plane;
        if (latched_[p])
            continue;
        latched_[p] = true;
        const uint32_t q = frame_.components[p].quantSelector;
        if (q > 3 || !tables.quantPresent[q])
            continue;
        for (int r = 0; r < 8; ++r)
            for (int c = 0; c < 8; ++c)
                paint_.quant[p][r * 8 + c] = static_cast<int32_t>(tables.quant[q].value[c][r]);
    }
}

JpegScanOutcome CJpegFrameDecoder::DecodeScan(FILE* fp, uint32_t previousByte, const CJpegStreamParser& parser)
{
    if (!target_.pixels)
        return JpegScanOutcome::Complete;
    if (!started_) {
        started_ = true;
        CJpegScanDecoder::Frame frame;
        if (DecodesDirectly(parser, adobe_) &&
            parser.BaselineFrame(frame, paint_.colour == CJpegPlanePainter::Colour::Rgb)) {
            direct_ = true;
            baseline_ = std::make_unique<CJpegScanDecoder>();
            baseline_->SetThreads(threads_);
            return OutcomeOf(baseline_->Decode(fp, previousByte, frame, target_).outcome);
        }
        planes_ = std::make_unique<CJpegCoefficients>();
        planesReady_ = planes_->Allocate(frame_);
        source_ = std::make_unique<CJpegEntropySource>();
        const uint64_t blocks = planesReady_ ? planes_->Blocks() : 0;
        if (planesReady_ && CDecodeThreads::Limit(threads_) > 1)
            warmer_.Start({{planes_->Memory(), planes_->MemoryBytes()},
                           {target_.pixels, static_cast<size_t>(target_.bitmapWidth) * target_.bitmapHeight * 3}});
        budget_ = std::min(blocks * kVisitsPerBlock, UINT64_MAX / 4) + std::min(dataBytes_, UINT64_MAX / 128) * kVisitsPerByte;
    }
    if (direct_ || !planesReady_)
        return JpegScanOutcome::Complete;
    const JpegTables& tables = parser.Tables();
    const JpegScanSetup setup = SetupOf(parser.LastScan(), tables);
    const uint64_t blocks = planes_->ScanBlocks(setup);
    if (blocks > budget_ - visits_)
        return JpegScanOutcome::OverBudget;
    visits_ += blocks;
    LatchQuantization(setup, tables);
    source_->Start(fp);
    JpegScanOutcome outcome;
    if (IsArithmetic(frame_.marker)) {
        if (!arithmetic_)
            arithmetic_ = std::make_unique<CJpegArithmeticScan>();
        outcome = arithmetic_->Decode(*source_, setup, tables, *planes_);
    } else {
        if (!huffman_)
            huffman_ = std::make_unique<CJpegHuffmanScan>();
        outcome = huffman_->Decode(*source_, setup, tables, *planes_);
    }
    source_->Finish();
    return outcome;
}

void CJpegFrameDecoder::Finish()
{
    warmer_.Stop();
    if (!started_ || direct_ || !planesReady_ || !target_.pixels)
        return;
    const uint32_t rows = planes_->McusDown();
    const size_t jobs = (rows + kRowsPerJob - 1) / kRowsPerJob;
    const uint32_t threads = static_cast<uint32_t>(std::min<size_t>(CDecodeThreads::Limit(threads_), jobs));
    std::vector<std::unique_ptr<CJpegPlanePainter>> painters;
    for (uint32_t i = 0; i < std::max(threads, 1u); ++i)
        painters.push_back(std::make_unique<CJpegPlanePainter>(*planes_, paint_, target_));
    CJpegScanDecoder::Frame baseline;
    const bool fast = painters[0]->BaselineLayout(&baseline);
    // Only the baseline painter draws a view of a picture (DrawsInPart).
    if (target_.partial && !fast)
        return;
    CDecodeThreads::ForEach(jobs, threads, [&](uint32_t worker, size_t job) {
        const uint32_t first = static_cast<uint32_t>(job) * kRowsPerJob;
        if (fast)
            painters[worker]->PaintBaselineRows(baseline, first, kRowsPerJob);
        else
            painters[worker]->PaintRows(first, kRowsPerJob);
    });
}
