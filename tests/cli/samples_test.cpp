#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Dump;
using testing_support::ExpectGolden;
using testing_support::TempDir;

// The bundled samples, copied into a scratch folder that becomes the working
// directory, so that paths in the output are the stable "samples/<name>" and
// a compressed SWF file's side file stays out of the source tree.
class SamplesTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        const fs::path source = fs::path(VANTREL_SOURCE_DIR) / "samples";
        fs::create_directory(fs::path(dir_.Path()) / "samples");
        // Side files that earlier runs left beside a compressed SWF sample
        // are not samples.
        for (const auto& entry : fs::directory_iterator(source))
            if (entry.path().extension() != ".decompress")
                names_.push_back("samples/" + entry.path().filename().string());
        std::sort(names_.begin(), names_.end());
        for (const std::string& name : names_)
            fs::copy_file(source.parent_path() / name, fs::path(dir_.Path()) / name);
        previous_ = fs::current_path();
        fs::current_path(dir_.Path());
    }
    void TearDown() override { fs::current_path(previous_); }

    std::vector<std::string> Args(std::initializer_list<std::string> options) const
    {
        std::vector<std::string> args(options);
        args.insert(args.end(), names_.begin(), names_.end());
        return args;
    }

    TempDir dir_;
    fs::path previous_;
    std::vector<std::string> names_;
};

TEST_F(SamplesTest, RoughAnalysisOfAllSamples)
{
    const auto r = Dump(Args({}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ExpectGolden("cli/samples_rough.txt", r.out);
}

TEST_F(SamplesTest, DetailedAnalysisOfAllSamples)
{
    const auto r = Dump(Args({"-d", "--images", "pictures"}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    ExpectGolden("cli/samples_detailed.txt", r.out);
    // Every sample holds one picture at least, and each was written.
    for (const std::string& name : names_) {
        const std::string file = "pictures/" + fs::path(name).filename().string() + ".1.bmp";
        if (name.find(".swf") == std::string::npos)
            EXPECT_TRUE(fs::exists(file)) << file;
    }
}

}  // namespace
