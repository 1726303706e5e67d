#pragma once
// An ICC profile carried in APP2 segments: each segment holds one chunk, with
// its sequence number and the count of chunks (ICC.1, Annex B.4). The chunks
// are collected during the walk; the profile is laid out once all are known.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "core/format_table.h"
#include "core/result_line.h"
#include "core/line_tree.h"

class CIccChunks {
public:
    // One chunk: its numbers, where its profile bytes lie, whether the file
    // holds them all, and the line the profile goes under.
    struct Chunk {
        uint32_t sequence = 0;
        uint32_t count = 0;
        FilePiece data;
        bool whole = false;
        LineId item = 0;
    };

    void Add(const Chunk& chunk);

    // After the walk: the profile assembled from its chunks is laid out under
    // the first chunk's line; when a chunk is missing, repeated, cut short or
    // counts differently, a line there says that it is not.
    void Finish(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp) const;

    // Every chunk 1..count once, all with the same count, all whole: the
    // profile's pieces in order; empty otherwise.
    std::vector<FilePiece> Pieces() const;

    // Lays out the profile whose bytes are those of pieces under parent,
    // unless it is too short to hold its header.
    static void LayOutProfile(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp,
                              std::span<const FilePiece> pieces, LineId parent);

private:
    std::vector<Chunk> chunks_;
    // More chunks than sequence numbers (one byte) means some repeat: they
    // are counted, not kept.
    uint32_t dropped_ = 0;
};
