#pragma once
// Draws the strips or tiles of a TIFF image in new-style JPEG coding
// (Compression 7): the shared JPEGTables stream is read once, then each
// segment's abbreviated stream (its frame and scan header, perhaps with
// tables of its own) is decoded by the baseline scan decoder into its place
// in the picture.
//
// Segments are independent, so several are decoded at once on the decoding
// threads: the headers are read in order on the caller's thread, a batch at
// a time, and the batch's scans are then decoded in parallel, every thread
// reading the file through a stream of its own. The picture comes out as if
// the segments were decoded one after the other: segments cover separate
// pixels, and a strip whose MCUs reach into the rows of later strips is
// decoded before those are started. The file is taken to stay as it is
// while it is analysed: the headers are read through a window of it.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

#include "codec/jpeg_stream_parser.h"
#include "codec/thread_streams.h"
#include "image/sample_writer.h"
#include "tiff/tiff_segment.h"

class CJpegSegmentDecoder {
public:
    // sharedTables: the bytes of the JPEGTables stream, empty when there is
    // none; rgb: the components are red, green and blue rather than YCbCr;
    // threads: the threads the decoding may use (CDecodeThreads::LimitFor).
    CJpegSegmentDecoder(FILE* fp, const std::vector<uint8_t>& sharedTables, bool rgb, uint32_t threads);
    ~CJpegSegmentDecoder();
    CJpegSegmentDecoder(const CJpegSegmentDecoder&) = delete;
    CJpegSegmentDecoder& operator=(const CJpegSegmentDecoder&) = delete;

    void Decode(const std::vector<TiffSegment>& segments, const CSampleWriter::Picture& picture);

private:
    struct Job;
    struct Worker;
    bool ReadHeader(const TiffSegment& s, const CSampleWriter::Picture& picture, Job& job);
    void StartWorkers(uint32_t threads);
    // n bytes of the file from offset (fewer at its end), taken from the
    // window of the file read last when it holds them.
    void ReadAt(uint64_t offset, uint64_t n, std::vector<uint8_t>& out);
    void DecodeJob(Worker& worker, const Job& job, const CSampleWriter::Picture& picture);

    FILE* fp_;
    bool rgb_;
    uint32_t threads_;
    CJpegStreamParser tables_;
    std::vector<std::unique_ptr<Worker>> workers_;
    std::unique_ptr<CThreadStreams> streams_;
    struct Window {
        uint64_t start = 0;
        std::vector<uint8_t> bytes;
        bool atEnd = false;          // the read stopped at the end of the file
    } window_;
};
