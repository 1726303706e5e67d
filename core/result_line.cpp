#include "core/result_line.h"

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
