#pragma once
// Decodes the frames of a GIF from what its analysis recorded (the offsets
// of each image's colour table and data), and composes them as a browser
// shows them (CGifComposer): frame k's picture is the canvas after frames 0
// to k. Frames go one after the other; DecodeFrame gives any one frame on
// its own, composing those before it.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

#include "codec/gif_composer.h"
#include "codec/gif_lzw_decoder.h"
#include "gif/gif_records.h"

// How one frame's decoding went.
struct GifFrameOutcome {
    GifLzwResult lzw;
    GifFrameResult composed;
    bool drawn = false;   // composed onto the canvas (not just checked)
};

class CGifFrameSource {
public:
    // A frame keeps at most this many indices (as many as the largest
    // canvas has pixels); the rest of a larger frame is decoded and checked
    // but not drawn.
    static constexpr uint64_t kMaxFrameIndices = CGifComposer::kMaxCanvasBytes / 4;

    // Receives the picture row by row, top first: width RGBA pixels,
    // straight alpha.
    using RowSink = std::function<void(uint32_t y, const uint8_t* rgba, uint32_t width)>;

    // fp must stay open, record alive, while the source is used.
    CGifFrameSource(FILE* fp, const GifPictureRecord& record);
    ~CGifFrameSource();
    CGifFrameSource(const CGifFrameSource&) = delete;
    CGifFrameSource& operator=(const CGifFrameSource&) = delete;

    // Whether the screen is too large to compose, and why.
    bool Refused() const { return composer_.Refused(); }
    const char* Reason() const { return composer_.Reason(); }
    size_t NextFrame() const { return next_; }

    // Decodes the next frame and, when compose is true and the screen was
    // not refused, composes it. Once a frame was only checked, the canvas no
    // longer follows the file and no later frame is composed. False when no
    // frame is left.
    bool Next(bool compose, GifFrameOutcome& outcome);
    // The canvas as the last composed frame left it.
    void Rows(const RowSink& sink) const;

    // Frame k of the file, composed after the frames before it, into sink;
    // false when the file has no frame k or the screen cannot be composed.
    static bool DecodeFrame(FILE* fp, const GifPictureRecord& record, size_t k, const RowSink& sink,
                            GifFrameOutcome* outcome = nullptr);

private:
    GifLzwResult DecodeIndices(const GifFrameRecord& frame, std::span<uint8_t> indices);
    std::vector<uint8_t> Palette(const GifFrameRecord& frame);

    FILE* fp_;
    const GifPictureRecord& record_;
    uint64_t fileSize_;
    CGifComposer composer_;
    size_t next_ = 0;
    bool following_ = true;   // every frame so far was composed
    std::unique_ptr<uint8_t[]> indices_;
    uint64_t indexCapacity_ = 0;
};
