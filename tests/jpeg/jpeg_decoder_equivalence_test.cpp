// The table-driven scan decoder, on one thread and with its painting on a
// second one, against a literal one-bit-at-a-time decoder (code lists walked
// entry by entry, every value read through the JPEG bit reader): all must
// paint the same pixels and leave the stream at the same byte with the same
// end-of-file state, on good, truncated and damaged data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <memory>
#include <set>
#include <vector>

#include "jpeg/jpeg_bit_reader.h"
#include "image/image_buffer.h"
#include "jpeg/jpeg_analyzer.h"
#include "jpeg/jpeg_bytes.h"
#include "codec/decode_threads.h"
#include "codec/jpeg_scan_decoder.h"
#include "support/libjpeg_fixture.h"
#include "support/test_support.h"

using namespace jpeg_bytes;

namespace {

class ReferenceReader : public CJpegBitReader {
public:
    uint32_t Cache() const { return cache; }
};

int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
int32_t MulShift(int32_t a, int32_t b) { return Wrap(int64_t{a} * b) >> 16; }

constexpr int32_t C1 = 64277, C2 = 60547, C3 = 54491, C4 = 46341, C5 = 36410, C6 = 25080, C7 = 12785;

// The inverse DCT as written: F[u][v] in, s[n][m] out, every product of two
// 32-bit values taken to 32 bits and shifted on its own.
void ReferenceIdct(const int32_t F[8][8], int32_t s[8][8])
{
    static int32_t T[8][8];
    static bool init = false;
    if (!init) {
        const int32_t cosines[8] = {65536, C1, C2, C3, C4, C5, C6, C7};
        for (int m = 0; m < 8; ++m)
            for (int v = 0; v < 8; ++v) {
                // cos((2m + 1) v pi / 16) from the cosine of ((2m + 1) v mod 32) pi / 16.
                int k = ((2 * m + 1) * v) % 32;
                int sign = 1;
                if (k > 16)
                    k = 32 - k;
                if (k > 8) {
                    k = 16 - k;
                    sign = -1;
                }
                T[m][v] = k == 8 ? 0 : sign * cosines[k];
            }
        init = true;
    }
    int32_t g[8][8];
    for (int v = 0; v < 8; ++v) {
        const int32_t F0 = F[0][v], F1 = F[1][v], F2 = F[2][v], F3 = F[3][v], F4 = F[4][v], F5 = F[5][v],
                      F6 = F[6][v], F7 = F[7][v];
        const int32_t a0 = MulShift(F0, C4), a4 = MulShift(F4, C4);
        const int32_t b1 = MulShift(Wrap(int64_t{F1} + F7), C4), b7 = MulShift(Wrap(int64_t{F1} - F7), C4);
        const int32_t e0 = Wrap(int64_t{a0} + a4), e1 = Wrap(int64_t{a0} - a4);
        const int32_t e2 = Wrap(int64_t{Wrap(int64_t{F2} * C6)} - Wrap(int64_t{F6} * C2)) >> 16;
        const int32_t e3 = Wrap(int64_t{Wrap(int64_t{F2} * C2)} + Wrap(int64_t{F6} * C6)) >> 16;
        const int32_t o0 = Wrap(int64_t{b1} + F3), o1 = Wrap(int64_t{b1} - F3);
        const int32_t o2 = Wrap(int64_t{b7} - F5), o3 = Wrap(int64_t{F5} + b7);
        const int32_t t0 = Wrap(int64_t{e0} + e3), t1 = Wrap(int64_t{e1} + e2);
        const int32_t t2 = Wrap(int64_t{e1} - e2), t3 = Wrap(int64_t{e0} - e3);
        const int32_t p0 = Wrap(int64_t{Wrap(int64_t{o0} * C3)} + Wrap(int64_t{o3} * C5)) >> 16;
        const int32_t p1 = Wrap(int64_t{Wrap(int64_t{o1} * C7)} + Wrap(int64_t{o2} * C1)) >> 16;
        const int32_t p2 = Wrap(int64_t{Wrap(int64_t{o1} * C1)} - Wrap(int64_t{o2} * C7)) >> 16;
        const int32_t p3 = Wrap(int64_t{Wrap(int64_t{o3} * C3)} - Wrap(int64_t{o0} * C5)) >> 16;
        const int32_t out[8] = {Wrap(int64_t{t0} + p0), Wrap(int64_t{t1} + p1), Wrap(int64_t{t2} + p2),
                                Wrap(int64_t{t3} + p3), Wrap(int64_t{t3} - p3), Wrap(int64_t{t2} - p2),
                                Wrap(int64_t{t1} - p1), Wrap(int64_t{t0} - p0)};
        for (int n = 0; n < 8; ++n)
            g[n][v] = out[n];
    }
    for (int n = 0; n < 8; ++n)
        for (int m = 0; m < 8; ++m) {
            int32_t acc = MulShift(MulShift(g[n][0], C4), T[m][0]);
            for (int v = 1; v < 8; ++v)
                acc = Wrap(int64_t{acc} + MulShift(g[n][v], T[m][v]));
            s[n][m] = acc >> 2;
        }
}

// Walks a code list in order, reading more bits as the lengths grow.
bool ReferenceSymbol(ReferenceReader& r, FILE* fp, const std::vector<HuffmanCode>& codes, uint32_t& symbol)
{
    if (codes.empty())
        return false;
    JpegBits bits;
    uint32_t length = codes[0].length;
    uint32_t value = r.ReadBits(&bits, fp, length)->value;
    for (size_t i = 0;; ++i) {
        if (value == codes[i].code) {
            symbol = codes[i].symbol;
            return true;
        }
        if (i + 1 == codes.size())
            return false;
        const uint32_t extra = codes[i + 1].length - length;
        value = (value << extra) | r.ReadBits(&bits, fp, extra)->value;
        length = codes[i + 1].length;
    }
}

uint32_t Extend(uint32_t d, uint32_t s)
{
    if (s == 0)
        return d;
    const uint32_t top = s <= 32 ? (d >> (s - 1)) & 1u : 0u;
    return top ? d : d - (s >= 32 ? 0xFFFFFFFFu : (1u << s) - 1u);
}

void ReferenceDecode(FILE* fp, const CJpegScanDecoder::Frame& frame, const CJpegScanDecoder::Target& target)
{
    ReferenceReader r;
    JpegBits bits;
    // Take the byte before the data into the reader, as the scan header left it.
    std::fseek(fp, -1, SEEK_CUR);
    r.ReadBits(&bits, fp, 8);

    int32_t coef[8][8][8] = {};   // [identifier][u][v]
    bool first[8];
    for (bool& f : first)
        f = true;
    int32_t samples[3][4][8][8] = {};   // [component][block][i][j]
    const uint32_t h0 = frame.components[0].horizontal, v0 = frame.components[0].vertical;
    const uint64_t total = ((frame.width + 8 * h0 - 1) / (8 * h0)) * ((frame.height + 8 * v0 - 1) / (8 * v0));
    uint64_t x = 0, y = 0;
    for (uint64_t mcu = 0; mcu < total; ++mcu) {
        for (int c = 0; c < frame.componentCount; ++c) {
            const CJpegScanDecoder::Component& comp = frame.components[c];
            int32_t(&k)[8][8] = coef[comp.identifier];
            for (uint32_t b = 0; b < comp.horizontal * comp.vertical; ++b) {
                uint32_t s;
                if (!ReferenceSymbol(r, fp, comp.dc->codes, s))
                    return;
                const uint32_t d = Extend(s <= 32 ? r.ReadBits(&bits, fp, s)->value : 0, s);
                if (first[comp.identifier]) {
                    k[0][0] = static_cast<int32_t>(d);
                    first[comp.identifier] = false;
                } else {
                    k[0][0] = Wrap(int64_t{k[0][0]} + static_cast<int32_t>(d));
                }
                for (uint32_t z = 1; z < 64;) {
                    uint32_t rs;
                    if (!ReferenceSymbol(r, fp, comp.ac->codes, rs))
                        return;
                    if (rs == 0) {
                        for (; z < 64; ++z)
                            k[kZigzag[z] >> 4][kZigzag[z] & 15] = 0;
                        break;
                    }
                    const uint32_t run = rs >> 4, size = rs & 15;
                    uint32_t value = 0;
                    if (!(run == 15 && size == 0))
                        value = Extend(r.ReadBits(&bits, fp, size)->value, size);
                    for (uint32_t i = 0; i < run && z < 64; ++i, ++z)
                        k[kZigzag[z] >> 4][kZigzag[z] & 15] = 0;
                    if (z < 64)
                        k[kZigzag[z] >> 4][kZigzag[z] & 15] = static_cast<int32_t>(value);
                    ++z;
                }
                int32_t F[8][8];
                for (int u = 0; u < 8; ++u)
                    for (int v = 0; v < 8; ++v)
                        F[u][v] = Wrap(int64_t{k[u][v]} * static_cast<int32_t>(comp.quant->value[u][v]));
                int32_t out[8][8];
                ReferenceIdct(F, out);
                for (int i = 0; i < 8; ++i)
                    for (int j = 0; j < 8; ++j)
                        samples[c][b][i][j] = c == 0 ? Wrap(int64_t{out[i][j]} + 128) : out[i][j];
            }
        }
        if (target.pixels) {
            for (uint32_t b = 0; b < h0 * v0; ++b) {
                const uint32_t bx = b % h0, by = b / h0;
                for (uint32_t j = 0; j < 8; ++j)
                    for (uint32_t i = 0; i < 8; ++i) {
                        const int64_t Y = samples[0][b][i][j];
                        const int64_t Cb = samples[1][0][(i + 8 * bx) / h0][(j + 8 * by) / v0];
                        const int64_t Cr = samples[2][0][(i + 8 * bx) / h0][(j + 8 * by) / v0];
                        auto clamp = [](int32_t v) { return static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v); };
                        const uint8_t R = clamp(Wrap(Y * 65536 + Cr * 91881) >> 16);
                        const uint8_t G = clamp(Wrap(Y * 65536 - Cb * 22554 - Cr * 46802) >> 16);
                        const uint8_t B = clamp(Wrap(Y * 65536 + Cb * 116130) >> 16);
                        const uint64_t row = uint64_t(target.bitmapHeight) - 1 - (y + 8 * by + j);
                        uint8_t* p = target.pixels + row * uint64_t(target.bitmapWidth) * 3 + (x + 8 * bx + i) * 3;
                        p[0] = B;
                        p[1] = G;
                        p[2] = R;
                    }
            }
        }
        x += 8 * h0;
        if (x >= frame.width) {
            x = 0;
            y += 8 * v0;
        }
        if (std::feof(fp))
            return;
        if (frame.restartInterval && mcu + 1 < total && (mcu + 1) % frame.restartInterval == 0) {
            const uint32_t last = r.Cache();
            r.Reset();
            const long at = std::ftell(fp);
            int b = std::fgetc(fp);
            if (b == 0 && last == 0xFF)
                b = std::fgetc(fp);
            bool found = false;
            if (b == 0xFF) {
                do
                    b = std::fgetc(fp);
                while (b == 0xFF);
                found = b >= 0xD0 && b <= 0xD7;
            }
            if (!found) {
                std::fseek(fp, at, SEEK_SET);
                return;
            }
            for (bool& f : first)
                f = true;
        }
    }
}

struct Parsed {
    std::unique_ptr<CJpegStreamParser> parser;
    CJpegScanDecoder::Frame frame;
    long dataStart = -1;
};

// Reads the tables, frame and scan header of a file up to its first scan
// with the stream parser, and builds the decoder's frame from them as the
// analysis does.
Parsed Parse(const std::string&, const Bytes& file)
{
    Parsed p;
    p.parser = std::make_unique<CJpegStreamParser>();
    size_t start = 0;
    if (p.parser->Read(file.data(), file.size(), &start))
        p.dataStart = long(start);
    p.parser->BaselineFrame(p.frame, false);
    return p;
}

struct Outcome {
    std::vector<uint8_t> pixels;
    long position = 0;
    bool eof = false;
};

// Decodes the file's scan with the table-driven decoder on one thread and
// with a second thread for the painting, and with the reference decoder, and
// expects the same outcome of all three; returns how the table-driven decoder
// ended.
CJpegScanDecoder::Result ExpectSameDecoding(const Bytes& file, const std::string& what)
{
    CJpegScanDecoder::Result result;
    testing_support::TempDir dir;
    const std::string path = dir.Write("e.jpg", file);
    const Parsed p = Parse(path, file);
    EXPECT_GE(p.dataStart, 0) << what;
    EXPECT_TRUE(CJpegScanDecoder::Supported(p.frame)) << what;
    if (p.dataStart < 0 || !CJpegScanDecoder::Supported(p.frame))
        return result;
    const int32_t bw = CImageBuffer::PaddedSize(int32_t(p.frame.width));
    const int32_t bh = CImageBuffer::PaddedSize(int32_t(p.frame.height));
    enum { kOneThread, kTwoThreads, kReference };
    Outcome outcomes[3];
    for (int way : {kOneThread, kTwoThreads, kReference}) {
        Outcome& o = outcomes[way];
        o.pixels.assign(size_t(bw) * size_t(bh) * 3, 0x5A);
        FilePtr fp = OpenAnalysisFile(path.c_str());
        std::fseek(fp.get(), p.dataStart, SEEK_SET);
        CJpegScanDecoder::Target target;
        target.pixels = o.pixels.data();
        target.bitmapWidth = bw;
        target.bitmapHeight = bh;
        if (way == kReference) {
            ReferenceDecode(fp.get(), p.frame, target);
        } else {
            // Each way keeps its decoder from case to case, as the strips of
            // a TIFF picture share one: what a decoding cut short leaves
            // behind must not change the next.
            static CJpegScanDecoder decoders[2];
            CJpegScanDecoder& decoder = decoders[way];
            decoder.SetThreads(way == kOneThread ? 1 : 2);
            const CJpegScanDecoder::Result r = decoder.Decode(fp.get(), file[size_t(p.dataStart) - 1], p.frame, target);
            if (way == kOneThread)
                result = r;
            else
                EXPECT_EQ(r.mcusDecoded, result.mcusDecoded) << what;
        }
        o.position = std::ftell(fp.get());
        o.eof = std::feof(fp.get()) != 0;
    }
    for (int way : {kTwoThreads, kReference}) {
        const Outcome& fast = outcomes[kOneThread];
        const Outcome& other = outcomes[way];
        EXPECT_EQ(fast.position, other.position) << what << " way " << way;
        EXPECT_EQ(fast.eof, other.eof) << what << " way " << way;
        size_t differing = 0;
        for (size_t i = 0; i < fast.pixels.size(); ++i)
            differing += fast.pixels[i] != other.pixels[i];
        EXPECT_EQ(differing, 0u) << what << " way " << way;
    }
    return result;
}

// Every way a decoding can end, seen at least once over the cases of a test.
struct Coverage {
    std::set<int> outcomes;
    uint64_t longest = 0;
    void Add(const CJpegScanDecoder::Result& r)
    {
        outcomes.insert(int(r.outcome));
        longest = std::max(longest, r.mcusDecoded);
    }
};

struct Lcg {
    uint32_t state;
    uint32_t Next()
    {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

Bytes LibjpegFile(int w, int h, int comps, int h0, int v0, int restart, int quality)
{
    jpeg_fixture::EncodeOptions o;
    o.width = w;
    o.height = h;
    o.components = comps;
    o.h0 = h0;
    o.v0 = v0;
    o.restartInterval = restart;
    o.quality = quality;
    return jpeg_fixture::Encode(jpeg_fixture::MakePicture(w, h, comps), o);
}

}  // namespace

TEST(JpegDecoderEquivalence, LibjpegFilesWholeTruncatedAndDamaged)
{
    struct Case {
        int w, h, comps, h0, v0, restart, quality;
    };
    const Case cases[] = {
        {64, 48, 3, 1, 1, 0, 90}, {70, 45, 3, 2, 1, 0, 75}, {50, 70, 3, 1, 2, 0, 85}, {333, 211, 3, 2, 2, 0, 90},
        {81, 33, 1, 1, 1, 0, 95}, {120, 64, 3, 2, 2, 3, 90}, {64, 40, 1, 1, 1, 1, 60},  {96, 96, 3, 2, 2, 0, 100},
        {100, 60, 3, 1, 1, 7, 30},
        // Enough MCUs for the painting to run on a second thread, over many
        // batches, with restart intervals that do and do not divide a batch.
        {330, 170, 3, 1, 1, 0, 90}, {400, 300, 3, 2, 2, 5, 80}, {260, 250, 1, 1, 1, 64, 90}, {350, 260, 3, 2, 1, 1, 85},
    };
    Lcg rng{7};
    Coverage coverage;
    for (const Case& c : cases) {
        const Bytes file = LibjpegFile(c.w, c.h, c.comps, c.h0, c.v0, c.restart, c.quality);
        const std::string name = std::to_string(c.w) + "x" + std::to_string(c.h) + " " + std::to_string(c.h0) + "x" +
                                 std::to_string(c.v0) + " r" + std::to_string(c.restart);
        coverage.Add(ExpectSameDecoding(file, name));
        for (size_t cut : {file.size() - 2, file.size() * 2 / 3, file.size() / 2 + 1})
            coverage.Add(
                ExpectSameDecoding(Bytes(file.begin(), file.begin() + long(cut)), name + " cut " + std::to_string(cut)));
        for (int round = 0; round < 6; ++round) {
            Bytes damaged = file;
            size_t scanStart = 0;
            for (size_t i = 0; i + 3 < file.size() && !scanStart; ++i)
                if (file[i] == 0xFF && file[i + 1] == 0xDA)
                    scanStart = i + 2 + (size_t(file[i + 2]) << 8) + file[i + 3];
            for (int i = 0; i < 4; ++i) {
                const size_t at = scanStart + rng.Next() % (damaged.size() - 2 - scanStart);
                damaged[at] = uint8_t(round % 2 ? 0xFF : rng.Next());
            }
            coverage.Add(ExpectSameDecoding(damaged, name + " damaged " + std::to_string(round)));
        }
    }
    EXPECT_EQ(coverage.outcomes.size(), 4u);
}

TEST(JpegDecoderEquivalence, RandomDataWithUnusualTables)
{
    // DC symbols up to 40 (wider than any real difference, beyond what one
    // read can take), AC codes of all lengths up to 16 and runs that pass the
    // block's end.
    Bytes dcSymbols{0, 1, 5, 11, 15, 16, 17, 20, 31, 32, 33, 40};
    Bytes dcCounts{1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0};
    Bytes acSymbols;
    Bytes acCounts(16, 0);
    const uint8_t acPool[] = {0x00, 0xF0, 0x01, 0x11, 0xF1, 0x0F, 0x3A, 0x80, 0xE2, 0x05, 0xFF, 0x21, 0x42, 0x13, 0xC4, 0x67};
    for (int len = 1; len <= 16; ++len) {
        acCounts[size_t(len - 1)] = 1;
        acSymbols.push_back(acPool[len - 1]);
    }
    Bytes dht = HuffmanBody(0x00, dcCounts, dcSymbols);
    Put(dht, HuffmanBody(0x10, acCounts, acSymbols));
    // Also an over-full table: more codes of length 2 than fit.
    Put(dht, HuffmanBody(0x01, {0, 6, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0, 1, 2, 3, 4, 5}));
    Put(dht, HuffmanBody(0x11, {1, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0}, {0x00, 0x01, 0xF0}));
    Lcg rng{99};
    Coverage coverage;
    for (int round = 0; round < 40; ++round) {
        Bytes f = Soi();
        Bytes q{0};
        for (int i = 0; i < 64; ++i)
            q.push_back(uint8_t(rng.Next()));
        Put(f, Segment(0xDB, q));
        const uint8_t layout = round % 4;
        const uint8_t samplings[] = {0x11, 0x21, 0x12, 0x22};
        Put(f, Sof0(24 + round, 16 + round % 9,
                    {{1, samplings[layout], 0}, {2, 0x11, 0}, {3, 0x11, 0}}));
        Put(f, Segment(0xC4, dht));
        if (round % 3 == 0)
            Put(f, Dri(uint32_t(1 + round % 4)));
        Put(f, Sos({{1, 0x00}, {2, 0x11}, {3, 0x01}}));
        const size_t n = 200 + rng.Next() % 2000;
        for (size_t i = 0; i < n; ++i) {
            const uint32_t v = rng.Next();
            // Plenty of 0xFF: stuffing, markers and fill bytes.
            f.push_back(v % 7 == 0 ? 0xFF : v % 11 == 0 ? uint8_t(0xD0 + v % 8) : v % 13 == 0 ? 0 : uint8_t(v >> 4));
        }
        if (round % 2)
            Put(f, Eoi());
        coverage.Add(ExpectSameDecoding(f, "random " + std::to_string(round)));
    }
    EXPECT_GE(coverage.outcomes.size(), 3u);
    EXPECT_GE(coverage.longest, 8u);
}
