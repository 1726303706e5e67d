#include "core/read_stream.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace {

struct Source {
    int fd;
    ReadFunction read;
    bool failed = false;
    off_t failedAt = 0;   // where the failed read began
};

ssize_t ReadSource(void* cookie, char* buffer, size_t size)
{
    Source& source = *static_cast<Source*>(cookie);
    while (!source.failed) {
        const ssize_t n = source.read(source.fd, buffer, size);
        if (n >= 0)
            return n;
        if (errno != EINTR) {
            source.failed = true;
            source.failedAt = lseek(source.fd, 0, SEEK_CUR);
        }
    }
    return 0;
}

// After a failed read the file ends where that read began, so whoever
// measures the file from then on sees it end there.
int SeekSource(void* cookie, off64_t* offset, int whence)
{
    const Source& source = *static_cast<Source*>(cookie);
    if (source.failed && whence == SEEK_END && source.failedAt >= 0) {
        *offset += source.failedAt;
        whence = SEEK_SET;
    }
    const off_t to = lseek(source.fd, *offset, whence);
    if (to < 0)
        return -1;
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

// A view reads the source's descriptor at its own position; its first
// failed read ends its file where that read began, as for the source.
struct View {
    int fd;
    off64_t position = 0;
    bool failed = false;
    off64_t failedAt = 0;
};

ssize_t ReadView(void* cookie, char* buffer, size_t size)
{
    View& view = *static_cast<View*>(cookie);
    while (!view.failed) {
        const ssize_t n = pread64(view.fd, buffer, size, view.position);
        if (n >= 0) {
            view.position += n;
            return n;
        }
        if (errno != EINTR) {
            view.failed = true;
            view.failedAt = view.position;
        }
    }
    return 0;
}

int SeekView(void* cookie, off64_t* offset, int whence)
{
    View& view = *static_cast<View*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR) {
        base = view.position;
    } else if (whence == SEEK_END) {
        // Measured without moving the descriptor's offset, which the source
        // stream reads from.
        struct stat64 status;
        if (view.failed)
            base = view.failedAt;
        else if (fstat64(view.fd, &status) == 0)
            base = status.st_size;
        else
            return -1;
    }
    if (*offset < -base)
        return -1;
    view.position = base + *offset;
    *offset = view.position;
    return 0;
}

int CloseView(void* cookie)
{
    delete static_cast<View*>(cookie);
    return 0;
}

}  // namespace

FILE* OpenReadStream(int fd, ReadFunction read)
{
    auto* source = new Source{fd, read ? read : ::read};
    FILE* fp = fopencookie(source, "rb", {ReadSource, nullptr, SeekSource, CloseSource});
    if (!fp) {
        CloseSource(source);
        return nullptr;
    }
    try {
        const std::lock_guard<std::mutex> hold(OpenStreamsLock());
        OpenStreams().emplace_back(fp, source);
    } catch (const std::bad_alloc&) {
        // Without its entry the stream only has no views.
    }
    return fp;
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
    if (fd < 0)
        return nullptr;
    auto* view = new (std::nothrow) View{fd};
    if (!view)
        return nullptr;
    FILE* fp = fopencookie(view, "rb", {ReadView, nullptr, SeekView, CloseView});
    if (!fp)
        delete view;
    return fp;
}
