#include "codec/thread_streams.h"

#include "codec/shared_read_stream.h"

CThreadStreams::CThreadStreams(FILE* fp, uint32_t threads)
{
    if (threads > 1) {
        own_ = true;
        streams_.reserve(threads);
        for (uint32_t i = 0; i < threads; ++i) {
            FILE* stream = OpenSharedReadStream(fp, lock_);
            if (!stream)
                break;
            streams_.push_back(stream);
        }
    }
    if (streams_.empty()) {
        own_ = false;
        streams_.push_back(fp);
    }
}

CThreadStreams::~CThreadStreams()
{
    if (own_)
        for (FILE* stream : streams_)
            std::fclose(stream);
}
