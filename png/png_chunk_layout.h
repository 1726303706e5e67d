#pragma once
// The fields of each chunk type's data (PNG Third Edition, clause 11, and
// the APNG chunks acTL, fcTL and fdAT), as lines under the chunk's line.
// Chunks that hold other structures (iCCP, eXIf, zTXt, iTXt) hand them to
// CPngEmbedded; a chunk type this program does not know gets one line for
// its data.
#include <cstdint>

#include "png/chunk_fields.h"
#include "png/png_chunk.h"
#include "png/png_embedded.h"
#include "png/png_picture_decoder.h"

class CPngChunkLayout {
public:
    CPngChunkLayout(const CTreeWriter& out, const PngPictureRecord& record, CPngEmbedded& embedded)
        : out_(out), record_(record), embedded_(embedded)
    {
    }

    // The type's name in the standard ("Image header"); "Unknown chunk" for
    // a type this program does not know.
    static const char* Description(const PngChunk& chunk);
    // Whether the layout reads the chunk's data (the walk then holds it).
    static bool ReadsData(const PngChunk& chunk);

    // Lays out the data of chunk (chunk.data, or only its length where the
    // data is not held) under head. Returns false when the data is shorter
    // than its fields or longer than a chunk of fixed size may be.
    bool LayOut(const PngChunk& chunk, LineId head);

private:
    struct Entry {
        const char* type;
        const char* description;
        void (CPngChunkLayout::*layout)(CChunkFields&);   // null: laid out from the length alone
    };
    static const Entry kEntries[];
    static const Entry* EntryOf(const PngChunk& chunk);

    void Header(CChunkFields& f);
    void Palette(CChunkFields& f);
    void Transparency(CChunkFields& f);
    void Chromaticities(CChunkFields& f);
    void Gamma(CChunkFields& f);
    void SignificantBits(CChunkFields& f);
    void StandardRgb(CChunkFields& f);
    void CodePoints(CChunkFields& f);
    void MasteringDisplay(CChunkFields& f);
    void LightLevel(CChunkFields& f);
    void Text(CChunkFields& f);
    void Background(CChunkFields& f);
    void Histogram(CChunkFields& f);
    void PhysicalSize(CChunkFields& f);
    void SuggestedPalette(CChunkFields& f);
    void Time(CChunkFields& f);
    void AnimationControl(CChunkFields& f);
    void FrameControl(CChunkFields& f);
    void Profile(CChunkFields& f) { embedded_.Profile(f); }
    void CompressedText(CChunkFields& f) { embedded_.CompressedText(f); }
    void InternationalText(CChunkFields& f) { embedded_.InternationalText(f); }
    void Exif(CChunkFields& f) { embedded_.Exif(f); }
    void Trailer(CChunkFields&) {}
    // Samples of the image's colour type, 2 bytes each: tRNS and bKGD.
    void Samples(CChunkFields& f, const char* what);

    CTreeWriter out_;
    const PngPictureRecord& record_;
    CPngEmbedded& embedded_;
};
