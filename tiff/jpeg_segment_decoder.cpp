#include "tiff/jpeg_segment_decoder.h"

#include <algorithm>

#include "codec/decode_threads.h"
#include "codec/jpeg_scan_decoder.h"
#include "tiff/segment_scratch.h"

namespace {

// Bytes of a strip or tile read for its marker segments. Most headers are a
// few dozen bytes: a header is looked for in the first KiB, and in up to
// 8 KiB only when it is not complete in the first.
constexpr uint64_t kMaxHeaderBytes = 8 * 1024;
constexpr uint64_t kFirstHeaderBytes = 1024;
// The bytes read with the header, so that most scans need no read of their
// own: as many as the segment's blocks are likely to take (a KiB and
// kBytesPerBlock a block), but no more than the segment and the few bytes
// after it that the decoder looks at ahead of the bits it uses, and at most
// what the decoder takes in one piece.
constexpr uint64_t kReadAhead = CJpegScanDecoder::kMaxAheadBytes;
constexpr uint64_t kBytesAfterSegment = 64;
constexpr uint64_t kBytesPerBlock = 64;
// Headers are read through a window of the file this large: the strips of a
// picture usually follow one another, and tiles may share their data.
constexpr uint64_t kWindowBytes = 64 * 1024;
// Segments whose headers are read before their scans are decoded, and the
// bytes they may hold together.
constexpr size_t kJobsAtOnce = 256;
constexpr size_t kBytesAtOnce = 4u << 20;

void Seek(FILE* fp, uint64_t position)
{
    std::fseek(fp, static_cast<long>(position), SEEK_SET);
}

}  // namespace

struct CJpegSegmentDecoder::Job {
    TiffSegment segment;
    CJpegScanDecoder::Frame frame;
    std::shared_ptr<const void> tables;   // what the frame's tables belong to
    std::vector<uint8_t> head;            // the bytes read from the segment's start
    size_t scanStart = 0;                 // of the entropy-coded data in head
    bool inPlace = false;                 // decoded straight into the picture
    bool spills = false;                  // its MCUs reach into later strips' rows
};

struct CJpegSegmentDecoder::Worker {
    CJpegScanDecoder decoder;
    CSegmentScratch scratch;
    FILE* stream = nullptr;
};

CJpegSegmentDecoder::CJpegSegmentDecoder(FILE* fp, const std::vector<uint8_t>& sharedTables, bool rgb,
                                         uint32_t threads)
    : fp_(fp), rgb_(rgb), threads_(threads)
{
    size_t scanStart = 0;
    tables_.Read(sharedTables.data(), sharedTables.size(), &scanStart);
}

CJpegSegmentDecoder::~CJpegSegmentDecoder() = default;

void CJpegSegmentDecoder::Decode(const std::vector<TiffSegment>& segments, const CSampleWriter::Picture& picture)
{
    // Planes of one picture cover the same pixels: those are decoded in order.
    const bool planar = std::any_of(segments.begin(), segments.end(), [](const TiffSegment& s) { return s.plane; });
    const uint32_t limit = CDecodeThreads::LimitFor(threads_, uint64_t{picture.width} * picture.height);
    StartWorkers(planar ? 1 : static_cast<uint32_t>(std::min<size_t>(limit, segments.size())));
    std::vector<Job> jobs;
    size_t bytes = 0;
    auto decodeJobs = [&] {
        bytes = 0;
        CDecodeThreads::ForEach(jobs.size(), static_cast<uint32_t>(workers_.size()),
                                [&](uint32_t worker, size_t job) { DecodeJob(*workers_[worker], jobs[job], picture); });
        jobs.clear();
    };
    for (const TiffSegment& s : segments) {
        Job job;
        if (!CSegmentScratch::MeetsView(picture, s.x, s.y, s.columns, s.rows) || !ReadHeader(s, picture, job))
            continue;
        const bool spills = job.spills;
        bytes += job.head.size();
        jobs.push_back(std::move(job));
        if (spills || jobs.size() == kJobsAtOnce || bytes >= kBytesAtOnce)
            decodeJobs();
    }
    decodeJobs();
}

void CJpegSegmentDecoder::StartWorkers(uint32_t threads)
{
    workers_.clear();
    streams_ = std::make_unique<CThreadStreams>(fp_, threads);
    for (uint32_t i = 0; i < streams_->Count(); ++i) {
        auto worker = std::make_unique<Worker>();
        worker->stream = (*streams_)[i];
        // The segments themselves are decoded in parallel.
        if (streams_->Count() > 1)
            worker->decoder.StayOnCallerThread();
        workers_.push_back(std::move(worker));
    }
}

bool CJpegSegmentDecoder::ReadHeader(const TiffSegment& s, const CSampleWriter::Picture& picture, Job& job)
{
    // A view's bitmap holds less than the picture; its segments lie in the
    // picture all the same.
    const uint32_t width = picture.view ? picture.width : std::min(picture.width, picture.bitmapWidth);
    const uint32_t height = picture.view ? picture.height : std::min(picture.height, picture.bitmapHeight);
    if (s.x >= width || s.y >= height)
        return false;
    // What the scan will likely take: a few bytes a block, and no more than
    // the segment with the bytes after it.
    const uint64_t blocks = std::min((uint64_t{s.columns} + 7) / 8 * ((uint64_t{s.rows} + 7) / 8) * 3, kReadAhead);
    const uint64_t ahead = std::min({std::min(s.size, kReadAhead) + kBytesAfterSegment, kReadAhead,
                                     kFirstHeaderBytes + blocks * kBytesPerBlock});
    const uint64_t first = std::min(s.size, kFirstHeaderBytes);
    const uint64_t most = std::min(s.size, kMaxHeaderBytes);
    std::vector<uint8_t>& data = job.head;
    uint64_t asked = std::max(ahead, first);
    ReadAt(s.offset, asked, data);
    bool headerRead = false;
    for (uint64_t want = first;; want = most) {
        if (want > asked && data.size() == asked)
            ReadAt(s.offset, asked = want, data);
        const size_t got = std::min<size_t>(data.size(), want);
        headerRead = tables_.Read(data.data(), got, &job.scanStart);
        if (headerRead || got < want || want == most)
            break;
    }
    CJpegScanDecoder::Frame& frame = job.frame;
    if (!headerRead || !tables_.BaselineFrame(frame, rgb_) || frame.width != s.columns || frame.height == 0)
        return false;
    frame.height = std::min(frame.height, s.rows);
    // MCUs reach past the frame's edge by up to 15 pixels: a strip whose
    // MCUs stay inside the bitmap is decoded in place.
    const uint64_t mcuHeight = 8u * frame.components[0].vertical;
    const uint64_t codedRows = (frame.height + mcuHeight - 1) / mcuHeight * mcuHeight;
    // A view of the picture takes every segment through a bitmap of its own.
    job.inPlace = !picture.view && s.x == 0 && frame.width == picture.width && s.y + codedRows <= picture.bitmapHeight;
    job.spills = job.inPlace && codedRows > s.rows && uint64_t{s.y} + s.rows < height;
    job.tables = tables_.TablesHandle();
    job.segment = s;
    return true;
}

void CJpegSegmentDecoder::ReadAt(uint64_t offset, uint64_t n, std::vector<uint8_t>& out)
{
    const uint64_t windowEnd = window_.start + window_.bytes.size();
    const bool inside = offset >= window_.start && offset <= windowEnd && (offset + n <= windowEnd || window_.atEnd);
    if (!inside) {
        window_.bytes.resize(std::max(n, kWindowBytes));
        Seek(fp_, offset);
        const size_t got = std::fread(window_.bytes.data(), 1, window_.bytes.size(), fp_);
        window_.atEnd = got < window_.bytes.size();
        window_.bytes.resize(got);
        window_.start = offset;
    }
    const uint64_t from = offset - window_.start;
    const uint64_t take = std::min(n, window_.bytes.size() - from);
    out.assign(window_.bytes.begin() + static_cast<ptrdiff_t>(from),
               window_.bytes.begin() + static_cast<ptrdiff_t>(from + take));
}

void CJpegSegmentDecoder::DecodeJob(Worker& worker, const Job& job, const CSampleWriter::Picture& picture)
{
    const TiffSegment& s = job.segment;
    const CJpegScanDecoder::Frame& frame = job.frame;
    CJpegScanDecoder::Target target;
    if (job.inPlace) {
        target = {picture.pixels, static_cast<int32_t>(picture.bitmapWidth),
                  static_cast<int32_t>(picture.bitmapHeight - s.y)};
    } else if (worker.scratch.Make(frame.width, frame.height)) {
        target = {worker.scratch.pixels.data(), static_cast<int32_t>(worker.scratch.width),
                  static_cast<int32_t>(worker.scratch.height)};
    } else {
        return;
    }
    // The decoder takes the bytes after those read from the stream, which it
    // seeks itself when it needs them.
    worker.decoder.Decode(worker.stream, job.head[job.scanStart - 1], frame, target,
                          {job.head.data() + job.scanStart, job.head.size() - job.scanStart, s.offset + job.scanStart});
    if (!job.inPlace)
        worker.scratch.CopyTo(picture, s.x, s.y, frame.width, frame.height);
}
