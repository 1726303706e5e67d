#pragma once
// Where a CInflater hands its output. The inflater passes the bytes on in
// order, in pieces of any size, and announces each deflate block before its
// first byte (some consumers restart their placement per block).
#include <cstddef>
#include <cstdint>

class IInflateSink {
public:
    virtual ~IInflateSink() = default;

    // A new deflate block begins; called before its first byte is written.
    virtual void BeginBlock() {}
    // Takes the next n inflated bytes. Returning false ends the stream: the
    // inflater decodes nothing more.
    virtual bool Write(const uint8_t* data, size_t n) = 0;
};
