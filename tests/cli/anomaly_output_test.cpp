// What vantrel-dump makes of the anomalies: --check's lines and exit status,
// the marked tree of --anomalies, the anomalies of --json, all in the
// files' order whatever the number of files analysed at once.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/test_support.h"

namespace {

using testing_support::Dump;
using testing_support::ReadFile;
using testing_support::TempDir;

// A stream whose APP1 length runs 244 bytes past the end of the file.
const std::string kPastEnd("\xFF\xD8\xFF\xE1\x01\x00xxxxxxxxxx", 16);

std::string Sample(const char* name) { return std::string(VANTREL_SOURCE_DIR) + "/samples/" + name; }

// A valid sample with two bytes after its EOI: a warning only.
std::string WithTrailer(const TempDir& dir)
{
    const testing_support::Bytes sample = ReadFile(Sample("odd-422-restart.jpg"));
    return dir.Write("after.jpg", std::string(sample.begin(), sample.end()) + "zz");
}

}  // namespace

TEST(DumpCheck, PrintsOneLinePerAnomalyAndExitsByTheWorstFile)
{
    TempDir dir;
    const std::string past = dir.Write("past.jpg", kPastEnd);
    const std::string after = WithTrailer(dir);
    const std::string clean = Sample("photo-exif.jpg");
    const std::string afterLine = after + "\t0x00000741\t警告\tjpeg.data-after-eoi\tEOIの後に画像ではないデータ(2 [byte])があります\n";
    const std::string pastLines =
        past + "\t0x00000004\tエラー\tjpeg.segment-past-end\tセグメント長(256 [byte])がデータの終わりを244 [byte]超えています\n" +
        past + "\t0x00000010\tエラー\tjpeg.missing-eoi\tEOIがありません\n" + past +
        "\t0x00000010\t警告\tjpeg.no-scan\tスキャンがありません\n";
    struct Case {
        std::vector<std::string> args;
        int status;
        std::string out;
    };
    const Case cases[] = {
        {{"--check", clean}, 0, ""},
        {{"--check", clean, after}, 0, afterLine},
        {{"--check", after, past}, 1, afterLine + pastLines},
        {{"--check", "-j", "1", past, clean, after}, 1, pastLines + afterLine},
        {{"--check", "-j", "3", past, clean, after}, 1, pastLines + afterLine},
        // A file that cannot be checked outweighs any anomaly.
        {{"--check", past, dir.Path() + "/missing.jpg"}, 2, pastLines},
        {{"--check", dir.Write("unsupported.bin", "abc")}, 2, ""},
        {{"--check", "--json", clean}, 2, ""},
        {{"--check", "--tree", clean}, 2, ""},
        {{"--anomalies", "--at", "0", clean}, 2, ""},
    };
    for (const Case& c : cases) {
        const auto r = Dump(c.args);
        std::string args;
        for (const std::string& a : c.args)
            args += a + " ";
        EXPECT_EQ(r.status, c.status) << args;
        EXPECT_EQ(r.out, c.out) << args;
    }
}

TEST(DumpAnomalies, MarksTheFlaggedLinesAndNamesTheAnomalyUnderThem)
{
    TempDir dir;
    const std::string past = dir.Write("past.jpg", kPastEnd);
    const auto r = Dump({"--anomalies", past});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, past +
                         "\n"
                         "  [警告] スキャンがありません\n"
                         "[00000000] SOI\n"
                         "⚠ [00000002] APP1\n"
                         "  [エラー] セグメント長(256 [byte])がデータの終わりを244 [byte]超えています\n"
                         "  [00000004] Field Length = 256 [byte]\n"
                         "  識別子がありません\n"
                         "⚠ [00000010] EOIの前にデータが終わっています\n"
                         "  [エラー] EOIがありません\n");
    // Without the option the tree is as it always was.
    EXPECT_EQ(Dump({"-d", past}).out, past +
                                          "\n"
                                          "[00000000] SOI\n"
                                          "[00000002] APP1\n"
                                          "  [00000004] Field Length = 256 [byte]\n"
                                          "  識別子がありません\n"
                                          "[00000010] EOIの前にデータが終わっています\n");
}

TEST(DumpJson, GivesEachFileItsAnomaliesWithTheirLines)
{
    TempDir dir;
    const std::string past = dir.Write("past.jpg", kPastEnd);
    const std::string detailed = Dump({"--json", "-d", past}).out;
    EXPECT_NE(detailed.find("\"anomalies\":[{\"offset\":4,\"end\":6,\"severity\":\"エラー\",\"kind\":\"jpeg.segment-past-end\","
                            "\"text\":\"セグメント長(256 [byte])がデータの終わりを244 [byte]超えています\",\"line\":[2]},"
                            "{\"offset\":16,\"end\":16,\"severity\":\"エラー\",\"kind\":\"jpeg.missing-eoi\","
                            "\"text\":\"EOIがありません\",\"line\":[3]},"
                            "{\"offset\":16,\"end\":16,\"severity\":\"警告\",\"kind\":\"jpeg.no-scan\","
                            "\"text\":\"スキャンがありません\",\"line\":null}],\"detailed\":"),
              std::string::npos)
        << detailed;
    // Without -d, the rough analysis's, which have no lines.
    const std::string rough = Dump({"--json", past, Sample("photo-exif.jpg")}).out;
    EXPECT_NE(rough.find("\"kind\":\"jpeg.missing-eoi\",\"text\":\"EOIがありません\",\"line\":null},"), std::string::npos)
        << rough;
    EXPECT_NE(rough.find("\"anomalies\":[]}"), std::string::npos) << rough;
}
