#pragma once
// The image resources that Photoshop writes into an APP13 segment after its
// "Photoshop 3.0" identifier: each a signature ("8BIM"), a resource id, a
// Pascal name padded to an even length, the data's size and the data, padded
// to an even length (Adobe Photoshop File Formats Specification, Image
// Resource Blocks).
#include <cstddef>
#include <cstdint>

#include "core/line_tree.h"
#include "jpeg/app_segment.h"

class CPhotoshopResources {
public:
    explicit CPhotoshopResources(const CAppSegment& segment) : segment_(segment) {}

    // Lays out the resources in the payload bytes [begin, end) under parent.
    void LayOut(size_t begin, size_t end, LineId parent) const;

private:
    // One resource at position; the position after it, or 0 when the walk
    // ends there.
    size_t Resource(size_t position, size_t end, LineId parent) const;
    // What the data of the resources that carry structures holds.
    void Data(uint32_t id, size_t position, size_t size, LineId item) const;
    void Thumbnail(size_t position, size_t size, LineId item) const;
    void Profile(size_t position, size_t size, LineId item) const;

    const CAppSegment& segment_;
};
