#pragma once
// The side file "<path>.decompress" of a compressed SWF file, written so that
// nothing but a regular file at that name is ever replaced. The body goes to
// a new file in the same folder, created exclusively and never through a
// link; only when it is complete is it renamed over the name, and only when
// what stands there then is a regular file or nothing. A symbolic link, a
// FIFO, a device or a directory at the name is left as it is, and so is
// whatever the link points to. On any failure (a full disk, a refused
// rename) the new file is removed, so the name never holds a half-written
// body.
#include <cstdio>
#include <string>

#include "core/read_stream.h"

class CSideFile {
public:
    explicit CSideFile(std::string name) : name_(std::move(name)) {}
    // Removes the new file unless Commit put it in place.
    ~CSideFile();
    CSideFile(const CSideFile&) = delete;
    CSideFile& operator=(const CSideFile&) = delete;

    // Creates the new file beside the name, open for writing; null when the
    // folder refuses it (read-only, full, missing).
    FILE* Create();
    // Checks that every write reached the file and moves it to the name;
    // returns it open for reading from its start, or null when the body is
    // incomplete or the name holds something other than a regular file.
    FilePtr Commit();

private:
    std::string name_;
    std::string temporary_;
    FilePtr file_;
};
