#pragma once
// What ImageMagick is asked for in the PNG tests of the decoder and of the
// analyzer, and the layout each file must have: together with the other
// writers' tables, every colour type, bit depth and interlacing.
#include <string>
#include <tuple>

namespace png_writers {

using Layout = std::tuple<int, int, int>;  // colour type, bit depth, interlace

// What a writer is asked for and the layout it must give, so that a test's
// tables together are known to cover every layout without running anything.
struct WriterCase {
    const char* command;  // OUT stands for the file written; SRC for the writer's sources
    Layout layout;
};

constexpr const char* kConvert = "/usr/bin/convert-im6.q16";

// ImageMagick's arguments after its "-size WxH".
inline constexpr WriterCase kImageMagick[] = {
    {"gradient:red-blue -swirl 90 PNG24:OUT", {2, 8, 0}},
    {"gradient:red-blue -swirl 90 -depth 16 PNG48:OUT", {2, 16, 0}},
    {"gradient:red-blue -swirl 90 ( +clone -flip -colorspace gray ) -alpha off -compose CopyOpacity -composite "
     "PNG32:OUT", {6, 8, 0}},
    {"gradient:red-blue -swirl 90 ( +clone -flop -colorspace gray ) -alpha off -compose CopyOpacity -composite "
     "-depth 16 PNG64:OUT", {6, 16, 0}},
    {"gradient:white-black -swirl 90 ( +clone -flip ) -alpha off -compose CopyOpacity -composite -depth 8 "
     "-define png:color-type=4 OUT", {4, 8, 0}},
    {"gradient:white-black -swirl 90 ( +clone -flip ) -alpha off -compose CopyOpacity -composite -depth 16 "
     "-define png:color-type=4 OUT", {4, 16, 0}},
    {"gradient:red-blue -swirl 90 -colors 200 PNG8:OUT", {3, 8, 0}},
    {"gradient:red-blue -swirl 90 -colors 12 -define png:bit-depth=4 -define png:color-type=3 OUT", {3, 4, 0}},
    {"gradient:red-blue -swirl 90 ( +clone -colorspace gray -threshold 50% ) -alpha off -compose CopyOpacity "
     "-composite -colors 40 PNG8:OUT", {3, 8, 0}},
    {"gradient:white-black -swirl 90 -define png:color-type=0 -define png:bit-depth=1 OUT", {0, 1, 0}},
    {"gradient:white-black -swirl 90 -define png:color-type=0 -define png:bit-depth=2 OUT", {0, 2, 0}},
    {"gradient:white-black -swirl 90 -define png:color-type=0 -define png:bit-depth=4 OUT", {0, 4, 0}},
    {"gradient:white-black -swirl 90 -define png:color-type=0 -define png:bit-depth=8 OUT", {0, 8, 0}},
    {"gradient:white-black -swirl 90 -define png:color-type=0 -define png:bit-depth=16 OUT", {0, 16, 0}},
    {"gradient:red-blue -swirl 90 -interlace PNG PNG24:OUT", {2, 8, 1}},
    {"gradient:red-blue -swirl 90 -interlace PNG -depth 16 PNG48:OUT", {2, 16, 1}},
    {"gradient:red-blue -swirl 90 ( +clone -flop -colorspace gray ) -alpha off -compose CopyOpacity -composite "
     "-interlace PNG PNG32:OUT", {6, 8, 1}},
    {"gradient:white-black -swirl 90 -interlace PNG -define png:color-type=0 -define png:bit-depth=2 OUT", {0, 2, 1}},
    {"gradient:white-black -swirl 90 -interlace PNG -define png:color-type=0 -define png:bit-depth=16 OUT",
     {0, 16, 1}},
};

// A command's text for the shell: its parentheses escaped.
inline std::string ShellQuoted(std::string s)
{
    for (size_t at = s.find_first_of("()"); at != std::string::npos; at = s.find_first_of("()", at + 2))
        s.insert(at, 1, '\\');
    return s;
}

}  // namespace png_writers
