// The rough walk against a segment lister and against reading the bytes:
// vantrel-dump's default output for 8,000 hard links to one camera-sized
// JPEG file (about 69 KB: Exif with a thumbnail, restart markers), one file
// at a time (-j 1) and one per processor (the default), each against
// `exiv2 -pS` on the same files; and the rough analysis of one 16 MB JPEG
// file against `cat FILE > /dev/null`. The runs of the programs compared
// take turns, and the median of each one's runs counts, so that a machine
// shared with other work weighs on both alike.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#if __has_include(<jpeglib.h>)
#include "bench/bench_support.h"

using namespace bench_support;

namespace {

constexpr int kRounds = 15;

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// Runs each command once per round, in turn; the median seconds of each.
std::vector<double> Paired(const std::vector<std::vector<std::string>>& commands)
{
    std::vector<std::vector<double>> times(commands.size());
    for (int round = 0; round < kRounds; ++round)
        for (size_t i = 0; i < commands.size(); ++i)
            times[i].push_back(Run(commands[i]).seconds);
    std::vector<double> medians;
    for (const auto& t : times)
        medians.push_back(Median(t));
    return medians;
}

}  // namespace

int main()
{
    const std::string root = (fs::temp_directory_path() / "vantrel-bench-rough").string();
    fs::create_directories(root);
    const std::string photo = root + "/photo.jpg";
    if (!fs::exists(photo))
        WriteFile(photo, WithCameraExif(EncodeWithRestarts(512, 384, 92, 12)));
    const std::string large = root + "/large.jpg";
    if (!fs::exists(large))
        WriteFile(large, EncodeWithRestarts(4800, 3600, 97, 48));
    std::printf("files: %s %ju bytes, %s %ju bytes; medians of %d rounds\n", photo.c_str(),
                static_cast<uintmax_t>(fs::file_size(photo)), large.c_str(),
                static_cast<uintmax_t>(fs::file_size(large)), kRounds);

    const std::string dir = MakeLinks(root, photo, 8000);
    std::vector<std::string> exiv2{"exiv2", "-pS"};
    for (const auto& entry : fs::directory_iterator(dir))
        exiv2.push_back(entry.path().string());
    if (Run({"exiv2", "-V"}).status != 0)
        std::printf("exiv2 missing: its runs read as failures\n");
    const auto batch = Paired({{VANTREL_DUMP, "-j", "1", dir}, {VANTREL_DUMP, dir}, exiv2});
    std::printf("8000 files: vantrel-dump -j 1 %.3f s, default -j %.3f s, exiv2 -pS %.3f s\n", batch[0], batch[1],
                batch[2]);
    std::printf("  -j 1 / exiv2: %.2f (target 1.0); default -j / exiv2: %.2f (target 0.6)\n", batch[0] / batch[2],
                batch[1] / batch[2]);

    const auto one = Paired({{VANTREL_DUMP, "--rows", large}, {"cat", large}});
    std::printf("16 MB file: vantrel-dump --rows %.4f s, cat %.4f s: %.2f (target 1.5)\n", one[0], one[1],
                one[0] / one[1]);
    return 0;
}

#else
int main()
{
    std::printf("rough_walk: libjpeg headers missing, nothing measured\n");
    return 0;
}
#endif
