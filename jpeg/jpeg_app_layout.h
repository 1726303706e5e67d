#pragma once
// Lays out the payload of APPn segments in the detailed tree: the JFIF
// header of APP0, the Exif data of APP1 (handed to the TIFF analyzer) and
// the XMP identifier.
#include <cstdint>
#include <cstdio>
#include <span>
#include <vector>

#include "core/format_table.h"
#include "core/result_line.h"

class CJpegAppLayout {
public:
    // request: the JPEG analysis's own request; out: its tree writer.
    CJpegAppLayout(const AnalysisRequest& request, const CTreeWriter& out, uint64_t fileSize);

    // One APPn segment whose marker's first byte is at file offset offset;
    // bytes holds the file's bytes from the payload's first byte on (the
    // payload, and where the file has them, a few KiB more, for layouts that
    // read fixed fields past a short segment's end). head: the segment's head
    // line, which already has its Field Length line. fp is the analysis
    // stream, for nested analyses; the walk places it afterwards.
    void LayOut(FILE* fp, uint32_t marker, uint64_t offset, uint32_t length, std::span<const uint8_t> bytes,
                HTREEITEM head);
    // After the walk: work that needs every segment.
    void Finish(FILE* fp);
    // The first Adobe segment's colour transform; -1 without one.
    int AdobeTransform() const { return adobeTransform_; }
    // Pictures that MP entries point to, for the walk to lay out after EOI.
    std::vector<AnalysisRequest::EmbeddedPicture>& MpfPictures() { return mpfPictures_; }

private:
    void Jfif(uint64_t at, std::span<const uint8_t> bytes, HTREEITEM head);
    void App1(FILE* fp, uint64_t at, uint64_t segmentEnd, std::span<const uint8_t> bytes, HTREEITEM head);

    AnalysisRequest request_;
    CTreeWriter out_;
    uint64_t fileSize_ = 0;
    int adobeTransform_ = -1;
    std::vector<AnalysisRequest::EmbeddedPicture> mpfPictures_;
};
