#include "core/format_table.h"

#include <algorithm>

const FormatHandler* DetectedFormat(FormatTable formats, const uint8_t* head, size_t n)
{
    for (const FormatHandler& handler : formats)
        if (handler.detect && handler.detect(head, n))
            return &handler;
    return nullptr;
}

size_t DetectionBytes(FormatTable formats)
{
    size_t n = 0;
    for (const FormatHandler& handler : formats)
        if (handler.detect)
            n = std::max(n, handler.signatureBytes);
    return n;
}

ByteOrder StructureByteOrder(const FormatHandler& format, const uint8_t* head, size_t n)
{
    ByteOrder order = format.byteOrder;
    if (format.orderOfHead && !format.orderOfHead(head, n, order))
        order = format.byteOrder;
    return order;
}

std::vector<const FormatHandler*> FileFormats(FormatTable formats)
{
    std::vector<const FormatHandler*> files;
    for (const FormatHandler& format : formats)
        if (format.detect && format.name)
            files.push_back(&format);
    return files;
}

std::string FormatNamesText(FormatTable formats)
{
    const std::vector<const FormatHandler*> files = FileFormats(formats);
    std::string text;
    for (size_t i = 0; i < files.size(); ++i) {
        if (i > 0)
            text += i + 1 == files.size() ? " and " : ", ";
        text += files[i]->name;
    }
    return text;
}

std::string OpenDialogFilter(FormatTable formats)
{
    std::string names, patterns;
    for (const FormatHandler* format : FileFormats(formats)) {
        if (!names.empty())
            names += "、";
        names += format->name;
        if (format->filePatterns) {
            if (!patterns.empty())
                patterns += ' ';
            patterns += format->filePatterns;
        }
    }
    return names + " ファイル (" + patterns + ")";
}
