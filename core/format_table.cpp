#include "core/format_table.h"

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
        names += (names.empty() ? "" : "、") + std::string(format->name);
        if (format->filePatterns)
            patterns += (patterns.empty() ? "" : " ") + std::string(format->filePatterns);
    }
    return names + " ファイル (" + patterns + ")";
}
