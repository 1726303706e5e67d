// How each decode of a detailed analysis ended, as its result records it:
// complete, cut short by the data, not drawn, or stopped by a cancel.
#include <gtest/gtest.h>

#include "jpeg/jpeg_analyzer.h"
#include "support/test_support.h"

namespace {

struct Expected {
    const char* file;   // under the source folder
    const char* label;
    DecodeOutcome outcome;
};

const Expected kFiles[] = {
    {"samples/photo-exif.jpg", "サムネイル", DecodeOutcome::Complete},
    {"samples/photo-exif.jpg", "", DecodeOutcome::Complete},
    {"samples/fax-g4.tif", "IFD 0", DecodeOutcome::Complete},
    {"tests/corpus/jpeg-arithmetic-progressive-restart.jpg", "", DecodeOutcome::Complete},
    {"tests/corpus/jpeg-bad-huffman-code.jpg", "", DecodeOutcome::EndedEarly},
    {"tests/corpus/jpeg-restart-markers-removed.jpg", "", DecodeOutcome::EndedEarly},
    {"tests/corpus/jpeg-sof-huge-size.jpg", "", DecodeOutcome::EndedEarly},
    {"tests/corpus/tiff-strip-offset-past-eof.tif", "IFD 0", DecodeOutcome::EndedEarly},
    {"tests/corpus/tiff-lzw-palette-no-colormap.tif", "IFD 0", DecodeOutcome::NotSupported},
    {"tests/corpus/tiff-huge-dimensions.tif", "IFD 0", DecodeOutcome::NotSupported},
};

TEST(DecodeOutcomes, EachPictureSaysHowItsDecodeEnded)
{
    for (const Expected& e : kFiles) {
        SCOPED_TRACE(std::string(e.file) + " [" + e.label + "]");
        const std::string path = std::string(VANTREL_SOURCE_DIR) + "/" + e.file;
        testing_support::TempDir dir;
        const std::string copy = dir.Write("f", testing_support::ReadFile(path));
        testing_support::Headless h;
        h.Detailed(copy);
        const AnalysisResult* doc = h.app.Detailed(copy);
        ASSERT_NE(doc, nullptr);
        const auto record = std::find_if(doc->decodes.begin(), doc->decodes.end(),
                                         [&](const DecodeRecord& r) { return r.label == e.label; });
        ASSERT_NE(record, doc->decodes.end());
        EXPECT_EQ(record->outcome, e.outcome) << record->reason;
        EXPECT_EQ(record->reason.empty(), e.outcome == DecodeOutcome::Complete);
    }
}

// An analysis asked to stop before it began decodes nothing, takes no
// further lines and says its picture was not decoded for that reason.
TEST(DecodeOutcomes, ACancelStopsTheDecodeAndTheLines)
{
    const std::string path = std::string(VANTREL_SOURCE_DIR) + "/samples/odd-422-restart.jpg";
    testing_support::StandaloneRun run;
    run.result.RequestCancel();
    FilePtr fp = OpenAnalysisFile(path.c_str());
    CJpegAnalyzer analyzer;
    analyzer.Analyze({.run = &run.run, .fp = fp.get(), .path = path.c_str(), .mode = AnalysisMode::Detailed});
    EXPECT_EQ(run.Lines().Count(), 1u);
    ASSERT_EQ(run.result.decodes.size(), 1u);
    EXPECT_EQ(run.result.decodes[0].outcome, DecodeOutcome::Cancelled);
}

}  // namespace
