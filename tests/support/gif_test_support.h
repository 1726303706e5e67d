#pragma once
// For the GIF decoder tests: a small GIF block walker that hands the image
// data to the decoders, giflib's decoding of the same file as the reference,
// a code packer and a plain LZW coder for crafted streams, GIF files built
// from their blocks, and GIF files made by real writers (ImageMagick, gifsicle,
// Pillow, ffmpeg) when those are installed.
#include <cstdint>
#include <string>
#include <vector>

#include "support/test_support.h"

namespace gif_test {

using testing_support::Bytes;

// One image of a GIF as the walker found it.
struct Image {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    Bytes localPalette;     // RGB triples; empty when the image has none
    uint8_t minCodeSize = 0;
    Bytes data;             // the data sub-blocks' bytes, length bytes left out
    // From the graphic control extension before the image, if any.
    int transparentIndex = -1;
    uint8_t disposal = 0;
};

struct File {
    uint16_t width = 0;
    uint16_t height = 0;
    Bytes globalPalette;
    std::vector<Image> images;
};

// Walks the header, logical screen, colour tables, extensions and images up
// to the trailer (or the end of the data); false for data it cannot walk.
bool Walk(const Bytes& gif, File& out);

// giflib's reading of a file (DGifSlurp); raster is in display order, as
// giflib de-interlaces.
struct GiflibImage {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    Bytes raster;
    Bytes palette;          // the local table, or the global one; empty for none
    int transparentIndex = -1;
    uint8_t disposal = 0;
};
struct GiflibFile {
    bool ok = false;
    int error = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    std::vector<GiflibImage> images;
};
GiflibFile ReadWithGiflib(const std::string& path);

// A display-order raster in the order the rows are stored (GIF89a appendix
// E for an interlaced one), written out pass by pass.
Bytes StoredOrder(const Bytes& raster, uint16_t width, uint16_t height, bool interlaced);

// Packs codes least significant bit first.
class CodePacker {
public:
    void Put(uint32_t code, uint32_t width);
    Bytes Finish();

private:
    Bytes bytes_;
    uint64_t bits_ = 0;
    uint32_t count_ = 0;
};

// A plain GIF LZW coder for crafted streams.
struct LzwOptions {
    bool leadingClear = true;
    bool endCode = true;
    bool clearWhenFull = true;  // false: keep coding with the full table (deferred clear)
};
Bytes EncodeLzw(const Bytes& indices, uint8_t minCodeSize, const LzwOptions& options = {});

// A GIF file put together from images: data goes into sub-blocks of 255 bytes.
struct ImageBlock {
    uint16_t left = 0;
    uint16_t top = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    bool interlaced = false;
    Bytes localPalette;     // 2^n RGB triples, or empty
    uint8_t minCodeSize = 8;
    Bytes data;
    int transparentIndex = -1;
    uint8_t disposal = 0;
    bool control = false;   // write a graphic control extension
};
Bytes BuildGif(uint16_t width, uint16_t height, const Bytes& globalPalette, const std::vector<ImageBlock>& images);

// Made by real writers, each file named after the writer's settings.
struct WriterFile {
    std::string name;
    std::string path;
};
// The files one writer made ("imagemagick", "gifsicle", "pillow", "ffmpeg");
// empty when the writer is not installed. Made once per test run.
const std::vector<WriterFile>& WriterFiles(const std::string& writer);

// A python3 with Pillow, or empty.
const std::string& PillowPython();
// Pillow's pictures of every frame of each file, convert("RGBA") after
// seek(k), screen-sized; none for a file Pillow could not read.
std::vector<std::vector<Bytes>> PillowFrames(const std::vector<std::string>& paths);
// Pillow's palette indices of the first frame (a picture without a
// transparent index and one frame only).
bool PillowIndices(const std::string& path, Bytes& indices);

}  // namespace gif_test
