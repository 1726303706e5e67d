#pragma once
// The size of an open file, leaving its position where it was, and its
// position.
#include <cstdint>
#include <cstdio>

// 0 when the stream cannot be measured.
uint64_t StreamSize(FILE* fp);

// The position of an open file; 0 when it cannot be told.
uint64_t StreamPosition(FILE* fp);
