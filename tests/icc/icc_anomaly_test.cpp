// What the ICC analyzer reports wrong with a profile: each kind at its
// place in a hand-made profile, and nothing in the profiles that colour
// management systems and Little CMS write.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "icc/icc_analyzer.h"
#include "support/test_support.h"

using testing_support::Bytes;
namespace fs = std::filesystem;

namespace {

// The anomalies of the profile at start of file, whose data ends at dataEnd.
std::string IccAnomalies(const Bytes& file, long start, uint64_t dataEnd)
{
    testing_support::TempDir dir;
    const std::string path = dir.Write("profile.bin", file);
    testing_support::StandaloneRun run(AnalysisMode::Detailed, "test.tif");
    FILE* fp = std::fopen(path.c_str(), "rb");
    std::fseek(fp, start, SEEK_SET);
    CIccAnalyzer().Analyze(AnalysisRequest{.run = &run.run,
                                           .fp = fp,
                                           .mode = AnalysisMode::Detailed,
                                           .parent = run.Lines().Append("[00000000] Offset", kTopLevel),
                                           .dataEnd = dataEnd});
    std::fclose(fp);
    return testing_support::AnomalyList(run.result);
}

void Put32(Bytes& p, size_t at, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[at + i] = uint8_t(v >> (24 - 8 * i));
}

struct Tag {
    const char* signature;
    const char* type;
    uint32_t size;
};

// A version 2 RGB display profile with the given tags, their data after
// the tag table in order, each beginning with its type signature.
Bytes Profile(const std::vector<Tag>& tags)
{
    Bytes p(128 + 4 + 12 * tags.size(), 0);
    std::memcpy(&p[4], "lcms", 4);
    Put32(p, 8, 0x02100000);
    std::memcpy(&p[12], "mntr", 4);
    std::memcpy(&p[16], "RGB XYZ ", 8);
    std::memcpy(&p[36], "acsp", 4);
    Put32(p, 128, uint32_t(tags.size()));
    for (size_t i = 0; i < tags.size(); ++i) {
        const size_t entry = 132 + 12 * i;
        std::memcpy(&p[entry], tags[i].signature, 4);
        Put32(p, entry + 4, uint32_t(p.size()));
        Put32(p, entry + 8, tags[i].size);
        const size_t data = p.size();
        p.resize(p.size() + tags[i].size);
        std::memcpy(&p[data], tags[i].type, 4);
    }
    Put32(p, 0, uint32_t(p.size()));
    return p;
}

}  // namespace

// Each fault at the file offset of the field or data concerned; the
// profile stands 16 bytes into the file.
TEST(IccAnomalies, EachKindAtItsPlace)
{
    const Bytes sound = Profile({{"desc", "desc", 16}, {"wtpt", "XYZ ", 20}, {"rTRC", "curv", 14}, {"cprt", "mluc", 28}});
    const size_t firstEntry = 16 + 132;
    auto patched = [&](size_t at, uint32_t value) {
        Bytes p = sound;
        Put32(p, at, value);
        return p;
    };
    auto hex = [](size_t at) {
        char text[16];
        std::snprintf(text, sizeof text, "%08zx", at);
        return std::string(text);
    };
    Bytes padded = sound;
    padded.resize(sound.size() + 8);
    struct Case {
        const char* name;
        Bytes profile;
        uint64_t dataBytes;
        std::string expected;
    } cases[] = {
        {"sound", sound, sound.size(), ""},
        {"padded to a word", sound, sound.size() + 2, ""},
        {"size beyond the data", patched(0, uint32_t(sound.size() + 1)), sound.size(),
         "00000010 エラー icc.size-mismatch\n"},
        {"data beyond the size", padded, padded.size(), "00000010 警告 icc.size-mismatch\n"},
        {"file signature", patched(36, 0x61637370 + 1), sound.size(), "00000034 エラー icc.bad-signature\n"},
        {"tag data past the end", patched(132 + 36 + 8, 29), sound.size(),
         hex(firstEntry + 36 + 4) + " エラー icc.tag-outside\n"},
        {"tag data in the header", patched(132 + 4, 100), sound.size(),
         hex(firstEntry + 4) + " エラー icc.tag-overlap\n"},
        {"tag data on the tag table", patched(132 + 24 + 4, 140), sound.size(),
         hex(firstEntry + 24 + 4) + " エラー icc.tag-overlap\n"},
        {"curve for a white point", patched(132 + 12 + 4, 132 + 48 + 16 + 20), sound.size(),
         hex(16 + 132 + 48 + 16 + 20) + " エラー icc.tag-type\n"},
        {"tag count past the profile", patched(128, 0x10000000), sound.size(),
         "00000090 エラー icc.tag-table-outside\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bytes file = c.profile;
        file.insert(file.begin(), 16, 0xEE);
        file.resize(std::max<size_t>(file.size(), 16 + c.dataBytes), 0);
        EXPECT_EQ(IccAnomalies(file, 16, 16 + c.dataBytes), c.expected);
    }
}

// Profiles installed by colour management packages, and the one Little CMS
// makes through Pillow, are sound.
TEST(IccAnomalies, InstalledAndLittleCmsProfilesAreSound)
{
    std::vector<std::string> paths;
    if (fs::is_directory("/usr/share/color/icc"))
        for (const auto& entry : fs::recursive_directory_iterator("/usr/share/color/icc")) {
            const std::string ext = entry.path().extension().string();
            if (entry.is_regular_file() && (ext == ".icc" || ext == ".icm"))
                paths.push_back(entry.path().string());
        }
    testing_support::TempDir dir;
    const std::string lcms = dir.Path() + "/lcms-srgb.icc";
    const std::string script = "from PIL import ImageCms\nimport sys\n"
                               "open(sys.argv[1], 'wb').write(ImageCms.ImageCmsProfile("
                               "ImageCms.createProfile('sRGB')).tobytes())\n";
    if (std::system(("/usr/bin/python3 " + dir.Write("make.py", script) + " " + lcms + " 2>/dev/null").c_str()) == 0)
        paths.push_back(lcms);
    if (paths.empty())
        GTEST_SKIP() << "no ICC profiles are installed";
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        const Bytes file = testing_support::ReadFile(path);
        EXPECT_EQ(IccAnomalies(file, 0, file.size()), "");
    }
}
