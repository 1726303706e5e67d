#pragma once
// The stream every analysis reads: a read-only C stream over a file
// descriptor on which a failed read counts as the end of the file. The
// analyzers end their walks at the end-of-file indicator, and a stream whose
// reads fail without setting it (EIO from a failing disk) would keep them
// reading; here the first failure ends the file for good, so the analysis
// ends quietly with the lines read before it.
#include <sys/types.h>

#include <cstddef>
#include <cstdio>
#include <memory>

struct FileCloser {
    void operator()(FILE* fp) const { std::fclose(fp); }
};
using FilePtr = std::unique_ptr<FILE, FileCloser>;

using ReadFunction = ssize_t (*)(int fd, void* buffer, size_t size);

// Takes over fd, which is closed with the stream (or at once when no stream
// can be made). read is how bytes are taken from fd: read(2) unless a test
// puts a failing device in its place.
FILE* OpenReadStream(int fd, ReadFunction read = nullptr);

// The same for a regular file just opened (at offset 0) whose size is size:
// the stream asks the system for neither, and seeks from the end count from
// that size, so that a file written to while it is analysed is walked as it
// was when opened.
FILE* OpenFileReadStream(int fd, off_t size);

// A second stream over the file of stream, which OpenReadStream made, for
// another thread to read while stream is in use: it keeps its own position
// and reads with positional reads, so that neither stream moves the other,
// and a failed read ends its file as it does for stream. Close it before
// stream. Null for any other stream, for one whose reads a test replaces,
// or when no stream can be made.
FILE* OpenReadStreamView(FILE* stream);
