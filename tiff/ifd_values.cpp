#include "tiff/ifd_values.h"

#include <algorithm>

#include "tiff/tag_table.h"

bool CIfdValues::LittleEndian() const
{
    return byteOrder_ == kTiffLittleEndian;
}

const IfdEntry* CIfdValues::FindCurrent(uint32_t tag) const
{
    if (open_.empty())
        return nullptr;
    for (const IfdEntry& entry : records_[open_.back()].entries)
        if (entry.tag == tag)
            return &entry;
    return nullptr;
}

const IfdEntry* CIfdValues::FindOpen(uint32_t tag) const
{
    for (auto it = open_.rbegin(); it != open_.rend(); ++it)
        for (const IfdEntry& entry : records_[*it].entries)
            if (entry.tag == tag)
                return &entry;
    return nullptr;
}

bool CIfdValues::ValuesInline(const IfdEntry& entry) const
{
    const TypeInfo* type = FindType(entry.type);
    if (entry.count == 0 || !type)
        return entry.count <= 1 && entry.type != kRational && entry.type != kUndefined &&
               entry.type != kSRational;
    // The value field holds the values themselves whenever they fit into
    // its four bytes (eight in BigTIFF).
    return entry.count <= OffsetBytes() / type->size;
}

uint64_t CIfdValues::ValuePosition(const IfdEntry& entry, uint64_t e, uint64_t i) const
{
    const TypeInfo* type = FindType(entry.type);
    const uint64_t size = type ? type->size : 0;
    if (ValuesInline(entry))
        return e + EntryBytes() - OffsetBytes() + i * size;
    return AbsoluteOffset(AbsoluteOffset(entry.valueField, baseOffset_), i * size);
}

ByteRange CIfdValues::ValueBytes(const IfdEntry& entry, uint64_t e, uint64_t i) const
{
    const TypeInfo* type = FindType(entry.type);
    return Bytes(ValuePosition(entry, e, i), type ? type->size : 0);
}

ByteRange CIfdValues::Bytes(uint64_t start, uint64_t length) const
{
    return {start, start >= fileSize_ ? fileSize_ : start + std::min(length, fileSize_ - start)};
}

std::vector<uint8_t> CIfdValues::RawValueBytes(const IfdEntry& entry, uint64_t e, uint64_t maxBytes) const
{
    const TypeInfo* type = FindType(entry.type);
    std::vector<uint8_t> bytes;
    if (!type || entry.count > fileSize_ || !fp_)
        return bytes;
    const uint64_t start = ValuePosition(entry, e, 0);
    const uint64_t length = std::min(entry.count * type->size, maxBytes);
    if (start > fileSize_ || length > fileSize_ - start)
        return bytes;
    const long back = std::ftell(fp_);
    std::fseek(fp_, static_cast<long>(start), SEEK_SET);
    bytes.resize(length);
    bytes.resize(std::fread(bytes.data(), 1, bytes.size(), fp_));
    std::fseek(fp_, back < 0 ? 0 : back, SEEK_SET);
    reader_.Reset();
    return bytes;
}
