// Pictures that the analysis does not keep: a many-page fax document is drawn
// page by page within a memory bound that does not grow with its pages, and
// a picture decoded again later is the one the analysis drew.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <string>

#include "bench/g4_document.h"
#include "core/analyze.h"
#include "support/test_support.h"

namespace {

using testing_support::AllFormatOptions;
using testing_support::TempDir;

// The process's address space now, from /proc/self/status.
uint64_t AddressSpaceBytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmSize:", 0) == 0)
            return std::stoull(line.substr(7)) * 1024;
    return 0;
}

bool SamePixels(const CImageBuffer& a, const CImageBuffer& b)
{
    return a.Pixels() && b.Pixels() && a.BitmapWidth() == b.BitmapWidth() && a.BitmapHeight() == b.BitmapHeight() &&
           std::memcmp(a.Pixels(), b.Pixels(), a.RowBytes() * static_cast<size_t>(a.BitmapHeight())) == 0;
}

// 60 pages of 1728 x 2200 take 690 MB as 24-bit pictures; the analysis is
// given a fraction of that beyond what the process holds, and every page
// must still be drawn (and handed on) in a child process under that limit.
TEST(PictureMemory, ManyPagesAreDrawnWithinABoundThatDoesNotGrowWithThem)
{
    TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    constexpr uint32_t kPages = 60;
    ASSERT_TRUE(g4_document::WriteDocument(path, kPages));
    constexpr uint64_t kAllowance = uint64_t{320} << 20;
    for (uint32_t threads : {1u, 2u}) {
        const pid_t child = fork();
        ASSERT_NE(child, -1);
        if (child == 0) {
            const rlimit limit{AddressSpaceBytes() + kAllowance, RLIM_INFINITY};
            setrlimit(RLIMIT_AS, &limit);
            AnalysisOptions options = AllFormatOptions(threads);
            options.keepPixels = false;
            uint32_t handed = 0;
            options.takePicture = [&handed](size_t, ResultPicture& picture) { handed += picture.image.Pixels() != nullptr; };
            const auto result = Analyze(path.c_str(), AnalysisMode::Detailed, options);
            uint32_t drawn = 0;
            for (const ResultPicture& picture : result->pictures)
                drawn += picture.drawn && !picture.image.Pixels();
            _exit(drawn == kPages && handed == kPages ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << threads << " threads";
    }
}

// Decoding again the pictures asked for gives the pixels the analysis drew,
// on every thread count, and only those pictures.
TEST(PictureMemory, PicturesDecodedAgainAreTheAnalysisOwn)
{
    TempDir dir;
    const std::string path = dir.Path() + "/fax.tif";
    ASSERT_TRUE(g4_document::WriteDocument(path, 12));
    const auto kept = Analyze(path.c_str(), AnalysisMode::Detailed, AllFormatOptions(1));
    ASSERT_EQ(kept->pictures.size(), 12u);
    for (uint32_t threads : {1u, 2u}) {
        const std::vector<size_t> wanted{0, 7, 11};
        std::vector<size_t> seen;
        const size_t count = DecodePictures(path.c_str(), AllFormatOptions(threads), wanted,
                                            [&](size_t index, ResultPicture& picture) {
                                                seen.push_back(index);
                                                EXPECT_TRUE(SamePixels(picture.image, kept->pictures[index].image))
                                                    << index;
                                            });
        EXPECT_EQ(count, 12u);
        std::sort(seen.begin(), seen.end());
        EXPECT_EQ(seen, wanted) << threads << " threads";
    }
}

}  // namespace
