// Animated files from ffmpeg and Pillow: every frame is a picture of its own,
// composed as a viewer shows it (dispose and blend operations, frames
// smaller than the canvas), equal to the frames that Pillow decodes composed
// by the APNG rules and composited over the checkerboard; a default image
// outside the animation stays the file's picture.
#include <gtest/gtest.h>

#include "png_test_support.h"

using namespace png_test;

namespace {

// Writes two animations with frames of partial transparency: one whose
// default image is its first frame, one whose default image stands outside
// it; every dispose_op and blend_op occurs. Or, for each file named after
// "dump", its pictures as raw RGBA files <file>.<n>.rgba and their count in
// <file>.count: the default image, then each frame composed by the APNG
// rules, Pillow decoding each frame's own data and compositing "over" with
// Image.alpha_composite. (Pillow's own APNG reader blends "over" by pasting
// through the alpha channel, which is not the APNG operation.)
constexpr const char* kScript = R"(
import io, struct, sys, zlib
from PIL import Image
if sys.argv[1] == "write":
    out, w, h = sys.argv[2], 24, 16
    frames = []
    for i in range(4):
        im = Image.new("RGBA", (w, h), (0, 0, 0, 0))
        px = im.load()
        for y in range(h):
            for x in range(w):
                if i == 0 or (x + y + i * 3) % 5 < 3:
                    px[x, y] = ((x * 10 + i * 50) % 256, (y * 15) % 256, (i * 60) % 256,
                                255 if i == 0 else (x * 20 + y * 5 + i * 30) % 256)
        frames.append(im)
    frames[0].save(out + "/first.png", save_all=True, append_images=frames[1:], disposal=[0, 1, 2, 0],
                   blend=[0, 1, 1, 0], duration=100, loop=0)
    frames[0].save(out + "/default.png", save_all=True, append_images=frames[1:], default_image=True,
                   disposal=[2, 0, 1], blend=[1, 1, 0], duration=100)
    sys.exit(0)

def chunks(data):
    pos = 8
    while pos + 12 <= len(data):
        n = struct.unpack(">I", data[pos:pos + 4])[0]
        yield data[pos + 4:pos + 8], data[pos + 8:pos + 8 + n]
        pos += 12 + n

def chunk(t, d):
    return struct.pack(">I", len(d)) + t + d + struct.pack(">I", zlib.crc32(t + d))

for path in sys.argv[2:]:
    ihdr, extra, frames, idat, seen_idat = None, b"", [], b"", False
    for t, d in chunks(open(path, "rb").read()):
        if t == b"IHDR":
            ihdr = d
        elif t in (b"PLTE", b"tRNS"):
            extra += chunk(t, d)
        elif t == b"fcTL":
            frames.append([struct.unpack(">IIIIIHHBB", d), b"", not seen_idat])
        elif t == b"IDAT":
            seen_idat = True
            idat += d
            if frames and frames[-1][2]:
                frames[-1][1] += d
        elif t == b"fdAT":
            frames[-1][1] += d[4:]
    W, H = struct.unpack(">II", ihdr[:8])
    def decode(w, h, z):
        file = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">II", w, h) + ihdr[8:]) + extra
        return Image.open(io.BytesIO(file + chunk(b"IDAT", z) + chunk(b"IEND", b""))).convert("RGBA")
    pictures = [decode(W, H, idat)]
    canvas = Image.new("RGBA", (W, H), (0, 0, 0, 0))
    for i, (control, z, default) in enumerate(frames):
        _, w, h, x, y, _, _, dispose, blend = control
        box = (x, y, x + w, y + h)
        saved = canvas.crop(box)
        frame = decode(w, h, z)
        canvas.paste(frame if blend == 0 else Image.alpha_composite(canvas.crop(box), frame), box)
        if not (i == 0 and default):
            pictures.append(canvas.copy())
        if dispose == 1 or (dispose == 2 and i == 0):
            canvas.paste(Image.new("RGBA", (w, h), (0, 0, 0, 0)), box)
        elif dispose == 2:
            canvas.paste(saved, box)
    for n, picture in enumerate(pictures):
        open("%s.%d.rgba" % (path, n), "wb").write(picture.tobytes())
    open(path + ".count", "w").write(str(len(pictures)))
)";

// The file's pictures against Pillow's frames; labels as expected.
void ExpectFrames(const std::string& script, const std::string& path, const std::vector<std::string>& labels)
{
    SCOPED_TRACE(path);
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " dump " + path));
    const Analysis a = Analyse(path);
    EXPECT_EQ(a.anomalies, "");
    EXPECT_EQ(a.gaps, "");
    EXPECT_EQ(a.labels, labels);
    ASSERT_EQ(testing_support::ReadText(path + ".count"), std::to_string(labels.size()));
    ASSERT_EQ(a.pictures.size(), labels.size());
    const Bytes file = testing_support::ReadFile(path);
    const uint32_t width = uint32_t{file[16]} << 24 | file[17] << 16 | file[18] << 8 | file[19];
    const uint32_t height = uint32_t{file[20]} << 24 | file[21] << 16 | file[22] << 8 | file[23];
    for (size_t n = 0; n < labels.size(); ++n) {
        Rgba frame{true, width, height, testing_support::ReadFile(path + "." + std::to_string(n) + ".rgba")};
        ASSERT_EQ(frame.pixels.size(), size_t{width} * height * 4);
        EXPECT_EQ(Difference(a.pictures[n], Composite(frame, nullptr), width), "") << "frame " << n;
        EXPECT_EQ(a.decodes[n], labels[n] + ": 0 ");
    }
}

}  // namespace

TEST(PngApng, FfmpegFramesEqualPillows)
{
    if (!HasTool("/usr/bin/ffmpeg") || PillowPython().empty())
        GTEST_SKIP() << "ffmpeg or Pillow is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("apng.py", std::string(kScript));
    const std::string path = dir.Path() + "/ffmpeg.png";
    ASSERT_TRUE(RunTool("ffmpeg -loglevel error -f lavfi -i testsrc=size=64x48:rate=4 -t 1 -plays 0 -f apng " + path));
    ExpectFrames(script, path, {"", "APNG 2", "APNG 3", "APNG 4"});
    EXPECT_NE(Analyse(path).text.find("Number of Plays = 0 (loops without end)"), std::string::npos);
}

TEST(PngApng, PillowDisposeAndBlendOperations)
{
    if (PillowPython().empty())
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("apng.py", std::string(kScript));
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " write " + dir.Path()));
    ExpectFrames(script, dir.Path() + "/first.png", {"", "APNG 2", "APNG 3", "APNG 4"});
    ExpectFrames(script, dir.Path() + "/default.png", {"", "APNG 1", "APNG 2", "APNG 3"});
}

// The rough row counts the animation's frames (acTL).
TEST(PngApng, RoughSummaryCountsTheFrames)
{
    if (PillowPython().empty())
        GTEST_SKIP() << "Pillow is not installed";
    testing_support::TempDir dir;
    const std::string script = dir.Write("apng.py", std::string(kScript));
    ASSERT_TRUE(RunTool(PillowPython() + " " + script + " write " + dir.Path()));
    const testing_support::DumpResult r = testing_support::Dump({"--rows", dir.Path() + "/default.png"});
    EXPECT_EQ(r.out, dir.Path() + "/default.png\tPNG\t[画像サイズ]   24 x    16 [カラータイプ]トゥルーカラー+アルファ "
                                  "[ビット深度]8 [APNG]3 フレーム \n");
}
