#include "codec/jpeg_stream_parser.h"

#include <algorithm>

using namespace jpeg_marker;

namespace {

uint32_t Be16(const uint8_t* p) { return uint32_t{p[0]} << 8 | p[1]; }

bool Standalone(uint32_t marker)
{
    // RST0-RST7, SOI, EOI and TEM carry no length (T.81 B.1.1.4).
    return marker == kSoi || marker == kEoi || marker == 0xFF01 || IsRestart(marker);
}

}  // namespace

JpegTables& CJpegStreamParser::WritableTables()
{
    if (tables_.use_count() > 1)
        tables_ = std::make_shared<JpegTables>(*tables_);
    return *tables_;
}

// One or more tables: precision and destination, then 64 values of 8 or
// (precision 1) 16 bits in zigzag order (T.81 B.2.4.1). A table with another
// precision nibble is taken to have 8-bit values, which is as far as its
// bytes can be followed.
void CJpegStreamParser::Dqt(const JpegPayload& p, std::vector<JpegTableRecord>* records)
{
    size_t pos = 0;
    do {
        if (pos >= p.size)
            break;
        JpegTableRecord r;
        r.at = pos;
        r.selector = p.data[pos];
        const uint32_t precision = r.selector >> 4;
        const uint32_t destination = r.selector & 0x0F;
        const size_t bytes = precision == 1 ? 128 : 64;
        const size_t next = pos + 1 + bytes;
        r.end = std::min(next, p.size);
        r.valid = next <= p.declared && next <= p.size && precision <= 1 && destination <= 3;
        if (r.valid) {
            JpegTables& t = WritableTables();
            QuantTable& q = t.quant[destination];
            q.selector = destination;
            for (size_t k = 0; k < 64; ++k) {
                const uint8_t* v = p.data + pos + 1 + (precision ? 2 * k : k);
                q.value[kZigzag[k] >> 4][kZigzag[k] & 0x0F] = precision ? Be16(v) : v[0];
            }
            t.quantPresent[destination] = true;
        }
        if (records)
            records->push_back(r);
        pos = next;
    } while (pos < p.declared && pos < p.size);
}

// One or more tables: class and destination, 16 code counts, then the
// symbols; codes are generated in canonical order (T.81 Annex C).
void CJpegStreamParser::Dht(const JpegPayload& p, std::vector<JpegTableRecord>* records)
{
    size_t pos = 0;
    do {
        if (pos >= p.size)
            break;
        JpegTableRecord r;
        r.at = pos;
        r.selector = p.data[pos];
        size_t total = 0;
        const bool countsRead = pos + 17 <= p.size;
        for (size_t i = 1; i <= 16 && pos + i < p.size; ++i)
            total += p.data[pos + i];
        const size_t next = pos + 17 + total;
        r.end = std::min(next, p.size);
        const uint32_t tc = r.selector >> 4;
        const uint32_t th = r.selector & 0x0F;
        r.valid = countsRead && next <= p.declared && next <= p.size && tc <= 1 && th <= 3 && total <= 256;
        if (r.valid) {
            JpegTables& t = WritableTables();
            HuffmanTable& h = (tc == 0 ? t.dc : t.ac)[th];
            h.classDestination = r.selector;
            h.codes.clear();
            h.codes.reserve(total);
            uint32_t code = 0;
            const uint8_t* symbol = p.data + pos + 17;
            for (uint32_t length = 1; length <= 16; ++length) {
                for (uint32_t i = 0; i < p.data[pos + length]; ++i)
                    h.codes.push_back({code++, length, *symbol++});
                code <<= 1;
            }
            (tc == 0 ? t.dcPresent : t.acPresent)[th] = true;
        }
        if (records)
            records->push_back(r);
        pos = next;
    } while (pos < p.declared && pos < p.size);
}

// Pairs of class-and-destination and conditioning value (T.81 B.2.4.3): for
// DC tables the bounds L (low nibble) and U (high nibble) with L <= U, for AC
// tables Kx from 1 to 63.
void CJpegStreamParser::Dac(const JpegPayload& p, std::vector<JpegTableRecord>* records)
{
    size_t pos = 0;
    while (pos < p.declared && pos < p.size) {
        JpegTableRecord r;
        r.at = pos;
        r.selector = p.data[pos];
        r.end = std::min(pos + 2, p.size);
        const uint32_t tc = r.selector >> 4;
        const uint32_t tb = r.selector & 0x0F;
        if (pos + 2 <= p.size) {
            r.value = p.data[pos + 1];
            const bool bounds = tc == 0 ? (r.value & 0x0F) <= (r.value >> 4) : r.value >= 1 && r.value <= 63;
            r.valid = pos + 2 <= p.declared && tc <= 1 && tb <= 3 && bounds;
        }
        if (r.valid) {
            JpegTables& t = WritableTables();
            (tc == 0 ? t.dcConditioning : t.acConditioning)[tb] = static_cast<uint8_t>(r.value);
        }
        if (records)
            records->push_back(r);
        pos += 2;
    }
}

bool CJpegStreamParser::Dri(const JpegPayload& p, uint32_t* value)
{
    *value = p.size >= 2 ? Be16(p.data) : 0;
    if (p.size < 2)
        return false;
    if (p.declared >= 2)
        WritableTables().restartInterval = *value;
    return true;
}

bool CJpegStreamParser::Dnl(const JpegPayload& p, uint32_t* lines)
{
    *lines = p.size >= 2 ? Be16(p.data) : 0;
    return p.size >= 2;
}

bool CJpegStreamParser::Exp(const JpegPayload& p, uint32_t* expand)
{
    *expand = p.size >= 1 ? p.data[0] : 0;
    return p.size >= 1;
}

// P, Y, X, Nf, then Nf components of identifier, sampling factors and
// quantization table selector (T.81 B.2.2). The count of components read is
// bounded by the view, whatever Nf claims.
JpegFrame CJpegStreamParser::Frame(uint32_t marker, const JpegPayload& p)
{
    JpegFrame f;
    f.marker = marker;
    f.countAt = 5;
    if (p.size < 6)
        return f;
    f.headerRead = true;
    f.precision = p.data[0];
    f.lines = Be16(p.data + 1);
    f.samplesPerLine = Be16(p.data + 3);
    const size_t count = p.data[5];
    for (size_t i = 0; i < count && 6 + 3 * i + 3 <= p.size; ++i) {
        const uint8_t* c = p.data + 6 + 3 * i;
        f.components.push_back({6 + 3 * i, c[0], c[1], c[2]});
    }
    f.complete = f.components.size() == count;
    f.valid = f.complete && count >= 1 && 6 + 3 * count <= p.declared;
    if (f.valid && marker != kDhp) {
        frame_ = f;
        hasFrame_ = true;
    }
    return f;
}

// Ns, then Ns components of selector and table selection, then Ss, Se and
// Ah/Al (T.81 B.2.3).
JpegScan CJpegStreamParser::Scan(const JpegPayload& p)
{
    JpegScan s;
    if (p.size < 1)
        return s;
    const size_t count = p.data[0];
    for (size_t i = 0; i < count && 1 + 2 * i + 2 <= p.size; ++i) {
        const uint8_t* c = p.data + 1 + 2 * i;
        s.components.push_back({1 + 2 * i, {c[0], c[1]}});
    }
    s.selectionAt = 1 + 2 * count;
    if (s.components.size() == count && s.selectionAt + 3 <= p.size) {
        s.spectralStart = p.data[s.selectionAt];
        s.spectralEnd = p.data[s.selectionAt + 1];
        s.approximation = p.data[s.selectionAt + 2];
        s.complete = true;
    }
    s.valid = s.complete && count >= 1 && s.selectionAt + 3 <= p.declared;
    if (s.valid)
        scan_ = s;
    return s;
}

bool CJpegStreamParser::ScanHasTables(const JpegScan& scan) const
{
    bool unknown = false, dc = false;
    return hasFrame_ && scan.valid && !FirstLacking(scan, &unknown, &dc);
}

const JpegScanComponentField* CJpegStreamParser::FirstLacking(const JpegScan& scan, bool* unknown, bool* dc) const
{
    const JpegTables& t = *tables_;
    const uint32_t marker = frame_.marker;
    // The tables each kind of scan codes with (T.81 G.1.2, H.1.2): a
    // progressive DC scan uses DC tables (refinement none), an AC scan AC
    // tables, a lossless scan DC tables only.
    const bool progressive = IsProgressive(marker);
    const bool needDc = IsLossless(marker) || !progressive || (scan.spectralStart == 0 && (scan.approximation >> 4) == 0);
    const bool needAc = !IsLossless(marker) && (!progressive || scan.spectralStart != 0);
    for (const JpegScanComponentField& c : scan.components) {
        *unknown = std::none_of(frame_.components.begin(), frame_.components.end(),
                                [&](const FrameComponent& f) { return f.identifier == c.component.selector; });
        if (*unknown)
            return &c;
        if (IsArithmetic(marker))
            continue;
        const uint32_t td = c.component.tableSelection >> 4;
        const uint32_t ta = c.component.tableSelection & 0x0F;
        *dc = needDc && (td > 3 || !t.dcPresent[td]);
        if (*dc || (needAc && (ta > 3 || !t.acPresent[ta])))
            return &c;
    }
    return nullptr;
}

bool CJpegStreamParser::Read(const uint8_t* data, size_t size, size_t* scanStart)
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
        const uint32_t marker = 0xFF00u | data[pos + 1];
        pos += 2;
        if (marker == kEoi)
            return false;
        if (Standalone(marker))
            continue;
        if (pos + 2 > size)
            return false;
        const size_t length = Be16(data + pos);
        if (length < 2 || pos + length > size)
            return false;
        const JpegPayload body{data + pos + 2, length - 2, length - 2};
        pos += length;
        std::vector<JpegTableRecord> records;
        auto allValid = [&] {
            return std::all_of(records.begin(), records.end(), [](const JpegTableRecord& r) { return r.valid; });
        };
        uint32_t restart = 0;
        bool ok = true;
        if (marker == kDqt) {
            Dqt(body, &records);
            ok = allValid();
        } else if (marker == kDht) {
            Dht(body, &records);
            ok = allValid();
        } else if (marker == kDac) {
            Dac(body, &records);
        } else if (marker == kDri) {
            ok = body.size >= 2 && Dri(body, &restart);
        } else if (IsFrame(marker)) {
            ok = Frame(marker, body).valid;
        } else if (marker == kSos) {
            if (!Scan(body).valid)
                return false;
            *scanStart = pos;
            return true;
        }
        if (!ok)
            return false;
    }
    return false;
}

bool CJpegStreamParser::BaselineFrame(CJpegScanDecoder::Frame& frame, bool rgb) const
{
    const std::vector<FrameComponent>& components = frame_.components;
    if (!hasFrame_ || (frame_.marker != kSof0 && frame_.marker != kSof1) || frame_.precision != 8 ||
        components.empty() || components.size() > static_cast<size_t>(CJpegScanDecoder::kMaxComponents) ||
        scan_.components.size() != components.size())
        return false;
    const JpegTables& t = *tables_;
    frame = CJpegScanDecoder::Frame();
    frame.width = frame_.samplesPerLine;
    frame.height = frame_.lines;
    frame.restartInterval = t.restartInterval;
    frame.rgb = rgb;
    frame.componentCount = static_cast<int>(components.size());
    for (size_t i = 0; i < components.size(); ++i) {
        const FrameComponent& from = components[i];
        const ScanComponent& scan = scan_.components[i].component;
        const uint32_t quant = from.quantSelector;
        const uint32_t dc = scan.tableSelection >> 4;
        const uint32_t ac = scan.tableSelection & 0x0F;
        if (scan.selector != from.identifier || quant > 3 || dc > 3 || ac > 3 || !t.quantPresent[quant] ||
            !t.dcPresent[dc] || !t.acPresent[ac])
            return false;
        CJpegScanDecoder::Component& c = frame.components[i];
        // Each component keeps its own DC prediction.
        c.identifier = static_cast<uint32_t>(i);
        c.horizontal = from.sampling >> 4;
        c.vertical = from.sampling & 0x0F;
        c.quant = &t.quant[quant];
        c.dc = &t.dc[dc];
        c.ac = &t.ac[ac];
    }
    // A scan of one component is not interleaved: its MCU is one block
    // (T.81 A.2.2).
    if (frame.componentCount == 1)
        frame.components[0].horizontal = frame.components[0].vertical = 1;
    return CJpegScanDecoder::Supported(frame);
}
