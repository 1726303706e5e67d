#include "png/chunk_fields.h"

#include <algorithm>
#include <cstring>

#include "core/file_text.h"
#include "core/result_text.h"

CChunkFields::CChunkFields(const CTreeWriter& out, LineId parent, std::span<const uint8_t> data, uint64_t dataAt)
    : out_(out), parent_(parent), data_(data), dataAt_(dataAt)
{
}

bool CChunkFields::Need(size_t n)
{
    if (Left() < n)
        short_ = true;
    return !short_;
}

uint32_t CChunkFields::Peek(size_t n) const
{
    uint32_t value = 0;
    for (size_t i = 0; i < n && pos_ + i < data_.size(); ++i)
        value = value << 8 | data_[pos_ + i];
    return value;
}

LineId CChunkFields::Put(size_t n, const std::string& text)
{
    n = std::min(n, Left());
    const uint64_t at = At();
    pos_ += n;
    return out_.Insert(parent_, text, ByteRange{at, at + n});
}

bool CChunkFields::Number(size_t n, const char* name, uint32_t* value, const char* note)
{
    if (!Need(n))
        return false;
    const uint32_t v = Peek(n);
    if (value)
        *value = v;
    if (note)
        Put(n, ResultLine("[%08lx] %s = %u (%s)", At(), name, v, note));
    else
        Put(n, ResultLine("[%08lx] %s = %u", At(), name, v));
    return true;
}

bool CChunkFields::Terminated(const char* name, std::string* text, bool* missing)
{
    if (!Need(1))
        return false;
    const uint8_t* start = data_.data() + pos_;
    const auto* nul = static_cast<const uint8_t*>(std::memchr(start, 0, Left()));
    const size_t length = nul ? static_cast<size_t>(nul - start) : Left();
    if (missing)
        *missing = !nul;
    const std::string shown = FileText(reinterpret_cast<const char*>(start), length, kMaxLineBytes);
    if (text)
        text->assign(reinterpret_cast<const char*>(start), length);
    Put(length + (nul ? 1 : 0), ResultLine("[%08lx] %s = %s", At(), name, shown.c_str()));
    return true;
}

void CChunkFields::Rest(const char* name)
{
    if (Left() > 0)
        Put(Left(), ResultLine("[%08lx] %s (%zu [byte])", At(), name, Left()));
}
