#pragma once
// Draws the fax pictures (modified Huffman, T.4 and T.6 strips and tiles) of
// one TIFF analysis. A fax document is many pages of one picture each; with
// more than one decoding thread, each page is queued as the analysis meets
// it and drawn on a thread of its own, reading the file through a stream of
// its own, while the analysis goes on to the next IFD. Finish, at the end of
// the analysis, draws what still waits on the caller's thread as well, waits
// for the rest and ends every thread the pages had. A page alone gets the
// fax decoder's painting thread.
//
// The pictures are the same as when every page is drawn at once on the
// analysis's own thread, and so is the file's position at the end: where the
// last page's decoding left it, unless the analysis has moved the file since.
// With one decoding thread, or a file that cannot be read from two threads
// (a stream that no analysis file stream made), every page is drawn at once,
// on the analysis's file.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

#include "image/sample_writer.h"
#include "tiff/tiff_segment.h"

class CFaxDecoder;

class CFaxPages {
public:
    struct Page {
        std::vector<TiffSegment> segments;
        uint32_t mode = 0;          // a CFaxDecoder mode
        bool lowBitFirst = false;   // FillOrder 2
        bool blackIsZero = false;   // PhotometricInterpretation 1: the decoded pixels are inverted
        CSampleWriter::Picture picture;
        size_t index = 0;           // handed to the drawn callback
    };

    // threads: the threads the drawing may use (CDecodeThreads::Limit).
    // drawn is called with each page's index once the page is drawn, on the
    // thread that drew it.
    CFaxPages(FILE* file, uint32_t threads, std::function<void(size_t index)> drawn);
    // Waits for every page being drawn; an error that no Finish has
    // reported is dropped.
    ~CFaxPages();
    CFaxPages(const CFaxPages&) = delete;
    CFaxPages& operator=(const CFaxPages&) = delete;

    // Draws the page, or queues it. The picture's pixel memory must stay
    // until Finish has returned or the object is gone.
    void Add(Page page);
    // The analysis has moved the file since the last Add: Finish leaves it.
    void FileMoved() { restore_ = false; }
    // Returns once every page is drawn and every thread drawing them has
    // ended. An exception that drawing a page threw (running out of memory)
    // is thrown again here; pages queued after it are not drawn.
    void Finish();

private:
    struct Worker {
        std::thread thread;
        FILE* stream = nullptr;
        std::unique_ptr<CFaxDecoder> decoder;
    };

    // Draws page reading stream; *end receives the stream's position after
    // the last strip or tile it read, or -1 when it read none.
    static void Draw(const Page& page, FILE* stream, CFaxDecoder& decoder, long* end);
    // Draws waiting pages, oldest first: all of them, or with incoming a
    // number of segments about to be queued, as many as keep the waiting
    // segments within kMaxWaitingSegments.
    static constexpr size_t kAllPages = SIZE_MAX;
    static constexpr size_t kMaxWaitingSegments = size_t{1} << 16;
    // Each waiting page holds its picture's memory: a document of thousands
    // of pages keeps only a few waiting, so that the pictures drawn and
    // handed on are all it holds at once.
    static constexpr size_t kMaxWaitingPages = 8;
    void TakePages(Worker& worker, size_t incoming);
    void Run(Worker& worker);
    void EndThreads();
    // A worker with its stream and decoder, or null.
    std::unique_ptr<Worker> MakeWorker();

    FILE* file_;
    bool parallel_ = false;
    uint32_t threads_ = 0;
    std::function<void(size_t)> drawn_;
    std::unique_ptr<CFaxDecoder> ownDecoder_;   // for pages drawn at once on the analysis's file
    std::unique_ptr<Worker> callerWorker_;        // the caller's stream and decoder when pages are queued

    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::pair<uint64_t, Page>> waiting_;   // with their numbers, in order
    std::vector<std::unique_ptr<Worker>> workers_;
    size_t waitingSegments_ = 0;    // strips and tiles of the waiting pages
    uint32_t drawing_ = 0;          // pages being drawn
    uint64_t added_ = 0;            // pages added so far
    uint64_t lastEndPage_ = 0;      // the number of the page whose end position is lastEnd_
    long lastEnd_ = -1;
    bool restore_ = false;          // the last page added read the file and the analysis has not moved it since
    bool stop_ = false;
    std::exception_ptr error_;
};
