#include "codec/sample_sink.h"

bool CSampleSink::Write(const uint8_t* data, size_t n)
{
    return writer_.PutRun(data, n);
}
