#include "core/result_text.h"

#include <cstring>

#include "core/file_text.h"

size_t CharBoundaryPrefix(const char* text, size_t length, size_t maxBytes)
{
    return Cp932Prefix(text, length, maxBytes);
}

void CopyLine(char* dst, const char* src)
{
    const size_t n = CharBoundaryPrefix(src, std::strlen(src), kMaxLineBytes);
    std::memcpy(dst, src, n);
    dst[n] = '\0';
}

void AppendWithinLimit(std::string& cell, const char* text)
{
    // No character takes more bytes in code page 932 than in UTF-8, so what
    // fits as UTF-8 fits as code page 932 and needs no measuring.
    const size_t length = std::strlen(text);
    if (cell.size() + length <= kMaxLineBytes) {
        cell.append(text, length);
        return;
    }
    const size_t used = Cp932Length(cell.data(), cell.size());
    if (used >= kMaxLineBytes)
        return;
    cell.append(text, CharBoundaryPrefix(text, length, kMaxLineBytes - used));
}

std::string PathFileName(const std::string& path)
{
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}
