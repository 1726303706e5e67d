#pragma once
// A read-only stream of its own over a stream that several threads read: it
// keeps its own position and takes its bytes from the shared stream under a
// lock, seeking there before each read. Decoders on different threads can
// so read one file each as if it were theirs alone, and every byte they see
// is the byte the shared stream gives at that position, the end of the file
// included.
#include <cstdio>
#include <mutex>

// The stream reads from shared while it is open; close it with fclose
// before shared is closed. Null when no stream can be made.
FILE* OpenSharedReadStream(FILE* shared, std::mutex& lock);

// A read-only stream over the file open as fd that reads with positional
// reads at a position of its own, so that it never moves fd's offset and
// can be read beside whatever else reads fd. Its first failed read ends its
// file where that read began. Close it before fd. Null when no stream can
// be made.
FILE* OpenPositionalReadStream(int fd);
