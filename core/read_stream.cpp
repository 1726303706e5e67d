#include "core/read_stream.h"

#include <unistd.h>

#include <cerrno>

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

int CloseSource(void* cookie)
{
    Source* source = static_cast<Source*>(cookie);
    const int result = close(source->fd);
    delete source;
    return result;
}

}  // namespace

FILE* OpenReadStream(int fd, ReadFunction read)
{
    auto* source = new Source{fd, read ? read : ::read};
    FILE* fp = fopencookie(source, "rb", {ReadSource, nullptr, SeekSource, CloseSource});
    if (!fp)
        CloseSource(source);
    return fp;
}
