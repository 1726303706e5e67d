#pragma once
// Puts an entry's values into words as its dictionary row says: the value
// text lines that hang under the entry's Value or Offset line. Some
// interpretations read the entry's companions in the IFDs being read (the
// unit of a resolution, the date of a sub-second time, the hemisphere of a
// GPS coordinate), or the entry's raw bytes (versions, comments).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "core/line_tree.h"
#include "tiff/ifd_record.h"
#include "tiff/tag_table.h"

class CIfdValues;

// A value text line, with the bytes of the value it shows when it names
// their position.
struct TagValueLine {
    TagValueLine(std::string text, ByteRange range = {}) : text(std::move(text)), range(range) {}
    TagValueLine(const char* text) : text(text) {}
    std::string text;
    ByteRange range;
};

class CTagInterpreter {
public:
    explicit CTagInterpreter(const CIfdValues& walk) : walk_(walk) {}

    // The lines of the entry read at file position e. Offsets among its
    // values (strips, tiles, JPEG interchange data) are made absolute here.
    std::vector<TagValueLine> Interpret(const TagInfo& info, IfdEntry& entry, uint64_t e);

private:
    void InterpretLayout(const TagInfo& info, IfdEntry& entry, uint64_t e, std::vector<TagValueLine>& lines);
    void InterpretExif(const TagInfo& info, IfdEntry& entry, uint64_t e, std::vector<TagValueLine>& lines);
    // With format, one line per value: its position, index and value (as a
    // signed 32-bit number with asSigned).
    void PositionedLines(const IfdEntry& entry, uint64_t e, const char* format, bool asSigned,
                         std::vector<TagValueLine>& lines) const;
    // The line of XResolution, YResolution or ResolutionUnit, each with the
    // others read before it in the same IFD.
    std::string ResolutionLine(const IfdEntry& entry) const;
    std::string DateTimeLine(const TagInfo& info, const IfdEntry& entry) const;
    std::string GpsCoordinateLine(const TagInfo& info, const IfdEntry& entry) const;
    std::string GpsAltitudeLine(const IfdEntry& entry) const;
    void CommentLines(const IfdEntry& entry, uint64_t e, std::vector<TagValueLine>& lines) const;

    const CIfdValues& walk_;
};

// The text of the values of an ASCII or UTF-8 entry, as a result line shows it.
std::string EntryText(const IfdEntry& entry);
// The four ASCII digits of a version ("0232"), as Exif writes them.
std::string VersionText(const std::vector<uint8_t>& bytes);
// An Exif character-coded text (UserComment): the 8-byte code, then the text
// in ASCII, JIS X 0208 or UCS-2 (in the file's byte order). Returns the
// code's name and the text.
std::pair<std::string, std::string> CodedText(const std::vector<uint8_t>& bytes, bool littleEndian);
// The flash bits of Exif's Flash tag in words, one line a group.
std::vector<std::string> FlashLines(uint32_t flash);
