#include "core/xmp_packet.h"

#include <algorithm>

#include "core/file_text.h"
#include "core/result_text.h"

namespace {

bool Blank(const uint8_t* text, size_t length)
{
    return std::all_of(text, text + length, [](uint8_t c) { return c == ' ' || c == '\t' || c == '\0'; });
}

}  // namespace

LineId AppendXmpPacket(const CTreeWriter& out, LineId parent, std::span<const uint8_t> packet, uint64_t offset)
{
    const size_t size = packet.size();
    const LineId head = out.Insert(parent,
                                   ResultLine("[%08lx] XMP Packet 0x%08lX - 0x%08lX (%zu [byte])", offset, offset,
                                              offset + size - 1, size),
                                   ByteRange{offset, offset + size});
    const uint8_t* data = packet.data();
    for (size_t start = 0; start < size;) {
        size_t stop = start;
        while (stop < size && data[stop] != '\n' && data[stop] != '\r')
            ++stop;
        if (!Blank(data + start, stop - start)) {
            const std::string text = FileText(reinterpret_cast<const char*>(data + start), stop - start, kMaxLineBytes);
            out.Insert(head, ResultLine("[%08lx] %s", offset + start, text.c_str()),
                       ByteRange{offset + start, offset + stop});
        }
        // CR LF ends one line.
        if (stop + 1 < size && data[stop] == '\r' && data[stop + 1] == '\n')
            ++stop;
        start = stop + 1;
    }
    out.Expand(head);
    return head;
}
