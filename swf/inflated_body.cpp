#include "swf/inflated_body.h"

#include "swf/side_file.h"

bool CInflatedBody::Open(FILE* fp, const std::string& sideName, uint64_t limit)
{
    lzmaBody_ = false;
    return OpenEither(fp, sideName, limit);
}

bool CInflatedBody::OpenLzma(FILE* fp, const std::string& sideName, uint64_t limit, const LzmaProperties& props,
                             uint64_t inputBytes)
{
    lzmaBody_ = true;
    props_ = props;
    inputBytes_ = inputBytes;
    return OpenEither(fp, sideName, limit);
}

bool CInflatedBody::OpenEither(FILE* fp, const std::string& sideName, uint64_t limit)
{
    const long start = std::ftell(fp);
    if (!sideName.empty() && InflateToSideFile(fp, sideName, limit))
        return true;
    // The attempt may have read part of the stream before the write failed.
    if (start < 0 || std::fseek(fp, start, SEEK_SET) != 0)
        return false;
    return InflateToMemory(fp, limit);
}

bool CInflatedBody::Decode(FILE* fp, FILE* out, uint64_t limit)
{
    if (lzmaBody_) {
        CLzmaDecoder decoder;
        lzma_ = decoder.DecodeToFile(fp, props_, out, limit, inputBytes_);
        return lzma_.status != LzmaStatus::SinkStopped;
    }
    CInflater inflater;
    result_ = inflater.InflateToFile(fp, out, limit);
    return result_.status != InflateStatus::SinkStopped;
}

bool CInflatedBody::InflateToSideFile(FILE* fp, const std::string& sideName, uint64_t limit)
{
    CSideFile side(sideName);
    FILE* out = side.Create();
    if (!out)
        return false;
    if (!Decode(fp, out, limit))
        return false;
    stream_ = side.Commit();
    inSideFile_ = stream_ != nullptr;
    return inSideFile_;
}

bool CInflatedBody::InflateToMemory(FILE* fp, uint64_t limit)
{
    char* bytes = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&bytes, &size);
    if (!out)
        return false;
    const bool decoded = Decode(fp, out, limit);
    const bool written = std::fclose(out) == 0 && decoded;
    memory_.reset(bytes);
    if (!written)
        return false;
    // A stream over no bytes at all is at its end at once, as an empty side
    // file would be.
    static char nothing;
    stream_.reset(fmemopen(size > 0 ? bytes : &nothing, size, "rb"));
    return stream_ != nullptr;
}
