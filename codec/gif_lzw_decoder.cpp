#include "codec/gif_lzw_decoder.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kNoCode = 0xFFFFFFFF;

constexpr const char* kReasonOutOfRange = "LZWの符号が範囲外です";
constexpr const char* kReasonTruncated = "画像データが途中で終わっています";
constexpr const char* kReasonEarlyEnd = "画素が揃う前に終了符号があります";
constexpr const char* kReasonCodeSize = "LZWの最小符号長が範囲外です";

}  // namespace

CGifLzwDecoder::CGifLzwDecoder(uint8_t minCodeSize, uint64_t pixelCount, std::span<uint8_t> output)
    : out_(output.data()), kept_(std::min<uint64_t>(pixelCount, output.size())), pixelCount_(pixelCount),
      minCodeSize_(minCodeSize), clear_(1u << std::min<uint32_t>(minCodeSize, kMaxMinCodeSize)),
      end_(clear_ + 1)
{
    if (minCodeSize > kMaxMinCodeSize) {
        state_ = State::BadCodeSize;
        return;
    }
    // The literals never change; a literal's string is the index itself.
    for (uint32_t i = 0; i < clear_; ++i) {
        prefix_[i] = 0;
        suffix_[i] = static_cast<uint8_t>(i);
        first_[i] = static_cast<uint8_t>(i);
        length_[i] = 1;
        position_[i] = 0;
    }
    ResetTable();
}

void CGifLzwDecoder::ResetTable()
{
    next_ = end_ + 1;
    width_ = minCodeSize_ + 1;
    previous_ = kNoCode;
}

bool CGifLzwDecoder::Write(const uint8_t* data, size_t n)
{
    bytesIn_ += n;
    if (state_ != State::Running)
        return false;
    size_t pos = 0;
    for (;;) {
        // Up to seven bytes at a time; a code is at most 12 bits.
        while (bitCount_ <= 56 && pos < n) {
            bits_ |= uint64_t{data[pos++]} << bitCount_;
            bitCount_ += 8;
        }
        if (bitCount_ < width_)
            return true;
        do {
            const auto code = static_cast<uint32_t>(bits_) & ((1u << width_) - 1);
            if (!Decode(code))
                return false;
        } while (bitCount_ >= width_);
    }
}

bool CGifLzwDecoder::Decode(uint32_t code)
{
    if (code == clear_) {
        Consume(code);
        ++clearCodes_;
        ResetTable();
        return true;
    }
    if (code == end_) {
        Consume(code);
        endCode_ = true;
        state_ = State::Ended;
        return false;
    }
    if (written_ >= pixelCount_) {
        // Pixels beyond the frame's last one: left unread. (The padding bits
        // after a last code without End may read as one; see Finish.)
        codeAfterLast_ = true;
        state_ = State::Ended;
        return false;
    }
    if (previous_ == kNoCode) {
        // The first code after Clear is a literal; no entry is added.
        if (code > clear_)
            return Fault(code);
    } else if (code < next_) {
        if (next_ < kTableSize)
            Add(previous_, first_[code]);
    } else if (code == next_ && next_ < kTableSize) {
        // The entry being defined: the previous string and its own first index.
        Add(previous_, first_[previous_]);
    } else {
        return Fault(code);
    }
    Consume(code);
    Emit(code);
    previous_ = code;
    // The next code may be the next free entry, so the width must hold it.
    // (After Clear it need not: the next code is a literal.)
    if (next_ >= (1u << width_) && width_ < kMaxCodeBits)
        ++width_;
    return true;
}

void CGifLzwDecoder::Consume(uint32_t code)
{
    if (codes_++ == 0 && code != clear_)
        noLeadingClear_ = true;
    bits_ >>= width_;
    bitCount_ -= width_;
    usedBits_ += width_;
}

bool CGifLzwDecoder::Fault(uint32_t code)
{
    if (codes_ == 0)
        noLeadingClear_ = true;
    faultCode_ = code;
    faultBitOffset_ = usedBits_;
    state_ = State::Fault;
    return false;
}

void CGifLzwDecoder::Add(uint32_t prefix, uint8_t suffix)
{
    const uint32_t code = next_++;
    prefix_[code] = static_cast<uint16_t>(prefix);
    suffix_[code] = suffix;
    first_[code] = first_[prefix];
    length_[code] = static_cast<uint16_t>(length_[prefix] + 1);
    // The new string is the prefix's string as it was just written, followed
    // by the first index of what is written next: its indices start there.
    position_[code] = lastWritten_;
    if (next_ == kTableSize)
        tableFilled_ = true;
}

void CGifLzwDecoder::Emit(uint32_t code)
{
    const uint32_t n = length_[code];
    lastWritten_ = written_;
    if (written_ + n > kept_) {
        EmitClipped(code);
        return;
    }
    uint8_t* const at = out_ + written_;
    if (n == 1) {
        *at = suffix_[code];
    } else {
        // All but the last index are where the string was first written,
        // wholly before at, since everything before at has been kept.
        std::memcpy(at, out_ + position_[code], n - 1);
        at[n - 1] = suffix_[code];
    }
    written_ += n;
}

void CGifLzwDecoder::EmitClipped(uint32_t code)
{
    // The string's end is not kept (it runs past the kept output or past the
    // frame): it is spelled out backwards from the links and cut to fit.
    const uint32_t n = length_[code];
    uint32_t c = code;
    for (uint32_t i = n; i > 0; --i) {
        scratch_[i - 1] = suffix_[c];
        c = prefix_[c];
    }
    const uint64_t room = pixelCount_ - written_;
    const uint64_t count = std::min<uint64_t>(n, room);
    if (written_ < kept_)
        std::memcpy(out_ + written_, scratch_, static_cast<size_t>(std::min<uint64_t>(count, kept_ - written_)));
    written_ += count;
    if (n > room)
        surplus_ = true;
}

GifLzwResult CGifLzwDecoder::Finish() const
{
    GifLzwResult r;
    r.pixelsOut = written_;
    r.bytesIn = bytesIn_;
    r.codes = codes_;
    r.clearCodes = clearCodes_;
    r.endCode = endCode_;
    r.noLeadingClear = noLeadingClear_;
    r.tableFilled = tableFilled_;
    r.bytesUsed = std::min(bytesIn_, (usedBits_ + 7) / 8);
    if (state_ == State::BadCodeSize) {
        r.status = GifLzwStatus::BadCodeSize;
        r.reason = kReasonCodeSize;
        r.bytesUsed = 0;
    } else if (state_ == State::Fault) {
        r.status = GifLzwStatus::CodeOutOfRange;
        r.reason = kReasonOutOfRange;
        r.faultCode = faultCode_;
        r.faultBitOffset = faultBitOffset_;
    } else if (written_ >= pixelCount_) {
        r.status = GifLzwStatus::Complete;
    } else {
        r.status = GifLzwStatus::EndedEarly;
        r.reason = endCode_ ? kReasonEarlyEnd : kReasonTruncated;
        // The bits left over belong to a code cut short.
        if (!endCode_)
            r.bytesUsed = bytesIn_;
    }
    r.extraBytes = r.bytesIn - r.bytesUsed;
    // A code after the last pixel that lies wholly in the last byte's
    // padding is no pixel data.
    r.surplusPixels = surplus_ || (codeAfterLast_ && r.extraBytes > 0);
    return r;
}
