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
