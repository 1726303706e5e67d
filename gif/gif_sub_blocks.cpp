#include "gif/gif_sub_blocks.h"

#include "core/stream_size.h"

GifSubBlockRun CGifSubBlocks::Walk(FILE* fp, uint64_t at, uint64_t size, const Visitor& visit)
{
    GifSubBlockRun run;
    run.start = at;
    uint64_t pos = at;
    uint8_t data[255];
    while (pos < size) {
        if (!SeekStream(fp, pos))
            break;
        const int length = std::getc(fp);
        if (length == EOF)
            break;
        if (length == 0) {
            run.terminated = true;
            pos += 1;
            break;
        }
        const auto n = static_cast<size_t>(length);
        if (n > size - pos - 1) {
            run.pastEnd = true;
            pos = size;
            break;
        }
        ++run.count;
        run.dataBytes += n;
        pos += 1 + n;
        if (visit && (std::fread(data, 1, n, fp) != n || !visit(pos - n, data, n)))
            break;
    }
    run.end = pos < size ? pos : size;
    if (!run.terminated && pos >= size && !run.pastEnd)
        run.pastEnd = true;
    return run;
}

uint64_t CGifSubBlocks::OffsetOfData(FILE* fp, uint64_t at, uint64_t size, uint64_t dataPosition)
{
    uint64_t seen = 0;
    uint64_t found = size;
    Walk(fp, at, size, [&](uint64_t offset, const uint8_t*, size_t n) {
        if (dataPosition < seen + n) {
            found = offset + (dataPosition - seen);
            return false;
        }
        seen += n;
        return true;
    });
    return found;
}
