#pragma once
// The size of an open file, leaving its position where it was.
#include <cstdint>
#include <cstdio>

// 0 when the stream cannot be measured.
uint64_t StreamSize(FILE* fp);
