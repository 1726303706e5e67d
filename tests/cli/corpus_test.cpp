#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "support/test_support.h"

namespace {

namespace fs = std::filesystem;
using testing_support::Dump;
using testing_support::Headless;
using testing_support::ReadFile;
using testing_support::TempDir;

std::vector<fs::path> CorpusFiles()
{
    std::vector<fs::path> files;
    for (const char* dir : {"/tests/corpus", "/samples"}) {
        const fs::path root = std::string(VANTREL_SOURCE_DIR) + dir;
        if (!fs::is_directory(root))
            continue;
        for (const auto& entry : fs::directory_iterator(root))
            if (entry.is_regular_file() && entry.path().extension() != ".md" && entry.path().extension() != ".py")
                files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// Every malformed file and every sample is analysed in both modes without a
// fatal exit, and the only file an analysis may write is the side file of a
// compressed SWF file, never longer than its header's declared length.
TEST(Corpus, EveryFileIsAnalysedQuietlyInBothModes)
{
    const auto files = CorpusFiles();
    ASSERT_FALSE(files.empty());
    for (const fs::path& source : files) {
        SCOPED_TRACE(source.string());
        TempDir dir;
        const std::string path = dir.Write("input", ReadFile(source.string()));
        Headless h;
        ASSERT_NO_THROW(h.app.OpenFiles({path}));
        ASSERT_NO_THROW(h.Detailed(path));
        std::set<std::string> written;
        for (const auto& entry : fs::directory_iterator(dir.Path()))
            if (entry.path().filename() != "input")
                written.insert(entry.path().filename().string());
        if (written.empty())
            continue;
        EXPECT_EQ(written, std::set<std::string>{"input.decompress"});
        const auto bytes = ReadFile(path);
        ASSERT_GE(bytes.size(), 8u);
        EXPECT_EQ(bytes[0], 'C');
        const uint64_t declared = bytes[4] | bytes[5] << 8 | bytes[6] << 16 | uint64_t(bytes[7]) << 24;
        EXPECT_LE(fs::file_size(path + ".decompress") + 8, std::max<uint64_t>(declared, 8));
    }
}

// What vantrel-dump prints for a file in the current folder, in one mode,
// with the messages it wrote to standard error.
std::string DumpText(const std::vector<std::string>& args)
{
    const auto r = Dump(args);
    std::string text = "$ vantrel-dump";
    for (const std::string& arg : args)
        text += " " + arg;
    text += "\n" + r.out;
    if (!r.err.empty())
        text += "(standard error)\n" + r.err;
    return text + "(status " + std::to_string(r.status) + ")\n";
}

// Every malformed file gives, in both modes, exactly the lines recorded in
// tests/data/corpus/<name>.txt, so a change that silently loses (or adds)
// lines on bad data shows. After a deliberate change of the output, rewrite
// the records and read the differences:
//   VANTREL_UPDATE_GOLDEN=1 build/tests/test_cli --gtest_filter=Corpus.*
TEST(Corpus, MalformedFilesGiveTheirRecordedLines)
{
    const fs::path previous = fs::current_path();
    for (const fs::path& source : CorpusFiles()) {
        if (source.parent_path().filename() != "corpus")
            continue;
        SCOPED_TRACE(source.string());
        TempDir dir;
        const std::string name = source.filename().string();
        dir.Write(name, ReadFile(source.string()));
        fs::current_path(dir.Path());
        const std::string text = DumpText({name}) + DumpText({"-d", name});
        fs::current_path(previous);
        testing_support::ExpectGolden("corpus/" + name + ".txt", text);
    }
}

}  // namespace

namespace {

// Every sample cut short: at each of its first 600 bytes, then every 97th.
// Cuts fall inside every header and segment of the small samples.
TEST(Corpus, TruncatedSamplesAreAnalysedQuietly)
{
    for (const fs::path& source : CorpusFiles()) {
        if (source.parent_path().filename() != "samples")
            continue;
        SCOPED_TRACE(source.string());
        const auto bytes = ReadFile(source.string());
        TempDir dir;
        for (size_t cut = 1; cut < bytes.size(); cut += cut < 600 ? 1 : 97) {
            const std::string path =
                dir.Write("cut", testing_support::Bytes(bytes.begin(), bytes.begin() + static_cast<long>(cut)));
            Headless h;
            ASSERT_NO_THROW(h.app.OpenFiles({path})) << cut;
            ASSERT_NO_THROW(h.Detailed(path)) << cut;
        }
    }
}

}  // namespace
