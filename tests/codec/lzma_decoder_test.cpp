#include <gtest/gtest.h>
#include <lzma.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "codec/lzma_decoder.h"
#include "support/test_support.h"
#include "swf/swf_fixtures.h"

using testing_support::Bytes;
using testing_support::TempDir;

namespace {

class VectorSink : public IInflateSink {
public:
    explicit VectorSink(size_t accept = SIZE_MAX) : accept_(accept) {}
    void BeginBlock() override { ++blocks; }
    bool Write(const uint8_t* data, size_t n) override
    {
        if (bytes.size() + n > accept_)
            return false;
        bytes.insert(bytes.end(), data, data + n);
        largestPiece = std::max(largestPiece, n);
        return true;
    }
    Bytes bytes;
    size_t largestPiece = 0;
    int blocks = 0;

private:
    size_t accept_;
};

struct Stream {
    uint8_t props[5] = {};
    Bytes data;  // the range-coded bytes after the properties
    LzmaProperties Properties() const
    {
        LzmaProperties p;
        EXPECT_TRUE(CLzmaDecoder::ParseProperties(props, p));
        return p;
    }
};

struct Encoding {
    uint32_t preset = 6;
    uint32_t lc = 3, lp = 0, pb = 2;
    uint32_t dictionary = 1 << 20;
    bool endMarker = false;
};

// liblzma's raw LZMA1 encoder: LZMA_FILTER_LZMA1 always ends with the end
// marker, LZMA_FILTER_LZMA1EXT without its ALLOW_EOPM flag never does.
Stream Encode(const Bytes& data, const Encoding& e)
{
    lzma_options_lzma options{};
    EXPECT_FALSE(lzma_lzma_preset(&options, e.preset));
    options.lc = e.lc;
    options.lp = e.lp;
    options.pb = e.pb;
    options.dict_size = e.dictionary;
    lzma_filter filters[2] = {{e.endMarker ? LZMA_FILTER_LZMA1 : LZMA_FILTER_LZMA1EXT, &options},
                              {LZMA_VLI_UNKNOWN, nullptr}};
    Stream s;
    lzma_filter forProps = {LZMA_FILTER_LZMA1, &options};
    EXPECT_EQ(lzma_properties_encode(&forProps, s.props), LZMA_OK);
    lzma_stream z = LZMA_STREAM_INIT;
    EXPECT_EQ(lzma_raw_encoder(&z, filters), LZMA_OK);
    s.data.resize(data.size() + data.size() / 2 + 4096);
    z.next_in = data.data();
    z.avail_in = data.size();
    z.next_out = s.data.data();
    z.avail_out = s.data.size();
    EXPECT_EQ(lzma_code(&z, LZMA_FINISH), LZMA_STREAM_END);
    s.data.resize(z.total_out);
    lzma_end(&z);
    return s;
}

// What liblzma decodes from a stream of a known size that may or may not end
// with the marker, up to its first error.
Bytes LiblzmaDecode(const Stream& s, uint64_t size)
{
    lzma_filter filter = {LZMA_FILTER_LZMA1, nullptr};
    EXPECT_EQ(lzma_properties_decode(&filter, nullptr, s.props, 5), LZMA_OK);
    auto* options = static_cast<lzma_options_lzma*>(filter.options);
    options->ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(*options, size);
    lzma_filter filters[2] = {{LZMA_FILTER_LZMA1EXT, options}, {LZMA_VLI_UNKNOWN, nullptr}};
    lzma_stream z = LZMA_STREAM_INIT;
    Bytes out(size);
    if (lzma_raw_decoder(&z, filters) == LZMA_OK) {
        z.next_in = s.data.data();
        z.avail_in = s.data.size();
        z.next_out = out.data();
        z.avail_out = out.size();
        // An error only ends the output early.
        const lzma_ret ret = lzma_code(&z, LZMA_FINISH);
        out.resize(ret == LZMA_STREAM_END || ret == LZMA_DATA_ERROR || ret == LZMA_BUF_ERROR ? z.total_out : 0);
    }
    lzma_end(&z);
    free(options);
    return out;
}

struct Outcome {
    LzmaResult result;
    Bytes out;
    size_t largestPiece = 0;
    int blocks = 0;
    long endPosition = 0;
};

constexpr size_t kPrefix = 3;

// Decodes a stream placed after a few bytes and before a few more (suffix) in
// a temporary file, so that the input position after the stream shows.
Outcome Decode(CLzmaDecoder& decoder, const Stream& s, uint64_t outputSize, uint64_t maxInput = UINT64_MAX,
               size_t accept = SIZE_MAX, size_t suffix = 5)
{
    FILE* fp = std::tmpfile();
    Bytes file(kPrefix + s.data.size() + suffix, 0xCD);
    std::fill_n(file.begin(), kPrefix, 0xAB);
    std::copy(s.data.begin(), s.data.end(), file.begin() + kPrefix);
    std::fwrite(file.data(), 1, file.size(), fp);
    std::fseek(fp, static_cast<long>(kPrefix), SEEK_SET);
    VectorSink sink(accept);
    Outcome o;
    o.result = decoder.DecodeToSink(fp, s.Properties(), sink, outputSize, maxInput);
    o.out = sink.bytes;
    o.largestPiece = sink.largestPiece;
    o.blocks = sink.blocks;
    o.endPosition = std::ftell(fp);
    std::fclose(fp);
    return o;
}

Outcome Decode(const Stream& s, uint64_t outputSize, uint64_t maxInput = UINT64_MAX)
{
    CLzmaDecoder decoder;
    return Decode(decoder, s, outputSize, maxInput);
}

bool IsPrefix(const Bytes& head, const Bytes& whole)
{
    return head.size() <= whole.size() && std::equal(head.begin(), head.end(), whole.begin());
}

Bytes Random(size_t size, uint32_t seed)
{
    Bytes out(size);
    for (uint8_t& b : out) {
        seed = seed * 1664525u + 1013904223u;
        b = static_cast<uint8_t>(seed >> 24);
    }
    return out;
}

// Long runs of one byte between short stretches of text.
Bytes Runs(size_t size)
{
    Bytes out;
    const Bytes text = swf_fixtures::Sample(300, 5);
    for (uint32_t i = 0; out.size() < size; ++i) {
        out.insert(out.end(), text.begin(), text.begin() + 40 + i % 200);
        out.insert(out.end(), 1000 + (i * 7919) % 60000, static_cast<uint8_t>(i));
    }
    out.resize(size);
    return out;
}

// A test-side LZMA encoder for streams no real encoder writes: it codes the
// symbols it is told to, with the probability model of lzma-specification.txt
// and the range encoder of the LZMA SDK (a carry is held back in cache and
// cacheSize until the next byte shows whether it propagates).
class CraftedStream {
public:
    explicit CraftedStream(uint32_t lc = 3, uint32_t lp = 0, uint32_t pb = 2, uint32_t dictionary = 1 << 20)
        : lc_(lc), lp_(lp), pb_(pb), literal_(size_t{0x300} << (lc + lp), 1024)
    {
        stream_.props[0] = static_cast<uint8_t>((pb * 5 + lp) * 9 + lc);
        for (int i = 0; i < 4; ++i)
            stream_.props[1 + i] = static_cast<uint8_t>(dictionary >> (8 * i));
        for (uint16_t* p : {isMatch_, isRep0Long_})
            std::fill_n(p, 192, 1024);
        for (uint16_t* p : {isRep_, isRepG0_, isRepG1_, isRepG2_})
            std::fill_n(p, 12, 1024);
        std::fill_n(&posSlot_[0][0], 256, 1024);
        std::fill_n(posDecoders_, 115, 1024);
        std::fill_n(align_, 16, 1024);
        for (Length* l : {&length_, &repLength_})
            std::fill_n(&l->choice[0], sizeof(Length) / 2, 1024);
    }

    CraftedStream& Literal(uint8_t byte)
    {
        Bit(isMatch_[(state_ << 4) + PosState()], 0);
        const uint32_t previous = out_.empty() ? 0 : out_.back();
        uint16_t* probs = &literal_[0x300 * (((out_.size() & ((1u << lp_) - 1)) << lc_) + (previous >> (8 - lc_)))];
        uint32_t symbol = 1;
        bool matched = state_ >= 7 && reps_[0] < out_.size();
        const uint32_t matchByte = matched ? out_[out_.size() - reps_[0] - 1] : 0;
        for (int i = 7; i >= 0; --i) {
            const uint32_t bit = (byte >> i) & 1;
            const uint32_t matchBit = (matchByte >> i) & 1;
            Bit(probs[matched ? ((1 + matchBit) << 8) + symbol : symbol], bit);
            symbol = (symbol << 1) | bit;
            matched = matched && bit == matchBit;
        }
        out_.push_back(byte);
        state_ = state_ < 4 ? 0 : state_ < 10 ? state_ - 3 : state_ - 6;
        return *this;
    }
    CraftedStream& Literals(const Bytes& bytes)
    {
        for (uint8_t b : bytes)
            Literal(b);
        return *this;
    }
    // A match with a new distance (the coded value: 0 is the byte before).
    CraftedStream& Match(uint32_t distance, uint32_t len)
    {
        Bit(isMatch_[(state_ << 4) + PosState()], 1);
        Bit(isRep_[state_], 0);
        EncodeLength(length_, len);
        EncodeDistance(distance, len);
        reps_[3] = reps_[2], reps_[2] = reps_[1], reps_[1] = reps_[0], reps_[0] = distance;
        state_ = state_ < 7 ? 7 : 10;
        Copy(len);
        return *this;
    }
    // Repeats the index'th last distance: index 0 with len 1 is the one-byte
    // repeat.
    CraftedStream& Repeat(uint32_t index, uint32_t len)
    {
        Bit(isMatch_[(state_ << 4) + PosState()], 1);
        Bit(isRep_[state_], 1);
        Bit(isRepG0_[state_], index != 0);
        if (index == 0) {
            Bit(isRep0Long_[(state_ << 4) + PosState()], len != 1);
        } else {
            Bit(isRepG1_[state_], index != 1);
            if (index != 1)
                Bit(isRepG2_[state_], index != 2);
            const uint32_t distance = reps_[index];
            std::copy_backward(reps_, reps_ + index, reps_ + index + 1);
            reps_[0] = distance;
        }
        if (len == 1) {
            state_ = state_ < 7 ? 9 : 11;
        } else {
            EncodeLength(repLength_, len);
            state_ = state_ < 7 ? 8 : 11;
        }
        Copy(len);
        return *this;
    }
    CraftedStream& EndMarker()
    {
        Bit(isMatch_[(state_ << 4) + PosState()], 1);
        Bit(isRep_[state_], 0);
        EncodeLength(length_, 2);
        EncodeDistance(0xFFFFFFFF, 2);
        state_ = state_ < 7 ? 7 : 10;
        return *this;
    }
    Stream Finish()
    {
        for (int i = 0; i < 5; ++i)
            ShiftLow();
        return stream_;
    }
    // What a decoder should write: the bytes of every symbol coded so far.
    const Bytes& Output() const { return out_; }

private:
    struct Length {
        uint16_t choice[2];
        uint16_t low[16][8];
        uint16_t mid[16][8];
        uint16_t high[256];
    };

    uint32_t PosState() const { return static_cast<uint32_t>(out_.size()) & ((1u << pb_) - 1); }
    void Copy(uint32_t len)
    {
        for (uint32_t i = 0; i < len; ++i)
            if (reps_[0] < out_.size())
                out_.push_back(out_[out_.size() - reps_[0] - 1]);
    }
    void ShiftLow()
    {
        if (static_cast<uint32_t>(low_) < 0xFF000000u || (low_ >> 32) != 0) {
            uint8_t carry = static_cast<uint8_t>(low_ >> 32);
            uint8_t temp = cache_;
            do {
                stream_.data.push_back(static_cast<uint8_t>(temp + carry));
                temp = 0xFF;
            } while (--cacheSize_ != 0);
            cache_ = static_cast<uint8_t>(low_ >> 24);
        }
        ++cacheSize_;
        low_ = (low_ & 0x00FFFFFFu) << 8;
    }
    void Bit(uint16_t& prob, uint32_t bit)
    {
        const uint32_t bound = (range_ >> 11) * prob;
        if (bit == 0) {
            range_ = bound;
            prob = static_cast<uint16_t>(prob + ((2048 - prob) >> 5));
        } else {
            low_ += bound;
            range_ -= bound;
            prob = static_cast<uint16_t>(prob - (prob >> 5));
        }
        while (range_ < (1u << 24)) {
            range_ <<= 8;
            ShiftLow();
        }
    }
    void Tree(uint16_t* probs, uint32_t bits, uint32_t value)
    {
        uint32_t m = 1;
        for (uint32_t i = bits; i-- > 0;) {
            const uint32_t bit = (value >> i) & 1;
            Bit(probs[m], bit);
            m = (m << 1) | bit;
        }
    }
    void ReverseTree(uint16_t* probs, uint32_t bits, uint32_t value)
    {
        uint32_t m = 1;
        for (uint32_t i = 0; i < bits; ++i) {
            const uint32_t bit = (value >> i) & 1;
            Bit(probs[m], bit);
            m = (m << 1) | bit;
        }
    }
    void EncodeLength(Length& l, uint32_t len)
    {
        const uint32_t s = len - 2;
        Bit(l.choice[0], s >= 8);
        if (s < 8)
            return Tree(l.low[PosState()], 3, s);
        Bit(l.choice[1], s >= 16);
        if (s < 16)
            return Tree(l.mid[PosState()], 3, s - 8);
        Tree(l.high, 8, s - 16);
    }
    void EncodeDistance(uint32_t distance, uint32_t len)
    {
        uint32_t slot = distance;
        if (distance >= 4) {
            const uint32_t top = 31 - static_cast<uint32_t>(__builtin_clz(distance));
            slot = 2 * top + ((distance >> (top - 1)) & 1);
        }
        Tree(posSlot_[std::min(len - 2, 3u)], 6, slot);
        if (slot < 4)
            return;
        const uint32_t direct = (slot >> 1) - 1;
        const uint32_t base = (2 | (slot & 1)) << direct;
        const uint32_t reduced = distance - base;
        if (slot < 14)
            return ReverseTree(posDecoders_ + base - slot, direct, reduced);
        for (uint32_t i = direct - 4; i-- > 0;) {
            range_ >>= 1;
            if ((reduced >> (i + 4)) & 1)
                low_ += range_;
            while (range_ < (1u << 24)) {
                range_ <<= 8;
                ShiftLow();
            }
        }
        ReverseTree(align_, 4, reduced & 15);
    }

    uint32_t lc_, lp_, pb_;
    std::vector<uint16_t> literal_;
    uint16_t isMatch_[192], isRep_[12], isRepG0_[12], isRepG1_[12], isRepG2_[12], isRep0Long_[192];
    uint16_t posSlot_[4][64], posDecoders_[115], align_[16];
    Length length_, repLength_;
    uint32_t state_ = 0;
    uint32_t reps_[4] = {};
    Bytes out_;
    uint64_t low_ = 0;
    uint32_t range_ = 0xFFFFFFFF;
    uint8_t cache_ = 0;
    uint64_t cacheSize_ = 1;
    Stream stream_;
};

}  // namespace

TEST(LzmaDecoder, ParsesAndRefusesProperties)
{
    struct Case {
        uint8_t props[5];
        bool ok;
        uint32_t lc, lp, pb, dictionary;
    } cases[] = {
        {{0x5D, 0x00, 0x00, 0x00, 0x01}, true, 3, 0, 2, 1u << 24},  // the LZMA SDK's default
        {{0x00, 0x00, 0x00, 0x10, 0x00}, true, 0, 0, 0, 1u << 20},
        {{224, 0xFF, 0xFF, 0xFF, 0xFF}, true, 8, 4, 4, 0xFFFFFFFF},  // the largest first byte
        {{4 * 9 + 8, 0x00, 0x02, 0x00, 0x00}, true, 8, 4, 0, 512},   // raised below
        {{0x5D, 0xFF, 0x0F, 0x00, 0x00}, true, 3, 0, 2, 4095},
        {{225, 0x00, 0x00, 0x01, 0x00}, false, 0, 0, 0, 0},
        {{0xFF, 0x00, 0x00, 0x01, 0x00}, false, 0, 0, 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.props[0]);
        LzmaProperties p;
        p.lc = 99;
        ASSERT_EQ(CLzmaDecoder::ParseProperties(c.props, p), c.ok);
        if (!c.ok) {
            EXPECT_EQ(p.lc, 99u);
            continue;
        }
        EXPECT_EQ(p.lc, c.lc);
        EXPECT_EQ(p.lp, c.lp);
        EXPECT_EQ(p.pb, c.pb);
        EXPECT_EQ(p.dictionarySize, std::max(c.dictionary, 4096u));
    }

    // Properties that did not come from the parser are checked again.
    Stream s = Encode(Bytes(100, 'x'), {});
    FILE* fp = std::tmpfile();
    std::fwrite(s.data.data(), 1, s.data.size(), fp);
    std::rewind(fp);
    LzmaProperties bad;
    bad.lc = 9;
    VectorSink sink;
    CLzmaDecoder decoder;
    LzmaResult r = decoder.DecodeToSink(fp, bad, sink, 100);
    EXPECT_EQ(r.status, LzmaStatus::Malformed);
    EXPECT_TRUE(sink.bytes.empty());
    std::fclose(fp);
}

// Every encoding liblzma writes decodes to the original bytes, consuming the
// whole stream and nothing after it. Dictionaries of 4 KiB make the window
// wrap many times; 8 MiB ones make it grow from its first size.
TEST(LzmaDecoder, MatchesLiblzmaForPresetsContextsDictionariesAndMarkers)
{
    struct Data {
        const char* name;
        Bytes bytes;
    } inputs[] = {
        {"text", swf_fixtures::Sample(700 * 1024, 3)},
        {"random", Random(150 * 1024, 11)},
        {"runs", Runs(3 * 1024 * 1024)},
        {"one byte", Bytes(1, 'q')},
    };
    const Encoding encodings[] = {
        {0, 3, 0, 2, 1 << 20, false},
        {6, 3, 0, 2, 1 << 20, true},
        {9 | LZMA_PRESET_EXTREME, 3, 0, 2, 8 << 20, false},
        {6, 0, 0, 0, 4096, true},
        {6, 4, 0, 4, 4096, false},
        {6, 0, 4, 0, 64 << 10, false},
        {6, 1, 3, 1, 64 << 10, true},
        {6, 2, 2, 3, 16 << 20, false},
        {1, 3, 1, 2, 8 << 20, true},
    };
    for (const Data& d : inputs) {
        for (const Encoding& e : encodings) {
            SCOPED_TRACE(testing::Message() << d.name << " preset " << e.preset << " lc " << e.lc << " lp "
                                            << e.lp << " pb " << e.pb << " dict " << e.dictionary
                                            << (e.endMarker ? " marker" : ""));
            const Stream s = Encode(d.bytes, e);
            ASSERT_EQ(LiblzmaDecode(s, d.bytes.size()), d.bytes);
            Outcome o = Decode(s, d.bytes.size());
            EXPECT_EQ(o.result.status, LzmaStatus::Complete);
            EXPECT_STREQ(o.result.reason, "");
            EXPECT_TRUE(o.out == d.bytes);
            EXPECT_EQ(o.result.bytesOut, d.bytes.size());
            EXPECT_EQ(o.result.endMarker, e.endMarker);
            EXPECT_EQ(o.result.bytesIn, s.data.size());
            EXPECT_EQ(o.endPosition, static_cast<long>(kPrefix + s.data.size()));
            EXPECT_LE(o.largestPiece, size_t{256 * 1024});
            EXPECT_EQ(o.blocks, 0);
        }
    }
}

// 7-Zip writes LZMA with any lc up to 8 and lp up to 4, which liblzma
// refuses: a .7z archive with an uncompressed header holds the raw stream
// right after its 32-byte signature header, as long as the next header's
// offset says, and the coder's five property bytes follow the LZMA method
// id 03 01 01 and the property size 05 in that header.
TEST(LzmaDecoder, DecodesWhat7ZipWritesWithWideLiteralContexts)
{
    if (!std::filesystem::exists("/usr/bin/7zz"))
        GTEST_SKIP() << "7zz (Debian package 7zip) is not installed";
    TempDir dir;
    const Bytes data = swf_fixtures::Sample(400 * 1024, 21);
    dir.Write("in.bin", data);
    for (const char* method : {"lc=8:lp=4:pb=4", "lc=8:lp=4:pb=4:eos", "lc=5:lp=3:pb=0:d=64k", "lc=0:lp=4:pb=1"}) {
        SCOPED_TRACE(method);
        const std::string archive = dir.Path() + "/out.7z";
        std::filesystem::remove(archive);
        const std::string command = "cd " + dir.Path() + " && /usr/bin/7zz a -t7z -mhc=off -m0=LZMA:" + method +
                                    " out.7z in.bin >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0);
        const Bytes file = testing_support::ReadFile(archive);
        ASSERT_GT(file.size(), 32u);
        uint64_t packed = 0;
        for (int i = 7; i >= 0; --i)
            packed = (packed << 8) | file[12 + i];
        ASSERT_LT(32 + packed, file.size());
        const uint8_t method_id[] = {0x03, 0x01, 0x01, 0x05};
        auto at = std::search(file.begin() + 32 + static_cast<long>(packed), file.end(), method_id, method_id + 4);
        ASSERT_LE(at + 9, file.end());
        Stream s;
        std::copy(at + 4, at + 9, s.props);
        s.data.assign(file.begin() + 32, file.begin() + 32 + static_cast<long>(packed));
        Outcome o = Decode(s, data.size());
        EXPECT_EQ(o.result.status, LzmaStatus::Complete);
        EXPECT_TRUE(o.out == data);
        EXPECT_EQ(o.result.bytesIn, packed);
        EXPECT_EQ(o.result.endMarker, std::strstr(method, "eos") != nullptr);
    }
}

// Where the stream and the expected size disagree.
TEST(LzmaDecoder, EndMarkerAndExpectedSizeDisagree)
{
    const Bytes data = swf_fixtures::Sample(100000, 4);
    const Stream marked = Encode(data, {6, 3, 0, 2, 1 << 20, true});
    for (uint64_t expected : {uint64_t{data.size() + 1}, uint64_t{data.size() * 2}, UINT64_MAX}) {
        SCOPED_TRACE(expected);
        Outcome o = Decode(marked, expected);
        EXPECT_EQ(o.result.status, LzmaStatus::EndMarker);
        EXPECT_TRUE(o.result.endMarker);
        EXPECT_TRUE(o.out == data);
        EXPECT_EQ(o.result.bytesIn, marked.data.size());
        EXPECT_EQ(o.endPosition, static_cast<long>(kPrefix + marked.data.size()));
    }

    // Without the marker, decoding runs on past the real end into the bytes
    // after the stream and stops there.
    const Stream plain = Encode(data, {});
    Outcome past = Decode(plain, data.size() + 1000);
    EXPECT_NE(past.result.status, LzmaStatus::Complete);
    EXPECT_TRUE(IsPrefix(data, past.out));

    // An expected size below the stream's stops right there, and only the
    // bytes the decoder needed count as consumed.
    for (const Stream* s : {&marked, &plain}) {
        for (uint64_t expected : {uint64_t{0}, uint64_t{1}, uint64_t{77777}, uint64_t{data.size() - 1}}) {
            SCOPED_TRACE(expected);
            Outcome o = Decode(*s, expected);
            EXPECT_EQ(o.result.status, LzmaStatus::Complete);
            EXPECT_FALSE(o.result.endMarker);
            EXPECT_EQ(o.out, Bytes(data.begin(), data.begin() + static_cast<long>(expected)));
            // A cut in the middle of the last match leaves nothing unread.
            EXPECT_LE(o.result.bytesIn, s == &marked ? s->data.size() - 1 : s->data.size());
            EXPECT_EQ(o.endPosition, static_cast<long>(kPrefix + o.result.bytesIn));
        }
    }
}

// Every prefix of a stream decodes to a prefix of the data and says so; at
// the caller's input limit the same happens with InputLimit.
TEST(LzmaDecoder, EveryPrefixOfAStreamEndsQuietly)
{
    const Bytes data = swf_fixtures::Sample(6000, 8);
    for (bool marker : {false, true}) {
        const Stream s = Encode(data, {6, 3, 0, 2, 1 << 16, marker});
        for (size_t cut = 0; cut < s.data.size(); ++cut) {
            SCOPED_TRACE(testing::Message() << (marker ? "marker " : "") << "cut " << cut);
            Stream shorter = s;
            shorter.data.resize(cut);
            CLzmaDecoder decoder;
            Outcome o = Decode(decoder, shorter, data.size(), UINT64_MAX, SIZE_MAX, 0);
            EXPECT_TRUE(IsPrefix(o.out, data));
            if (o.out.size() < data.size()) {
                EXPECT_NE(o.result.status, LzmaStatus::Complete);
            } else {
                EXPECT_EQ(o.result.status, LzmaStatus::Complete);
            }
            Outcome limited = Decode(decoder, s, data.size(), cut);
            EXPECT_TRUE(IsPrefix(limited.out, data));
            EXPECT_LE(limited.result.bytesIn, cut);
            if (limited.out.size() < data.size()) {
                EXPECT_EQ(limited.result.status, LzmaStatus::InputLimit);
                EXPECT_EQ(limited.endPosition, static_cast<long>(kPrefix + cut));
            } else {
                EXPECT_EQ(limited.result.status, LzmaStatus::Complete);
                EXPECT_FALSE(limited.result.endMarker);
            }
        }
    }
}

// Damaged streams end without harm, and whatever both decoders produce they
// produce alike: liblzma and this decoder agree up to the shorter output.
TEST(LzmaDecoder, DamagedStreamsAgreeWithLiblzmaAsFarAsBothGo)
{
    const Bytes data = swf_fixtures::Sample(40000, 6);
    const Stream s = Encode(data, {6, 3, 0, 2, 1 << 16, true});
    CLzmaDecoder decoder;
    uint32_t x = 99;
    for (int round = 0; round < 400; ++round) {
        Stream bad = s;
        for (int flips = 0; flips < 1 + round % 3; ++flips) {
            x = x * 1103515245u + 12345u;
            bad.data[1 + (x >> 8) % (bad.data.size() - 1)] ^= static_cast<uint8_t>(1 + (x >> 24) % 255);
        }
        SCOPED_TRACE(round);
        Outcome o = Decode(decoder, bad, data.size() * 2);
        EXPECT_LE(o.out.size(), data.size() * 2);
        const Bytes reference = LiblzmaDecode(bad, data.size() * 2);
        const size_t common = std::min(reference.size(), o.out.size());
        EXPECT_TRUE(std::equal(o.out.begin(), o.out.begin() + static_cast<long>(common), reference.begin()));
        if (o.result.status == LzmaStatus::EndMarker) {
            EXPECT_EQ(o.out, reference);
        }
    }
    // Pure noise behind a valid first byte.
    for (int round = 0; round < 100; ++round) {
        Stream noise;
        noise.props[0] = static_cast<uint8_t>(round % 225);
        noise.props[2] = 1;
        noise.data = Random(200 + round * 31, round);
        noise.data[0] = 0;
        Outcome o = Decode(decoder, noise, 1 << 20);
        EXPECT_LE(o.out.size(), size_t{1} << 20);
        EXPECT_NE(o.result.status, LzmaStatus::SinkStopped);
    }
}

// One crafted input per way a stream can be refused.
TEST(LzmaDecoder, RefusesEachImpossibleConstruct)
{
    const Bytes text = swf_fixtures::Sample(5000, 2);
    struct Case {
        const char* name;
        Stream stream;
        Bytes before;  // what is decoded before the fault
        LzmaStatus status;
    };
    std::vector<Case> cases;
    {
        CraftedStream c;
        cases.push_back({"match before any byte", c.Match(3, 4).Finish(), {}, LzmaStatus::Malformed});
    }
    {
        CraftedStream c;
        cases.push_back({"one-byte repeat before any byte", c.Repeat(0, 1).Finish(), {}, LzmaStatus::Malformed});
    }
    {
        CraftedStream c;
        c.Literals(Bytes(text.begin(), text.begin() + 10));
        Bytes before = c.Output();
        cases.push_back({"distance beyond the bytes written", c.Match(10, 3).Finish(), before,
                         LzmaStatus::Malformed});
    }
    {
        CraftedStream c(3, 0, 2, 4096);
        c.Literals(text);
        Bytes before = c.Output();
        cases.push_back({"distance beyond the dictionary", c.Match(4500, 5).Finish(), before, LzmaStatus::Malformed});
    }
    {
        CraftedStream c;
        c.Literals({'a', 'b'}).EndMarker().Literals(Bytes(8, 0xFF));
        cases.push_back({"bytes after the end marker", c.Finish(), {'a', 'b'}, LzmaStatus::Malformed});
    }
    {
        Stream s = Encode(text, {});
        s.data[0] = 1;
        cases.push_back({"first byte not zero", s, {}, LzmaStatus::Malformed});
    }
    {
        Stream s = Encode(text, {});
        std::fill_n(s.data.begin() + 1, 4, 0xFF);
        cases.push_back({"code outside the range", s, {}, LzmaStatus::Malformed});
    }
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Outcome o = Decode(c.stream, 1 << 20);
        EXPECT_EQ(o.result.status, c.status);
        EXPECT_STRNE(o.result.reason, "");
        EXPECT_EQ(o.out, c.before);
    }
}

// The crafted encoder's streams with every kind of symbol: liblzma decodes
// them to what the encoder meant, and so does this decoder, also with the
// widest literal context liblzma does not take.
TEST(LzmaDecoder, DecodesEveryKindOfSymbol)
{
    const Bytes text = swf_fixtures::Sample(3000, 12);
    for (uint32_t lc : {0u, 3u, 8u}) {
        const uint32_t lp = lc == 8 ? 4 : 1, pb = lc == 0 ? 4 : 2;
        SCOPED_TRACE(testing::Message() << "lc " << lc << " lp " << lp << " pb " << pb);
        CraftedStream c(lc, lp, pb, 1 << 16);
        c.Literals(text).Match(0, 2).Match(2999, 273).Match(70, 17).Literal('z').Match(1000, 18);
        c.Repeat(0, 1).Repeat(1, 9).Repeat(2, 40).Repeat(3, 3).Repeat(0, 2).Literal('y').Repeat(0, 1);
        c.Match(3300, 100).Match(300, 2).Literals(Bytes(5, 7)).EndMarker();
        const Stream s = c.Finish();
        if (lc + lp <= 4) {
            EXPECT_EQ(LiblzmaDecode(s, c.Output().size()), c.Output());
        }
        Outcome o = Decode(s, UINT64_MAX);
        EXPECT_EQ(o.result.status, LzmaStatus::EndMarker);
        EXPECT_EQ(o.out, c.Output());
        EXPECT_EQ(o.result.bytesIn, s.data.size());
    }
}

// A window smaller than the dictionary decodes until a match reaches past it.
TEST(LzmaDecoder, WindowLimitStopsOnlyTheMatchThatReachesPastIt)
{
    const Bytes text = swf_fixtures::Sample(10000, 3);
    CraftedStream c(3, 0, 2, 1 << 20);
    c.Literals(text).Match(4000, 10);
    const Bytes near = c.Output();
    c.Match(8000, 10);
    const Stream s = c.Finish();
    CLzmaDecoder small(4096);
    Outcome o = Decode(small, s, c.Output().size());
    EXPECT_EQ(o.result.status, LzmaStatus::WindowLimit);
    EXPECT_EQ(o.out, near);
    CLzmaDecoder large;
    Outcome whole = Decode(large, s, c.Output().size());
    EXPECT_EQ(whole.result.status, LzmaStatus::Complete);
    EXPECT_EQ(whole.out, c.Output());
}

TEST(LzmaDecoder, SinkRefusalAndFileOutput)
{
    const Bytes data = Runs(1500 * 1024);
    const Stream s = Encode(data, {6, 3, 0, 2, 1 << 22, true});
    CLzmaDecoder decoder;
    Outcome refused = Decode(decoder, s, data.size(), UINT64_MAX, 600 * 1024);
    EXPECT_EQ(refused.result.status, LzmaStatus::SinkStopped);
    EXPECT_TRUE(IsPrefix(refused.out, data));
    EXPECT_EQ(refused.result.bytesOut, refused.out.size());
    EXPECT_GT(refused.out.size(), 0u);

    TempDir dir;
    FILE* in = std::fopen(dir.Write("in.lzma", s.data).c_str(), "rb");
    const std::string outPath = dir.Path() + "/out.bin";
    FILE* out = std::fopen(outPath.c_str(), "wb");
    LzmaResult r = decoder.DecodeToFile(in, s.Properties(), out, data.size());
    std::fclose(out);
    EXPECT_EQ(r.status, LzmaStatus::Complete);
    EXPECT_TRUE(r.endMarker);
    EXPECT_EQ(std::ftell(in), static_cast<long>(s.data.size()));
    EXPECT_TRUE(testing_support::ReadFile(outPath) == data);

    // A file that takes no writes.
    std::rewind(in);
    FILE* readOnly = std::fopen(outPath.c_str(), "rb");
    EXPECT_EQ(decoder.DecodeToFile(in, s.Properties(), readOnly, data.size()).status, LzmaStatus::SinkStopped);
    std::fclose(readOnly);
    std::fclose(in);
    EXPECT_EQ(decoder.DecodeToFile(nullptr, s.Properties(), nullptr, data.size()).status, LzmaStatus::Truncated);
}

// One decoder serves streams of different windows one after another: a large
// window left by one stream must not change how the next one wraps.
TEST(LzmaDecoder, ReusedDecoderKeepsEachStreamsWindow)
{
    CLzmaDecoder decoder;
    const Bytes big = Runs(5 * 1024 * 1024);
    const Bytes text = swf_fixtures::Sample(300 * 1024, 9);
    const struct {
        const Bytes& data;
        uint32_t dictionary;
    } runs[] = {{big, 8 << 20}, {text, 4096}, {text, 64 << 10}, {big, 2 << 20}, {text, 1 << 20}};
    for (const auto& run : runs) {
        SCOPED_TRACE(run.dictionary);
        const Stream s = Encode(run.data, {6, 3, 0, 2, run.dictionary, false});
        Outcome o = Decode(decoder, s, run.data.size());
        EXPECT_EQ(o.result.status, LzmaStatus::Complete);
        EXPECT_TRUE(o.out == run.data);
    }
}
