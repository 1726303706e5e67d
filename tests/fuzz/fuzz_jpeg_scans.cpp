// The decoders of frames held as coefficient planes: two scans of any
// progression, Huffman or arithmetic coded, over a frame of one, three or
// four components with any sampling factors, then the painting. The first
// twelve input bytes describe the frame and the scans; the rest is split
// into the two scans' entropy-coded data.
#include <cstdio>
#include <vector>

#include "fuzz_support.h"
#include "codec/jpeg_frame_decoder.h"
#include "codec/jpeg_stream_parser.h"

namespace {

void Put16(std::vector<uint8_t>& out, uint32_t v)
{
    out.push_back(static_cast<uint8_t>(v >> 8));
    out.push_back(static_cast<uint8_t>(v));
}

void Segment(std::vector<uint8_t>& out, uint8_t marker, const std::vector<uint8_t>& payload)
{
    out.push_back(0xFF);
    out.push_back(marker);
    Put16(out, static_cast<uint32_t>(payload.size() + 2));
    out.insert(out.end(), payload.begin(), payload.end());
}

// A Huffman table of every symbol: 255 codes of 8 bits and one of 9, a
// complete code in which any bits decode to some symbol.
std::vector<uint8_t> AllSymbols(uint8_t classDestination)
{
    std::vector<uint8_t> p{classDestination, 0, 0, 0, 0, 0, 0, 0, 255, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int s = 0; s < 256; ++s)
        p.push_back(static_cast<uint8_t>(s));
    return p;
}

// Tables, frame and a scan header for the parser, as a stream in memory.
std::vector<uint8_t> Header(const uint8_t* d, uint32_t components, uint8_t scan[2][4])
{
    std::vector<uint8_t> h{0xFF, 0xD8};
    std::vector<uint8_t> q{0x00};
    for (int i = 0; i < 64; ++i)
        q.push_back(static_cast<uint8_t>(1 + d[10] % 8));
    Segment(h, 0xDB, q);
    for (uint8_t cd : {0x00, 0x10, 0x01, 0x11})
        Segment(h, 0xC4, AllSymbols(cd));
    if (d[11] & 1)
        Segment(h, 0xCC, {0x00, static_cast<uint8_t>(d[11] & 0xF0), 0x10, static_cast<uint8_t>(1 + d[11] % 63)});
    Segment(h, 0xDD, {0, static_cast<uint8_t>(d[6] % 5)});
    const uint8_t markers[] = {0xC0, 0xC2, 0xC9, 0xCA};
    std::vector<uint8_t> f{8};
    Put16(f, 1 + d[9] % 48);
    Put16(f, 1 + d[8] % 64);
    f.push_back(static_cast<uint8_t>(components));
    for (uint32_t c = 0; c < components; ++c) {
        const uint8_t s = d[1 + c % 3];
        f.insert(f.end(), {static_cast<uint8_t>(c + 1), static_cast<uint8_t>(((s >> 4) % 4 + 1) << 4 | (s % 4 + 1)), 0});
    }
    Segment(h, markers[d[0] & 3], f);
    std::vector<uint8_t> s{0};
    for (uint32_t c = 0; c < components; ++c)
        if (d[7] & (1u << c) || c == 0) {
            s.insert(s.end(), {static_cast<uint8_t>(c + 1), static_cast<uint8_t>(c ? 0x11 : 0x00)});
            ++s[0];
        }
    s.insert(s.end(), {scan[0][0], scan[0][1], scan[0][2]});
    Segment(h, 0xDA, s);
    return h;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 12)
        return 0;
    const uint32_t counts[] = {1, 3, 4, 3};
    const uint32_t components = counts[(data[0] >> 2) & 3];
    // The second scan refines the first by one bit.
    const uint8_t low = data[5] & 0x0F;
    const uint8_t refine = static_cast<uint8_t>(low << 4 | (low ? low - 1 : 0));
    uint8_t scans[2][4] = {{data[3], data[4], data[5]}, {data[3], data[4], refine}};
    const std::vector<uint8_t> header = Header(data, components, scans);
    CJpegStreamParser parser;
    size_t start = 0;
    if (!parser.Read(header.data(), header.size(), &start) || !CJpegFrameDecoder::Drawable(parser.StreamFrame()))
        return 0;
    const size_t half = (size - 12) / 2;
    const std::string& path = fuzz_support::WriteInput(data + 12, size - 12);
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    const JpegFrame& frame = parser.StreamFrame();
    const int32_t width = static_cast<int32_t>((frame.samplesPerLine & ~15u) + 16);
    const int32_t height = static_cast<int32_t>((frame.lines & ~15u) + 16);
    std::vector<uint8_t> pixels(static_cast<size_t>(width) * height * 3);
    CJpegFrameDecoder decoder;
    decoder.Begin(frame, (data[0] >> 4) % 4 - 1, {pixels.data(), width, height}, size);
    decoder.DecodeScan(in, 0, parser);
    // The second scan: another progression of the same components, its
    // header the first's with other spectral and approximation bytes.
    const JpegScan& first = parser.LastScan();
    std::vector<uint8_t> payload{static_cast<uint8_t>(first.components.size())};
    for (const JpegScanComponentField& c : first.components)
        payload.insert(payload.end(), {static_cast<uint8_t>(c.component.selector), static_cast<uint8_t>(c.component.tableSelection)});
    payload.insert(payload.end(), {scans[1][0], scans[1][1], scans[1][2]});
    parser.Scan({payload.data(), payload.size(), payload.size()});
    std::fseek(in, static_cast<long>(half), SEEK_SET);
    decoder.DecodeScan(in, 0, parser);
    decoder.Finish();
    std::fclose(in);
    return 0;
}
