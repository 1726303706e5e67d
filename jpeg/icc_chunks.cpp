#include "jpeg/icc_chunks.h"

#include <algorithm>

#include "core/analysis_run.h"

namespace {

constexpr size_t kMaxChunks = 255;
// A profile shorter than its header (ICC.1 7.2) holds nothing to lay out.
constexpr uint64_t kIccHeaderBytes = 128;

}  // namespace

void CIccChunks::Add(const Chunk& chunk)
{
    if (chunks_.size() < kMaxChunks)
        chunks_.push_back(chunk);
    else
        ++dropped_;
}

std::vector<FilePiece> CIccChunks::Pieces() const
{
    if (chunks_.empty() || dropped_ != 0)
        return {};
    const uint32_t count = chunks_.front().count;
    if (count != chunks_.size())
        return {};
    std::vector<FilePiece> pieces(count);
    std::vector<bool> seen(count, false);
    for (const Chunk& chunk : chunks_) {
        if (chunk.count != count || chunk.sequence == 0 || chunk.sequence > count || seen[chunk.sequence - 1] ||
            !chunk.whole)
            return {};
        seen[chunk.sequence - 1] = true;
        pieces[chunk.sequence - 1] = chunk.data;
    }
    return pieces;
}

void CIccChunks::Finish(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp) const
{
    if (chunks_.empty())
        return;
    const std::vector<FilePiece> pieces = Pieces();
    if (pieces.empty()) {
        const LineId first = chunks_.front().item;
        out.Insert(first, "ICCプロファイルのチャンクが揃っていないため、プロファイルは解析しません");
        out.Expand(first);
        // A chunk cut short by the end of the data, or numbered outside its
        // count, is reported as such where it stands.
        const bool sound = std::all_of(chunks_.begin(), chunks_.end(), [](const Chunk& c) {
            return c.whole && c.sequence >= 1 && c.sequence <= c.count;
        });
        if (sound) {
            // The chunk numbers stand in the two bytes before the data.
            const uint64_t at = chunks_.front().data.offset - 2;
            request.run->ReportAnomaly(AnomalySeverity::Error, "jpeg.app-mismatch", {at, at + 2},
                                       "ICCプロファイルのチャンクが欠けているか重複しています", first);
        }
        return;
    }
    // The profile goes under the line of its first chunk, wherever the file
    // holds that.
    for (const Chunk& chunk : chunks_)
        if (chunk.sequence == 1)
            LayOutProfile(request, out, fp, pieces, chunk.item);
}

void CIccChunks::LayOutProfile(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp,
                               std::span<const FilePiece> pieces, LineId parent)
{
    uint64_t size = 0;
    for (const FilePiece& piece : pieces)
        size += piece.size;
    if (size < kIccHeaderBytes)
        out.Insert(parent, "ICCプロファイルがヘッダより短いため、プロファイルは解析しません");
    else
        RunAnalyzer(kFormatIcc, {.run = request.run,
                                 .fp = fp,
                                 .mode = AnalysisMode::Detailed,
                                 .parent = parent,
                                 .pieces = pieces});
    out.Expand(parent);
}
