#include "codec/inflate_file_sink.h"

bool CInflateFileSink::Write(const uint8_t* data, size_t n)
{
    if (!output_ || n == 0)
        return true;
    return std::fwrite(data, 1, n, output_) == n;
}
