#pragma once
// Result lines: texts of at most 511 bytes (a 512-byte buffer with its NUL).
// Texts are UTF-8; a cut never splits a multi-byte character.
#include <cstddef>
#include <string>

inline constexpr size_t kLineBufferSize = 512;
inline constexpr size_t kMaxLineBytes = kLineBufferSize - 1;

// Length of the longest prefix of text[0, length) of at most maxBytes bytes
// that does not end inside a UTF-8 sequence.
size_t CharBoundaryPrefix(const char* text, size_t length, size_t maxBytes);

// Copies src into a 512-byte buffer, cut at a character boundary.
void CopyLine(char* dst, const char* src);

// Appends text to a result cell; the cell keeps at most 511 bytes, and what
// does not fit is cut at a character boundary.
void AppendWithinLimit(std::string& cell, const char* text);

// The file name part of a path: what follows its last '/', or the whole path.
std::string PathFileName(const std::string& path);
