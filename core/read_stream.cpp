#include "core/read_stream.h"

#include "codec/shared_read_stream.h"

#include <stdio_ext.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cerrno>
#include <mutex>
#include <memory>
#include <new>
#include <utility>
#include <vector>

namespace {

struct Source {
    int fd = -1;
    ReadFunction read = nullptr;
    bool failed = false;
    off_t failedAt = 0;   // where the failed read began
    // Where the stream stands in the file; -1 when not known. The C library
    // asks for it on every ftell and fseek, and a system call for each would
    // dominate walks that note positions often.
    off_t position = -1;
    // Reads are positional reads at position, and seeks only move position:
    // a walk that jumps between entries and their values costs at most one
    // system call a jump instead of two. Not for a test's read function,
    // which reads at the descriptor's offset.
    bool positional = false;
    // The file's size when it was opened, for seeks from its end; -1 when
    // not known (each such seek then asks the system).
    off_t size = -1;
    // The last blocks read, for positional reads: a walk that goes back and
    // forth between a directory and the values it points at finds both
    // here. Made on the first read.
    static constexpr size_t kBlockBytes = 16 * 1024;
    static constexpr size_t kBlocks = 4;
    std::unique_ptr<char[]> cache;   // uninitialised: every byte read is written first
    off_t blockStart[kBlocks] = {-1, -1, -1, -1};
    size_t blockSize[kBlocks] = {};
    uint64_t blockUse[kBlocks] = {};
    uint64_t uses = 0;
    // Where the last read ended: a read from there on streams.
    off_t lastEnd = -1;
    // The C stream's buffer: large, so that a stream of bytes comes in few
    // reads, each straight into it. Reads served from the cache fill at
    // most kCopyBytes of it.
    static constexpr size_t kStreamBufferBytes = 64 * 1024;
    static constexpr size_t kCopyBytes = 8 * 1024;
    std::unique_ptr<char[]> streamBuffer;

    bool Cached(off_t at) const
    {
        const off_t start = at - at % static_cast<off_t>(kBlockBytes);
        for (size_t b = 0; b < kBlocks; ++b)
            if (blockStart[b] == start && blockSize[b] > static_cast<size_t>(at - start))
                return true;
        return false;
    }
};

// A positional read of size bytes at the source's position. A read that
// goes on from where the last one ended, as a walk through a scan does, goes
// straight into the caller's buffer, as does a read too large for the cache;
// any other is served from the block cache, at most as many bytes as the C
// library used to take at a time, so that a walk jumping back and forth
// copies no more than it needs.
ssize_t ReadThroughCache(Source& source, char* buffer, size_t size)
{
    const bool streaming = source.position == source.lastEnd && !source.Cached(source.position);
    if (size > Source::kStreamBufferBytes || (streaming && size >= Source::kBlockBytes)) {
        const ssize_t n = pread(source.fd, buffer, size, source.position);
        if (n > 0)
            source.lastEnd = source.position + n;
        return n;
    }
    size = std::min(size, Source::kCopyBytes);
    if (!source.cache)
        source.cache.reset(new char[Source::kBlocks * Source::kBlockBytes]);
    const off_t start = source.position - source.position % static_cast<off_t>(Source::kBlockBytes);
    const size_t skip = static_cast<size_t>(source.position - start);
    size_t b = 0;
    while (b < Source::kBlocks && !(source.blockStart[b] == start && source.blockSize[b] > skip))
        ++b;
    if (b == Source::kBlocks) {
        // Not held (or held up to where the file ended then): read the
        // block again into the slot used longest ago.
        b = static_cast<size_t>(std::min_element(source.blockUse, source.blockUse + Source::kBlocks) -
                                source.blockUse);
        source.blockStart[b] = -1;
        const ssize_t n = pread(source.fd, source.cache.get() + b * Source::kBlockBytes, Source::kBlockBytes, start);
        if (n < 0)
            return n;
        source.blockStart[b] = start;
        source.blockSize[b] = static_cast<size_t>(n);
        if (static_cast<size_t>(n) <= skip)
            return 0;
    }
    source.blockUse[b] = ++source.uses;
    const size_t n = std::min(size, source.blockSize[b] - skip);
    std::copy_n(source.cache.get() + b * Source::kBlockBytes + skip, n, buffer);
    source.lastEnd = source.position + static_cast<off_t>(n);
    return static_cast<ssize_t>(n);
}

ssize_t ReadSource(void* cookie, char* buffer, size_t size)
{
    Source& source = *static_cast<Source*>(cookie);
    while (!source.failed) {
        const ssize_t n = source.positional ? ReadThroughCache(source, buffer, size)
                                            : source.read(source.fd, buffer, size);
        if (n >= 0) {
            if (source.position >= 0)
                source.position += n;
            return n;
        }
        if (errno != EINTR) {
            source.failed = true;
            source.failedAt = source.position >= 0 ? source.position : lseek(source.fd, 0, SEEK_CUR);
        }
    }
    return 0;
}

// After a failed read the file ends where that read began, so whoever
// measures the file from then on sees it end there.
int SeekSource(void* cookie, off64_t* offset, int whence)
{
    Source& source = *static_cast<Source*>(cookie);
    if (whence == SEEK_CUR && *offset == 0 && source.position >= 0) {
        *offset = source.position;
        return 0;
    }
    if (source.failed && whence == SEEK_END && source.failedAt >= 0) {
        *offset += source.failedAt;
        whence = SEEK_SET;
    }
    if (source.positional) {
        off_t base = whence == SEEK_CUR ? source.position : 0;
        if (whence == SEEK_END) {
            struct stat status {};
            if (source.size < 0 && fstat(source.fd, &status) != 0)
                return -1;
            base = source.size >= 0 ? source.size : status.st_size;
        }
        if (*offset < -base) {
            errno = EINVAL;
            return -1;
        }
        source.position = base + *offset;
        *offset = source.position;
        return 0;
    }
    const off_t to = lseek(source.fd, *offset, whence);
    if (to < 0)
        return -1;
    source.position = to;
    *offset = to;
    return 0;
}

// The streams open now with their sources, for OpenReadStreamView.
std::mutex& OpenStreamsLock()
{
    static std::mutex lock;
    return lock;
}

std::vector<std::pair<FILE*, const Source*>>& OpenStreams()
{
    static std::vector<std::pair<FILE*, const Source*>> streams;
    return streams;
}

int CloseSource(void* cookie)
{
    Source* source = static_cast<Source*>(cookie);
    {
        const std::lock_guard<std::mutex> hold(OpenStreamsLock());
        auto& streams = OpenStreams();
        streams.erase(std::remove_if(streams.begin(), streams.end(),
                                     [source](const auto& entry) { return entry.second == source; }),
                      streams.end());
    }
    const int result = close(source->fd);
    delete source;
    return result;
}

}  // namespace

namespace {

FILE* OpenSource(int fd, ReadFunction read, off_t position, off_t size)
{
    auto* source = new Source;
    source->fd = fd;
    source->read = read ? read : ::read;
    source->position = position;
    source->positional = source->read == ::read && source->position >= 0;
    source->size = source->positional ? size : -1;
    FILE* fp = fopencookie(source, "rb", {ReadSource, nullptr, SeekSource, CloseSource});
    if (!fp) {
        CloseSource(source);
        return nullptr;
    }
    if (source->positional) {
        source->streamBuffer.reset(new (std::nothrow) char[Source::kStreamBufferBytes]);
        if (source->streamBuffer)
            std::setvbuf(fp, source->streamBuffer.get(), _IOFBF, Source::kStreamBufferBytes);
    }
    // One thread at a time reads a stream (another thread reads through a
    // view of its own), so the library need not lock it for every byte.
    __fsetlocking(fp, FSETLOCKING_BYCALLER);
    // A stream learns its file offset from its first seek; until then the
    // library asks the source for it on every ftell.
    if (position >= 0)
        fseeko(fp, position, SEEK_SET);
    try {
        const std::lock_guard<std::mutex> hold(OpenStreamsLock());
        OpenStreams().emplace_back(fp, source);
    } catch (const std::bad_alloc&) {
        // Without its entry the stream only has no views.
    }
    return fp;
}

}  // namespace

FILE* OpenReadStream(int fd, ReadFunction read)
{
    return OpenSource(fd, read, lseek(fd, 0, SEEK_CUR), -1);
}

FILE* OpenFileReadStream(int fd, off_t size)
{
    return OpenSource(fd, nullptr, 0, size);
}

FILE* OpenReadStreamView(FILE* stream)
{
    int fd = -1;
    {
        const std::lock_guard<std::mutex> hold(OpenStreamsLock());
        for (const auto& [fp, source] : OpenStreams())
            if (fp == stream && source->read == ::read)
                fd = source->fd;
    }
    return fd < 0 ? nullptr : OpenPositionalReadStream(fd);
}
