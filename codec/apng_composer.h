#pragma once
// Composes the frames of an animated PNG into the pictures a viewer shows,
// following the APNG specification: the canvas starts fully transparent
// black; each frame (fcTL) covers a rectangle of the canvas and is either
// copied over it (blend_op 0, source) or composited onto it (blend_op 1,
// over); once the frame has been shown its rectangle is left as it is
// (dispose_op 0), cleared to transparent black (1) or put back as it was
// before the frame (2). The disposal is carried out when the next frame
// begins, so Canvas() after EndFrame() is the picture shown for the frame.
// dispose_op 2 on the first frame means 1, as the APNG specification says.
//
// "Over" works on straight (not premultiplied) alpha, source s over
// destination d, all values 0 to 255:
//   s.a == 0:  out = d
//   else:      A255  = s.a * 255 + d.a * (255 - s.a)          (out alpha * 255)
//              k     = s.a * 255 * 255 * 128 / A255            (source weight, 7 fraction bits, truncated)
//              out.c = D255(s.c * k + d.c * (255 * 128 - k) + 128 * 128) >> 7   for c in r, g, b
//              out.a = D255(A255 + 128)
// where D255(x) = ((x >> 8) + x) >> 8 divides by 255. This is the integer
// form Pillow's Image.alpha_composite uses; the tests compare with it.
#include <cstdint>
#include <vector>

// The fields of an fcTL chunk the composition needs.
struct ApngFrameControl {
    uint32_t width = 0;
    uint32_t height = 0;
    uint32_t xOffset = 0;
    uint32_t yOffset = 0;
    uint16_t delayNumerator = 0;
    uint16_t delayDenominator = 0;
    uint8_t disposeOp = 0;
    uint8_t blendOp = 0;
};

class CApngComposer {
public:
    // The canvas in RGBA.
    static constexpr uint64_t kMaxCanvasBytes = uint64_t{256} << 20;

    // The canvas is the IHDR's width and height.
    CApngComposer(uint32_t canvasWidth, uint32_t canvasHeight);

    // Null while frames can be composed; else why not (a canvas of no pixels
    // or above kMaxCanvasBytes).
    const char* Problem() const { return problem_; }

    // Disposes of the previous frame and starts this one (a frame still
    // open is ended first). False, with
    // Reason() saying why, for a frame of no pixels, one that reaches past
    // the canvas, an unknown dispose_op or blend_op, or a canvas that cannot
    // be used; the canvas is then left as it is and the frame's rows are
    // ignored.
    bool BeginFrame(const ApngFrameControl& frame);
    // Row y of the frame's own picture (frame.width RGBA pixels, as
    // CPngDecoder hands them on). Rows of a frame that was refused, and rows
    // below the frame, are ignored.
    void FrameRow(uint32_t y, const uint8_t* rgba);
    void EndFrame();

    // The composed picture, canvasWidth x canvasHeight RGBA; empty until the
    // first frame begins.
    const std::vector<uint8_t>& Canvas() const { return canvas_; }
    const char* Reason() const { return reason_; }
    uint32_t Width() const { return width_; }
    uint32_t Height() const { return height_; }

private:
    void Dispose();

    uint32_t width_;
    uint32_t height_;
    const char* problem_ = nullptr;
    const char* reason_ = "";
    std::vector<uint8_t> canvas_;
    std::vector<uint8_t> saved_;  // dispose_op 2: the frame's rectangle before the frame
    ApngFrameControl frame_;      // the frame being drawn, or the last one shown
    bool inFrame_ = false;
    bool disposePending_ = false; // frame_ has been shown and awaits its disposal
    bool firstFrame_ = true;
};
