#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "codec/inflater.h"
#include "swf/swf_fixtures.h"
#include "support/test_support.h"

using namespace swf_fixtures;

namespace {

class VectorSink : public IInflateSink {
public:
    void BeginBlock() override { ++blocks; }
    bool Write(const uint8_t* data, size_t n) override
    {
        bytes.insert(bytes.end(), data, data + n);
        return true;
    }
    Bytes bytes;
    int blocks = 0;
};

struct Outcome {
    InflateResult result;
    Bytes out;
    long endPosition = 0;
    int blocks = 0;
};

// Inflates input placed after prefix bytes and before suffix bytes of a
// temporary file, so that the input position after the stream shows.
Outcome InflateBytes(const Bytes& input, uint64_t limit = UINT64_MAX, size_t prefix = 3, size_t suffix = 5)
{
    FILE* fp = std::tmpfile();
    Bytes file(prefix + input.size() + suffix, 0xCD);
    std::fill_n(file.begin(), prefix, 0xAB);
    std::copy(input.begin(), input.end(), file.begin() + static_cast<long>(prefix));
    std::fwrite(file.data(), 1, file.size(), fp);
    std::fseek(fp, static_cast<long>(prefix), SEEK_SET);
    CInflater inflater;
    VectorSink sink;
    Outcome o;
    o.result = inflater.InflateToSink(fp, sink, limit);
    o.out = sink.bytes;
    o.blocks = sink.blocks;
    o.endPosition = std::ftell(fp);
    std::fclose(fp);
    return o;
}

bool IsPrefix(const Bytes& part, const Bytes& whole)
{
    return part.size() <= whole.size() && std::equal(part.begin(), part.end(), whole.begin());
}

// A dynamic block header with HLIT 257, HDIST 4 and a code-length code in
// which length 2 is "0", repeat (16) is "10" and long zero run (18) is "11".
void DynamicHeader(BitWriter& w, bool final)
{
    w.Bits(final ? 1 : 0, 1);
    w.Bits(2, 2);
    w.Bits(0, 5);   // HLIT 257
    w.Bits(3, 5);   // HDIST 4
    w.Bits(12, 4);  // HCLEN 16: up to symbol 2 in the transmission order
    // Order 16 17 18 0 8 7 9 6 10 5 11 4 12 3 13 2.
    const uint32_t lengths[16] = {2, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1};
    for (uint32_t len : lengths)
        w.Bits(len, 3);
}
void Two(BitWriter& w) { w.Code(0, 1); }
void Repeat(BitWriter& w, uint32_t times) { w.Code(2, 2), w.Bits(times - 3, 2); }
void Zeros(BitWriter& w, uint32_t count) { w.Code(3, 2), w.Bits(count - 11, 7); }

}  // namespace

// The side file must equal zlib's own decompression for every kind of block
// and header a real encoder writes. 600 KB outgrow the decoder's output
// buffer, so matches also reach back across its refills.
TEST(Inflater, MatchesZlibForEveryBlockKindAndHeader)
{
    const Bytes data = Sample(600 * 1024, 7);
    struct Case {
        const char* name;
        ZlibOptions options;
        uint32_t cmf;
        uint32_t window;
    } cases[] = {
        {"dynamic", {}, 0x78, 32768},
        {"fixed", {6, Z_FIXED, 15, ""}, 0x78, 32768},
        {"stored", {0, Z_DEFAULT_STRATEGY, 15, ""}, 0x78, 32768},
        {"huffman only", {6, Z_HUFFMAN_ONLY, 15, ""}, 0x78, 32768},
        {"rle", {9, Z_RLE, 15, ""}, 0x78, 32768},
        {"8 KiB window", {9, Z_DEFAULT_STRATEGY, 13, ""}, 0x58, 8192},
        {"preset dictionary", {6, Z_DEFAULT_STRATEGY, 15, std::string(40, '\x01')}, 0x78, 32768},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Compress(data, c.options);
        const Bytes reference = ZlibInflate(stream, c.options.dictionary);
        ASSERT_EQ(reference, data);
        Outcome o = InflateBytes(stream);
        EXPECT_EQ(o.result.status, InflateStatus::Complete);
        EXPECT_TRUE(o.out == reference);
        EXPECT_EQ(o.result.cmf, c.cmf);
        EXPECT_EQ(o.result.windowSize, c.window);
        EXPECT_EQ(o.result.adlerStored, o.result.adlerComputed);
        EXPECT_EQ(o.endPosition, static_cast<long>(3 + stream.size()));
        if (!c.options.dictionary.empty()) {
            EXPECT_TRUE(o.result.flg & 0x20);
            EXPECT_EQ(o.result.dictionaryId,
                      adler32(1, reinterpret_cast<const Bytef*>(c.options.dictionary.data()),
                              static_cast<uInt>(c.options.dictionary.size())));
        }
    }
}

TEST(Inflater, SmallAndEmptyInputsAndBlockAnnouncements)
{
    Outcome empty = InflateBytes(Compress({}));
    EXPECT_EQ(empty.result.status, InflateStatus::Complete);
    EXPECT_TRUE(empty.out.empty());

    // Two blocks joined by a full flush (an empty stored block between them).
    z_stream z{};
    deflateInit(&z, 6);
    Bytes out(4096);
    Bytes a = Sample(1000, 2), b = Sample(1000, 3);
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    z.next_in = a.data();
    z.avail_in = static_cast<uInt>(a.size());
    deflate(&z, Z_FULL_FLUSH);
    z.next_in = b.data();
    z.avail_in = static_cast<uInt>(b.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    Outcome o = InflateBytes(out);
    Bytes both = a;
    both.insert(both.end(), b.begin(), b.end());
    EXPECT_EQ(o.result.status, InflateStatus::Complete);
    EXPECT_TRUE(o.out == both);
    EXPECT_GE(o.blocks, 3);
    EXPECT_EQ(o.blocks, static_cast<int>(o.result.blocks));
}

// A repeat of the previous code length may run from the literal/length
// lengths into the distance lengths; both form one sequence.
TEST(Inflater, RepeatCrossesIntoDistanceLengths)
{
    BitWriter w;
    DynamicHeader(w, true);
    Zeros(w, 65);  // symbols 0-64
    Two(w);        // 'A'
    Two(w);        // 'B'
    Zeros(w, 138);
    Zeros(w, 50);  // 67-254
    Two(w);        // 255
    Repeat(w, 5);  // 256 (end of block) and distances 0-3
    // Literal codes: 'A' 00, 'B' 01, 255 10, end 11.
    w.Code(0, 2);
    w.Code(1, 2);
    w.Code(2, 2);
    w.Code(3, 2);
    const Bytes data = {'A', 'B', 0xFF};
    Outcome o = InflateBytes(Wrap(w.Take(), data));
    EXPECT_EQ(o.result.status, InflateStatus::Complete);
    EXPECT_EQ(o.out, data);
}

// Each malformed construct ends the stream quietly, after handing on what was
// decoded before it.
TEST(Inflater, MalformedStreamsEndQuietly)
{
    {
        SCOPED_TRACE("block type 3 after a good block");
        BitWriter w;
        w.Bits(0, 1);
        w.Bits(1, 2);     // fixed Huffman
        w.Code(0x71, 8);  // 'A' is 0x30 + 0x41
        w.Code(0, 7);     // end of block
        w.Bits(1, 1);
        w.Bits(3, 2);
        Outcome o = InflateBytes(Wrap(w.Take(), {'A'}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
        EXPECT_EQ(o.out, Bytes{'A'});
    }
    {
        SCOPED_TRACE("stored length and complement disagree");
        Bytes raw = {0x01, 0x03, 0x00, 0x00, 0x00, 'a', 'b', 'c'};
        Outcome o = InflateBytes(Wrap(raw, {}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
        EXPECT_TRUE(o.out.empty());
    }
    {
        SCOPED_TRACE("repeat with no previous length");
        BitWriter w;
        DynamicHeader(w, true);
        Repeat(w, 3);
        Outcome o = InflateBytes(Wrap(w.Take(), {}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
    }
    {
        SCOPED_TRACE("zero run past the end of the lengths");
        BitWriter w;
        DynamicHeader(w, true);
        Zeros(w, 138);
        Zeros(w, 120);
        Zeros(w, 11);  // 269 lengths of 261
        Outcome o = InflateBytes(Wrap(w.Take(), {}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
    }
    {
        SCOPED_TRACE("more literal/length codes than exist");
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(30, 5);  // HLIT 287
        w.Bits(0, 5);
        w.Bits(0, 4);
        w.Bits(0, 32);
        Outcome o = InflateBytes(Wrap(w.Take(), {}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
    }
    {
        SCOPED_TRACE("a code no symbol has");
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);     // fixed Huffman
        w.Code(0x71, 8);  // 'A'
        w.Code(0xC6, 8);  // literal/length 286, which stands for nothing
        w.Bits(0, 32);
        Outcome o = InflateBytes(Wrap(w.Take(), {'A'}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
        EXPECT_EQ(o.out, Bytes{'A'});
    }
    {
        SCOPED_TRACE("over-subscribed code-length code");
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(2, 2);
        w.Bits(0, 5);
        w.Bits(0, 5);
        w.Bits(0, 4);
        for (int i = 0; i < 4; ++i)
            w.Bits(1, 3);  // four codes of one bit
        Outcome o = InflateBytes(Wrap(w.Take(), {}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
    }
    {
        SCOPED_TRACE("distance before the first byte");
        BitWriter w;
        w.Bits(1, 1);
        w.Bits(1, 2);
        w.Code(0x71, 8);  // 'A'
        w.Code(1, 7);     // length 3
        w.Code(1, 5);     // distance 2: one byte too far
        Outcome o = InflateBytes(Wrap(w.Take(), {'A'}));
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
        EXPECT_EQ(o.out, Bytes{'A'});
    }
    {
        SCOPED_TRACE("distances beyond an 8 KiB window");
        ZlibOptions options;
        Bytes data = Sample(12000, 9);
        data.insert(data.end(), data.begin(), data.begin() + 4000);  // a 12000-byte reach
        Bytes stream = Compress(data, options);
        stream[0] = 0x58;
        stream[1] = static_cast<uint8_t>(31 - (0x5800 % 31));
        Outcome o = InflateBytes(stream);
        EXPECT_EQ(o.result.windowSize, 8192u);
        EXPECT_EQ(o.result.status, InflateStatus::Malformed);
        EXPECT_TRUE(IsPrefix(o.out, data));
        EXPECT_LT(o.out.size(), data.size());
        EXPECT_GE(o.out.size(), 8192u);
    }
}

TEST(Inflater, TruncatedStreamsKeepTheirPrefix)
{
    const Bytes data = Sample(200000, 4);
    for (int strategy : {Z_DEFAULT_STRATEGY, Z_FIXED}) {
        const Bytes stream = Compress(data, {6, strategy, 15, ""});
        for (size_t cut : {size_t{1}, size_t{2}, size_t{9}, stream.size() / 3, stream.size() - 4,
                           stream.size() - 1}) {
            SCOPED_TRACE(cut);
            Bytes part(stream.begin(), stream.begin() + static_cast<long>(cut));
            Outcome o = InflateBytes(part, UINT64_MAX, 0, 0);
            EXPECT_EQ(o.result.status, InflateStatus::Truncated);
            EXPECT_TRUE(IsPrefix(o.out, data));
            if (cut >= stream.size() - 4) {
                EXPECT_EQ(o.out.size(), data.size());
            }
        }
    }
    const Bytes stored = Compress(data, {0, Z_DEFAULT_STRATEGY, 15, ""});
    Bytes part(stored.begin(), stored.begin() + 70000);
    Outcome o = InflateBytes(part, UINT64_MAX, 0, 0);
    EXPECT_EQ(o.result.status, InflateStatus::Truncated);
    EXPECT_TRUE(IsPrefix(o.out, data));
    EXPECT_GT(o.out.size(), 60000u);
}

TEST(Inflater, GarbageEndsWithoutHarm)
{
    uint32_t x = 12345;
    for (int round = 0; round < 300; ++round) {
        Bytes junk(64 + round * 7);
        for (uint8_t& b : junk) {
            x = x * 1664525u + 1013904223u;
            b = static_cast<uint8_t>(x >> 24);
        }
        junk[0] = 0x78;
        junk[1] = 0x9C;
        Outcome o = InflateBytes(junk, 1 << 20);
        EXPECT_LE(o.out.size(), size_t{1} << 20);
    }
}

// A stream that inflates to far more than allowed stops at the limit.
TEST(Inflater, OutputLimitBoundsTheOutput)
{
    const Bytes zeros(5 * 1024 * 1024, 0);
    const Bytes stream = Compress(zeros, {9, Z_DEFAULT_STRATEGY, 15, ""});
    Outcome capped = InflateBytes(stream, 1000);
    EXPECT_EQ(capped.result.status, InflateStatus::OutputLimit);
    EXPECT_EQ(capped.out.size(), 1000u);

    Outcome exact = InflateBytes(stream, zeros.size());
    EXPECT_EQ(exact.result.status, InflateStatus::Complete);
    EXPECT_EQ(exact.out.size(), zeros.size());

    Outcome nothing = InflateBytes(stream, 0);
    EXPECT_EQ(nothing.result.status, InflateStatus::OutputLimit);
    EXPECT_TRUE(nothing.out.empty());
}

TEST(Inflater, FileOutputModeWritesEveryByte)
{
    testing_support::TempDir dir;
    const Bytes data = Sample(100000, 5);
    const Bytes stream = Compress(data);
    const std::string in = dir.Write("in.z", stream);
    FILE* input = std::fopen(in.c_str(), "rb");
    const std::string outPath = dir.Path() + "/out.bin";
    FILE* output = std::fopen(outPath.c_str(), "wb");
    CInflater inflater;
    InflateResult r = inflater.InflateToFile(input, output);
    std::fclose(output);
    EXPECT_EQ(r.status, InflateStatus::Complete);
    EXPECT_EQ(std::ftell(input), static_cast<long>(stream.size()));
    // The same object serves a second stream.
    std::fseek(input, 0, SEEK_SET);
    EXPECT_EQ(inflater.InflateToFile(input, nullptr).bytesOut, data.size());
    std::fclose(input);
    EXPECT_TRUE(testing_support::ReadFile(outPath) == data);
}

// An input limit (a TIFF strip's byte count) acts as the end of the file, even
// when more data follows.
TEST(Inflater, InputLimitActsAsEndOfFile)
{
    const Bytes data = Sample(50000, 8);
    const Bytes stream = Compress(data);
    Bytes file = stream;
    file.insert(file.end(), stream.begin(), stream.end());
    testing_support::TempDir dir;
    FILE* fp = std::fopen(dir.Write("two.z", file).c_str(), "rb");
    CInflater inflater;
    VectorSink cut;
    EXPECT_EQ(inflater.InflateToSink(fp, cut, UINT64_MAX, stream.size() / 2).status, InflateStatus::Truncated);
    EXPECT_TRUE(IsPrefix(cut.bytes, data));
    EXPECT_LT(cut.bytes.size(), data.size());
    std::fseek(fp, 0, SEEK_SET);
    VectorSink whole;
    EXPECT_EQ(inflater.InflateToSink(fp, whole, UINT64_MAX, stream.size()).status, InflateStatus::Complete);
    EXPECT_TRUE(whole.bytes == data);
    EXPECT_EQ(std::ftell(fp), static_cast<long>(stream.size()));
    std::fclose(fp);
}

namespace {

// zlib's verdict on a stream and what it decoded before any fault.
struct ZlibVerdict {
    bool accepted = false;
    Bytes out;
};

ZlibVerdict ZlibDecode(const Bytes& stream)
{
    z_stream z{};
    inflateInit(&z);
    z.next_in = const_cast<Bytef*>(stream.data());
    z.avail_in = static_cast<uInt>(stream.size());
    ZlibVerdict v;
    uint8_t chunk[4096];
    int rc = Z_OK;
    while (rc == Z_OK) {
        z.next_out = chunk;
        z.avail_out = sizeof chunk;
        rc = inflate(&z, Z_NO_FLUSH);
        v.out.insert(v.out.end(), chunk, chunk + (sizeof chunk - z.avail_out));
    }
    v.accepted = rc == Z_STREAM_END;
    inflateEnd(&z);
    return v;
}

}  // namespace

// Huffman code sets are accepted and refused exactly as zlib does: an
// incomplete set only as a single one-bit code or no code at all, never for
// the code lengths; a block without an end-of-block code never.
TEST(Inflater, IncompleteCodesAreRefusedAsZlibRefusesThem)
{
    constexpr int kA = 'A';
    constexpr int kB = 'B';
    constexpr int kEnd = 256;
    constexpr int kLength3 = 257;
    const std::vector<std::pair<uint32_t, uint8_t>> complete = {{kA, 2}, {kB, 2}, {kEnd, 2}, {kLength3, 2}};
    // Accepted, refused as incomplete, refused for another fault.
    enum Verdict { kAccepted, kIncomplete, kRefused };
    struct Case {
        const char* name;
        std::vector<std::pair<uint32_t, uint8_t>> literal;
        std::vector<uint8_t> distance;
        std::vector<int> symbols;
        Bytes data;
        Verdict verdict;
        bool clIncomplete = false;
    } cases[] = {
        {"complete codes", complete, {1, 1}, {kA, kB, kLength3, -2, kEnd}, {'A', 'B', 'A', 'B', 'A'}, kAccepted},
        {"incomplete literal/length code", {{kA, 2}, {kB, 2}, {kEnd, 2}}, {1, 1}, {kA, kB, kEnd}, {'A', 'B'},
         kIncomplete},
        {"incomplete distance code of two codes", complete, {2, 2}, {kA, kB, kEnd}, {'A', 'B'}, kIncomplete},
        {"single distance code", complete, {1}, {kA, kLength3, -1, kEnd}, {'A', 'A', 'A', 'A'}, kAccepted},
        {"no distance code", {{kA, 1}, {kEnd, 1}}, {0}, {kA, kEnd}, {'A'}, kAccepted},
        {"end of block as the single literal/length code", {{kEnd, 1}}, {0}, {kEnd}, {}, kAccepted},
        {"single literal/length code of two bits", {{kEnd, 2}}, {0}, {kEnd}, {}, kIncomplete},
        {"over-subscribed distance code", complete, {1, 1, 1}, {kA, kEnd}, {'A'}, kRefused},
        {"no end-of-block code", {{kA, 1}, {kB, 1}}, {0}, {kA, kB}, {'A', 'B'}, kRefused},
        {"incomplete code-length code", complete, {1, 1}, {kA, kEnd}, {'A'}, kIncomplete, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes stream = Wrap(DynamicBlock(c.literal, c.distance, c.symbols, c.clIncomplete), c.data);
        const ZlibVerdict zlib = ZlibDecode(stream);
        ASSERT_EQ(zlib.accepted, c.verdict == kAccepted);
        const Outcome o = InflateBytes(stream);
        EXPECT_EQ(o.result.status, c.verdict == kAccepted ? InflateStatus::Complete : InflateStatus::Malformed);
        EXPECT_EQ(o.result.incompleteCode, c.verdict == kIncomplete);
        EXPECT_EQ(o.out, zlib.out);
        if (c.verdict == kAccepted) {
            EXPECT_EQ(o.out, c.data);
        }
    }
}
