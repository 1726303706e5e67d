#pragma once
// The extension blocks of a GIF (GIF89a sections 23 to 26): an introducer
// (0x21), a label, and data sub-blocks up to a terminator, the first
// sub-block holding the fixed fields. Graphic control, comment, plain text
// and application extensions are laid out field by field; the application
// extensions that browsers read (NETSCAPE2.0 and ANIMEXTS1.0 loop counts)
// and XMP data get their own layout; any other extension one line for its
// sub-blocks. A graphic control extension's fields wait for the image they
// govern.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "core/analysis_run.h"
#include "core/format_table.h"
#include "core/result_line.h"
#include "gif/gif_sub_blocks.h"

class CGifExtensionLayout {
public:
    // A comment or plain text shows at most this much of its text, in at
    // most this many lines; its head line covers the rest.
    static constexpr size_t kMaxTextBytes = 64 * 1024;
    static constexpr size_t kMaxTextLines = 1024;
    // An XMP packet larger than this is covered by one line, not laid out.
    static constexpr uint64_t kMaxXmpBytes = uint64_t{16} << 20;
    // The "magic trailer" that XMP data in GIF ends with, so that a reader
    // walking the packet's bytes as sub-blocks lands on the terminator
    // wherever it starts: 0x01, 0xFF down to 0x00, then the terminator.
    static constexpr uint64_t kXmpTrailerBytes = 258;

    CGifExtensionLayout(const AnalysisRequest& request, const CTreeWriter& out, FILE* fp, uint64_t fileSize);

    // Lays out the extension whose introducer is at at; returns the offset
    // after it, 0 when it runs past the file's end.
    uint64_t LayOut(uint64_t at);

    // The transparent index (-1 for none) and disposal of the graphic control
    // extension met since the last image, which the next image takes; none
    // after that.
    void TakeControl(int& transparentIndex, uint8_t& disposal);

private:
    // The first sub-block: its length byte's offset, the length and bytes.
    struct FirstBlock {
        uint64_t at = 0;
        uint32_t size = 0;
        uint8_t data[255] = {};
        uint64_t End() const { return at + 1 + size; }
    };

    bool Detailed() const { return request_.Detailed(); }
    LineId Head(const std::string& text, uint64_t start, uint64_t end);
    LineId Line(LineId parent, const std::string& text, uint64_t start, uint64_t end);
    void Report(AnomalySeverity severity, const char* kind, uint64_t start, uint64_t end, const std::string& text,
                LineId line);
    std::string HeadText(uint64_t at, uint8_t label, const FirstBlock& first) const;
    bool CheckSize(const FirstBlock& first, uint32_t expected, const char* name, LineId head);

    void GraphicControl(const FirstBlock& first, LineId head);
    void ControlFields(const FirstBlock& first, LineId head);
    void PlainText(const FirstBlock& first, LineId head);
    void Application(const FirstBlock& first, const GifSubBlockRun& run, LineId head);
    uint64_t LoopCount(uint64_t at, LineId head);
    bool Xmp(uint64_t at, const GifSubBlockRun& run, LineId head);
    // The text of the sub-blocks from at, line by line (a line ends at a
    // newline), each line's range running from its first byte to the next
    // line's.
    void TextLines(uint64_t at, const char* name, LineId head);
    // The sub-blocks from at to the terminator: one line for them, one for
    // the terminator.
    void Rest(uint64_t at, const char* name, LineId head);

    const AnalysisRequest& request_;
    CTreeWriter out_;
    FILE* fp_;
    uint64_t fileSize_;
    bool control_ = false;
    int transparentIndex_ = -1;
    uint8_t disposal_ = 0;
};
