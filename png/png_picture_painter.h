#pragma once
// Draws the pictures of a PNG file into the run's bitmaps: each picture's
// RGBA rows, as CPngPictureDecoder gives them, put in front of the file's
// background colour (bKGD) or, without one, the checkerboard that shows
// where the picture is transparent.
#include <cstdint>
#include <functional>
#include <string>

#include "core/analysis_run.h"
#include "png/png_picture_decoder.h"

class CPngPicturePainter {
public:
    // The bitmaps of one file's pictures together take at most this much
    // memory: an animation of many frames of a large canvas gets its first
    // frames drawn, not all of them.
    static constexpr uint64_t kMaxBitmapBytes = uint64_t{512} << 20;

    // Called for a picture whose data ended before its last row, ran on
    // after it or held a filter type above 4, with the picture's index and
    // how its decode went.
    using DataProblem = std::function<void(size_t picture, const PngPictureOutcome& outcome)>;

    CPngPicturePainter(const AnalysisRequest& request, const PngPictureRecord& record)
        : request_(request), record_(record)
    {
    }

    // Draws every picture, records how each decode went.
    void DrawAll(const DataProblem& problem);

private:
    // One picture; false when the analysis was cancelled or the pictures
    // have taken their memory.
    bool Draw(CPngPictureDecoder& decoder, size_t picture, const DataProblem& problem);

    const AnalysisRequest& request_;
    const PngPictureRecord& record_;
    uint64_t bitmapBytes_ = 0;   // taken by the pictures drawn so far
};
