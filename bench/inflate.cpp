// Inflates a 64 MiB zlib stream into a side file with CInflater and with
// zlib, in the same run, and prints both times and their ratio.
#include <zlib.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "codec/inflater.h"

namespace {

using Clock = std::chrono::steady_clock;

// Text-like data with literal noise: the mix of short matches and literals
// that SWF bodies (shapes, ActionScript, embedded text) compress to.
std::vector<uint8_t> MakeData(size_t size)
{
    static const char* words[] = {"DefineShape",  "PlaceObject2", "ShowFrame", "twips",       "function",
                                  "return this.", "gotoAndPlay",  "_root.",    "0123456789", "<svg>",
                                  " ",            "\n",           "var ",      "stop();",    "Sprite"};
    std::vector<uint8_t> out;
    out.reserve(size);
    uint32_t x = 2463534242u;
    while (out.size() < size) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        if (x % 4 != 0) {
            for (const char* w = words[(x >> 8) % 15]; *w && out.size() < size; ++w)
                out.push_back(static_cast<uint8_t>(*w));
        } else {
            out.push_back(static_cast<uint8_t>(x >> 24));
        }
    }
    return out;
}

std::vector<uint8_t> Compress(const std::vector<uint8_t>& data)
{
    uLongf size = compressBound(data.size());
    std::vector<uint8_t> out(size);
    compress2(out.data(), &size, data.data(), data.size(), 6);
    out.resize(size);
    return out;
}

double Seconds(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double>(b - a).count();
}

double RunOurs(const std::string& in, const std::string& out)
{
    auto start = Clock::now();
    FILE* input = std::fopen(in.c_str(), "rb");
    FILE* output = std::fopen(out.c_str(), "wb");
    CInflater inflater;
    InflateResult r = inflater.InflateToFile(input, output);
    std::fclose(output);
    std::fclose(input);
    auto end = Clock::now();
    if (r.status != InflateStatus::Complete)
        std::fprintf(stderr, "CInflater did not complete\n");
    return Seconds(start, end);
}

double RunZlib(const std::string& in, const std::string& out)
{
    auto start = Clock::now();
    FILE* input = std::fopen(in.c_str(), "rb");
    FILE* output = std::fopen(out.c_str(), "wb");
    z_stream z{};
    inflateInit(&z);
    std::vector<uint8_t> inBuf(64 * 1024), outBuf(256 * 1024);
    int rc = Z_OK;
    while (rc != Z_STREAM_END) {
        if (z.avail_in == 0) {
            z.avail_in = static_cast<uInt>(std::fread(inBuf.data(), 1, inBuf.size(), input));
            z.next_in = inBuf.data();
            if (z.avail_in == 0)
                break;
        }
        z.next_out = outBuf.data();
        z.avail_out = static_cast<uInt>(outBuf.size());
        rc = inflate(&z, Z_NO_FLUSH);
        if (rc != Z_OK && rc != Z_STREAM_END)
            break;
        std::fwrite(outBuf.data(), 1, outBuf.size() - z.avail_out, output);
    }
    inflateEnd(&z);
    std::fclose(output);
    std::fclose(input);
    auto end = Clock::now();
    return Seconds(start, end);
}

bool SameFile(const std::string& a, const std::string& b)
{
    FILE* fa = std::fopen(a.c_str(), "rb");
    FILE* fb = std::fopen(b.c_str(), "rb");
    bool same = fa && fb;
    std::vector<char> ba(1 << 16), bb(1 << 16);
    while (same) {
        size_t na = std::fread(ba.data(), 1, ba.size(), fa);
        size_t nb = std::fread(bb.data(), 1, bb.size(), fb);
        same = na == nb && std::equal(ba.begin(), ba.begin() + static_cast<long>(na), bb.begin());
        if (na == 0)
            break;
    }
    if (fa)
        std::fclose(fa);
    if (fb)
        std::fclose(fb);
    return same;
}

}  // namespace

int main(int argc, char** argv)
{
    const size_t mib = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 64;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const std::string dir = std::getenv("TMPDIR") ? std::getenv("TMPDIR") : "/tmp";
    const std::string in = dir + "/bench_inflate.z";
    const std::string ours = dir + "/bench_inflate.decompress";
    const std::string theirs = dir + "/bench_inflate.zlib";

    const std::vector<uint8_t> stream = Compress(MakeData(mib * 1024 * 1024));
    FILE* f = std::fopen(in.c_str(), "wb");
    std::fwrite(stream.data(), 1, stream.size(), f);
    std::fclose(f);

    double best = 1e9, bestZlib = 1e9;
    for (int i = 0; i < rounds; ++i) {
        double z = RunZlib(in, theirs);
        double o = RunOurs(in, ours);
        bestZlib = z < bestZlib ? z : bestZlib;
        best = o < best ? o : best;
    }
    const bool same = SameFile(ours, theirs);
    std::printf("inflate %zu MiB (stream %zu bytes): CInflater %.3f s, zlib %.3f s, ratio %.2f, output %s\n",
                mib, stream.size(), best, bestZlib, best / bestZlib, same ? "identical" : "DIFFERENT");
    std::remove(in.c_str());
    std::remove(ours.c_str());
    std::remove(theirs.c_str());
    return same ? 0 : 1;
}
