#include "tiff/fax_pages.h"

#include <algorithm>
#include <system_error>

#include "codec/decode_threads.h"
#include "codec/fax_decoder.h"
#include "core/read_stream.h"
#include "tiff/segment_scratch.h"

CFaxPages::CFaxPages(FILE* file, uint32_t threads, std::function<void(size_t)> drawn)
    : file_(file), threads_(threads), drawn_(std::move(drawn))
{
    parallel_ = CDecodeThreads::Limit(threads_) > 1;
}

CFaxPages::~CFaxPages()
{
    EndThreads();
}

void CFaxPages::EndThreads()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
        waiting_.clear();
        waitingSegments_ = 0;
    }
    changed_.notify_all();
    for (const std::unique_ptr<Worker>& worker : workers_)
        worker->thread.join();
    for (const std::unique_ptr<Worker>& worker : workers_)
        std::fclose(worker->stream);
    workers_.clear();
    if (callerWorker_)
        std::fclose(callerWorker_->stream);
    callerWorker_.reset();
    // The decoders' painting threads end with them.
    ownDecoder_.reset();
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = false;
}

std::unique_ptr<CFaxPages::Worker> CFaxPages::MakeWorker()
{
    auto worker = std::make_unique<Worker>();
    worker->stream = OpenReadStreamView(file_);
    if (!worker->stream)
        return nullptr;
    worker->decoder = std::make_unique<CFaxDecoder>();
    worker->decoder->SetThreads(threads_);
    return worker;
}

void CFaxPages::Add(Page page)
{
    if (parallel_ && !callerWorker_) {
        // The caller's own stream, for the pages it draws in Finish; without
        // one the file cannot be read from two threads.
        callerWorker_ = MakeWorker();
        parallel_ = callerWorker_ != nullptr;
    }
    if (!parallel_) {
        if (!ownDecoder_)
            ownDecoder_ = std::make_unique<CFaxDecoder>();
        ownDecoder_->SetThreads(threads_);
        long end = -1;
        Draw(page, file_, *ownDecoder_, &end);
        drawn_(page.index);
        return;
    }
    // The lists of the waiting pages are bounded: beyond the bound the
    // caller draws waiting pages itself before it queues this one.
    TakePages(*callerWorker_, page.segments.size());
    const uint32_t width = std::min(page.picture.width, page.picture.bitmapWidth);
    const uint32_t height = std::min(page.picture.height, page.picture.bitmapHeight);
    const bool reads = std::any_of(page.segments.begin(), page.segments.end(),
                                   [&](const TiffSegment& s) { return s.x < width && s.y < height; });
    bool moreThreads = false;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const uint64_t number = ++added_;
        // Drawn at once, the page would leave the file after its last strip.
        restore_ = reads;
        if (reads) {
            lastEndPage_ = number;
            lastEnd_ = -1;
        }
        waitingSegments_ += page.segments.size();
        waiting_.emplace_back(number, std::move(page));
        // One thread a page, up to the decoding threads beside the caller's.
        moreThreads = workers_.size() + 1 < CDecodeThreads::Limit(threads_) && workers_.size() < waiting_.size() + drawing_;
    }
    changed_.notify_all();
    if (moreThreads) {
        std::unique_ptr<Worker> worker = MakeWorker();
        if (!worker)
            return;
        Worker& w = *worker;
        workers_.push_back(std::move(worker));
        try {
            w.thread = std::thread([this, &w] { Run(w); });
        } catch (const std::system_error&) {
            // The caller draws the page in Finish.
            std::fclose(w.stream);
            workers_.pop_back();
        }
    }
}

void CFaxPages::Finish()
{
    std::exception_ptr error;
    if (parallel_ && callerWorker_) {
        TakePages(*callerWorker_, kAllPages);
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return drawing_ == 0 && (waiting_.empty() || error_); });
        waiting_.clear();
        waitingSegments_ = 0;
        if (restore_ && lastEnd_ >= 0)
            std::fseek(file_, lastEnd_, SEEK_SET);
        restore_ = false;
        error = std::exchange(error_, nullptr);
    }
    // No thread this document started outlives its pictures.
    EndThreads();
    if (error)
        std::rethrow_exception(error);
}

void CFaxPages::TakePages(Worker& worker, size_t incoming)
{
    std::unique_lock<std::mutex> lock(mutex_);
    while (!waiting_.empty() && !error_ && !stop_ &&
           (incoming == kAllPages || waitingSegments_ + incoming > kMaxWaitingSegments ||
            waiting_.size() >= kMaxWaitingPages)) {
        auto [number, page] = std::move(waiting_.front());
        waiting_.pop_front();
        waitingSegments_ -= page.segments.size();
        // A page drawn while no other is gets the decoder's painting thread.
        worker.decoder->AllowPaintingThread(drawing_ == 0 && waiting_.empty());
        ++drawing_;
        lock.unlock();
        long end = -1;
        std::exception_ptr error;
        try {
            Draw(page, worker.stream, *worker.decoder, &end);
        } catch (...) {
            error = std::current_exception();
        }
        drawn_(page.index);
        lock.lock();
        --drawing_;
        if (error && !error_)
            error_ = error;
        if (number == lastEndPage_)
            lastEnd_ = end;
        changed_.notify_all();
    }
}

void CFaxPages::Run(Worker& worker)
{
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(mutex_);
            changed_.wait(lock, [this] { return (!waiting_.empty() && !error_) || stop_; });
            if (stop_)
                return;
        }
        TakePages(worker, kAllPages);
    }
}

void CFaxPages::Draw(const Page& page, FILE* stream, CFaxDecoder& decoder, long* end)
{
    const CSampleWriter::Picture& picture = page.picture;
    const uint32_t width = std::min(picture.width, picture.bitmapWidth);
    const uint32_t height = std::min(picture.height, picture.bitmapHeight);
    CSegmentScratch scratch;
    for (const TiffSegment& s : page.segments) {
        if (s.x >= width || s.y >= height)
            continue;
        std::fseek(stream, static_cast<long>(s.offset), SEEK_SET);
        const uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(s.size, CFaxDecoder::kUnknownByteCount));
        // A strip of whole rows is decoded in place; its first line goes to
        // memory row bitmapHeight - 1 - y. A tile goes through a bitmap of
        // its own.
        if (s.x == 0 && s.columns == picture.width) {
            decoder.Decode(stream, width, std::min(s.rows, height - s.y), picture.bitmapWidth,
                           picture.bitmapHeight - s.y, page.mode, picture.pixels, size, page.lowBitFirst);
        } else if (scratch.Make(s.columns, s.rows)) {
            decoder.Decode(stream, s.columns, s.rows, scratch.width, scratch.height, page.mode,
                           scratch.pixels.data(), size, page.lowBitFirst);
            scratch.CopyTo(picture, s.x, s.y, s.columns, s.rows);
        }
        *end = std::ftell(stream);
    }

    // The decoder draws the coding's white runs white. Fax coding writes
    // white runs for 0 bits; with BlackIsZero those bits are black.
    if (page.blackIsZero) {
        const size_t rowBytes = size_t{picture.bitmapWidth} * 3;
        for (uint32_t y = 0; y < height; ++y) {
            uint8_t* row = picture.pixels + (size_t{picture.bitmapHeight} - 1 - y) * rowBytes;
            for (size_t i = 0; i < size_t{width} * 3; ++i)
                row[i] = static_cast<uint8_t>(~row[i]);
        }
    }
}
