#include "jpeg/app_field_reader.h"

namespace {

// What the reader holds after a read at the end of the file: never a 0xFF
// byte that a stuffed 0x00 could follow.
constexpr uint32_t kEndOfFile = 0xFFFFFFFFu;

}  // namespace

uint32_t CAppFieldReader::Byte()
{
    if (at_ >= bytes_.size()) {
        previous_ = kEndOfFile;
        return 0xFF;
    }
    uint32_t byte = bytes_[at_++];
    if (previous_ == 0xFF && byte == 0x00) {
        if (at_ >= bytes_.size()) {
            previous_ = kEndOfFile;
            return 0xFF;
        }
        byte = bytes_[at_++];
    }
    previous_ = byte;
    return byte;
}

uint32_t CAppFieldReader::Read(size_t count)
{
    uint32_t value = 0;
    for (size_t i = 0; i < count && i < 4; ++i)
        value = value << 8 | Byte();
    return value;
}
