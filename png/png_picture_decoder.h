#pragma once
// The pictures of a PNG file, decoded from what its chunk walk recorded: the
// header, palette, transparency and background, and where the data of the
// image and of each APNG frame lies. Picture 0 is the file's own picture
// (the IDAT image). In an animated file each frame is a picture of its own
// as a viewer shows it, composed over the frames before it; when the IDAT
// image is the animation's first frame, that frame is picture 0 and the
// others follow it.
//
// Pictures come out as straight 8-bit RGBA rows, top to bottom; putting them
// in front of a background is the caller's business.
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "codec/apng_composer.h"
#include "codec/png_decoder.h"
#include "core/analysis_result.h"
#include "core/format_table.h"

// One APNG frame: its fcTL, and the data of its fdAT chunks without their
// sequence numbers (none when the IDAT image is the frame).
struct PngFrameRecord {
    ApngFrameControl control;
    std::vector<FilePiece> data;
    bool defaultImage = false;   // the IDAT chunks hold the frame's data
};

struct PngPictureRecord {
    PngImageHeader header;
    bool headerRead = false;
    // The IHDR names a compression or filter method other than 0, the only
    // ones defined: its data cannot be decoded.
    bool unknownMethod = false;
    std::vector<uint8_t> palette;   // PLTE's data
    std::vector<uint8_t> trns;      // tRNS's data
    bool hasBackground = false;     // bKGD, cut to 8-bit RGB
    uint8_t background[3] = {};
    std::vector<FilePiece> imageData;  // the IDAT chunks' data
    bool animated = false;             // acTL came before the image data
    std::vector<PngFrameRecord> frames;
};

struct PngPictureOutcome {
    DecodeOutcome outcome = DecodeOutcome::Complete;
    std::string reason;
    // The zlib stream or the image data ended before the picture's last row.
    bool endedEarly = false;
    // Inflated bytes after the picture's last row.
    uint64_t extraBytes = 0;
    // A row's filter type was above 4: the rows from there on are lost.
    bool badFilter = false;
};

class CPngPictureDecoder {
public:
    // At most this many frames of an animation become pictures.
    static constexpr size_t kMaxFramePictures = 1024;

    using RowCallback = CPngDecoder::RowCallback;

    // file is read with the record's offsets; it must stay open.
    CPngPictureDecoder(FILE* file, const PngPictureRecord& record);
    ~CPngPictureDecoder();

    size_t PictureCount() const;
    // The picture's label in the result ("" for the file's own picture,
    // "APNG 3" for the third frame), its width and height.
    std::string Label(size_t picture) const;
    uint32_t Width(size_t picture) const;
    uint32_t Height(size_t picture) const;

    // Decodes picture k into onRow. Frames are composed in order; asking
    // for the picture after the last one decoded goes on from there.
    PngPictureOutcome Decode(size_t picture, const RowCallback& onRow);

private:
    // The frame of picture k; SIZE_MAX for the IDAT image decoded alone.
    size_t FrameOf(size_t picture) const;
    PngPictureOutcome DecodeImage(const PngImageHeader& header, const std::vector<FilePiece>& data,
                                  const RowCallback& onRow);
    PngPictureOutcome ComposeFrame(size_t frame);

    FILE* file_;
    const PngPictureRecord& record_;
    std::unique_ptr<CApngComposer> composer_;
    size_t nextFrame_ = 0;              // the frame the composer takes next
    PngPictureOutcome composed_;        // the worst outcome of the frames composed so far
};
