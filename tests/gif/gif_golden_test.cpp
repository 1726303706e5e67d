// The whole output of vantrel-dump, rough and detailed, for a file holding
// every kind of block and for the same file cut inside its second frame,
// against the records in tests/data/gif/. After a deliberate change of the
// output, rewrite them and read the differences:
//   VANTREL_UPDATE_GOLDEN=1 build/tests/test_gif --gtest_filter=GifGolden.*
#include <gtest/gtest.h>

#include <filesystem>

#include "gif_fixtures.h"
#include "support/test_support.h"

namespace {

using testing_support::Dump;
using testing_support::TempDir;

std::string DumpText(const std::vector<std::string>& args)
{
    const auto r = Dump(args);
    std::string text = "$ vantrel-dump";
    for (const std::string& arg : args)
        text += " " + arg;
    return text + "\n" + r.out + r.err + "(status " + std::to_string(r.status) + ")\n";
}

void ExpectDumps(const std::string& name, const gif_fixtures::Bytes& gif)
{
    TempDir dir;
    dir.Write(name, gif);
    const auto previous = std::filesystem::current_path();
    std::filesystem::current_path(dir.Path());
    const std::string text = DumpText({name}) + DumpText({"-d", name}) + DumpText({"--check", name});
    std::filesystem::current_path(previous);
    testing_support::ExpectGolden("gif/" + name + ".txt", text);
}

TEST(GifGolden, EveryBlock)
{
    ExpectDumps("every-block.gif", gif_fixtures::EveryBlockGif());
}

TEST(GifGolden, CutInsideTheSecondFrame)
{
    gif_fixtures::Bytes gif = gif_fixtures::EveryBlockGif();
    gif.resize(gif.size() - 6);
    ExpectDumps("cut-in-frame-2.gif", gif);
}

}  // namespace
