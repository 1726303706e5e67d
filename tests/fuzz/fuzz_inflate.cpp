// The inflater with both kinds of output: a file (the SWF side file) and the
// sample placement of Deflate-coded TIFF strips into a small picture. The
// first input byte picks the output, the picture's width and whether
// horizontal differencing applies.
#include <cstdio>
#include <vector>

#include "codec/inflater.h"
#include "codec/sample_sink.h"
#include "fuzz_support.h"
#include "image/sample_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const std::string& path = fuzz_support::WriteInput(data + 1, size - 1);
    FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return 0;
    CInflater inflater;
    if (data[0] & 1) {
        FILE* out = std::fopen("/dev/null", "wb");
        inflater.InflateToFile(in, out, 1u << 24);
        std::fclose(out);
    } else {
        CSampleWriter::Picture picture;
        picture.width = 1 + ((data[0] >> 2) & 0x3F);
        picture.height = 40;
        picture.bitmapWidth = (picture.width & ~15u) + 16;
        picture.bitmapHeight = 48;
        std::vector<uint8_t> pixels(size_t{picture.bitmapWidth} * 3 * picture.bitmapHeight);
        picture.pixels = pixels.data();
        CSampleWriter::Format format;
        format.predictor = (data[0] & 2) != 0;
        CSampleWriter writer(picture, format);
        writer.BeginStrip(0, picture.height);
        CSampleSink sink(writer);
        inflater.InflateToSink(in, sink, writer.BytesWanted(), size - 1);
    }
    std::fclose(in);
    return 0;
}
