#pragma once
// Turns a PNG picture's inflated image data (the zlib stream of the IDAT
// chunks, or of one APNG frame's fdAT chunks) into straight 8-bit RGBA rows.
//
// The decoder is the inflater's sink: bytes arrive in pieces of any size and
// are decoded as they come. Each row is a filter-type byte and the row's
// filtered bytes (PNG Third Edition 7.3); the five filters are undone against
// the row above, then the samples are widened to RGBA the way libpng does
// with png_set_expand, png_set_strip_16 and png_set_gray_to_rgb:
//   - samples of 1, 2 and 4 bits are scaled by bit replication (x255, x85,
//     x17), 16-bit samples keep their high byte;
//   - grey gives R = G = B;
//   - a grey or truecolour tRNS value makes the pixels equal to it
//     transparent (alpha 0), compared at the image's full depth before the
//     16-bit samples are cut; like libpng, only the value's low bitDepth bits
//     count (a value that does not fit the depth is a fault of the file);
//   - palette entries take their alpha from tRNS, 255 past its end; an
//     index past the palette gives opaque black and is counted.
//
// A picture without interlacing streams: only the previous and the current
// row are kept, and each row goes to the callback when it is complete. An
// Adam7 picture (PNG Third Edition 8.2) is built up pass by pass in an RGBA
// picture of its own size, which goes to the callback row by row once the
// last pass is complete or, when the data ends early, at Finish() with the
// passes decoded so far (the pixels no pass reached stay transparent black),
// as viewers show a picture that is still loading.
//
// Memory is taken from the data, not from the header: the row and picture
// buffers are zero-filled allocations whose pages the system provides only
// when they are written, and their sizes are checked against named limits
// before anything is allocated.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <span>

#include "codec/inflate_sink.h"

// The IHDR fields that decide how the image data is laid out. For an APNG
// frame, width and height are the frame's own (fcTL).
struct PngImageHeader {
    uint32_t width = 0;
    uint32_t height = 0;
    uint8_t bitDepth = 0;
    uint8_t colourType = 0;
    uint8_t interlace = 0;

    // Null when the fields describe a picture that can be decoded, else why
    // not.
    const char* Problem() const;
    // Samples per pixel (1 to 4); 0 for an unknown colour type.
    uint32_t Channels() const;
    // Bytes of one filtered row of that many pixels, without its filter byte.
    uint64_t RowBytes(uint32_t pixels) const;
    // The whole image data once inflated: every row of every pass with its
    // filter byte. 0 for a header with a problem, UINT64_MAX when the size
    // does not fit 64 bits.
    uint64_t DataBytes() const;
};

enum class PngDecodeStatus {
    Complete,    // every row of the picture was decoded
    EndedEarly,  // the data ended before the last row; what was decoded went out
    Malformed,   // a filter type above 4, or a header with a problem
    TooLarge,    // the picture needs more memory than the decoder's limits allow
    Stopped,     // the row callback asked to stop
};

struct PngDecodeResult {
    PngDecodeStatus status = PngDecodeStatus::EndedEarly;
    uint64_t rowsDone = 0;          // picture rows handed to the callback
    uint64_t extraBytes = 0;        // inflated bytes after the last row ("too much image data")
    bool extraLimited = false;      // extraBytes reached kMaxExtraBytes and the stream was stopped there
    uint64_t dataBytes = 0;         // image-data bytes taken (filter bytes included), at most DataBytes()
    uint32_t passesDone = 0;        // complete Adam7 passes (passes without pixels count); 0 without interlacing
    uint64_t badPaletteIndexes = 0; // pixels whose palette index is past the palette
    const char* reason = "";        // empty when Complete without extra bytes
};

class CPngDecoder : public IInflateSink {
public:
    // Receives each picture row, top to bottom: width RGBA pixels. Returning
    // false stops the decoding.
    using RowCallback = std::function<bool(uint32_t y, const uint8_t* rgba)>;

    // The row buffers of a picture without interlacing: two filtered rows
    // and one RGBA row.
    static constexpr uint64_t kMaxRowBufferBytes = uint64_t{256} << 20;
    // The RGBA picture an Adam7 picture is assembled in.
    static constexpr uint64_t kMaxInterlacedBytes = uint64_t{256} << 20;
    // Inflated bytes after the picture that are counted before the stream
    // is stopped.
    static constexpr uint64_t kMaxExtraBytes = uint64_t{16} << 20;

    // palette: the PLTE chunk's RGB triples (an incomplete triple at the end is
    // ignored, entries past 256 too). trns: the tRNS chunk's bytes, possibly
    // empty; for grey it must be 2 bytes and for truecolour 6, else it is not
    // used. Both are copied.
    CPngDecoder(const PngImageHeader& header, std::span<const uint8_t> palette, std::span<const uint8_t> trns,
                RowCallback onRow);
    ~CPngDecoder() override;
    CPngDecoder(const CPngDecoder&) = delete;
    CPngDecoder& operator=(const CPngDecoder&) = delete;

    // False when the header or the limits keep the picture from being
    // decoded; Finish() then says why, and Write takes nothing.
    bool Ready() const { return state_ == State::Rows; }

    // Takes the next inflated bytes. False stops the inflater: the picture
    // was malformed, the callback said stop, or the extra bytes after the
    // picture passed kMaxExtraBytes.
    bool Write(const uint8_t* data, size_t n) override;

    // Ends the data: an Adam7 picture still being assembled, or one whose
    // data went wrong, goes to the callback now with the passes decoded so
    // far. Later calls return the same result.
    PngDecodeResult Finish();

    uint64_t BadPaletteIndexes() const { return result_.badPaletteIndexes; }

private:
    enum class State { Rows, Done, Failed };

    void Fail(PngDecodeStatus status, const char* reason);
    bool Allocate();
    void StartPass();
    size_t TakeRow(const uint8_t* data, size_t n);
    bool FinishRow();
    void ExpandRow(const uint8_t* raw, uint32_t pixels, uint8_t* rgba);
    void ExpandGrey(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const;
    void ExpandTruecolour(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const;
    void ExpandPalette(const uint8_t* raw, uint32_t pixels, uint8_t* rgba);
    void ExpandAlpha(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const;
    void PlacePassRow();
    bool EmitPicture();

    struct FreeDeleter {
        void operator()(uint8_t* p) const;
    };
    using Buffer = std::unique_ptr<uint8_t[], FreeDeleter>;

    PngImageHeader header_;
    RowCallback onRow_;
    State state_ = State::Failed;
    PngDecodeResult result_;

    // Palette with tRNS alpha applied, 4 bytes per entry.
    uint8_t palette_[256 * 4] = {};
    uint32_t paletteEntries_ = 0;
    bool hasKey_ = false;     // a grey or truecolour tRNS value applies
    uint16_t key_[3] = {};    // its samples, cut to the bit depth

    uint32_t bytesPerPixel_ = 1;  // the filters' distance (at least one byte)
    uint64_t maxRowBytes_ = 0;    // the widest row of any pass
    Buffer prior_;
    Buffer current_;
    Buffer rgbaRow_;              // one pass row or picture row in RGBA
    Buffer picture_;              // Adam7 only: the whole picture in RGBA

    // Where the data stands: pass (0 without interlacing), row within the
    // pass, whether the row's filter byte has been read, and the row's bytes
    // taken after it.
    uint32_t pass_ = 0;
    uint32_t passWidth_ = 0;
    uint32_t passHeight_ = 0;
    uint64_t passRowBytes_ = 0;
    uint32_t row_ = 0;
    uint64_t rowFill_ = 0;
    uint8_t filter_ = 0;
    bool filterRead_ = false;
    bool anyPassRow_ = false;     // some pass row went into picture_
    bool emitted_ = false;        // picture_ went to the callback
    bool finished_ = false;
};
