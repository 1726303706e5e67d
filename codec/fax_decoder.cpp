#include "codec/fax_decoder.h"

#include "codec/batch_hand_off.h"
#include "codec/decode_threads.h"

#include <array>
#include <bit>
#include <cstring>

namespace {

// One modified Huffman code: its bits (right-aligned), its length and the run
// it stands for. The EOL code carries the mark kEolRun.
struct MhCode {
    uint16_t code;
    uint8_t length;
    uint32_t run;
};

constexpr uint32_t kEolRun = 0xFFFFFFFFu;

// White run codes: ITU-T T.4 Table 2 (terminating codes, runs 0 to 63) and
// Table 3 (make-up codes, runs 64 to 1728, then the extended make-up codes
// for 1792 to 2560 shared by both colours, and EOL).
constexpr MhCode kWhiteCodes[] = {
    {0b00110101, 8, 0},    {0b000111, 6, 1},      {0b0111, 4, 2},        {0b1000, 4, 3},
    {0b1011, 4, 4},        {0b1100, 4, 5},        {0b1110, 4, 6},        {0b1111, 4, 7},
    {0b10011, 5, 8},       {0b10100, 5, 9},       {0b00111, 5, 10},      {0b01000, 5, 11},
    {0b001000, 6, 12},     {0b000011, 6, 13},     {0b110100, 6, 14},     {0b110101, 6, 15},
    {0b101010, 6, 16},     {0b101011, 6, 17},     {0b0100111, 7, 18},    {0b0001100, 7, 19},
    {0b0001000, 7, 20},    {0b0010111, 7, 21},    {0b0000011, 7, 22},    {0b0000100, 7, 23},
    {0b0101000, 7, 24},    {0b0101011, 7, 25},    {0b0010011, 7, 26},    {0b0100100, 7, 27},
    {0b0011000, 7, 28},    {0b00000010, 8, 29},   {0b00000011, 8, 30},   {0b00011010, 8, 31},
    {0b00011011, 8, 32},   {0b00010010, 8, 33},   {0b00010011, 8, 34},   {0b00010100, 8, 35},
    {0b00010101, 8, 36},   {0b00010110, 8, 37},   {0b00010111, 8, 38},   {0b00101000, 8, 39},
    {0b00101001, 8, 40},   {0b00101010, 8, 41},   {0b00101011, 8, 42},   {0b00101100, 8, 43},
    {0b00101101, 8, 44},   {0b00000100, 8, 45},   {0b00000101, 8, 46},   {0b00001010, 8, 47},
    {0b00001011, 8, 48},   {0b01010010, 8, 49},   {0b01010011, 8, 50},   {0b01010100, 8, 51},
    {0b01010101, 8, 52},   {0b00100100, 8, 53},   {0b00100101, 8, 54},   {0b01011000, 8, 55},
    {0b01011001, 8, 56},   {0b01011010, 8, 57},   {0b01011011, 8, 58},   {0b01001010, 8, 59},
    {0b01001011, 8, 60},   {0b00110010, 8, 61},   {0b00110011, 8, 62},   {0b00110100, 8, 63},
    {0b11011, 5, 64},      {0b10010, 5, 128},     {0b010111, 6, 192},    {0b0110111, 7, 256},
    {0b00110110, 8, 320},  {0b00110111, 8, 384},  {0b01100100, 8, 448},  {0b01100101, 8, 512},
    {0b01101000, 8, 576},  {0b01100111, 8, 640},  {0b011001100, 9, 704}, {0b011001101, 9, 768},
    {0b011010010, 9, 832}, {0b011010011, 9, 896}, {0b011010100, 9, 960}, {0b011010101, 9, 1024},
    {0b011010110, 9, 1088}, {0b011010111, 9, 1152}, {0b011011000, 9, 1216}, {0b011011001, 9, 1280},
    {0b011011010, 9, 1344}, {0b011011011, 9, 1408}, {0b010011000, 9, 1472}, {0b010011001, 9, 1536},
    {0b010011010, 9, 1600}, {0b011000, 6, 1664},  {0b010011011, 9, 1728},
    {0b00000001000, 11, 1792},  {0b00000001100, 11, 1856},  {0b00000001101, 11, 1920},
    {0b000000010010, 12, 1984}, {0b000000010011, 12, 2048}, {0b000000010100, 12, 2112},
    {0b000000010101, 12, 2176}, {0b000000010110, 12, 2240}, {0b000000010111, 12, 2304},
    {0b000000011100, 12, 2368}, {0b000000011101, 12, 2432}, {0b000000011110, 12, 2496},
    {0b000000011111, 12, 2560},
    {0b000000000001, 12, kEolRun},
};

// Black run codes: ITU-T T.4 Table 2 (terminating codes) and Table 3
// (make-up codes, the extended make-up codes and EOL).
constexpr MhCode kBlackCodes[] = {
    {0b0000110111, 10, 0},    {0b010, 3, 1},            {0b11, 2, 2},             {0b10, 2, 3},
    {0b011, 3, 4},            {0b0011, 4, 5},           {0b0010, 4, 6},           {0b00011, 5, 7},
    {0b000101, 6, 8},         {0b000100, 6, 9},         {0b0000100, 7, 10},       {0b0000101, 7, 11},
    {0b0000111, 7, 12},       {0b00000100, 8, 13},      {0b00000111, 8, 14},      {0b000011000, 9, 15},
    {0b0000010111, 10, 16},   {0b0000011000, 10, 17},   {0b0000001000, 10, 18},   {0b00001100111, 11, 19},
    {0b00001101000, 11, 20},  {0b00001101100, 11, 21},  {0b00000110111, 11, 22},  {0b00000101000, 11, 23},
    {0b00000010111, 11, 24},  {0b00000011000, 11, 25},  {0b000011001010, 12, 26}, {0b000011001011, 12, 27},
    {0b000011001100, 12, 28}, {0b000011001101, 12, 29}, {0b000001101000, 12, 30}, {0b000001101001, 12, 31},
    {0b000001101010, 12, 32}, {0b000001101011, 12, 33}, {0b000011010010, 12, 34}, {0b000011010011, 12, 35},
    {0b000011010100, 12, 36}, {0b000011010101, 12, 37}, {0b000011010110, 12, 38}, {0b000011010111, 12, 39},
    {0b000001101100, 12, 40}, {0b000001101101, 12, 41}, {0b000011011010, 12, 42}, {0b000011011011, 12, 43},
    {0b000001010100, 12, 44}, {0b000001010101, 12, 45}, {0b000001010110, 12, 46}, {0b000001010111, 12, 47},
    {0b000001100100, 12, 48}, {0b000001100101, 12, 49}, {0b000001010010, 12, 50}, {0b000001010011, 12, 51},
    {0b000000100100, 12, 52}, {0b000000110111, 12, 53}, {0b000000111000, 12, 54}, {0b000000100111, 12, 55},
    {0b000000101000, 12, 56}, {0b000001011000, 12, 57}, {0b000001011001, 12, 58}, {0b000000101011, 12, 59},
    {0b000000101100, 12, 60}, {0b000001011010, 12, 61}, {0b000001100110, 12, 62}, {0b000001100111, 12, 63},
    {0b0000001111, 10, 64},     {0b000011001000, 12, 128},  {0b000011001001, 12, 192},
    {0b000001011011, 12, 256},  {0b000000110011, 12, 320},  {0b000000110100, 12, 384},
    {0b000000110101, 12, 448},  {0b0000001101100, 13, 512}, {0b0000001101101, 13, 576},
    {0b0000001001010, 13, 640}, {0b0000001001011, 13, 704}, {0b0000001001100, 13, 768},
    {0b0000001001101, 13, 832}, {0b0000001110010, 13, 896}, {0b0000001110011, 13, 960},
    {0b0000001110100, 13, 1024}, {0b0000001110101, 13, 1088}, {0b0000001110110, 13, 1152},
    {0b0000001110111, 13, 1216}, {0b0000001010010, 13, 1280}, {0b0000001010011, 13, 1344},
    {0b0000001010100, 13, 1408}, {0b0000001010101, 13, 1472}, {0b0000001011010, 13, 1536},
    {0b0000001011011, 13, 1600}, {0b0000001100100, 13, 1664}, {0b0000001100101, 13, 1728},
    {0b00000001000, 11, 1792},  {0b00000001100, 11, 1856},  {0b00000001101, 11, 1920},
    {0b000000010010, 12, 1984}, {0b000000010011, 12, 2048}, {0b000000010100, 12, 2112},
    {0b000000010101, 12, 2176}, {0b000000010110, 12, 2240}, {0b000000010111, 12, 2304},
    {0b000000011100, 12, 2368}, {0b000000011101, 12, 2432}, {0b000000011110, 12, 2496},
    {0b000000011111, 12, 2560},
    {0b000000000001, 12, kEolRun},
};

static_assert(std::size(kWhiteCodes) == 105 && std::size(kBlackCodes) == 105);

// What the next bits of a run mean, looked up by the next 13 bits (the
// longest code). Bits that match no code count as a terminating code of run
// 0 that uses as many bits as the colour's longest code (12 white, 13 black),
// so decoding always moves on.
enum RunKind : uint8_t { kInvalidCode, kTerminating, kMakeUp, kEol };

struct RunLookup {
    uint16_t run;
    uint8_t length;
    uint8_t kind;
};

constexpr uint32_t kRunLookupBits = 13;

template <size_t N>
constexpr std::array<RunLookup, 1u << kRunLookupBits> BuildRunLookup(const MhCode (&codes)[N], uint8_t invalidLength)
{
    std::array<RunLookup, 1u << kRunLookupBits> table{};
    for (auto& entry : table)
        entry = {0, invalidLength, kInvalidCode};
    for (const MhCode& c : codes) {
        const uint32_t spare = kRunLookupBits - c.length;
        const uint8_t kind = c.run == kEolRun ? kEol : (c.run < 64 ? kTerminating : kMakeUp);
        const uint16_t run = c.run == kEolRun ? 0 : static_cast<uint16_t>(c.run);
        for (uint32_t low = 0; low < (1u << spare); ++low)
            table[(uint32_t{c.code} << spare) | low] = {run, c.length, kind};
    }
    return table;
}

constexpr auto kWhiteLookup = BuildRunLookup(kWhiteCodes, 12);
constexpr auto kBlackLookup = BuildRunLookup(kBlackCodes, 13);

// Two-dimensional mode codes of ITU-T T.4 Table 4 / T.6 Table 1, looked up by
// the next 7 bits. Seven 0 bits begin no mode code: they start EOFB, or an
// EOL where none belongs; either ends the strip.
enum T6Mode : uint8_t { kModeEnd, kModePass, kModeHorizontal, kModeVertical, kModeExtension };

struct ModeLookup {
    uint8_t mode;
    uint8_t length;
    int8_t offset;  // a1 - b1 for the vertical modes
};

struct ModeCode {
    uint8_t code;
    uint8_t length;
    uint8_t mode;
    int8_t offset;
};

constexpr ModeCode kModeCodes[] = {
    {0b0001, 4, kModePass, 0},         {0b001, 3, kModeHorizontal, 0},
    {0b1, 1, kModeVertical, 0},        {0b011, 3, kModeVertical, 1},
    {0b000011, 6, kModeVertical, 2},   {0b0000011, 7, kModeVertical, 3},
    {0b010, 3, kModeVertical, -1},     {0b000010, 6, kModeVertical, -2},
    {0b0000010, 7, kModeVertical, -3}, {0b0000001, 7, kModeExtension, 0},
};

constexpr std::array<ModeLookup, 128> BuildModeLookup()
{
    std::array<ModeLookup, 128> table{};
    for (auto& entry : table)
        entry = {kModeEnd, 7, 0};
    for (const ModeCode& c : kModeCodes) {
        const uint32_t spare = 7u - c.length;
        for (uint32_t low = 0; low < (1u << spare); ++low)
            table[(uint32_t{c.code} << spare) | low] = {c.mode, c.length, c.offset};
    }
    return table;
}

constexpr auto kModeLookup = BuildModeLookup();

// EOFB, two EOL codes: 000000000001 000000000001.
constexpr uint32_t kEofbHigh24 = 0x001001;

// Fewer leading 0 bits than this never begin an EOL; no run code has more
// than seven.
constexpr uint32_t kEolZeros = 11;

// Bytes read from the file at a time.
constexpr uint64_t kChunkBytes = 64 * 1024;

// Each byte value with its bit order reversed, for strips whose bytes are
// filled from the least significant bit (TIFF 6.0 FillOrder 2).
constexpr std::array<uint8_t, 256> kReversedBits = [] {
    std::array<uint8_t, 256> table{};
    for (uint32_t v = 0; v < 256; ++v) {
        uint32_t r = 0;
        for (uint32_t bit = 0; bit < 8; ++bit)
            if (v & (1u << bit))
                r |= 0x80u >> bit;
        table[v] = static_cast<uint8_t>(r);
    }
    return table;
}();

uint64_t ByteSwap(uint64_t v)
{
    v = ((v & 0x00FF00FF00FF00FFull) << 8) | ((v >> 8) & 0x00FF00FF00FF00FFull);
    v = ((v & 0x0000FFFF0000FFFFull) << 16) | ((v >> 16) & 0x0000FFFF0000FFFFull);
    return (v << 32) | (v >> 32);
}

}  // namespace

// ---------------------------------------------------------------------------
// StripBits

void CFaxDecoder::StripBits::Start(FILE* file, uint32_t byteCount, bool reversed)
{
    file_ = file;
    reversed_ = reversed;
    remaining_ = byteCount;
    real_ = 0;
    ended_ = false;
    data_.assign(8, 0xFF);
}

void CFaxDecoder::StripBits::Fill(uint64_t byte)
{
    while (!ended_ && byte + 8 > real_) {
        const uint64_t want = remaining_ < kChunkBytes ? remaining_ : kChunkBytes;
        if (want == 0) {
            ended_ = true;
            break;
        }
        data_.resize(static_cast<size_t>(real_ + want + 8));
        const size_t got = std::fread(data_.data() + real_, 1, static_cast<size_t>(want), file_);
        if (reversed_)
            for (size_t i = 0; i < got; ++i)
                data_[real_ + i] = kReversedBits[data_[real_ + i]];
        real_ += got;
        remaining_ -= got;
        if (got < want)
            ended_ = true;
    }
    data_.resize(static_cast<size_t>(real_ + 8));
    std::memset(data_.data() + real_, 0xFF, 8);
}

uint64_t CFaxDecoder::StripBits::PeekLoaded(uint64_t byte) const
{
    uint64_t word;
    std::memcpy(&word, data_.data() + byte, sizeof word);
    if constexpr (std::endian::native == std::endian::little)
        word = ByteSwap(word);
    return word;
}

bool CFaxDecoder::StripBits::FindOne(uint64_t pos, uint64_t* one)
{
    for (;;) {
        const uint32_t word = Peek32(pos);
        if (word != 0) {
            pos += static_cast<uint32_t>(std::countl_zero(word));
            if (Over(pos + 1))
                return false;
            *one = pos;
            return true;
        }
        pos += 32;
        if (Over(pos))
            return false;
    }
}

// ---------------------------------------------------------------------------
// LineRuns

void CFaxDecoder::LineRuns::Clear(uint32_t width)
{
    changes_.clear();
    width_ = width;
    column_ = 0;
    lastBlack_ = false;
}

// ---------------------------------------------------------------------------
// CFaxDecoder

CFaxDecoder::CFaxDecoder() = default;
CFaxDecoder::~CFaxDecoder() = default;

void CFaxDecoder::Decode(FILE* file_, uint32_t width_, uint32_t rowsPerStrip_, uint32_t stride_,
                           uint32_t baseRow_, uint32_t mode_, uint8_t* pixels_, uint32_t stripByteCount_,
                           bool lowBitFirst_)
{
    lowBitFirst = lowBitFirst_;
    file = file_;
    width = width_;
    rowsPerStrip = rowsPerStrip_;
    stride = stride_;
    baseRow = baseRow_;
    mode = mode_;
    pixels = pixels_;
    stripByteCount = stripByteCount_;

    if (mode != kModeMh && mode != kModeT4 && mode != kModeT4TwoD && mode != kModeT6)
        return;
    if (!file || !pixels || width == 0 || width > stride || LineLimit() == 0)
        return;

    const long start = std::ftell(file);
    bits.Start(file, stripByteCount, lowBitFirst);
    bitPos = 0;
    // The line buffers are made before a second thread may use one.
    for (std::vector<uint8_t>& line : lineBytes)
        line.resize(size_t{width} * 3);
    lineHandOff = PaintingThread();
    filling = nullptr;
    try {
        switch (mode) {
        case kModeMh: DecodeMh(); break;
        case kModeT4: DecodeT4(); break;
        case kModeT4TwoD: DecodeT4TwoD(); break;
        default: DecodeT6(); break;
        }
        SubmitLines();
    } catch (...) {
        // No line may be painted once this call's pixel memory may be gone.
        if (lineHandOff)
            lineHandOff->Drain();
        lineHandOff = nullptr;
        throw;
    }
    if (lineHandOff)
        lineHandOff->Drain();
    lineHandOff = nullptr;

    // Leave the stream where a reader taking one byte at a time would stand:
    // on the byte after the last one whose bits were used.
    if (start >= 0) {
        uint64_t used = (bitPos + 7) / 8;
        if (used > bits.BytesRead())
            used = bits.BytesRead();
        std::fseek(file, static_cast<long>(static_cast<uint64_t>(start) + used), SEEK_SET);
    }
}

CBatchHandOff* CFaxDecoder::PaintingThread()
{
    const bool threaded =
        paintingAllowed && CDecodeThreads::Limit(threads_) > 1 && uint64_t{LineLimit()} * width >= kThreadedPixels;
    if (threaded && !painting) {
        // Made once and kept for the decoder's later strips (the pages of a
        // fax document): starting a thread for each would cost more than a
        // page's painting saves.
        painting = std::make_unique<CBatchHandOff>(kLineSlots, true, [this](uint32_t worker, size_t slot) {
            const LineBatch& b = lineBatches[slot];
            for (size_t i = 0, from = 0; i < b.ends.size(); from = b.ends[i++])
                PaintLine(worker, b.changes.data() + from, b.ends[i] - from, b.firstLine + static_cast<uint32_t>(i));
        });
        if (!painting->Threaded())
            painting.reset();
    }
    return threaded ? painting.get() : nullptr;
}

void CFaxDecoder::OutputLine(const std::vector<uint32_t>& changes, uint32_t n)
{
    if (!lineHandOff) {
        PaintLine(0, changes.data(), changes.size(), n);
        return;
    }
    if (!filling) {
        filling = &lineBatches[lineHandOff->Acquire()];
        filling->firstLine = n;
        filling->changes.clear();
        filling->ends.clear();
    }
    filling->changes.insert(filling->changes.end(), changes.begin(), changes.end());
    filling->ends.push_back(static_cast<uint32_t>(filling->changes.size()));
    if (filling->ends.size() == kLinesPerBatch || filling->changes.size() >= kChangesPerBatch)
        SubmitLines();
}

void CFaxDecoder::SubmitLines()
{
    if (lineHandOff && filling) {
        lineHandOff->Submit();
        filling = nullptr;
    }
}

void CFaxDecoder::PaintLine(uint32_t worker, const uint32_t* changes, size_t count, uint32_t n)
{
    // The line is built in a small buffer that stays in the cache and then
    // copied to the bitmap, which is far larger than the cache, in one pass.
    // The copy uses ordinary stores: the system has just cleared the
    // bitmap's fresh pages and much of them is still in the cache, which
    // stores that bypass the cache would first have to write back.
    const size_t bytes = static_cast<size_t>(width) * 3;
    std::vector<uint8_t>& lineBuffer = lineBytes[worker];
    if (lineBuffer.size() < bytes)
        lineBuffer.resize(bytes);
    uint8_t* line = lineBuffer.data();
    std::memset(line, 0xFF, bytes);
    for (size_t i = 0; i < count; i += 2) {
        const uint32_t begin = changes[i];
        const uint32_t end = i + 1 < count ? changes[i + 1] : width;
        std::memset(line + static_cast<size_t>(begin) * 3, 0x00, static_cast<size_t>(end - begin) * 3);
    }
    uint8_t* row = pixels + static_cast<size_t>(baseRow - n) * stride * 3;
    std::memcpy(row, line, bytes);
}

bool CFaxDecoder::ReadRun(bool white, uint64_t* pos, uint32_t* run)
{
    const RunLookup* lookup = white ? kWhiteLookup.data() : kBlackLookup.data();
    uint32_t total = 0;
    for (;;) {
        const RunLookup& entry = lookup[bits.Peek32(*pos) >> (32 - kRunLookupBits)];
        *pos += entry.length;
        if (bits.Over(*pos))
            return false;
        if (entry.kind == kEol) {
            // Within a run EOL counts as a make-up code whose run is its
            // mark, which takes one pixel off the run modulo 2^32.
            total += kEolRun;
            continue;
        }
        total += entry.run;
        if (entry.kind != kMakeUp)
            break;
    }
    *run = total;
    return true;
}

bool CFaxDecoder::EolAt(uint64_t pos, uint64_t* end)
{
    if ((bits.Peek32(pos) >> (32 - kEolZeros)) != 0)
        return false;
    uint64_t one;
    if (!bits.FindOne(pos, &one))
        return false;
    *end = one + 1;
    return true;
}

// One-dimensional coding (ITU-T T.4 modified Huffman). A line is a white
// run, a black run, a white run and so on, each a chain of make-up codes and
// one terminating code. Lines are delimited as T.4 does it: an EOL (with any
// fill bits before it) begins a line, and a line is complete when it holds
// `width` pixels or when the next EOL comes. Six EOL codes in a row (RTC)
// end the strip.
void CFaxDecoder::DecodeT4()
{
    const uint32_t limit = LineLimit();
    const RunLookup* whiteLookup = kWhiteLookup.data();
    const RunLookup* blackLookup = kBlackLookup.data();
    coding.Clear(width);
    uint32_t n = 0;
    T4Line line;
    uint64_t pos = 0;

    for (;;) {
        const uint32_t word = bits.Peek32(pos);
        if ((word >> (32 - kEolZeros)) == 0) {
            if (!T4Eol(pos, n, limit, line))
                break;
            continue;
        }

        const RunLookup& entry = (line.white ? whiteLookup : blackLookup)[word >> (32 - kRunLookupBits)];
        pos += entry.length;
        if (bits.Over(pos))
            break;
        line.hasCodes = true;
        coding.Append(line.white, entry.run);
        if (entry.kind == kMakeUp)
            continue;
        line.white = !line.white;
        if (coding.Column() >= width) {
            OutputLine(coding.Changes(), ++n);
            if (n == limit)
                break;
            coding.Clear(width);
            line = T4Line();
        }
    }
    bitPos = pos;
}

// At the zeros of an EOL code: ends the line in progress (one that had
// codes, or that an earlier EOL began), or, at RTC, the strip. False when
// the decoding ends here.
bool CFaxDecoder::T4Eol(uint64_t& pos, uint32_t& n, uint32_t limit, T4Line& line)
{
    uint64_t end;
    if (!EolAt(pos, &end))
        return false;
    pos = end;
    bool rtc = true;
    uint64_t ahead = pos;
    for (int i = 0; i < 5 && rtc; ++i)
        rtc = EolAt(ahead, &ahead);
    if (rtc) {
        if (line.hasCodes) {
            coding.EndLine();
            OutputLine(coding.Changes(), ++n);
        }
        pos = ahead;
        return false;
    }
    if (line.hasCodes || line.begun) {
        coding.EndLine();
        OutputLine(coding.Changes(), ++n);
        if (n == limit)
            return false;
        coding.Clear(width);
    }
    line = T4Line();
    line.begun = true;
    return true;
}

// Two-dimensional coding (ITU-T T.6). Each line is coded against the line
// above it, the first line of the strip against an all-white line. a0 is the
// column up to which the coding line is final, which is the coding line's
// current column; b1 is the first changing element of the reference line to
// the right of a0 whose colour is the opposite of the current colour (at the
// very start of a line column 0 counts as to the right of a0), b2 the next
// changing element after b1, and `width` stands for the end of the line.
void CFaxDecoder::StartTwoD()
{
    // Three copies of `width` after the last changing element stand for the
    // end of the line wherever b1 and b2 are looked up.
    reference.clear();
    reference.insert(reference.end(), 3, width);
    coding.Clear(width);
    NewLine();
}

void CFaxDecoder::NewLine()
{
    white = true;
    lineStart = true;
    next = 0;
}

void CFaxDecoder::NextReference()
{
    reference.swap(coding.Changes());
    reference.insert(reference.end(), 3, width);
    coding.Clear(width);
    NewLine();
}

size_t CFaxDecoder::FindB1()
{
    if (!lineStart) {
        const uint32_t a0 = coding.Column();
        while (reference[next] <= a0)
            ++next;
    }
    // Even entries turn the line black, odd ones white.
    size_t k = next;
    if ((k & 1) != (white ? 0u : 1u))
        ++k;
    return k;
}

bool CFaxDecoder::ApplyMode(uint8_t mode, int8_t offset, uint64_t* pos)
{
    const uint32_t a0 = coding.Column();
    switch (mode) {
    case kModePass: {
        const uint32_t b2 = reference[FindB1() + 1];
        coding.Append(white, b2 - a0);
        break;
    }
    case kModeVertical: {
        const uint32_t b1 = reference[FindB1()];
        uint32_t a1;
        if (offset >= 0) {
            const uint32_t shift = static_cast<uint32_t>(offset);
            a1 = b1 > width - shift ? width : b1 + shift;
        } else {
            const uint32_t shift = static_cast<uint32_t>(-offset);
            a1 = b1 < shift ? 0 : b1 - shift;
        }
        if (a1 > a0)
            coding.Append(white, a1 - a0);
        white = !white;
        break;
    }
    case kModeHorizontal: {
        uint32_t first, second;
        if (!ReadRun(white, pos, &first) || !ReadRun(!white, pos, &second))
            return false;
        coding.Append(white, first);
        coding.Append(!white, second);
        break;
    }
    case kModeExtension:
        if (!Uncompressed(pos))
            return false;
        break;
    default:
        break;
    }
    lineStart = false;
    return true;
}

bool CFaxDecoder::Uncompressed(uint64_t* pos)
{
    // Three bits name the extension; only the uncompressed mode of ITU-T
    // T.4 is defined. In it, k 0 bits and a 1 bit stand for k white pixels
    // and a black one (k below 5) or five white pixels (k = 5); six or more
    // 0 bits and a 1 bit leave the mode after k - 6 white pixels, and the
    // next bit gives the colour of the run that follows (1 black).
    *pos += 3;
    for (;;) {
        uint64_t one;
        if (!bits.FindOne(*pos, &one))
            return false;
        const uint64_t zeros = one - *pos;
        *pos = one + 1;
        if (zeros < 6) {
            coding.Append(true, static_cast<uint32_t>(zeros));
            if (zeros < 5)
                coding.Append(false, 1);
            continue;
        }
        const uint64_t whites = zeros - 6;
        coding.Append(true, whites > width ? width : static_cast<uint32_t>(whites));
        white = (bits.Peek32(*pos) >> 31) == 0;
        *pos += 1;
        return !bits.Over(*pos);
    }
}

void CFaxDecoder::DecodeT6()
{
    const uint32_t limit = LineLimit();
    StartTwoD();
    uint32_t n = 0;
    uint64_t pos = 0;

    // The next bits are kept in a register: mode codes are short, and most of
    // them follow one another without a run code in between.
    uint64_t ahead = bits.Peek64(pos);
    uint32_t aheadBits = 64 - static_cast<uint32_t>(pos & 7);

    for (;;) {
        if (aheadBits < 32) {
            ahead = bits.Peek64(pos);
            aheadBits = 64 - static_cast<uint32_t>(pos & 7);
        }
        const uint32_t word = static_cast<uint32_t>(ahead >> 32);
        const ModeLookup entry = kModeLookup[word >> 25];
        if (entry.mode == kModeEnd) {
            // EOFB uses its 24 bits; anything else that begins with seven 0
            // bits is given up after 25, where no code can match any more.
            pos += (word >> 8) == kEofbHigh24 ? 24 : 25;
            break;
        }
        pos += entry.length;
        ahead <<= entry.length;
        aheadBits -= entry.length;
        if (bits.Over(pos))
            break;
        if (!ApplyMode(entry.mode, entry.offset, &pos))
            break;
        // Run codes and uncompressed pixels moved pos past the register.
        if (entry.mode == kModeHorizontal || entry.mode == kModeExtension)
            aheadBits = 0;

        if (coding.Column() >= width) {
            OutputLine(coding.Changes(), ++n);
            if (n == limit)
                break;
            NextReference();
        }
    }
    bitPos = pos;
}

// Modified Huffman rows as TIFF Compression 2 stores them: each row a white
// run, a black run and so on up to `width` pixels, without EOL codes, the
// next row starting on the next byte boundary.
void CFaxDecoder::DecodeMh()
{
    const uint32_t limit = LineLimit();
    uint64_t pos = 0;
    for (uint32_t n = 0; n < limit;) {
        coding.Clear(width);
        bool white = true;
        while (coding.Column() < width) {
            uint32_t run;
            if (!ReadRun(white, &pos, &run)) {
                bitPos = pos;
                return;
            }
            coding.Append(white, run);
            white = !white;
        }
        OutputLine(coding.Changes(), ++n);
        pos = (pos + 7) / 8 * 8;
        if (bits.Over(pos + 1))
            break;
    }
    bitPos = pos;
}

// ITU-T T.4 with two-dimensional coding (TIFF T4Options bit 0): every line
// begins with an EOL (with any fill bits before it) and one tag bit, 1 for a
// line coded one-dimensionally, 0 for one coded against the line above with
// the modes of T.6. An EOL where a line should begin (RTC) ends the strip.
void CFaxDecoder::DecodeT4TwoD()
{
    const uint32_t limit = LineLimit();
    StartTwoD();
    uint32_t n = 0;
    uint64_t pos = 0;
    while (n < limit) {
        uint64_t one;
        if (!bits.FindOne(pos, &one) || one - pos < kEolZeros)
            break;
        pos = one + 2;
        uint64_t after;
        if (bits.Over(pos) || EolAt(pos, &after))
            break;
        const bool oneDimensional = (bits.Peek32(one + 1) >> 31) != 0;
        bool ok = true;
        while (ok && coding.Column() < width) {
            if (EolAt(pos, &after))
                break;   // a line cut short: the rest stays white
            if (oneDimensional) {
                uint32_t run;
                ok = ReadRun(white, &pos, &run);
                coding.Append(white, run);
                white = !white;
                continue;
            }
            const ModeLookup entry = kModeLookup[bits.Peek32(pos) >> 25];
            pos += entry.length;
            ok = entry.mode != kModeEnd && !bits.Over(pos) && ApplyMode(entry.mode, entry.offset, &pos);
        }
        if (!ok)
            break;
        coding.EndLine();
        OutputLine(coding.Changes(), ++n);
        NextReference();
    }
    bitPos = pos;
}
