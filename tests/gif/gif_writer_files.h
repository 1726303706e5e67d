#pragma once
// GIF files of real writers for the format's tests: those the decoder tests
// make (ImageMagick, gifsicle, Pillow, ffmpeg), and files for what the
// format's layout shows beyond the pictures: gifsicle's comments and loop
// counts, a merge that needs local colour tables, ffmpeg's animation and
// exiftool's XMP. Each is made once per test run; a writer that is not
// installed makes none.
#include <string>
#include <vector>

#include "support/gif_test_support.h"

namespace gif_files {

const std::vector<gif_test::WriterFile>& AllWriterFiles();

// The RGB picture a viewer shows of frame k of the file giflib reads: the
// frames composed as browsers compose them (GIF89a disposals, 4 as 3,
// transparency over a transparent screen), in front of the 8 x 8
// checkerboard; rows top first. Empty when giflib cannot read the file.
std::vector<gif_test::Bytes> GiflibPictures(const std::string& path, uint16_t& width, uint16_t& height);

}  // namespace gif_files
