#include "codec/jpeg_stream_tables.h"

namespace {

// Marker codes, ITU-T T.81 Table B.1.
constexpr uint32_t kSof0 = 0xC0;
constexpr uint32_t kSof1 = 0xC1;
constexpr uint32_t kDht = 0xC4;
constexpr uint32_t kSoi = 0xD8;
constexpr uint32_t kEoi = 0xD9;
constexpr uint32_t kSos = 0xDA;
constexpr uint32_t kDqt = 0xDB;
constexpr uint32_t kDri = 0xDD;
constexpr uint32_t kTem = 0x01;

uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

bool IsStandalone(uint32_t marker)
{
    return marker == kSoi || marker == kEoi || marker == kTem || (marker >= 0xD0 && marker <= 0xD7);
}

}  // namespace

bool CJpegStreamTables::Read(const uint8_t* data, size_t size, size_t* scanStart)
{
    size_t pos = 0;
    while (pos + 2 <= size) {
        if (data[pos] != 0xFF)
            return false;
        // Fill bytes 0xFF may stand before any marker (T.81 B.1.1.2).
        while (pos + 1 < size && data[pos + 1] == 0xFF)
            ++pos;
        if (pos + 2 > size)
            return false;
        const uint32_t marker = data[pos + 1];
        pos += 2;
        if (marker == kEoi)
            return false;
        if (IsStandalone(marker))
            continue;
        if (pos + 2 > size)
            return false;
        const size_t length = Be16(data + pos);
        if (length < 2 || pos + length > size)
            return false;
        const uint8_t* body = data + pos + 2;
        const size_t bodySize = length - 2;
        pos += length;
        bool ok = true;
        switch (marker) {
        case kDqt: ok = ReadQuant(body, bodySize); break;
        case kDht: ok = ReadHuffman(body, bodySize); break;
        case kDri:
            ok = bodySize >= 2;
            if (ok)
                restartInterval_ = Be16(body);
            break;
        case kSos:
            if (!ReadScan(body, bodySize))
                return false;
            *scanStart = pos;
            return true;
        default:
            if (marker >= 0xC0 && marker <= 0xCF && marker != kDht && marker != 0xC8 && marker != 0xCC)
                ok = ReadFrame(marker, body, bodySize);
            break;
        }
        if (!ok)
            return false;
    }
    return false;
}

CJpegStreamTables::Tables& CJpegStreamTables::WritableTables()
{
    if (tables_.use_count() > 1)
        tables_ = std::make_shared<Tables>(*tables_);
    return *tables_;
}

bool CJpegStreamTables::ReadQuant(const uint8_t* data, size_t size)
{
    // One or more tables: precision and destination, then 64 values of 8
    // or 16 bits in zigzag order (T.81 B.2.4.1).
    size_t pos = 0;
    while (pos < size) {
        const uint32_t pq = data[pos] >> 4;
        const uint32_t tq = data[pos] & 0x0F;
        const size_t bytes = pq ? 128 : 64;
        if (tq > 3 || pq > 1 || pos + 1 + bytes > size)
            return false;
        Tables& t = WritableTables();
        QuantTable& q = t.quant[tq];
        q.selector = tq;
        for (size_t k = 0; k < 64; ++k) {
            const uint8_t* v = data + pos + 1 + (pq ? 2 * k : k);
            q.value[kZigzag[k] >> 4][kZigzag[k] & 0x0F] = pq ? Be16(v) : v[0];
        }
        t.quantPresent[tq] = true;
        pos += 1 + bytes;
    }
    return true;
}

bool CJpegStreamTables::ReadHuffman(const uint8_t* data, size_t size)
{
    // One or more tables: class and destination, 16 code counts, then the
    // symbols; codes are generated in canonical order (T.81 Annex C).
    size_t pos = 0;
    while (pos < size) {
        if (pos + 17 > size)
            return false;
        const uint32_t tc = data[pos] >> 4;
        const uint32_t th = data[pos] & 0x0F;
        if (tc > 1 || th > 3)
            return false;
        size_t total = 0;
        for (size_t i = 0; i < 16; ++i)
            total += data[pos + 1 + i];
        if (total > 256 || pos + 17 + total > size)
            return false;
        Tables& t = WritableTables();
        Huffman& h = (tc == 0 ? t.dc : t.ac)[th];
        h.table.codes.clear();
        h.table.codes.reserve(total);
        uint32_t code = 0;
        const uint8_t* symbol = data + pos + 17;
        for (uint32_t length = 1; length <= 16; ++length) {
            for (uint32_t i = 0; i < data[pos + length]; ++i)
                h.table.codes.push_back({code++, length, *symbol++});
            code <<= 1;
        }
        h.table.classDestination = tc << 4 | th;
        h.present = true;
        pos += 17 + total;
    }
    return true;
}

bool CJpegStreamTables::ReadFrame(uint32_t marker, const uint8_t* data, size_t size)
{
    frameSupported_ = false;
    components_.clear();
    if (size < 6)
        return false;
    const uint32_t count = data[5];
    if (size < 6 + 3 * size_t{count})
        return false;
    width_ = Be16(data + 3);
    height_ = Be16(data + 1);
    for (uint32_t i = 0; i < count; ++i) {
        const uint8_t* c = data + 6 + 3 * i;
        components_.push_back({c[0], uint32_t{c[1]} >> 4, uint32_t{c[1]} & 0x0F, uint32_t{c[2]}, 0, 0});
    }
    // Huffman-coded sequential frames with 8-bit samples only.
    frameSupported_ = (marker == kSof0 || marker == kSof1) && data[0] == 8;
    return true;
}

bool CJpegStreamTables::ReadScan(const uint8_t* data, size_t size)
{
    scanMatchesFrame_ = false;
    if (size < 1)
        return false;
    const uint32_t count = data[0];
    if (size < 1 + 2 * size_t{count} + 3)
        return false;
    // Every component of the frame, in frame order, in one scan.
    bool matches = count == components_.size();
    for (uint32_t i = 0; i < count && matches; ++i) {
        const uint8_t* s = data + 1 + 2 * i;
        matches = s[0] == components_[i].identifier;
        components_[i].dc = s[1] >> 4;
        components_[i].ac = s[1] & 0x0F;
    }
    scanMatchesFrame_ = matches;
    return true;
}

bool CJpegStreamTables::Frame(CJpegScanDecoder::Frame& frame, bool rgb) const
{
    if (!frameSupported_ || !scanMatchesFrame_ || components_.empty() ||
        components_.size() > static_cast<size_t>(CJpegScanDecoder::kMaxComponents))
        return false;
    const Tables& t = *tables_;
    frame = CJpegScanDecoder::Frame();
    frame.width = width_;
    frame.height = height_;
    frame.restartInterval = restartInterval_;
    frame.rgb = rgb;
    frame.componentCount = static_cast<int>(components_.size());
    for (size_t i = 0; i < components_.size(); ++i) {
        const Component& from = components_[i];
        if (from.quant > 3 || from.dc > 3 || from.ac > 3 || !t.quantPresent[from.quant] ||
            !t.dc[from.dc].present || !t.ac[from.ac].present)
            return false;
        CJpegScanDecoder::Component& c = frame.components[i];
        // Each component keeps its own DC prediction.
        c.identifier = static_cast<uint32_t>(i);
        c.horizontal = from.horizontal;
        c.vertical = from.vertical;
        c.quant = &t.quant[from.quant];
        c.dc = &t.dc[from.dc].table;
        c.ac = &t.ac[from.ac].table;
    }
    // A scan of one component is not interleaved: its MCU is one block
    // (T.81 A.2.2).
    if (frame.componentCount == 1)
        frame.components[0].horizontal = frame.components[0].vertical = 1;
    return CJpegScanDecoder::Supported(frame);
}
