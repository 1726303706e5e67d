#pragma once
// The rules of PNG Third Edition 5.6 on which chunks a file holds and in
// what order, checked chunk by chunk as the walk meets them: IHDR first and
// once, IEND last, PLTE before the image data, the IDAT chunks one after
// another, the chunks that must precede PLTE or IDAT, and those that may
// appear only once. APNG's acTL precedes the image data too.
#include <cstdint>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "png/png_chunk.h"

class CPngChunkOrder {
public:
    explicit CPngChunkOrder(CAnalysisRun& run) : run_(run) {}

    // The next chunk of the file, whose line is line; colourType is the
    // IHDR's, -1 while none has been read.
    void Take(const PngChunk& chunk, LineId line, int colourType);
    // After the walk: what the file lacks. fileEnd is where the walk ended.
    void Finish(uint64_t fileEnd, bool iendSeen, int colourType);

private:
    void Report(AnomalySeverity severity, const char* kind, const PngChunk& chunk, const std::string& text,
                LineId line);
    void CheckPlace(const PngChunk& chunk, LineId line, int colourType);
    void CheckOnce(const PngChunk& chunk, LineId line);

    CAnalysisRun& run_;
    uint32_t chunks_ = 0;
    bool ihdr_ = false;
    bool plte_ = false;
    bool idat_ = false;
    bool idatEnded_ = false;   // a chunk other than IDAT followed the image data
    std::vector<uint32_t> seen_;   // the types met, each once
    std::vector<uint32_t> beforePlte_;   // after-PLTE chunks met while no PLTE had come
};
