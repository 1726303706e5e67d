#include "core/result_line.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "core/file_text.h"
#include "core/result_text.h"

std::string ResultLineV(const char* format, va_list args)
{
    char buffer[kLineBufferSize];
    va_list copy;
    va_copy(copy, args);
    const int n = std::vsnprintf(buffer, sizeof buffer, format, copy);
    va_end(copy);
    if (n < 0)
        return std::string();
    // Whatever lies past the buffer cannot be within the line's limit: the
    // buffer holds kMaxLineBytes of the widest UTF-8 a code page 932 byte
    // becomes.
    const size_t length = std::strlen(buffer);
    if (!IsUtf8(buffer, length))
        return FileText(buffer, length, kMaxLineBytes);
    return std::string(buffer, CharBoundaryPrefix(buffer, length, kMaxLineBytes));
}

std::string ResultLine(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    std::string line = ResultLineV(format, args);
    va_end(args);
    return line;
}

std::string OffsetLine(uint64_t offset, std::string_view text)
{
    constexpr size_t kMinDigits = 8;
    char digits[16];
    size_t n = 0;
    for (uint64_t v = offset; v != 0 || n < kMinDigits; v >>= 4)
        digits[n++] = "0123456789abcdef"[v & 0x0F];
    const bool plain = std::all_of(text.begin(), text.end(), [](char c) { return c > 0 && c < 0x7F; });
    if (!plain || n + 3 + text.size() > kMaxLineBytes)
        return ResultLine("[%08lx] %s", static_cast<unsigned long>(offset), std::string(text).c_str());
    char line[kMaxLineBytes];
    size_t length = 0;
    line[length++] = '[';
    while (n > 0)
        line[length++] = digits[--n];
    line[length++] = ']';
    line[length++] = ' ';
    std::memcpy(line + length, text.data(), text.size());
    return std::string(line, length + text.size());
}
