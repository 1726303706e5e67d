#include "codec/shared_read_stream.h"

#include <sys/types.h>

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

FILE* OpenSharedReadStream(FILE* shared, std::mutex& lock)
{
    auto* view = new (std::nothrow) View{shared, &lock};
    if (!view)
        return nullptr;
    // Buffered as any stream (an unbuffered one would read byte by byte); a
    // seek fills the buffer, so a reader should seek only before it reads.
    FILE* fp = fopencookie(view, "rb", {ReadView, nullptr, SeekView, CloseView});
    if (!fp)
        delete view;
    return fp;
}
