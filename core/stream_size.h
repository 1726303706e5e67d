#pragma once
// The size of an open file, leaving its position where it was, its
// position, and a seek that keeps what the stream has read ahead.
#include <cstdint>
#include <cstdio>

// 0 when the stream cannot be measured.
uint64_t StreamSize(FILE* fp);

// The position of an open file; 0 when it cannot be told.
uint64_t StreamPosition(FILE* fp);

// Moves the stream to offset, as fseek from the start does. A target among
// the bytes the C library holds read ahead (or has just handed out) is
// reached in its buffer: the library's own seek drops the buffer, and a walk
// that seeks before each field would otherwise read every one again. False
// when the stream cannot seek there.
bool SeekStream(FILE* fp, uint64_t offset);
