#pragma once
// Composes the frames of a GIF onto its logical screen as a web browser
// shows them, one frame after the other: the canvas after Compose is the
// picture shown for that frame.
//
// The canvas is RGBA with straight alpha, 4 bytes a pixel, rows of
// width * 4 bytes, and starts fully transparent: browsers ignore the logical
// screen's background colour index and show transparency there, and
// disposal 2 clears to transparent too (GIF89a's "restore to background
// colour" read the way browsers read it).
//
// Each frame's disposal (GIF89a section 23) is applied when the next frame
// begins: 0 and 1 leave the picture, 2 clears the frame's rectangle, 3 puts
// back what the rectangle held before the frame was drawn (for the first
// frame: the empty screen). Of the values GIF89a leaves undefined, 4 is
// taken as 3, as browsers take it after old writers that meant it so, and 5
// to 7 as 0.
//
// Drawing: pixels of the transparent index are skipped, everything outside
// the logical screen is clipped, an index beyond the palette draws opaque
// black (Wuffs, which Chromium uses, fills the unused palette entries so),
// and a frame without any palette draws opaque black throughout (Wuffs again:
// it starts from an all-black palette). Pixels beyond the valid ones (data
// that ended early) leave the canvas as it was.
#include <cstdint>
#include <span>
#include <vector>

struct GifFrame {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    std::span<const uint8_t> palette;  // RGB triples: the local table, or the global one; empty for none
    int transparentIndex = -1;         // -1: none
    uint8_t disposal = 0;              // 0..7 from the graphic control extension
};

struct GifFrameResult {
    uint64_t pixelsDrawn = 0;    // pixels written on the canvas
    uint64_t outOfPalette = 0;   // of those, indices beyond the palette (drawn opaque black)
    bool outsideScreen = false;  // some of the frame lies outside the logical screen and was clipped
    bool noPalette = false;      // the frame has no palette: drawn opaque black
    bool incomplete = false;     // fewer valid pixels than the frame has: the rest left as it was
};

class CGifComposer {
public:
    // 256 MiB: a screen of 8192 x 8192 pixels. A restore-to-previous frame
    // keeps a copy of its rectangle, at most as much again.
    static constexpr uint64_t kMaxCanvasBytes = uint64_t{256} << 20;

    // A screen whose canvas would exceed kMaxCanvasBytes is refused: nothing
    // is allocated and Compose draws nothing.
    CGifComposer(uint16_t screenWidth, uint16_t screenHeight);
    CGifComposer(const CGifComposer&) = delete;
    CGifComposer& operator=(const CGifComposer&) = delete;

    bool Refused() const { return refused_; }
    // Why the screen was refused, in Japanese; empty otherwise.
    const char* Reason() const { return refused_ ? kReasonTooLarge : ""; }

    // Applies the previous frame's disposal, then draws frame from indices
    // (width * height of them in stream order, interlaced or not), of which
    // the first validPixels were decoded.
    GifFrameResult Compose(const GifFrame& frame, std::span<const uint8_t> indices, uint64_t validPixels);

    std::span<const uint8_t> Canvas() const { return canvas_; }
    uint16_t Width() const { return width_; }
    uint16_t Height() const { return height_; }

private:
    static constexpr const char* kReasonTooLarge = "論理画面が大きすぎます";

    // A rectangle of the canvas, clipped to it.
    struct Area {
        uint32_t x0 = 0;
        uint32_t y0 = 0;
        uint32_t x1 = 0;
        uint32_t y1 = 0;
        bool Empty() const { return x0 >= x1 || y0 >= y1; }
    };
    enum class Disposal : uint8_t { Keep, Clear, Restore };

    struct Colours;
    void ApplyDisposal();
    void SaveArea(const Area& area);
    void DrawRows(const GifFrame& frame, const Area& area, std::span<const uint8_t> indices, uint64_t valid,
                  const Colours& colours, GifFrameResult& result);
    void DrawRow(uint32_t y, const uint8_t* row, uint32_t count, const Area& area, const Colours& colours,
                 GifFrameResult& result);

    uint16_t width_ = 0;
    uint16_t height_ = 0;
    bool refused_ = false;
    std::vector<uint8_t> canvas_;
    // The previous frame's disposal, waiting for the next frame.
    Disposal pending_ = Disposal::Keep;
    Area pendingArea_;
    std::vector<uint8_t> saved_;  // Restore: the area's rows as they were
};
