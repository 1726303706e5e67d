#pragma once
// Hands the inflated bytes of a Deflate-coded strip to the sample placement
// that uncompressed, PackBits and LZW strips use, so that samples per pixel,
// horizontal differencing (restarting on every row) and the grey, palette
// and bilevel layouts apply to Deflate data in the same way.
#include <cstddef>
#include <cstdint>

#include "codec/inflate_sink.h"
#include "image/sample_writer.h"

class CSampleSink : public IInflateSink {
public:
    explicit CSampleSink(CSampleWriter& writer) : writer_(writer) {}

    // Deflate block boundaries mean nothing to the picture: the placement
    // runs on across them.
    void BeginBlock() override {}
    // Ends the stream once the strip's rows are full.
    bool Write(const uint8_t* data, size_t n) override;

private:
    CSampleWriter& writer_;
};
