#pragma once
// Lays out the application segments APP0 to APP15 of a JPEG stream field by
// field in the detailed tree: JFIF and JFXX (APP0), Exif, XMP and extended
// XMP (APP1), ICC profile chunks and MPF (APP2), Photoshop resources (APP13),
// Adobe (APP14), and the identifier of any other. Embedded structures go to
// their analyzers: Exif and MPF data to TIFF's, thumbnails to JPEG's, the ICC
// profile, once all its chunks are known, to ICC's.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "core/format_table.h"
#include "core/result_line.h"
#include "core/line_tree.h"
#include "jpeg/icc_chunks.h"

class CAppSegment;

class CJpegAppLayout {
public:
    // request: the JPEG analysis's own request; nested analyses get its level
    // + 1. out: its tree writer.
    CJpegAppLayout(const AnalysisRequest& request, const CTreeWriter& out, uint64_t fileSize);

    // Detailed mode only. One APPn segment (marker 0xFFE0..0xFFEF) whose
    // marker's first byte is at file offset `offset`; `bytes` holds the
    // file's bytes from the payload's first byte (after the length field) on:
    // the payload and, where the file has them, up to 4 KiB more; fewer than
    // length - 2 when the file ends inside the segment. head: the segment's
    // head line, which already has its Field Length line. fp is the analysis
    // stream, which nested analyses move; the caller repositions it.
    void LayOut(FILE* fp, uint32_t marker, uint64_t offset, uint32_t length, std::span<const uint8_t> bytes,
                LineId head);
    // After the walk: the ICC profile assembled from its chunks.
    void Finish(FILE* fp);
    // Pictures that the MPF segment's MP entries point to.
    std::vector<AnalysisRequest::EmbeddedPicture>& MpfPictures() { return mpfPictures_; }

private:
    void Jfif(const CAppSegment& segment, uint32_t length, LineId head);
    void Jfxx(const CAppSegment& segment, LineId head);
    void JfxxPixels(const CAppSegment& segment, uint32_t code, LineId head);
    void DrawThumbnail(const CAppSegment& segment, size_t palette, size_t pixels, int32_t width, int32_t height);
    void Exif(const CAppSegment& segment, uint32_t length, LineId head);
    void Xmp(const CAppSegment& segment, LineId head);
    void ExtendedXmp(const CAppSegment& segment, LineId head);
    void IccChunk(const CAppSegment& segment, LineId head);
    void Mpf(const CAppSegment& segment, LineId head);
    void Photoshop(const CAppSegment& segment, LineId head);
    void Adobe(const CAppSegment& segment, LineId head);
    void Identifier(const CAppSegment& segment, LineId head);

    AnalysisRequest request_;
    CTreeWriter out_;
    uint64_t fileSize_;
    CIccChunks iccChunks_;
    std::vector<AnalysisRequest::EmbeddedPicture> mpfPictures_;
};
