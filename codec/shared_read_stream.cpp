#include "codec/shared_read_stream.h"

#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <new>

namespace {

struct View {
    FILE* shared;
    std::mutex* lock;
    off64_t position = 0;
};

ssize_t ReadView(void* cookie, char* buffer, size_t size)
{
    View& view = *static_cast<View*>(cookie);
    const std::lock_guard<std::mutex> hold(*view.lock);
    if (fseeko(view.shared, view.position, SEEK_SET) != 0)
        return 0;
    const size_t got = std::fread(buffer, 1, size, view.shared);
    view.position += static_cast<off64_t>(got);
    return static_cast<ssize_t>(got);
}

// Sets *position to base + *offset, the new position also in *offset; -1
// for a position before the file's start.
int MoveTo(off64_t base, off64_t* offset, off64_t* position)
{
    if (*offset < -base)
        return -1;
    *position = base + *offset;
    *offset = *position;
    return 0;
}

int SeekView(void* cookie, off64_t* offset, int whence)
{
    View& view = *static_cast<View*>(cookie);
    off64_t base = 0;
    if (whence == SEEK_CUR) {
        base = view.position;
    } else if (whence == SEEK_END) {
        const std::lock_guard<std::mutex> hold(*view.lock);
        if (fseeko(view.shared, 0, SEEK_END) != 0)
            return -1;
        base = ftello(view.shared);
        if (base < 0)
            return -1;
    }
    return MoveTo(base, offset, &view.position);
}

template <typename T>
int CloseCookie(void* cookie)
{
    delete static_cast<T*>(cookie);
    return 0;
}

// A positional view: its first failed read ends its file where that read
// began.
struct PositionalView {
    int fd;
    off64_t position = 0;
    bool failed = false;
    off64_t failedAt = 0;
};

ssize_t ReadPositional(void* cookie, char* buffer, size_t size)
{
    PositionalView& view = *static_cast<PositionalView*>(cookie);
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

int SeekPositional(void* cookie, off64_t* offset, int whence)
{
    PositionalView& view = *static_cast<PositionalView*>(cookie);
    off64_t base = whence == SEEK_CUR ? view.position : 0;
    if (whence == SEEK_END) {
        // Measured without moving fd's offset, which others read from.
        struct stat64 status;
        if (view.failed)
            base = view.failedAt;
        else if (fstat64(view.fd, &status) == 0)
            base = status.st_size;
        else
            return -1;
    }
    return MoveTo(base, offset, &view.position);
}

}  // namespace

FILE* OpenSharedReadStream(FILE* shared, std::mutex& lock)
{
    auto* view = new (std::nothrow) View{shared, &lock};
    if (!view)
        return nullptr;
    // Buffered as any stream (an unbuffered one would read byte by byte); a
    // seek fills the buffer, so a reader should seek only before it reads.
    FILE* fp = fopencookie(view, "rb", {ReadView, nullptr, SeekView, CloseCookie<View>});
    if (!fp)
        delete view;
    return fp;
}

FILE* OpenPositionalReadStream(int fd)
{
    auto* view = new (std::nothrow) PositionalView{fd};
    if (!view)
        return nullptr;
    FILE* fp = fopencookie(view, "rb", {ReadPositional, nullptr, SeekPositional, CloseCookie<PositionalView>});
    if (!fp)
        delete view;
    return fp;
}
