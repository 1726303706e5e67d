#include "codec/deflate_bit_reader.h"

#include <bit>
#include <cstring>

namespace {
// Large enough to make file reads rare, small enough that reading past the
// end of a short stream (a TIFF strip) costs little.
constexpr size_t kInputBlock = 64 * 1024;
}  // namespace

uint32_t CDeflateBitReader::ReverseBits(uint32_t v, uint32_t n)
{
    uint32_t r = 0;
    for (uint32_t i = 0; i < n; ++i) {
        r = (r << 1) | (v & 1u);
        v >>= 1;
    }
    return r;
}

CDeflateBitReader::CDeflateBitReader() : buffer_(kInputBlock) {}

uint64_t CDeflateBitReader::LoadLittle64(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, sizeof v);
    if constexpr (std::endian::native == std::endian::big)
        v = __builtin_bswap64(v);
    return v;
}

void CDeflateBitReader::Begin(FILE* fp, uint64_t maxBytes)
{
    maxBytes_ = maxBytes;
    pos_ = end_ = 0;
    bits_ = 0;
    count_ = 0;
    padBits_ = 0;
    eof_ = false;
    fetched_ = 0;
    start_ = std::ftell(fp);
}

bool CDeflateBitReader::LoadBlock(FILE* fp)
{
    if (eof_)
        return false;
    size_t want = buffer_.size();
    if (maxBytes_ - fetched_ < want)
        want = static_cast<size_t>(maxBytes_ - fetched_);
    size_t got = want ? std::fread(buffer_.data(), 1, want, fp) : 0;
    pos_ = 0;
    end_ = got;
    fetched_ += got;
    if (got == 0) {
        eof_ = true;
        return false;
    }
    return true;
}

void CDeflateBitReader::FillSlow(FILE* fp)
{
    while (count_ <= 56) {
        uint64_t byte;
        if (pos_ < end_ || LoadBlock(fp)) {
            byte = buffer_[pos_++];
        } else {
            byte = 0xFF;
            padBits_ += 8;
        }
        bits_ |= byte << count_;
        count_ += 8;
    }
}

uint32_t CDeflateBitReader::ReadBits(FILE* fp, uint32_t n, bool keepOrder)
{
    if (n == 0 || n > 32)
        return 0;
    if (count_ < n)
        Fill(fp);
    uint32_t v = static_cast<uint32_t>(bits_ & ((uint64_t{1} << n) - 1));
    Drop(n);
    return keepOrder ? ReverseBits(v, n) : v;
}

size_t CDeflateBitReader::CopyBytes(FILE* fp, uint8_t* dst, size_t n)
{
    size_t done = 0;
    // Whole real bytes still in the bit buffer come first.
    while (done < n && count_ >= 8 && count_ - 8 >= padBits_) {
        dst[done++] = static_cast<uint8_t>(bits_);
        Drop(8);
    }
    // Anything left in the bit buffer now is made-up padding: the file ended.
    if (done == n || count_ != 0 || padBits_ != 0)
        return done;
    bits_ = 0;
    while (done < n) {
        if (pos_ == end_ && !LoadBlock(fp))
            break;
        size_t take = end_ - pos_;
        if (take > n - done)
            take = n - done;
        std::memcpy(dst + done, buffer_.data() + pos_, take);
        pos_ += take;
        done += take;
    }
    return done;
}

void CDeflateBitReader::End(FILE* fp)
{
    if (Overrun() || start_ < 0)
        return;
    // Real bytes still buffered are given back to the file.
    uint64_t unread = (end_ - pos_) + (count_ - padBits_) / 8;
    std::fseek(fp, start_ + static_cast<long>(fetched_ - unread), SEEK_SET);
}
