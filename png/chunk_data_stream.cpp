#include "png/chunk_data_stream.h"

#include <algorithm>

#include "core/stream_size.h"

CChunkDataStream::CChunkDataStream(FILE* file, std::span<const FilePiece> pieces)
{
    source_.file = file;
    source_.pieces.assign(pieces.begin(), pieces.end());
    // The inflater only reads forward: the stream needs no seek.
    stream_ = fopencookie(&source_, "rb", {Read, nullptr, nullptr, nullptr});
}

CChunkDataStream::~CChunkDataStream()
{
    if (stream_)
        std::fclose(stream_);
}

ssize_t CChunkDataStream::Read(void* cookie, char* buffer, size_t size)
{
    Source& s = *static_cast<Source*>(cookie);
    // Empty pieces (IDAT chunks of no data) are passed over; each pass
    // moves to the next piece or reads, so the loop ends with the pieces.
    while (s.piece < s.pieces.size()) {
        const FilePiece& piece = s.pieces[s.piece];
        if (s.inPiece >= piece.size) {
            ++s.piece;
            s.inPiece = 0;
            continue;
        }
        if (!SeekStream(s.file, piece.offset + s.inPiece))
            return 0;
        const size_t want = static_cast<size_t>(std::min<uint64_t>(size, piece.size - s.inPiece));
        const size_t got = std::fread(buffer, 1, want, s.file);
        s.inPiece += got;
        return static_cast<ssize_t>(got);
    }
    return 0;
}
