#pragma once
// Writes inflated bytes to an open file (the SWF side file).
#include <cstdio>

#include "codec/inflate_sink.h"

class CInflateFileSink : public IInflateSink {
public:
    // A null file accepts and drops everything.
    explicit CInflateFileSink(FILE* output) : output_(output) {}

    // Ends the stream when the file refuses a write (a full disk).
    bool Write(const uint8_t* data, size_t n) override;

private:
    FILE* output_;
};
