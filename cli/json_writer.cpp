#include "cli/json_writer.h"

#include <cstdio>

namespace {
// Length of the valid UTF-8 sequence starting at text[i], or 0 when the byte
// there does not start one (overlong forms and surrogates are not valid).
size_t ValidSequenceLength(std::string_view text, size_t i)
{
    const auto byte = [&](size_t k) { return static_cast<unsigned char>(text[k]); };
    const unsigned char b0 = byte(i);
    size_t length;
    unsigned char lo = 0x80, hi = 0xBF;
    if (b0 < 0x80)
        return 1;
    if (b0 >= 0xC2 && b0 <= 0xDF)
        length = 2;
    else if (b0 >= 0xE0 && b0 <= 0xEF) {
        length = 3;
        if (b0 == 0xE0) lo = 0xA0;
        if (b0 == 0xED) hi = 0x9F;
    } else if (b0 >= 0xF0 && b0 <= 0xF4) {
        length = 4;
        if (b0 == 0xF0) lo = 0x90;
        if (b0 == 0xF4) hi = 0x8F;
    } else
        return 0;
    if (i + length > text.size())
        return 0;
    if (byte(i + 1) < lo || byte(i + 1) > hi)
        return 0;
    for (size_t k = 2; k < length; ++k)
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
    return length;
}
}

void CJsonWriter::WriteEscaped(std::ostream& out, std::string_view text)
{
    char buf[8];
    out << '"';
    for (size_t i = 0; i < text.size();) {
        const unsigned char c = static_cast<unsigned char>(text[i]);
        const size_t length = ValidSequenceLength(text, i);
        if (length == 0) {
            std::snprintf(buf, sizeof buf, "\\udc%02x", c);
            out << buf;
            ++i;
            continue;
        }
        if (length > 1) {
            out.write(text.data() + i, static_cast<std::streamsize>(length));
            i += length;
            continue;
        }
        switch (c) {
        case '"': out << "\\\""; break;
        case '\\': out << "\\\\"; break;
        case '\n': out << "\\n"; break;
        case '\r': out << "\\r"; break;
        case '\t': out << "\\t"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                std::snprintf(buf, sizeof buf, "\\u%04x", c);
                out << buf;
            } else {
                out << static_cast<char>(c);
            }
        }
        ++i;
    }
    out << '"';
}

void CJsonWriter::BeforeValue()
{
    if (afterKey_) {
        afterKey_ = false;
        return;
    }
    if (!hasMember_.empty()) {
        if (hasMember_.back())
            out_ << ',';
        hasMember_.back() = true;
    }
}

void CJsonWriter::BeginObject()
{
    BeforeValue();
    out_ << '{';
    hasMember_.push_back(false);
}

void CJsonWriter::EndObject()
{
    hasMember_.pop_back();
    out_ << '}';
}

void CJsonWriter::BeginArray()
{
    BeforeValue();
    out_ << '[';
    hasMember_.push_back(false);
}

void CJsonWriter::EndArray()
{
    hasMember_.pop_back();
    out_ << ']';
}

void CJsonWriter::Key(std::string_view key)
{
    BeforeValue();
    WriteEscaped(out_, key);
    out_ << ':';
    afterKey_ = true;
}

void CJsonWriter::String(std::string_view value)
{
    BeforeValue();
    WriteEscaped(out_, value);
}

void CJsonWriter::Number(int64_t value)
{
    BeforeValue();
    out_ << value;
}

void CJsonWriter::Bool(bool value)
{
    BeforeValue();
    out_ << (value ? "true" : "false");
}

void CJsonWriter::Null()
{
    BeforeValue();
    out_ << "null";
}
