#include "codec/inflater.h"

#include <cstring>

#include "codec/inflate_file_sink.h"

namespace {

// Match lengths for symbols 257 to 285, RFC 1951 3.2.5.
constexpr uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                      31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                      2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
// Distances for symbols 0 to 29, RFC 1951 3.2.5.
constexpr uint16_t kDistanceBase[30] = {1,    2,    3,    4,    5,    7,     9,     13,    17,  25,
                                        33,   49,   65,   97,   129,  193,   257,   385,   513, 769,
                                        1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr uint8_t kDistanceExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                        6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
// The order in which code-length code lengths are sent, RFC 1951 3.2.7.
constexpr uint8_t kCodeLengthOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr uint32_t kMaxCodeBits = 15;
constexpr uint32_t kMaxLiteralCodes = 286;  // HLIT + 257 may say 288; 286 and 287 never occur
constexpr uint32_t kMaxDistanceCodes = 30;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMaxDistance = 32768;

// Output buffer: the last 32 KiB of history, then room for fresh output that
// is handed on in one piece when it fills.
constexpr size_t kHistory = kMaxDistance;
constexpr size_t kChunk = 256 * 1024;
constexpr size_t kSoftEnd = kHistory + kChunk;
constexpr size_t kBufferSize = kSoftEnd + kMaxMatch + 16;  // a match may start just before kSoftEnd

// What a decoded symbol means. op holds the number of extra bits for a length
// or distance (value is then the base), or one of the flags below.
constexpr uint8_t kOpLong = 0x10;     // code longer than the lookup table's bits
constexpr uint8_t kOpEnd = 0x20;      // end of block
constexpr uint8_t kOpLiteral = 0x40;  // value is the byte
constexpr uint8_t kOpInvalid = 0x80;  // no symbol has this code

struct HuffEntry {
    uint16_t value = 0;
    uint8_t op = kOpInvalid;
    uint8_t length = 0;  // code length in bits
};

enum class Alphabet { CodeLength, LiteralLength, Distance };

HuffEntry SymbolEntry(Alphabet alphabet, uint32_t symbol)
{
    HuffEntry e;
    switch (alphabet) {
    case Alphabet::CodeLength:
        e.value = static_cast<uint16_t>(symbol);
        e.op = 0;
        break;
    case Alphabet::LiteralLength:
        if (symbol < 256) {
            e.value = static_cast<uint16_t>(symbol);
            e.op = kOpLiteral;
        } else if (symbol == 256) {
            e.op = kOpEnd;
        } else if (symbol < 257 + 29) {
            e.value = kLengthBase[symbol - 257];
            e.op = kLengthExtra[symbol - 257];
        }
        break;
    case Alphabet::Distance:
        if (symbol < 30) {
            e.value = kDistanceBase[symbol];
            e.op = kDistanceExtra[symbol];
        }
        break;
    }
    return e;
}

// A canonical Huffman code (RFC 1951 3.2.2) with a lookup table for codes of
// up to kFastBits bits; longer codes are found by walking the canonical code
// length by length.
struct HuffTable {
    static constexpr uint32_t kFastBits = 10;
    static constexpr uint32_t kFastSize = 1u << kFastBits;

    uint32_t fastBits = kFastBits;
    bool incomplete = false;  // the last Build refused an incomplete code
    HuffEntry fast[kFastSize];
    uint16_t count[kMaxCodeBits + 1] = {};
    uint16_t symbol[288] = {};
    HuffEntry entries[288];

    // False when the lengths over-subscribe the code (more codes of some
    // length than the shorter ones leave room for), or leave it incomplete
    // (bit patterns that no symbol has). zlib refuses incomplete codes too,
    // with two exceptions that encoders rely on: a literal/length or
    // distance code of a single one-bit code (a block that uses one
    // distance), and a code without any symbol (a block without matches).
    bool Build(const uint8_t* lengths, uint32_t n, Alphabet alphabet, uint32_t bits)
    {
        fastBits = bits;
        std::memset(count, 0, sizeof count);
        for (uint32_t s = 0; s < n; ++s)
            ++count[lengths[s]];
        int32_t left = 1;
        uint32_t longest = 0;
        for (uint32_t len = 1; len <= kMaxCodeBits; ++len) {
            left = (left << 1) - count[len];
            if (left < 0)
                return false;
            if (count[len] != 0)
                longest = len;
        }
        incomplete = left > 0 && longest != 0 && (alphabet == Alphabet::CodeLength || longest != 1);
        if (incomplete)
            return false;
        uint16_t offset[kMaxCodeBits + 2] = {};
        for (uint32_t len = 1; len <= kMaxCodeBits; ++len)
            offset[len + 1] = static_cast<uint16_t>(offset[len] + count[len]);
        for (uint32_t s = 0; s < n; ++s)
            if (lengths[s] != 0)
                symbol[offset[lengths[s]]++] = static_cast<uint16_t>(s);

        const uint32_t size = 1u << fastBits;
        for (uint32_t i = 0; i < size; ++i)
            fast[i] = HuffEntry{};
        // Canonical codes: shorter codes first, and within one length in
        // symbol order; symbol[] already lists the symbols in that order.
        uint32_t code = 0;
        uint32_t index = 0;
        for (uint32_t len = 1; len <= kMaxCodeBits; ++len) {
            for (uint32_t k = 0; k < count[len]; ++k, ++code) {
                uint32_t s = symbol[index + k];
                HuffEntry e = SymbolEntry(alphabet, s);
                e.length = static_cast<uint8_t>(len);
                entries[s] = e;
                uint32_t rev = CDeflateBitReader::ReverseBits(code, len);
                if (len <= fastBits) {
                    for (uint32_t i = rev; i < size; i += 1u << len)
                        fast[i] = e;
                } else {
                    HuffEntry& slot = fast[rev & (size - 1)];
                    slot.op = kOpLong;
                    slot.length = 0;
                }
            }
            index += count[len];
            code <<= 1;
        }
        return true;
    }

    // Decodes a code longer than the lookup table covers from bits (next bit
    // lowest). An entry with op kOpInvalid means no code matched.
    HuffEntry DecodeLong(uint64_t bits) const
    {
        int32_t code = 0;
        int32_t first = 0;
        int32_t index = 0;
        for (uint32_t len = 1; len <= kMaxCodeBits; ++len) {
            code |= static_cast<int32_t>((bits >> (len - 1)) & 1u);
            int32_t c = count[len];
            if (code - c < first)
                return entries[symbol[index + (code - first)]];
            index += c;
            first = (first + c) << 1;
            code <<= 1;
        }
        return HuffEntry{};
    }

    HuffEntry Decode(uint64_t bits) const
    {
        HuffEntry e = fast[bits & ((1u << fastBits) - 1)];
        return e.op == kOpLong ? DecodeLong(bits) : e;
    }
};

uint32_t Adler32(uint32_t adler, const uint8_t* data, size_t n)
{
    constexpr uint32_t kBase = 65521;
    constexpr size_t kMaxRun = 5552;  // the longest run whose sums fit 32 bits
    uint32_t a = adler & 0xFFFF;
    uint32_t b = adler >> 16;
    while (n > 0) {
        size_t run = n < kMaxRun ? n : kMaxRun;
        n -= run;
        while (run--) {
            a += *data++;
            b += a;
        }
        a %= kBase;
        b %= kBase;
    }
    return (b << 16) | a;
}

}  // namespace

struct CInflater::Tables {
    HuffTable literal;
    HuffTable distance;
    HuffTable codeLength;
    HuffTable fixedLiteral;
    HuffTable fixedDistance;
    bool fixedBuilt = false;
};

namespace {

// One stream's decoding state; the tables and buffers belong to the CInflater.
class StreamDecoder {
public:
    StreamDecoder(CDeflateBitReader& in, FILE* fp, IInflateSink& sink, CInflater::Tables& tables,
                  uint8_t* buffer, uint64_t limit, InflateResult& result)
        : in_(in), fp_(fp), sink_(sink), tables_(tables), buf_(buffer), limit_(limit),
          result_(result)
    {
        UpdateFlushPoint();
    }

    void Run();

private:
    enum class Step { Continue, Stop };

    Step Stop(InflateStatus status)
    {
        result_.status = status;
        return Step::Stop;
    }
    uint32_t Bits(uint32_t n) { return in_.ReadBits(fp_, n, false); }

    enum class BlocksEnd { Final, Stopped, SinkRefused };
    bool ReadHeader();
    BlocksEnd Blocks();
    Step StoredBlock();
    Step FixedBlock();
    Step DynamicTables();
    // The literal/length and distance tables from their code lengths.
    Step BuildTables(const uint8_t* lengths, uint32_t hlit, uint32_t hdist);
    Step HuffmanBlock(const HuffTable& literal, const HuffTable& distance);
    Step StopAtInvalidCode();
    Step RefuseCode(const HuffTable& table)
    {
        result_.incompleteCode = table.incomplete;
        return Stop(InflateStatus::Malformed);
    }

    bool Flush();
    bool MakeRoom();
    void UpdateFlushPoint();
    uint64_t Produced() const { return base_ + static_cast<uint64_t>(p_ - buf_); }

    CDeflateBitReader& in_;
    FILE* fp_;
    IInflateSink& sink_;
    CInflater::Tables& tables_;
    uint8_t* buf_;
    uint8_t* p_ = buf_;              // next byte to write
    uint8_t* flushed_ = buf_;        // bytes before this were handed on
    uint8_t* flushAt_ = nullptr;     // hand on (and maybe slide) when p_ reaches it
    uint64_t base_ = 0;              // stream offset of buf_[0]
    uint64_t limit_;
    uint32_t distanceLimit_ = kMaxDistance;
    InflateResult& result_;
};

void StreamDecoder::UpdateFlushPoint()
{
    // Stop one byte past the limit, so that an output ending exactly at the
    // limit still reads its end-of-block code and trailer.
    uint64_t room = limit_ - base_;
    size_t at = room < kSoftEnd ? static_cast<size_t>(room) + 1 : kSoftEnd;
    flushAt_ = buf_ + at;
}

// Hands the bytes written since the last flush to the sink, up to the limit.
// False ends the stream (limit passed or sink refused).
bool StreamDecoder::Flush()
{
    uint8_t* upto = p_;
    bool overLimit = Produced() > limit_;
    if (overLimit)
        upto = buf_ + static_cast<size_t>(limit_ - base_);
    if (upto > flushed_) {
        size_t n = static_cast<size_t>(upto - flushed_);
        result_.adlerComputed = Adler32(result_.adlerComputed, flushed_, n);
        if (!sink_.Write(flushed_, n)) {
            result_.status = InflateStatus::SinkStopped;
            flushed_ = p_;
            return false;
        }
        result_.bytesOut += n;
        flushed_ = upto;
    }
    if (overLimit) {
        result_.status = InflateStatus::OutputLimit;
        flushed_ = p_;
        return false;
    }
    return true;
}

bool StreamDecoder::MakeRoom()
{
    if (!Flush())
        return false;
    if (p_ - buf_ >= static_cast<ptrdiff_t>(kSoftEnd)) {
        std::memmove(buf_, p_ - kHistory, kHistory);
        base_ += static_cast<uint64_t>(p_ - buf_) - kHistory;
        p_ = buf_ + kHistory;
        flushed_ = p_;
    }
    UpdateFlushPoint();
    return true;
}

StreamDecoder::Step StreamDecoder::StoredBlock()
{
    in_.Reset();
    uint32_t length = Bits(16);
    uint32_t complement = Bits(16);
    if (in_.Overrun())
        return Stop(InflateStatus::Truncated);
    if (length != (~complement & 0xFFFFu))
        return Stop(InflateStatus::Malformed);
    while (length > 0) {
        if (p_ >= flushAt_ && !MakeRoom())
            return Step::Stop;
        size_t space = static_cast<size_t>(buf_ + kSoftEnd - p_);
        size_t take = length < space ? length : space;
        size_t got = in_.CopyBytes(fp_, p_, take);
        p_ += got;
        length -= static_cast<uint32_t>(got);
        if (got < take)
            return Stop(InflateStatus::Truncated);
    }
    return Step::Continue;
}

StreamDecoder::Step StreamDecoder::DynamicTables()
{
    uint32_t hlit = Bits(5) + 257;
    uint32_t hdist = Bits(5) + 1;
    uint32_t hclen = Bits(4) + 4;
    if (in_.Overrun())
        return Stop(InflateStatus::Truncated);
    if (hlit > kMaxLiteralCodes || hdist > kMaxDistanceCodes)
        return Stop(InflateStatus::Malformed);
    uint8_t codeLengths[19] = {};
    for (uint32_t i = 0; i < hclen; ++i)
        codeLengths[kCodeLengthOrder[i]] = static_cast<uint8_t>(Bits(3));
    if (in_.Overrun())
        return Stop(InflateStatus::Truncated);
    HuffTable& clTable = tables_.codeLength;
    if (!clTable.Build(codeLengths, 19, Alphabet::CodeLength, 7))
        return RefuseCode(clTable);

    // The literal/length and distance code lengths form one sequence; a
    // repeat may run from the first part into the second (RFC 1951 3.2.7).
    uint8_t lengths[kMaxLiteralCodes + kMaxDistanceCodes] = {};
    const uint32_t total = hlit + hdist;
    uint32_t index = 0;
    while (index < total) {
        in_.Fill(fp_);
        HuffEntry e = clTable.fast[in_.Peek() & 0x7F];
        if (e.op == kOpInvalid)
            return Stop(in_.PaddingWithin(7) ? InflateStatus::Truncated : InflateStatus::Malformed);
        in_.Drop(e.length);
        uint32_t symbol = e.value;
        if (symbol < 16) {
            lengths[index++] = static_cast<uint8_t>(symbol);
        } else {
            uint8_t repeat = 0;
            uint32_t times;
            if (symbol == 16) {
                if (index == 0)
                    return Stop(in_.Overrun() ? InflateStatus::Truncated : InflateStatus::Malformed);
                repeat = lengths[index - 1];
                times = 3 + Bits(2);
            } else if (symbol == 17) {
                times = 3 + Bits(3);
            } else {
                times = 11 + Bits(7);
            }
            if (in_.Overrun())
                return Stop(InflateStatus::Truncated);
            if (index + times > total)
                return Stop(InflateStatus::Malformed);
            while (times--)
                lengths[index++] = repeat;
        }
        if (in_.Overrun())
            return Stop(InflateStatus::Truncated);
    }
    return BuildTables(lengths, hlit, hdist);
}

StreamDecoder::Step StreamDecoder::BuildTables(const uint8_t* lengths, uint32_t hlit, uint32_t hdist)
{
    // A block without an end-of-block code could never end.
    if (lengths[256] == 0)
        return Stop(InflateStatus::Malformed);
    if (!tables_.literal.Build(lengths, hlit, Alphabet::LiteralLength, HuffTable::kFastBits))
        return RefuseCode(tables_.literal);
    if (!tables_.distance.Build(lengths + hlit, hdist, Alphabet::Distance, 8))
        return RefuseCode(tables_.distance);
    return Step::Continue;
}

// The length bytes that stand dist bytes back, copied to p; returns the end
// of the copy. The copy may overlap what it copies.
[[gnu::always_inline]] inline uint8_t* CopyMatch(uint8_t* p, uint32_t dist, uint32_t length)
{
    const uint8_t* from = p - dist;
    if (dist < 8) {
        for (uint32_t i = 0; i < length; ++i)
            p[i] = from[i];
        return p + length;
    }
    // Eight bytes at a time; each piece reads only bytes already written,
    // and the overshoot stays inside the buffer's margin.
    uint8_t* const end = p + length;
    do {
        std::memcpy(p, from, 8);
        p += 8;
        from += 8;
    } while (p < end);
    return end;
}

// A code no table holds: the end of the data when only the padding of the
// last byte is left to read, a damaged stream otherwise.
StreamDecoder::Step StreamDecoder::StopAtInvalidCode()
{
    return Stop(in_.PaddingWithin(kMaxCodeBits) ? InflateStatus::Truncated : InflateStatus::Malformed);
}

StreamDecoder::Step StreamDecoder::HuffmanBlock(const HuffTable& literal, const HuffTable& distance)
{
    CDeflateBitReader& in = in_;
    uint8_t* p = p_;
    for (;;) {
        if (p >= flushAt_) {
            p_ = p;
            if (!MakeRoom())
                return Step::Stop;
            p = p_;
        }
        // One symbol with its distance needs at most 15 + 5 + 15 + 13 bits,
        // fewer than one fill provides.
        in.Fill(fp_);
        HuffEntry e = literal.Decode(in.Peek());
        if (e.op == kOpLiteral) {
            in.Drop(e.length);
            if (in.Overrun())
                break;
            *p++ = static_cast<uint8_t>(e.value);
            continue;
        }
        if (e.op == kOpEnd) {
            in.Drop(e.length);
            p_ = p;
            return in.Overrun() ? Stop(InflateStatus::Truncated) : Step::Continue;
        }
        if (e.op & kOpInvalid) {
            p_ = p;
            return StopAtInvalidCode();
        }
        in.Drop(e.length);
        uint32_t length = e.value + static_cast<uint32_t>(in.Peek() & ((1u << e.op) - 1));
        in.Drop(e.op);

        HuffEntry d = distance.Decode(in.Peek());
        if (d.op & kOpInvalid) {
            p_ = p;
            return StopAtInvalidCode();
        }
        in.Drop(d.length);
        uint32_t dist = d.value + static_cast<uint32_t>(in.Peek() & ((1u << d.op) - 1));
        in.Drop(d.op);
        if (in.Overrun())
            break;
        // A distance may reach back no further than the bytes decoded so far
        // and the window the header declares.
        if (dist > distanceLimit_ || dist > base_ + static_cast<uint64_t>(p - buf_)) {
            p_ = p;
            return Stop(InflateStatus::Malformed);
        }
        p = CopyMatch(p, dist, length);
    }
    p_ = p;
    return Stop(InflateStatus::Truncated);
}

// RFC 1950 2.2: CMF, FLG and, with FDICT, the dictionary's identifier.
bool StreamDecoder::ReadHeader()
{
    result_.cmf = Bits(8);
    result_.flg = Bits(8);
    if (result_.flg & 0x20u) {
        uint32_t id = 0;
        for (int i = 0; i < 4; ++i)
            id = (id << 8) | Bits(8);
        result_.dictionaryId = id;
    }
    if (in_.Overrun()) {
        result_.status = InflateStatus::Truncated;
        return false;
    }
    // The method and FCHECK fields are not checked: a stream with a wrong one
    // is inflated as far as its data allows. CINFO only bounds the distances;
    // none exceeds 32 KiB, so no larger window is ever needed.
    result_.windowSize = 1u << ((result_.cmf >> 4) + 8);
    distanceLimit_ = result_.windowSize < kMaxDistance ? result_.windowSize : kMaxDistance;
    return true;
}

StreamDecoder::Step StreamDecoder::FixedBlock()
{
    if (!tables_.fixedBuilt) {
        // RFC 1951 3.2.6: literal/length lengths 8, 9, 7, 8; distances 5.
        uint8_t lengths[288];
        for (uint32_t s = 0; s < 288; ++s)
            lengths[s] = s < 144 ? 8 : s < 256 ? 9 : s < 280 ? 7 : 8;
        // The fixed distance code has 32 codes, of which 30 and 31 stand
        // for no distance: the code is complete, the symbols are not.
        uint8_t distances[32];
        std::memset(distances, 5, sizeof distances);
        tables_.fixedLiteral.Build(lengths, 288, Alphabet::LiteralLength, HuffTable::kFastBits);
        tables_.fixedDistance.Build(distances, 32, Alphabet::Distance, 5);
        tables_.fixedBuilt = true;
    }
    return HuffmanBlock(tables_.fixedLiteral, tables_.fixedDistance);
}

// RFC 1951 3.2.3: BFINAL, BTYPE, then the block, until the final block or a
// fault ends the stream.
StreamDecoder::BlocksEnd StreamDecoder::Blocks()
{
    for (;;) {
        const bool last = Bits(1) != 0;
        const uint32_t type = Bits(2);
        if (in_.Overrun()) {
            result_.status = InflateStatus::Truncated;
            return BlocksEnd::Stopped;
        }
        ++result_.blocks;
        // The sink refused what was pending: nothing more goes to it.
        if (!Flush())
            return BlocksEnd::SinkRefused;
        sink_.BeginBlock();
        Step step;
        switch (type) {
        case 0:
            step = StoredBlock();
            break;
        case 1:
            step = FixedBlock();
            break;
        case 2:
            step = DynamicTables();
            if (step == Step::Continue)
                step = HuffmanBlock(tables_.literal, tables_.distance);
            break;
        default:
            step = Stop(InflateStatus::Malformed);
            break;
        }
        if (step == Step::Stop)
            return BlocksEnd::Stopped;
        if (last)
            return BlocksEnd::Final;
    }
}

void StreamDecoder::Run()
{
    if (!ReadHeader())
        return;
    const BlocksEnd end = Blocks();
    if (end == BlocksEnd::SinkRefused)
        return;
    if (end == BlocksEnd::Final) {
        // The trailer: the big-endian Adler-32 of the data, byte-aligned.
        in_.Reset();
        uint32_t adler = 0;
        for (int i = 0; i < 4; ++i)
            adler = (adler << 8) | Bits(8);
        if (in_.Overrun()) {
            result_.status = InflateStatus::Truncated;
        } else {
            result_.status = InflateStatus::Complete;
            result_.adlerStored = adler;
        }
    }
    Flush();
}

}  // namespace

CInflater::CInflater() : tables_(std::make_unique<Tables>()) {}

CInflater::~CInflater() = default;

InflateResult CInflater::InflateToSink(FILE* input, IInflateSink& sink, uint64_t maxBytes,
                                       uint64_t maxInputBytes)
{
    InflateResult result;
    if (!input)
        return result;
    if (buffer_.empty())
        buffer_.resize(kBufferSize);
    reader_.Begin(input, maxInputBytes);
    StreamDecoder decoder(reader_, input, sink, *tables_, buffer_.data(), maxBytes, result);
    decoder.Run();
    reader_.End(input);
    return result;
}

InflateResult CInflater::InflateToFile(FILE* input, FILE* output, uint64_t maxBytes)
{
    CInflateFileSink sink(output);
    return InflateToSink(input, sink, maxBytes);
}
