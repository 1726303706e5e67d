#include "codec/jpeg_entropy_source.h"

#include <cstring>

void CJpegEntropySource::Start(FILE* fp)
{
    fp_ = fp;
    const long here = std::ftell(fp);
    bufferStart_ = here < 0 ? 0 : static_cast<uint64_t>(here);
    length_ = pos_ = 0;
    fileEnd_ = false;
    acc_ = 0;
    bits_ = 0;
    taken_ = 0;
    zeros_ = 0;
    startOffset_ = bufferStart_;
    ended_ = false;
    marker_ = 0;
    markerAt_ = 0;
    pastEnd_ = false;
}

bool CJpegEntropySource::Fill()
{
    if (fileEnd_)
        return false;
    bufferStart_ += length_;
    pos_ = 0;
    length_ = std::fread(buffer_, 1, kChunk, fp_);
    if (length_ == 0)
        fileEnd_ = true;
    return length_ > 0;
}

void CJpegEntropySource::SeekTo(uint64_t offset)
{
    if (offset >= bufferStart_ && offset <= bufferStart_ + length_) {
        pos_ = static_cast<size_t>(offset - bufferStart_);
        return;
    }
    std::fseek(fp_, static_cast<long>(offset), SEEK_SET);
    bufferStart_ = offset;
    length_ = pos_ = 0;
    fileEnd_ = false;
}

int CJpegEntropySource::DataByte()
{
    if (ended_)
        return -1;
    const int b = RawByte();
    if (b != 0xFF) {
        if (b < 0) {
            ended_ = true;
            markerAt_ = Offset();
        }
        return b;
    }
    // 0xFF 0x00 is a data byte 0xFF; 0xFF before anything else begins a
    // marker, after any number of fill bytes 0xFF (T.81 B.1.1.2).
    const uint64_t at = Offset() - 1;
    int next = RawByte();
    while (next == 0xFF)
        next = RawByte();
    if (next == 0)
        return 0xFF;
    ended_ = true;
    markerAt_ = at;
    marker_ = next < 0 ? 0 : static_cast<uint32_t>(next);
    return -1;
}

void CJpegEntropySource::RefillSlow()
{
    // Fast path: the next eight bytes hold no 0xFF (which ~word shows as a
    // zero byte), so the whole bytes that fit go in at once.
    if (!ended_ && pos_ + 8 <= length_) {
        uint64_t word = 0;
        for (int i = 0; i < 8; ++i)
            word = word << 8 | buffer_[pos_ + static_cast<size_t>(i)];
        const uint64_t inverted = ~word;
        if (((inverted - 0x0101010101010101u) & ~inverted & 0x8080808080808080u) == 0) {
            const int n = (64 - bits_) >> 3;
            acc_ |= (word >> bits_) & (~uint64_t{0} << (64 - bits_ - 8 * n));
            for (int i = 0; i < n; ++i)
                after_[(taken_ + static_cast<uint64_t>(i)) & 15] = bufferStart_ + pos_ + static_cast<size_t>(i) + 1;
            taken_ += static_cast<uint64_t>(n);
            pos_ += static_cast<size_t>(n);
            bits_ += 8 * n;
            return;
        }
    }
    while (bits_ <= 56) {
        const int b = DataByte();
        if (b < 0) {
            // Zero bits from here on; they count as no byte of the file.
            pastEnd_ = true;
            bits_ += 8;
            ++zeros_;
            continue;
        }
        acc_ |= uint64_t(static_cast<uint32_t>(b)) << (56 - bits_);
        bits_ += 8;
        after_[taken_++ & 15] = Offset();
    }
}

uint32_t CJpegEntropySource::NextByte()
{
    const int b = DataByte();
    if (b < 0) {
        pastEnd_ = true;
        return 0;
    }
    after_[taken_++ & 15] = Offset();
    return static_cast<uint32_t>(b);
}

bool CJpegEntropySource::Restart()
{
    acc_ = 0;
    bits_ = 0;
    while (DataByte() >= 0) {
    }
    if (marker_ < 0xD0 || marker_ > 0xD7)
        return false;
    // Step over the marker and start afresh after it.
    SeekTo(markerAt_);
    int b = RawByte();
    while (b == 0xFF)
        b = RawByte();
    ended_ = false;
    marker_ = 0;
    pastEnd_ = false;
    taken_ = 0;
    zeros_ = 0;
    startOffset_ = Offset();
    return true;
}

void CJpegEntropySource::Finish()
{
    // Whole bytes still in the accumulator were not used; a byte of which
    // some bits were used counts as used.
    const uint64_t delivered = taken_ + zeros_;
    const uint64_t unused = static_cast<uint64_t>(bits_ > 0 ? bits_ : 0) / 8;
    const uint64_t used = delivered > unused ? delivered - unused : 0;
    uint64_t position = Offset();
    if (used < taken_)
        position = used == 0 ? startOffset_ : after_[(used - 1) & 15];
    else if (ended_)
        position = markerAt_;
    std::fseek(fp_, static_cast<long>(position), SEEK_SET);
}
