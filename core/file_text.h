#pragma once
// Text taken from an analysed file, and how long a text is as a result line
// counts it. Files hold UTF-8 or, when written on Japanese systems, code
// page 932 (Shift_JIS); result lines are UTF-8. Line limits count bytes as
// code page 932 holds the text, so that a line keeps the same content
// whichever encoding the file used.
#include <cstddef>
#include <cstdint>
#include <string>

// Display text (UTF-8) of bytes[0, length) taken from a file. Valid UTF-8
// stands as it is; anything else is read as code page 932, and a byte that
// is neither becomes U+FFFD. At most maxBytes of the file's bytes are taken,
// never part of a character; *used (when given) receives how many were.
// When length exceeds maxBytes, an unfinished UTF-8 sequence at the very end
// (where the caller's read stopped) does not make the text non-UTF-8.
std::string FileText(const char* bytes, size_t length, size_t maxBytes = SIZE_MAX, size_t* used = nullptr);

// Whether bytes[0, length) is valid UTF-8.
bool IsUtf8(const char* bytes, size_t length);

// Length in bytes of the longest prefix of the UTF-8 text[0, length) that
// holds at most maxBytes bytes in code page 932 and ends at a character
// boundary. A character counts 1 when it is ASCII or half-width katakana,
// and 2 otherwise; U+FFFD counts 1 (it stands for one byte of a file that
// was neither encoding), and so does each byte that is not UTF-8.
size_t Cp932Prefix(const char* text, size_t length, size_t maxBytes);

// The code page 932 length of the UTF-8 text[0, length), counted as above.
size_t Cp932Length(const char* text, size_t length);
