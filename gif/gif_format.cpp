#include "gif/gif_format.h"

#include <cstring>
#include <memory>

#include "gif/gif_analyzer.h"

// GIF89a section 17: "GIF" and the version, "87a" or "89a".
bool IsGifFile(const uint8_t* head, size_t n)
{
    return n >= 6 && (std::memcmp(head, "GIF87a", 6) == 0 || std::memcmp(head, "GIF89a", 6) == 0);
}

// Each run gets an analyzer of its own: runs of different files may go on
// side by side.
void AnalyzeGif(const AnalysisRequest& request)
{
    std::make_unique<CGifAnalyzer>()->Analyze(request);
}
