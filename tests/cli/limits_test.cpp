#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>

#include "support/test_support.h"
#include "swf/swf_analyzer.h"

namespace {

using testing_support::Bytes;
using testing_support::Headless;
using testing_support::TempDir;

size_t RoughEntries(const CHeadlessSession& session)
{
    size_t n = 0;
    for (const AnalysisEntry* e = session.Entries().GetEntryListHead()->next; e; e = e->next)
        if (e->level != 0)
            ++n;
    return n;
}

// A JPEG file of SOI and then nothing but RST markers: a rough line each.
TEST(Limits, RoughEntriesOfOneFileAreCapped)
{
    Bytes jpeg{0xFF, 0xD8};
    for (uint32_t i = 0; i < CAnalysisRun::kMaxEntriesPerFile + 100; ++i) {
        jpeg.push_back(0xFF);
        jpeg.push_back(0xD0);
    }
    TempDir dir;
    Headless h;
    const std::string big = dir.Write("rst.jpg", jpeg);
    const std::string small = dir.Write("small.jpg", Bytes{0xFF, 0xD8, 0xFF, 0xD9});
    h.app.OpenFiles({big, small});
    // The cap is per file: the next file of the batch lists its lines again.
    EXPECT_EQ(RoughEntries(h.app), CAnalysisRun::kMaxEntriesPerFile + 2);
    EXPECT_NE(h.BarText().find(small + "\n  [00000000] SOI\n  [00000002] EOI\n"), std::string::npos);
}

// A TIFF file whose one IFD holds as many entries as fit in 1 MiB, each with
// a few value lines, gives more lines than a result tree takes.
TEST(Limits, ResultTreeLinesAreCapped)
{
    Bytes tiff{'I', 'I', 42, 0, 8, 0, 0, 0};
    const uint32_t entries = 0xFFFF;
    tiff.push_back(0xFF);
    tiff.push_back(0xFF);
    for (uint32_t i = 0; i < entries; ++i) {
        const uint16_t tag = 0x0140;   // ColorMap: three value headings at least
        for (uint8_t b : {uint8_t(tag), uint8_t(tag >> 8), uint8_t(3), uint8_t(0), uint8_t(3), uint8_t(0),
                          uint8_t(0), uint8_t(0), uint8_t(8), uint8_t(0), uint8_t(0), uint8_t(0)})
            tiff.push_back(b);
    }
    tiff.resize(tiff.size() + 4, 0);
    TempDir dir;
    Headless h;
    const std::string path = dir.Write("many.tif", tiff);
    h.app.OpenFiles({path});
    h.Detailed(path);
    const AnalysisResult* doc = h.app.Detailed(path);
    ASSERT_NE(doc, nullptr);
    // The path item and the capped analyzer lines.
    EXPECT_EQ(doc->lines.Count(), CAnalysisRun::kMaxTreeItems + 1u);
    // A second detailed analysis starts its own count.
    const std::string other = dir.Write("other.tif", tiff);
    h.app.OpenFiles({other});
    h.Detailed(other);
    EXPECT_EQ(h.app.Detailed(other)->lines.Count(), CAnalysisRun::kMaxTreeItems + 1u);
}

TEST(Limits, SwfTagWalkEndsAfterItsLimit)
{
    Bytes body{0x50, 0x00, 0x0C, 0x01, 0x00};
    for (uint32_t i = 0; i < CSwfAnalyzer::kMaxTags + 50; ++i) {
        body.push_back(0x40);
        body.push_back(0x00);
    }
    Bytes swf{'F', 'W', 'S', 6};
    const uint32_t length = static_cast<uint32_t>(body.size() + 8);
    for (int k = 0; k < 4; ++k)
        swf.push_back(static_cast<uint8_t>(length >> (8 * k)));
    swf.insert(swf.end(), body.begin(), body.end());
    TempDir dir;
    Headless h;
    const std::string path = dir.Write("tags.swf", swf);
    h.app.OpenFiles({path});
    h.Detailed(path);
    const std::string detail = h.DetailText(path);
    size_t tags = 0;
    for (size_t at = 0; (at = detail.find("TagID", at)) != std::string::npos; ++at)
        ++tags;
    EXPECT_EQ(tags, CSwfAnalyzer::kMaxTags);
}

// A compressed body that inflates far beyond the side file's limit, in a
// file that declares the longest length.
TEST(Limits, SideFileStopsAtItsLimit)
{
    const Bytes body(CSwfAnalyzer::kMaxSideFileBytes + (1u << 20), 0);
    uLongf size = compressBound(body.size());
    Bytes packed(size);
    ASSERT_EQ(compress2(packed.data(), &size, body.data(), body.size(), 9), Z_OK);
    packed.resize(size);
    Bytes swf;
    swf.reserve(8 + packed.size());
    for (uint8_t b : {uint8_t('C'), uint8_t('W'), uint8_t('S'), uint8_t(6), uint8_t(0xFF), uint8_t(0xFF),
                      uint8_t(0xFF), uint8_t(0xFF)})
        swf.push_back(b);
    swf.insert(swf.end(), packed.begin(), packed.end());
    TempDir dir;
    Headless h;
    const std::string path = dir.Write("bomb.swf", swf);
    h.app.OpenFiles({path});
    EXPECT_EQ(std::filesystem::file_size(path + ".decompress"), CSwfAnalyzer::kMaxSideFileBytes);
}

}  // namespace

namespace {

TEST(Limits, NestedAnalysesAreBoundedInDepthAndNumber)
{
    testing_support::StandaloneRun run;
    {
        CAnalysisRun::NestedScope a(run.run), b(run.run), c(run.run), d(run.run);
        EXPECT_TRUE(a.Allowed() && b.Allowed() && c.Allowed() && d.Allowed());
        CAnalysisRun::NestedScope tooDeep(run.run);
        EXPECT_FALSE(tooDeep.Allowed());
    }
    // Leaving a scope frees its depth, but every scope counts toward the total.
    for (uint32_t i = 4; i < CAnalysisRun::kMaxNestedAnalyses; ++i)
        EXPECT_TRUE(CAnalysisRun::NestedScope(run.run).Allowed()) << i;
    EXPECT_FALSE(CAnalysisRun::NestedScope(run.run).Allowed());

    Headless h;

    // A JPEG file whose Exif thumbnail holds the same Exif data again, over
    // and over, once made one analysis branch for minutes; the counts start
    // afresh with each top-level analysis.
    const std::string path =
        std::string(VANTREL_SOURCE_DIR) + "/tests/corpus/regress-jpeg-exif-thumbnail-contains-itself.jpg";
    h.Detailed(path);
    const std::string detail = h.DetailText(path);
    size_t thumbnails = 0;
    for (size_t at = 0; (at = detail.find("Thumbnail Data (TIFF Format)", at)) != std::string::npos; ++at)
        ++thumbnails;
    EXPECT_GE(thumbnails, 2u);
    EXPECT_LE(thumbnails, CAnalysisRun::kMaxNestedAnalyses);
}

}  // namespace
