#include "core/stream_size.h"

#include <climits>

uint64_t StreamSize(FILE* fp)
{
    const long here = std::ftell(fp);
    if (here < 0 || std::fseek(fp, 0, SEEK_END) != 0)
        return 0;
    const long end = std::ftell(fp);
    std::fseek(fp, here, SEEK_SET);
    return end < 0 ? 0 : static_cast<uint64_t>(end);
}

namespace {

#if defined(__GLIBC__)
// A stream reading bytes put back by ungetc that were not the last ones read
// keeps them in a buffer of their own (the library's _IO_IN_BACKUP flag),
// whose positions are not the file's.
constexpr int kInBackup = 0x100;

// Whether the stream's read buffer stands for the bytes of the file just
// before the library's file offset, which it then knows.
bool ReadBufferAtOffset(const FILE* fp)
{
    const char* next = fp->_IO_read_ptr;
    const char* end = fp->_IO_read_end;
    return fp->_offset >= 0 && !(fp->_flags & kInBackup) && fp->_IO_write_ptr == fp->_IO_write_base &&
           next <= end && end - next <= fp->_offset;
}
#endif

// The position as ftell tells it, without the library's lock and calls when
// the stream's own fields give it: the walks ask for it before most fields.
// -1 when it cannot be told.
int64_t Position(FILE* fp)
{
#if defined(__GLIBC__)
    if (ReadBufferAtOffset(fp))
        return fp->_offset - (fp->_IO_read_end - fp->_IO_read_ptr);
#endif
    return std::ftell(fp);
}

}  // namespace

uint64_t StreamPosition(FILE* fp)
{
    const int64_t here = Position(fp);
    return here < 0 ? 0 : static_cast<uint64_t>(here);
}

bool SeekStream(FILE* fp, uint64_t offset)
{
#if defined(__GLIBC__)
    const char* base = fp->_IO_read_base;
    const char* next = fp->_IO_read_ptr;
    const char* end = fp->_IO_read_end;
    if (base && next && end && base <= next && next <= end && !(fp->_flags & kInBackup) &&
        fp->_IO_write_ptr == fp->_IO_write_base) {
        const int64_t here = Position(fp);
        if (here >= 0) {
            const uint64_t first = static_cast<uint64_t>(here) - static_cast<uint64_t>(next - base);
            const uint64_t last = static_cast<uint64_t>(here) + static_cast<uint64_t>(end - next);
            if (offset >= first && offset <= last) {
                fp->_IO_read_ptr = fp->_IO_read_base + (offset - first);
                fp->_flags &= ~_IO_EOF_SEEN;
                return true;
            }
        }
    }
#endif
    return offset <= static_cast<uint64_t>(LONG_MAX) && std::fseek(fp, static_cast<long>(offset), SEEK_SET) == 0;
}
