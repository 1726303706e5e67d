#pragma once
// Result lines: texts of at most 511 bytes as code page 932 holds them (the
// line buffer of 512 bytes with its NUL). Texts are UTF-8, so a line takes
// up to three times that many bytes; a cut never splits a character.
#include <cstddef>
#include <string>

inline constexpr size_t kMaxLineBytes = 511;
// Room for a line of kMaxLineBytes in UTF-8, where one byte of code page 932
// (half-width katakana) takes three, and its NUL.
inline constexpr size_t kLineBufferSize = kMaxLineBytes * 3 + 1;

// Length in bytes of the longest prefix of text[0, length) that holds at most
// maxBytes bytes in code page 932 and does not end inside a character.
size_t CharBoundaryPrefix(const char* text, size_t length, size_t maxBytes);

// Copies src into a buffer of kLineBufferSize bytes, cut to a line's limit.
void CopyLine(char* dst, const char* src);

// Appends text to a result cell; the cell keeps at most 511 bytes as code
// page 932 counts them, and what does not fit is cut at a character boundary.
void AppendWithinLimit(std::string& cell, const char* text);

// The file name part of a path: what follows its last '/', or the whole path.
std::string PathFileName(const std::string& path);
