// Files of real writers through the detailed analysis: every frame's
// picture equals giflib's frames composed as a browser shows them, in front
// of the checkerboard; no byte goes without a line; nothing is reported
// wrong; and a frame decoded again on its own from the analysis' record is
// the frame's picture.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "core/analyze.h"
#include "gif/gif_analyzer.h"
#include "gif/gif_frame_source.h"
#include "gif_writer_files.h"
#include "support/test_support.h"

namespace {

using gif_test::Bytes;
using testing_support::Headless;

// A picture's pixels as RGB rows, top first.
Bytes PictureRgb(const ResultPicture& picture)
{
    Bytes rgb;
    for (int32_t y = 0; y < picture.height; ++y)
        for (int32_t x = 0; x < picture.width; ++x) {
            const uint8_t* bgr = picture.image.PixelAt(x, y);
            rgb.insert(rgb.end(), {bgr[2], bgr[1], bgr[0]});
        }
    return rgb;
}

size_t DifferentPixels(const Bytes& a, const Bytes& b)
{
    size_t n = 0;
    for (size_t i = 0; i + 3 <= std::min(a.size(), b.size()); i += 3)
        n += a[i] != b[i] || a[i + 1] != b[i + 1] || a[i + 2] != b[i + 2];
    return n + (a.size() != b.size());
}

const std::vector<gif_test::WriterFile>& Files()
{
    const auto& files = gif_files::AllWriterFiles();
    if (files.empty())
        ADD_FAILURE() << "no GIF writer is installed";
    return files;
}

void EveryFrameIsGiflibsFramesComposedAsABrowserShowsThem()
{
    for (const gif_test::WriterFile& file : Files()) {
        SCOPED_TRACE(file.name);
        uint16_t width = 0;
        uint16_t height = 0;
        const std::vector<Bytes> expected = gif_files::GiflibPictures(file.path, width, height);
        ASSERT_FALSE(expected.empty());
        Headless h;
        const AnalysisResult& result = h.Detailed(file.path);
        ASSERT_EQ(result.pictures.size(), expected.size());
        ASSERT_EQ(result.decodes.size(), expected.size());
        for (size_t k = 0; k < expected.size(); ++k) {
            const ResultPicture& picture = result.pictures[k];
            EXPECT_EQ(picture.label, k == 0 ? "" : "Frame " + std::to_string(k + 1));
            EXPECT_EQ(picture.width, width);
            EXPECT_EQ(picture.height, height);
            EXPECT_EQ(DifferentPixels(PictureRgb(picture), expected[k]), 0u) << "frame " << k + 1;
            EXPECT_EQ(result.decodes[k].outcome, DecodeOutcome::Complete) << result.decodes[k].reason;
        }
    }
}

void EveryByteHasALineAndNothingIsReported()
{
    for (const gif_test::WriterFile& file : Files()) {
        SCOPED_TRACE(file.name);
        Headless h;
        const AnalysisResult& result = h.Detailed(file.path);
        const auto bytes = testing_support::ReadFile(file.path);
        EXPECT_TRUE(UncoveredRanges(result.lines, bytes.size()).empty());
        EXPECT_EQ(testing_support::AnomalyList(result), "");
    }
}

// The files between them hold every structure the layout and the pictures
// distinguish, so that the two tests above cover them.
void TheFilesCoverWhatTheLayoutShows()
{
    std::set<std::string> seen;
    for (const gif_test::WriterFile& file : Files()) {
        Headless h;
        const std::string text = TreeText(h.Detailed(file.path).lines);
        for (const char* what : {"Interlace Flag = 1", "Interlace Flag = 0", "Local Color Table :", "Frame 2",
                                 "Transparent Color Flag = 1", "Disposal Method = 0", "Disposal Method = 1",
                                 "Disposal Method = 2", "Disposal Method = 3", "Comment = ", "Loop Count = 3",
                                 "Loop Count = 0 (forever)", "XMP Packet", "XMP Magic Trailer", "GIF87a", "GIF89a"})
            if (text.find(what) != std::string::npos)
                seen.insert(what);
    }
    EXPECT_EQ(seen.size(), 16u) << testing::PrintToString(seen);
}

// What the analysis recorded is enough to decode a frame again on its own:
// the last frame of each animation, composed after those before it.
void AFrameDecodedAgainFromTheRecordIsItsPicture()
{
    for (const gif_test::WriterFile& file : Files()) {
        SCOPED_TRACE(file.name);
        testing_support::StandaloneRun run(AnalysisMode::Detailed, file.path.c_str());
        FilePtr fp = OpenAnalysisFile(file.path.c_str());
        ASSERT_TRUE(fp);
        CGifAnalyzer analyzer;
        analyzer.Analyze({&run.run, fp.get(), file.path.c_str(), AnalysisMode::Detailed});
        const GifPictureRecord& record = analyzer.Record();
        ASSERT_EQ(run.result.pictures.size(), record.frames.size());
        const size_t k = record.frames.size() - 1;
        const ResultPicture& picture = run.result.pictures[k];
        size_t different = 0;
        const bool decoded = CGifFrameSource::DecodeFrame(
            fp.get(), record, k, [&](uint32_t y, const uint8_t* rgba, uint32_t width) {
                for (uint32_t x = 0; x < width; ++x) {
                    const uint8_t* bgr = picture.image.PixelAt(static_cast<int32_t>(x), static_cast<int32_t>(y));
                    const uint8_t grey = ((x / 8 + y / 8) & 1) ? 0xCC : 0xFF;
                    for (int c = 0; c < 3; ++c)
                        different += bgr[2 - c] != (rgba[4 * x + 3] ? rgba[4 * x + c] : grey);
                }
            });
        EXPECT_TRUE(decoded);
        EXPECT_EQ(different, 0u);
    }
}

// The writers' files take most of the time: they are made once, for every
// check, rather than once per test process.
TEST(GifWriters, FilesAreDrawnLaidOutAndDecodedAgainAsGiflibHasThem)
{
    {
        SCOPED_TRACE("EveryFrameIsGiflibsFramesComposedAsABrowserShowsThem");
        EveryFrameIsGiflibsFramesComposedAsABrowserShowsThem();
    }
    {
        SCOPED_TRACE("EveryByteHasALineAndNothingIsReported");
        EveryByteHasALineAndNothingIsReported();
    }
    {
        SCOPED_TRACE("TheFilesCoverWhatTheLayoutShows");
        TheFilesCoverWhatTheLayoutShows();
    }
    {
        SCOPED_TRACE("AFrameDecodedAgainFromTheRecordIsItsPicture");
        AFrameDecodedAgainFromTheRecordIsItsPicture();
    }
}

}  // namespace
