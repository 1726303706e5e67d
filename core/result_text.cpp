#include "core/result_text.h"

#include <cstring>

size_t CharBoundaryPrefix(const char* text, size_t length, size_t maxBytes)
{
    if (length <= maxBytes)
        return length;
    size_t cut = maxBytes;
    // Step back over continuation bytes (10xxxxxx) so that the byte at the
    // cut starts a character. Bytes that are not UTF-8 at all are cut as
    // they come: at most three steps are taken.
    for (int steps = 0; steps < 3 && cut > 0; ++steps) {
        if ((static_cast<unsigned char>(text[cut]) & 0xC0) != 0x80)
            break;
        --cut;
    }
    if ((static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        cut = maxBytes;
    return cut;
}

void CopyLine(char* dst, const char* src)
{
    const size_t n = CharBoundaryPrefix(src, std::strlen(src), kMaxLineBytes);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void AppendWithinLimit(std::string& cell, const char* text)
{
    if (cell.size() >= kMaxLineBytes)
        return;
    const size_t room = kMaxLineBytes - cell.size();
    cell.append(text, CharBoundaryPrefix(text, std::strlen(text), room));
}

std::string PathFileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
