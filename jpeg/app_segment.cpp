#include "jpeg/app_segment.h"

#include <algorithm>
#include <cstring>

#include "core/analysis_run.h"

CAppSegment::CAppSegment(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp,
                         std::span<const uint8_t> bytes, uint64_t payloadOffset, uint64_t payloadSize,
                         uint64_t fileSize)
    : request_(request), out_(out), fp_(fp), bytes_(bytes), payloadOffset_(payloadOffset),
      payloadSize_(payloadSize), fileSize_(fileSize),
      size_(static_cast<size_t>(std::min<uint64_t>(payloadSize, bytes.size())))
{
}

uint32_t CAppSegment::U16(size_t position) const
{
    return uint32_t{bytes_[position]} << 8 | bytes_[position + 1];
}

uint32_t CAppSegment::U32(size_t position) const
{
    return U16(position) << 16 | U16(position + 2);
}

bool CAppSegment::StartsWith(size_t position, const char* text, bool withNul) const
{
    const size_t length = std::strlen(text) + (withNul ? 1 : 0);
    return Has(position, length) && std::memcmp(Data(position), text, length) == 0;
}

LineId CAppSegment::Line(LineId parent, size_t position, size_t count, const std::string& text) const
{
    const uint64_t start = Offset(position);
    const uint64_t end = std::min(start + count, fileSize_);
    return out_.Insert(parent, text, ByteRange{start, end});
}

void CAppSegment::Trailing(LineId parent, size_t position, size_t end, const char* note) const
{
    const uint8_t* rest = Data(position);
    if (std::all_of(rest, rest + (end - position), [](uint8_t b) { return b == 0; }))
        Line(parent, position, end - position, ResultLine("[%08lx] Padding (%zu [byte])", Offset(position), end - position));
    else
        Note(parent, note);
}

// Nested lines hang under parent, the line of the data, one level deeper.
void CAppSegment::Nested(uint32_t format, LineId parent, size_t position, uint64_t dataEnd, const std::string& label,
                         std::vector<AnalysisRequest::EmbeddedPicture>* pictures) const
{
    if (const CAnalysisRun::NestedScope scope(*request_.run); scope.Allowed()) {
        std::fseek(fp_, static_cast<long>(Offset(position)), SEEK_SET);
        RunAnalyzer(format, {.run = request_.run,
                             .fp = fp_,
                             .path = request_.path,
                             .mode = request_.mode,
                             .level = request_.level + 1,
                             .parent = parent,
                             .dataEnd = dataEnd,
                             .pictureLabel = label,
                             .drawPictures = request_.drawPictures,
                             .pictures = pictures});
    }
}
