#include "codec/lzma_decoder.h"

#include <algorithm>
#include <cstring>

#include "codec/inflate_file_sink.h"

namespace {

// The model's sizes, LZMA SDK lzma-specification.txt.
constexpr uint32_t kNumStates = 12;
constexpr uint32_t kNumPosBitsMax = 4;
constexpr uint32_t kNumLenToPosStates = 4;
constexpr uint32_t kNumPosSlotBits = 6;
constexpr uint32_t kNumAlignBits = 4;
constexpr uint32_t kEndPosModelIndex = 14;
constexpr uint32_t kNumFullDistances = 1u << (kEndPosModelIndex >> 1);
constexpr uint32_t kMatchMinLen = 2;
constexpr uint32_t kLiteralCoderSize = 0x300;
constexpr uint32_t kEndMarkerDistance = 0xFFFFFFFF;
// The first state that follows a match rather than a literal.
constexpr uint32_t kFirstMatchState = 7;

// The range coder: 11-bit probabilities that move 1/32 of the way towards
// each decoded bit, and a byte shifted in whenever the range drops below
// 2^24 (lzma-specification.txt, "The range decoder").
constexpr uint32_t kNumBitModelTotalBits = 11;
constexpr uint32_t kBitModelTotal = 1u << kNumBitModelTotalBits;
constexpr uint32_t kNumMoveBits = 5;
constexpr uint16_t kProbInit = kBitModelTotal / 2;
constexpr uint32_t kTopValue = 1u << 24;

// The state after a literal, indexed by the state before it; a match moves to
// 7 or 10, a repeated match to 8 or 11, a one-byte repeat to 9 or 11
// (lzma-specification.txt, UpdateState_Literal and the three that follow it).
constexpr uint8_t kLiteralNextState[kNumStates] = {0, 0, 0, 0, 1, 2, 3, 4, 5, 6, 4, 5};

// Input is read in blocks this large.
constexpr size_t kInputBlock = 64 * 1024;
// Output goes to the sink in pieces of at most this many bytes.
constexpr size_t kChunk = 256 * 1024;
// The window starts this large (or at its full size when that is smaller)
// and doubles as the output grows.
constexpr size_t kInitialWindow = 1024 * 1024;

constexpr const char* kReasonTruncated = "LZMAデータが途中で終わっています";
constexpr const char* kReasonInputLimit = "LZMAデータが指定の長さを超えています";
constexpr const char* kReasonProperties = "LZMAのプロパティが不正です";
constexpr const char* kReasonFirstByte = "LZMAデータが壊れています（先頭バイトが0ではありません）";
constexpr const char* kReasonStart = "LZMAデータが壊れています（レンジコーダーの初期値が不正）";
constexpr const char* kReasonRangeCoder = "LZMAデータが壊れています（レンジコーダーの状態が不正）";
constexpr const char* kReasonDistance = "LZMAデータが壊れています（距離が辞書の外）";
constexpr const char* kReasonMarker = "LZMAデータが壊れています（終了マーカーが不正）";
constexpr const char* kReasonEndMarker = "LZMAデータが予定の長さより前に終わっています（終了マーカー）";
constexpr const char* kReasonWindow = "LZMAの辞書が大きすぎて展開できません（距離が上限を超えています）";
constexpr const char* kReasonSink = "展開したデータを書き込めませんでした";

// Match lengths 2 to 273: a choice bit, then 3 bits for 2-9 or 10-17 (one
// tree per position state), or 8 bits for 18-273.
struct LengthModel {
    uint16_t choice;
    uint16_t choice2;
    uint16_t low[1u << kNumPosBitsMax][1u << 3];
    uint16_t mid[1u << kNumPosBitsMax][1u << 3];
    uint16_t high[1u << 8];
};

template <size_t N>
void Fill(uint16_t (&probs)[N])
{
    std::fill_n(probs, N, kProbInit);
}

template <size_t N, size_t M>
void Fill(uint16_t (&probs)[N][M])
{
    for (auto& row : probs)
        Fill(row);
}

void Reset(LengthModel& m)
{
    m.choice = m.choice2 = kProbInit;
    Fill(m.low);
    Fill(m.mid);
    Fill(m.high);
}

}  // namespace

// Every probability but the literal coders'; the names follow
// lzma-specification.txt.
struct CLzmaDecoder::Model {
    uint16_t isMatch[kNumStates << kNumPosBitsMax];
    uint16_t isRep[kNumStates];
    uint16_t isRepG0[kNumStates];
    uint16_t isRepG1[kNumStates];
    uint16_t isRepG2[kNumStates];
    uint16_t isRep0Long[kNumStates << kNumPosBitsMax];
    uint16_t posSlot[kNumLenToPosStates][1u << kNumPosSlotBits];
    uint16_t posDecoders[1 + kNumFullDistances - kEndPosModelIndex];
    uint16_t align[1u << kNumAlignBits];
    LengthModel length;
    LengthModel repLength;

    void Reset()
    {
        Fill(isMatch);
        Fill(isRep);
        Fill(isRepG0);
        Fill(isRepG1);
        Fill(isRepG2);
        Fill(isRep0Long);
        Fill(posSlot);
        Fill(posDecoders);
        Fill(align);
        ::Reset(length);
        ::Reset(repLength);
    }
};

namespace {

// The decoder's buffers and the caller's arguments, for one stream.
struct StreamSetup {
    FILE* fp;
    IInflateSink& sink;
    CLzmaDecoder::Model& model;
    uint16_t* literalProbs;
    std::vector<uint8_t>& input;
    std::vector<uint8_t>& window;
    const LzmaProperties& props;
    uint64_t outputSize;
    uint64_t maxInputBytes;
    size_t windowSize;  // where the window wraps once it has grown to it
};

// One stream's decoding state: the input block being read, the range coder,
// the LZ state and the window's bookkeeping. The buffers belong to the
// CLzmaDecoder.
class StreamDecoder {
public:
    StreamDecoder(const StreamSetup& setup, LzmaResult& result);

    void Run();
    // Puts the file right after the last byte consumed.
    void End();

private:
    enum class Step { Continue, Stop };

    Step Stop(LzmaStatus status, const char* reason)
    {
        result_.status = status;
        result_.reason = reason;
        return Step::Stop;
    }

    // Input. Past its end a 0 stands in for each missing byte and padded_
    // records it; the symbol being decoded is then dropped, as its bits may
    // depend on the missing bytes. The range coder takes in a byte as soon
    // as the range needs one after a bit, as the encoder puts one out, so a
    // complete stream has been read to its last byte by the end of its last
    // symbol and never reads a stand-in.
    uint32_t NextByte() { return in_ < inEnd_ ? *in_++ : RefillByte(); }
    uint32_t RefillByte();
    uint64_t Consumed() const { return fetched_ - static_cast<uint64_t>(inEnd_ - in_); }
    // A symbol read past the end of the input, or put the range coder in a
    // state no encoder makes.
    bool Faulted() const { return padded_ || corrupt_; }
    Step Fault();

    // The range coder (lzma-specification.txt, "The range decoder").
    bool StartRangeCoder();
    void Normalize()
    {
        if (range_ < kTopValue) {
            range_ <<= 8;
            code_ = (code_ << 8) | NextByte();
        }
    }
    uint32_t Bit(uint16_t& prob)
    {
        const uint32_t bound = (range_ >> kNumBitModelTotalBits) * prob;
        uint32_t bit;
        if (code_ < bound) {
            range_ = bound;
            prob = static_cast<uint16_t>(prob + ((kBitModelTotal - prob) >> kNumMoveBits));
            bit = 0;
        } else {
            range_ -= bound;
            code_ -= bound;
            prob = static_cast<uint16_t>(prob - (prob >> kNumMoveBits));
            bit = 1;
        }
        Normalize();
        return bit;
    }
    // A value of numBits bits, most significant first, each bit with the
    // probability of the path above it.
    template <uint32_t numBits>
    uint32_t Tree(uint16_t* probs)
    {
        uint32_t m = 1;
        for (uint32_t i = 0; i < numBits; ++i)
            m = (m << 1) | Bit(probs[m]);
        return m - (1u << numBits);
    }
    // The same, least significant bit first.
    uint32_t ReverseTree(uint16_t* probs, uint32_t numBits);
    // Bits of probability one half, most significant first.
    uint32_t DirectBits(uint32_t numBits);

    // The LZ layer.
    uint32_t Length(LengthModel& m, uint32_t posState);
    uint32_t Distance(uint32_t length);
    uint8_t Literal();
    Step Symbol();
    Step Match(uint32_t posState);
    Step Repeat(uint32_t posState);
    Step CheckRepeat();
    void LookForEndMarker();

    // The window: a ring of windowSize_ bytes once it has grown to that.
    uint64_t Reach() const { return total_ < windowSize_ ? total_ : windowSize_; }
    uint8_t Back(uint64_t distance) const
    {
        const size_t d = static_cast<size_t>(distance);
        return w_[pos_ >= d ? pos_ - d : pos_ + cap_ - d];
    }
    void Put(uint8_t byte)
    {
        w_[pos_++] = byte;
        ++total_;
    }
    void CopyPending();
    bool Flush();
    bool MakeRoom();
    void SetStop();

    FILE* fp_;
    IInflateSink& sink_;
    CLzmaDecoder::Model& m_;
    uint16_t* literalProbs_;
    std::vector<uint8_t>& window_;
    LzmaResult& result_;

    // Input: the current block is [block_, inEnd_), in_ the next byte.
    uint8_t* block_;
    const uint8_t* in_;
    const uint8_t* inEnd_;
    uint64_t fetched_ = 0;  // bytes read from the file
    uint64_t limit_;        // the caller's input limit
    long start_;            // file position of the stream's first byte
    bool eof_ = false;
    bool hitLimit_ = false;  // the input ended at the limit rather than the file's end
    bool padded_ = false;    // a made-up 0 stood in for a byte past the end
    bool corrupt_ = false;   // the code reached the range in DirectBits

    uint32_t range_ = 0xFFFFFFFF;
    uint32_t code_ = 0;

    const uint32_t lc_;
    const uint32_t lpMask_;
    const uint32_t pbMask_;
    const uint32_t dictionarySize_;
    uint32_t state_ = 0;
    uint32_t rep0_ = 0, rep1_ = 0, rep2_ = 0, rep3_ = 0;
    uint32_t pendingLength_ = 0;  // match bytes still to copy from rep0_ + 1 back

    uint8_t* w_;
    size_t cap_ = 0;         // bytes of window in use; the ring wraps here once it equals windowSize_
    size_t windowSize_;
    size_t pos_ = 0;         // next byte to write
    size_t flushed_ = 0;     // bytes before this were handed on
    size_t stopAt_ = 0;      // the decoder hands on, grows or wraps when pos_ reaches it
    uint64_t total_ = 0;     // bytes decoded
    const uint64_t outputSize_;
};

StreamDecoder::StreamDecoder(const StreamSetup& s, LzmaResult& result)
    : fp_(s.fp), sink_(s.sink), m_(s.model), literalProbs_(s.literalProbs), window_(s.window), result_(result),
      block_(s.input.data()), in_(block_), inEnd_(block_), limit_(s.maxInputBytes), start_(std::ftell(s.fp)),
      lc_(s.props.lc), lpMask_((1u << s.props.lp) - 1), pbMask_((1u << s.props.pb) - 1),
      dictionarySize_(std::max(s.props.dictionarySize, CLzmaDecoder::kMinDictionarySize)),
      windowSize_(s.windowSize), outputSize_(s.outputSize)
{
    // A window left large by an earlier stream is used as it is.
    cap_ = std::min(windowSize_, std::max(window_.size(), kInitialWindow));
    if (window_.size() < cap_)
        window_.resize(cap_);
    w_ = window_.data();
    SetStop();
}

uint32_t StreamDecoder::RefillByte()
{
    if (!eof_) {
        const uint64_t left = limit_ - fetched_;
        const size_t want = left < kInputBlock ? static_cast<size_t>(left) : kInputBlock;
        const size_t got = want ? std::fread(block_, 1, want, fp_) : 0;
        fetched_ += got;
        in_ = block_;
        inEnd_ = block_ + got;
        if (got > 0)
            return *in_++;
        hitLimit_ = want == 0;
        eof_ = true;
    }
    padded_ = true;
    return 0;
}

StreamDecoder::Step StreamDecoder::Fault()
{
    if (padded_)
        return hitLimit_ ? Stop(LzmaStatus::InputLimit, kReasonInputLimit)
                         : Stop(LzmaStatus::Truncated, kReasonTruncated);
    return Stop(LzmaStatus::Malformed, kReasonRangeCoder);
}

void StreamDecoder::End()
{
    result_.bytesIn = Consumed();
    if (start_ >= 0 && Consumed() != fetched_)
        std::fseek(fp_, start_ + static_cast<long>(Consumed()), SEEK_SET);
}

// The encoder's first byte is always 0 (its cache starts there), and the
// code must lie inside the initial range.
bool StreamDecoder::StartRangeCoder()
{
    const uint32_t first = NextByte();
    for (int i = 0; i < 4; ++i)
        code_ = (code_ << 8) | NextByte();
    if (padded_) {
        Fault();
        return false;
    }
    if (first != 0) {
        Stop(LzmaStatus::Malformed, kReasonFirstByte);
        return false;
    }
    if (code_ == range_) {
        Stop(LzmaStatus::Malformed, kReasonStart);
        return false;
    }
    return true;
}

uint32_t StreamDecoder::ReverseTree(uint16_t* probs, uint32_t numBits)
{
    uint32_t m = 1;
    uint32_t symbol = 0;
    for (uint32_t i = 0; i < numBits; ++i) {
        const uint32_t bit = Bit(probs[m]);
        m = (m << 1) | bit;
        symbol |= bit << i;
    }
    return symbol;
}

uint32_t StreamDecoder::DirectBits(uint32_t numBits)
{
    uint32_t result = 0;
    for (uint32_t i = 0; i < numBits; ++i) {
        range_ >>= 1;
        code_ -= range_;
        // All ones when the subtraction wrapped, that is when the bit is 0.
        const uint32_t t = 0u - (code_ >> 31);
        code_ += range_ & t;
        // The code always stays below the range; a stream that breaks this
        // was not made by an encoder.
        if (code_ == range_)
            corrupt_ = true;
        Normalize();
        result = (result << 1) + (t + 1);
    }
    return result;
}

uint32_t StreamDecoder::Length(LengthModel& m, uint32_t posState)
{
    if (Bit(m.choice) == 0)
        return Tree<3>(m.low[posState]);
    if (Bit(m.choice2) == 0)
        return 8 + Tree<3>(m.mid[posState]);
    return 16 + Tree<8>(m.high);
}

// A distance from its slot: slots 0-3 are the distance itself, higher slots
// give the top two bits and the number of bits below them, sent either with
// probabilities of their own (below slot 14) or as direct bits followed by
// four bits with the align probabilities. Length is the length symbol
// (0 for a match of 2 bytes).
uint32_t StreamDecoder::Distance(uint32_t length)
{
    const uint32_t lenState = length < kNumLenToPosStates - 1 ? length : kNumLenToPosStates - 1;
    const uint32_t slot = Tree<kNumPosSlotBits>(m_.posSlot[lenState]);
    if (slot < 4)
        return slot;
    const uint32_t numDirectBits = (slot >> 1) - 1;
    uint32_t distance = (2 | (slot & 1)) << numDirectBits;
    if (slot < kEndPosModelIndex)
        return distance + ReverseTree(m_.posDecoders + distance - slot, numDirectBits);
    distance += DirectBits(numDirectBits - kNumAlignBits) << kNumAlignBits;
    return distance + ReverseTree(m_.align, kNumAlignBits);
}

// A literal is coded with one of 2^(lc+lp) sets of probabilities, chosen by
// the low lp bits of its position and the high lc bits of the byte before
// it. Right after a match its bits are first coded against the byte at the
// last match distance, for as long as they agree with it.
uint8_t StreamDecoder::Literal()
{
    const uint32_t previous = total_ ? Back(1) : 0;
    const uint32_t context = ((static_cast<uint32_t>(total_) & lpMask_) << lc_) + (previous >> (8 - lc_));
    uint16_t* probs = literalProbs_ + size_t{kLiteralCoderSize} * context;
    uint32_t symbol = 1;
    if (state_ >= kFirstMatchState) {
        uint32_t matchByte = Back(uint64_t{rep0_} + 1);
        do {
            const uint32_t matchBit = (matchByte >> 7) & 1;
            matchByte <<= 1;
            const uint32_t bit = Bit(probs[((1 + matchBit) << 8) + symbol]);
            symbol = (symbol << 1) | bit;
            if (bit != matchBit)
                break;
        } while (symbol < 0x100);
    }
    while (symbol < 0x100)
        symbol = (symbol << 1) | Bit(probs[symbol]);
    return static_cast<uint8_t>(symbol);
}

StreamDecoder::Step StreamDecoder::Symbol()
{
    const uint32_t posState = static_cast<uint32_t>(total_) & pbMask_;
    if (Bit(m_.isMatch[(state_ << kNumPosBitsMax) + posState]) == 0) {
        const uint8_t byte = Literal();
        if (Faulted())
            return Fault();
        Put(byte);
        state_ = kLiteralNextState[state_];
        return Step::Continue;
    }
    return Bit(m_.isRep[state_]) ? Repeat(posState) : Match(posState);
}

// A match with a new distance, or the end marker.
StreamDecoder::Step StreamDecoder::Match(uint32_t posState)
{
    rep3_ = rep2_;
    rep2_ = rep1_;
    rep1_ = rep0_;
    const uint32_t length = Length(m_.length, posState);
    state_ = state_ < kFirstMatchState ? 7 : 10;
    rep0_ = Distance(length);
    if (Faulted())
        return Fault();
    if (rep0_ == kEndMarkerDistance) {
        // The range coder ends with its code at 0 after the marker's last bit.
        if (code_ != 0)
            return Stop(LzmaStatus::Malformed, kReasonMarker);
        result_.endMarker = true;
        return Stop(LzmaStatus::EndMarker, kReasonEndMarker);
    }
    const uint64_t distance = uint64_t{rep0_} + 1;
    if (distance > total_ || rep0_ >= dictionarySize_)
        return Stop(LzmaStatus::Malformed, kReasonDistance);
    if (distance > windowSize_)
        return Stop(LzmaStatus::WindowLimit, kReasonWindow);
    pendingLength_ = kMatchMinLen + length;
    CopyPending();
    return Step::Continue;
}

// Every repeated distance was checked when it was first used, or is the
// initial 0, which needs one byte before it; the check stays as a guard.
StreamDecoder::Step StreamDecoder::CheckRepeat()
{
    if (Faulted())
        return Fault();
    if (uint64_t{rep0_} + 1 > Reach())
        return Stop(LzmaStatus::Malformed, kReasonDistance);
    return Step::Continue;
}

// A match at one of the last four distances, or a single byte from the last.
StreamDecoder::Step StreamDecoder::Repeat(uint32_t posState)
{
    if (Bit(m_.isRepG0[state_]) == 0) {
        if (Bit(m_.isRep0Long[(state_ << kNumPosBitsMax) + posState]) == 0) {
            if (CheckRepeat() == Step::Stop)
                return Step::Stop;
            state_ = state_ < kFirstMatchState ? 9 : 11;
            Put(Back(uint64_t{rep0_} + 1));
            return Step::Continue;
        }
    } else {
        uint32_t distance;
        if (Bit(m_.isRepG1[state_]) == 0) {
            distance = rep1_;
        } else {
            if (Bit(m_.isRepG2[state_]) == 0) {
                distance = rep2_;
            } else {
                distance = rep3_;
                rep3_ = rep2_;
            }
            rep2_ = rep1_;
        }
        rep1_ = rep0_;
        rep0_ = distance;
    }
    const uint32_t length = Length(m_.repLength, posState);
    state_ = state_ < kFirstMatchState ? 8 : 11;
    if (CheckRepeat() == Step::Stop)
        return Step::Stop;
    pendingLength_ = kMatchMinLen + length;
    CopyPending();
    return Step::Continue;
}

// Copies as much of the pending match as fits before stopAt_. The source may
// wrap around the end of the ring; the destination never does, and a source
// that overlaps the destination is copied forwards byte by byte, which
// repeats the last distance's bytes as LZ77 requires.
void StreamDecoder::CopyPending()
{
    const size_t distance = static_cast<size_t>(rep0_) + 1;
    size_t n = std::min(static_cast<size_t>(pendingLength_), stopAt_ - pos_);
    pendingLength_ -= static_cast<uint32_t>(n);
    total_ += n;
    size_t from = pos_ >= distance ? pos_ - distance : pos_ + cap_ - distance;
    uint8_t* const w = w_;
    size_t to = pos_;
    while (n > 0) {
        const size_t run = std::min(n, cap_ - from);
        if (to >= from + run || from >= to + run) {
            std::memcpy(w + to, w + from, run);
        } else {
            for (size_t i = 0; i < run; ++i)
                w[to + i] = w[from + i];
        }
        to += run;
        from += run;
        n -= run;
        if (from == cap_)
            from = 0;
    }
    pos_ = to;
}

bool StreamDecoder::Flush()
{
    if (pos_ > flushed_) {
        const size_t n = pos_ - flushed_;
        if (!sink_.Write(w_ + flushed_, n)) {
            Stop(LzmaStatus::SinkStopped, kReasonSink);
            flushed_ = pos_;
            return false;
        }
        result_.bytesOut += n;
        flushed_ = pos_;
    }
    return true;
}

void StreamDecoder::SetStop()
{
    const uint64_t left = outputSize_ - total_;
    size_t room = std::min(kChunk, cap_ - pos_);
    if (left < room)
        room = static_cast<size_t>(left);
    stopAt_ = pos_ + room;
}

// Hands on what was decoded, then grows the window or wraps around it when
// its end was reached.
bool StreamDecoder::MakeRoom()
{
    if (!Flush())
        return false;
    if (pos_ == cap_) {
        if (cap_ < windowSize_) {
            cap_ = std::min(windowSize_, cap_ * 2);
            if (window_.size() < cap_)
                window_.resize(cap_);
            w_ = window_.data();
        } else {
            pos_ = flushed_ = 0;
        }
    }
    SetStop();
    return true;
}

// At the expected size the stream may still hold an end marker. A code of 0
// says it does not: the encoder's last bytes leave exactly that. Otherwise
// the next symbol is decoded; unless it is the marker, its bytes are not
// counted as consumed.
void StreamDecoder::LookForEndMarker()
{
    result_.status = LzmaStatus::Complete;
    result_.reason = "";
    if (code_ == 0)
        return;
    const uint64_t before = Consumed();
    const uint32_t posState = static_cast<uint32_t>(total_) & pbMask_;
    bool marker = false;
    if (Bit(m_.isMatch[(state_ << kNumPosBitsMax) + posState]) && !Bit(m_.isRep[state_])) {
        const uint32_t length = Length(m_.length, posState);
        marker = Distance(length) == kEndMarkerDistance && !Faulted() && code_ == 0;
    }
    if (marker) {
        result_.endMarker = true;
        return;
    }
    // Consumed() must report the position before the look-ahead; the block
    // still holds those bytes unless the look-ahead read a new one.
    const uint64_t blockStart = fetched_ - static_cast<uint64_t>(inEnd_ - block_);
    if (before >= blockStart) {
        in_ = block_ + (before - blockStart);
    } else {
        fetched_ = before;
        in_ = inEnd_ = block_;
        if (start_ >= 0)
            std::fseek(fp_, start_ + static_cast<long>(before), SEEK_SET);
    }
}

void StreamDecoder::Run()
{
    if (!StartRangeCoder())
        return;
    for (;;) {
        if (pos_ == stopAt_) {
            if (total_ == outputSize_) {
                if (Flush())
                    LookForEndMarker();
                return;
            }
            if (!MakeRoom())
                return;
        }
        if (pendingLength_ != 0) {
            CopyPending();
            continue;
        }
        if (Symbol() == Step::Stop) {
            Flush();
            return;
        }
    }
}

}  // namespace

CLzmaDecoder::CLzmaDecoder(size_t maxWindowBytes)
    : maxWindow_(std::clamp(maxWindowBytes, size_t{kMinDictionarySize}, kMaxDictionaryBytes)),
      input_(kInputBlock), model_(std::make_unique<Model>())
{
}

CLzmaDecoder::~CLzmaDecoder() = default;

bool CLzmaDecoder::ParseProperties(const uint8_t props[5], LzmaProperties& out)
{
    uint32_t d = props[0];
    if (d >= 9 * 5 * 5)
        return false;
    out.lc = d % 9;
    d /= 9;
    out.lp = d % 5;
    out.pb = d / 5;
    const uint32_t size = props[1] | uint32_t{props[2]} << 8 | uint32_t{props[3]} << 16 | uint32_t{props[4]} << 24;
    out.dictionarySize = std::max(size, kMinDictionarySize);
    return true;
}

LzmaResult CLzmaDecoder::DecodeToSink(FILE* input, const LzmaProperties& props, IInflateSink& sink,
                                      uint64_t outputSize, uint64_t maxInputBytes)
{
    LzmaResult result;
    result.reason = kReasonTruncated;
    if (!input)
        return result;
    // The properties may not have come from ParseProperties.
    if (props.lc > 8 || props.lp > 4 || props.pb > 4) {
        result.status = LzmaStatus::Malformed;
        result.reason = kReasonProperties;
        return result;
    }
    const uint64_t dictionary = std::max(props.dictionarySize, kMinDictionarySize);
    const size_t windowSize = static_cast<size_t>(std::min({dictionary, outputSize, uint64_t{maxWindow_}}));
    literalProbs_.assign(size_t{kLiteralCoderSize} << (props.lc + props.lp), kProbInit);
    model_->Reset();
    const StreamSetup setup{input, sink, *model_, literalProbs_.data(), input_, window_, props,
                            outputSize, maxInputBytes, windowSize};
    StreamDecoder decoder(setup, result);
    decoder.Run();
    decoder.End();
    return result;
}

LzmaResult CLzmaDecoder::DecodeToFile(FILE* input, const LzmaProperties& props, FILE* output, uint64_t outputSize,
                                      uint64_t maxInputBytes)
{
    CInflateFileSink sink(output);
    return DecodeToSink(input, props, sink, outputSize, maxInputBytes);
}
