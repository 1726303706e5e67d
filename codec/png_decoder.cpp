#include "codec/png_decoder.h"

#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

constexpr uint32_t kMaxDimension = 0x7FFFFFFFu;  // PNG Third Edition 11.2.1: at most 2^31 - 1

// Adam7, PNG Third Edition 8.2: each pass takes every columnStep-th pixel of
// every rowStep-th row, starting at (firstColumn, firstRow).
struct Adam7Pass {
    uint8_t firstColumn;
    uint8_t firstRow;
    uint8_t columnStep;
    uint8_t rowStep;
};
constexpr Adam7Pass kAdam7[7] = {
    {0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4}, {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2},
};

// Colour types and the bit depths each allows, PNG Third Edition 11.2.1
// (Table 11.1), as a bit set of depths.
struct ColourType {
    uint8_t type;
    uint8_t channels;
    uint32_t depths;  // bit d set: depth d is allowed
};
constexpr ColourType kColourTypes[5] = {
    {0, 1, (1u << 1) | (1u << 2) | (1u << 4) | (1u << 8) | (1u << 16)},  // greyscale
    {2, 3, (1u << 8) | (1u << 16)},                                      // truecolour
    {3, 1, (1u << 1) | (1u << 2) | (1u << 4) | (1u << 8)},               // indexed-colour
    {4, 2, (1u << 8) | (1u << 16)},                                      // greyscale with alpha
    {6, 4, (1u << 8) | (1u << 16)},                                      // truecolour with alpha
};

const ColourType* FindColourType(uint8_t type)
{
    for (const ColourType& c : kColourTypes)
        if (c.type == type)
            return &c;
    return nullptr;
}

// Pixels of one pass along one axis: those at start, start + step, ...
// below size.
uint32_t PassExtent(uint32_t size, uint32_t start, uint32_t step)
{
    return size > start ? (size - start + step - 1) / step : 0;
}

uint64_t SaturatingMultiply(uint64_t a, uint64_t b)
{
    if (a != 0 && b > UINT64_MAX / a)
        return UINT64_MAX;
    return a * b;
}

uint64_t SaturatingAdd(uint64_t a, uint64_t b)
{
    return b > UINT64_MAX - a ? UINT64_MAX : a + b;
}

// The Paeth predictor, PNG Third Edition 9.4: of left, above and upper left,
// the one closest to left + above - upper left, ties in that order.
inline uint8_t Paeth(int a, int b, int c)
{
    int p = a + b - c;
    int pa = p > a ? p - a : a - p;
    int pb = p > b ? p - b : b - p;
    int pc = p > c ? p - c : c - p;
    if (pa <= pb && pa <= pc)
        return static_cast<uint8_t>(a);
    return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Undoes filter types 1 to 4 (PNG Third Edition 9.2) in place. Bytes left
// of the row's first pixel count as 0, as does the row above the first row
// of a pass (prior is all zeros then).
void Unfilter(uint8_t filter, uint8_t* row, const uint8_t* prior, size_t n, size_t bpp)
{
    size_t lead = bpp < n ? bpp : n;
    switch (filter) {
    case 1:
        for (size_t i = bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + row[i - bpp]);
        break;
    case 2:
        for (size_t i = 0; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        break;
    case 3:
        for (size_t i = 0; i < lead; ++i)
            row[i] = static_cast<uint8_t>(row[i] + (prior[i] >> 1));
        for (size_t i = bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + ((row[i - bpp] + prior[i]) >> 1));
        break;
    case 4:
        for (size_t i = 0; i < lead; ++i)
            row[i] = static_cast<uint8_t>(row[i] + prior[i]);
        for (size_t i = bpp; i < n; ++i)
            row[i] = static_cast<uint8_t>(row[i] + Paeth(row[i - bpp], prior[i], prior[i - bpp]));
        break;
    default:
        break;
    }
}

// Sample i of a row of 1-, 2- or 4-bit samples, packed from the most
// significant bit of each byte (PNG Third Edition 7.2).
inline uint32_t PackedSample(const uint8_t* raw, uint64_t i, uint32_t depth)
{
    uint64_t bit = i * depth;
    uint32_t shift = 8 - depth - static_cast<uint32_t>(bit & 7);
    return (raw[bit >> 3] >> shift) & ((1u << depth) - 1);
}

inline uint16_t Sample16(const uint8_t* p)
{
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

}  // namespace

const char* PngImageHeader::Problem() const
{
    if (width == 0 || height == 0)
        return "幅または高さが 0";
    if (width > kMaxDimension || height > kMaxDimension)
        return "幅または高さが 2^31-1 を超えている";
    const ColourType* type = FindColourType(colourType);
    if (!type)
        return "色の種類が不明";
    if (bitDepth > 16 || (type->depths & (1u << bitDepth)) == 0)
        return "ビット深度と色の種類の組み合わせが不正";
    if (interlace > 1)
        return "インターレース方式が不明";
    return nullptr;
}

uint32_t PngImageHeader::Channels() const
{
    const ColourType* type = FindColourType(colourType);
    return type ? type->channels : 0;
}

uint64_t PngImageHeader::RowBytes(uint32_t pixels) const
{
    // At most 2^32 pixels of 64 bits: fits 64 bits with room to spare.
    uint64_t bits = uint64_t{pixels} * Channels() * bitDepth;
    return (bits + 7) / 8;
}

uint64_t PngImageHeader::DataBytes() const
{
    if (Problem())
        return 0;
    if (interlace == 0)
        return SaturatingMultiply(height, RowBytes(width) + 1);
    uint64_t total = 0;
    for (const Adam7Pass& pass : kAdam7) {
        uint32_t w = PassExtent(width, pass.firstColumn, pass.columnStep);
        uint32_t h = PassExtent(height, pass.firstRow, pass.rowStep);
        if (w != 0 && h != 0)
            total = SaturatingAdd(total, SaturatingMultiply(h, RowBytes(w) + 1));
    }
    return total;
}

void CPngDecoder::FreeDeleter::operator()(uint8_t* p) const
{
    std::free(p);
}

CPngDecoder::CPngDecoder(const PngImageHeader& header, std::span<const uint8_t> palette,
                         std::span<const uint8_t> trns, RowCallback onRow)
    : header_(header), onRow_(std::move(onRow))
{
    if (const char* problem = header_.Problem()) {
        Fail(PngDecodeStatus::Malformed, problem);
        return;
    }
    const uint32_t depth = header_.bitDepth;
    if (header_.colourType == 3) {
        paletteEntries_ = static_cast<uint32_t>(palette.size() / 3 < 256 ? palette.size() / 3 : 256);
        for (uint32_t i = 0; i < 256; ++i) {
            uint8_t* entry = palette_ + 4 * i;
            if (i < paletteEntries_)
                std::memcpy(entry, palette.data() + 3 * i, 3);
            entry[3] = i < paletteEntries_ && i < trns.size() ? trns[i] : 255;
        }
    } else if ((header_.colourType == 0 && trns.size() == 2) || (header_.colourType == 2 && trns.size() == 6)) {
        const uint32_t mask = depth == 16 ? 0xFFFFu : (1u << depth) - 1;
        for (size_t i = 0; i < trns.size() / 2; ++i)
            key_[i] = static_cast<uint16_t>(Sample16(trns.data() + 2 * i) & mask);
        hasKey_ = true;
    }
    const uint64_t pixelBits = uint64_t{header_.Channels()} * depth;
    bytesPerPixel_ = static_cast<uint32_t>(pixelBits < 8 ? 1 : pixelBits / 8);
    if (Allocate()) {
        state_ = State::Rows;
        StartPass();
    }
}

CPngDecoder::~CPngDecoder() = default;

void CPngDecoder::Fail(PngDecodeStatus status, const char* reason)
{
    state_ = State::Failed;
    result_.status = status;
    result_.reason = reason;
}

// Sizes are checked before anything is allocated; calloc hands out large
// blocks as untouched zero pages, so a header that promises a large picture
// costs memory only as its data arrives.
bool CPngDecoder::Allocate()
{
    maxRowBytes_ = header_.RowBytes(header_.width);
    const uint64_t rgbaRow = uint64_t{header_.width} * 4;
    if (2 * maxRowBytes_ + rgbaRow > kMaxRowBufferBytes) {  // below 2^36
        Fail(PngDecodeStatus::TooLarge, "1 行が大きすぎる (256 MiB 超)");
        return false;
    }
    if (header_.interlace == 1) {
        const uint64_t pictureBytes = rgbaRow * header_.height;  // below 2^33 * 2^31
        if (pictureBytes > kMaxInterlacedBytes) {
            Fail(PngDecodeStatus::TooLarge, "インターレース画像が大きすぎる (256 MiB 超)");
            return false;
        }
        picture_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(pictureBytes), 1)));
    }
    prior_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(maxRowBytes_), 1)));
    current_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(maxRowBytes_), 1)));
    rgbaRow_.reset(static_cast<uint8_t*>(std::calloc(static_cast<size_t>(rgbaRow), 1)));
    if (!prior_ || !current_ || !rgbaRow_ || (header_.interlace == 1 && !picture_)) {
        Fail(PngDecodeStatus::TooLarge, "画像のメモリを確保できない");
        return false;
    }
    return true;
}

// Moves to the first pass, from pass_ on, that has pixels; passes without
// any have no rows in the data, not even filter bytes (PNG Third Edition
// 8.2). Without interlacing the picture is the one pass.
void CPngDecoder::StartPass()
{
    row_ = 0;
    rowFill_ = 0;
    filterRead_ = false;
    if (header_.interlace == 0) {
        passWidth_ = header_.width;
        passHeight_ = header_.height;
        passRowBytes_ = maxRowBytes_;
        return;
    }
    for (; pass_ < 7; ++pass_) {
        const Adam7Pass& pass = kAdam7[pass_];
        passWidth_ = PassExtent(header_.width, pass.firstColumn, pass.columnStep);
        passHeight_ = PassExtent(header_.height, pass.firstRow, pass.rowStep);
        if (passWidth_ != 0 && passHeight_ != 0)
            break;
        ++result_.passesDone;
    }
    passRowBytes_ = header_.RowBytes(passWidth_);
    // Each pass filters against zeros above its first row.
    if (anyPassRow_ && pass_ < 7)
        std::memset(prior_.get(), 0, static_cast<size_t>(passRowBytes_));
}

bool CPngDecoder::Write(const uint8_t* data, size_t n)
{
    while (n > 0 && state_ == State::Rows) {
        if (!filterRead_) {
            filter_ = *data++;
            --n;
            ++result_.dataBytes;
            if (filter_ > 4) {
                Fail(PngDecodeStatus::Malformed, "フィルタの種類が不正 (4 を超える)");
                return false;
            }
            filterRead_ = true;
            continue;
        }
        size_t took = TakeRow(data, n);
        data += took;
        n -= took;
        if (rowFill_ == passRowBytes_ && !FinishRow())
            return false;
    }
    if (state_ == State::Failed)
        return false;
    if (n > 0) {
        uint64_t room = kMaxExtraBytes - result_.extraBytes;
        if (n > room) {
            result_.extraBytes = kMaxExtraBytes;
            result_.extraLimited = true;
            return false;
        }
        result_.extraBytes += n;
    }
    return true;
}

size_t CPngDecoder::TakeRow(const uint8_t* data, size_t n)
{
    uint64_t want = passRowBytes_ - rowFill_;
    size_t take = want < n ? static_cast<size_t>(want) : n;
    std::memcpy(current_.get() + rowFill_, data, take);
    rowFill_ += take;
    result_.dataBytes += take;
    return take;
}

// The current row is complete: unfilter it, widen it to RGBA and hand it
// on (or place it in the Adam7 picture), then move to the next row.
bool CPngDecoder::FinishRow()
{
    Unfilter(filter_, current_.get(), prior_.get(), static_cast<size_t>(passRowBytes_), bytesPerPixel_);
    ExpandRow(current_.get(), passWidth_, rgbaRow_.get());
    if (header_.interlace == 1) {
        PlacePassRow();
    } else {
        if (!onRow_(row_, rgbaRow_.get())) {
            Fail(PngDecodeStatus::Stopped, "呼び出し側が中断した");
            return false;
        }
        ++result_.rowsDone;
    }
    std::swap(prior_, current_);
    rowFill_ = 0;
    filterRead_ = false;
    if (++row_ < passHeight_)
        return true;
    if (header_.interlace == 0) {
        state_ = State::Done;
        return true;
    }
    ++result_.passesDone;
    ++pass_;
    StartPass();
    if (pass_ < 7)
        return true;
    state_ = State::Done;
    return EmitPicture();
}

void CPngDecoder::PlacePassRow()
{
    const Adam7Pass& pass = kAdam7[pass_];
    const uint64_t y = pass.firstRow + uint64_t{row_} * pass.rowStep;
    uint8_t* line = picture_.get() + y * header_.width * 4;
    const uint8_t* from = rgbaRow_.get();
    for (uint64_t i = 0, x = pass.firstColumn; i < passWidth_; ++i, x += pass.columnStep)
        std::memcpy(line + 4 * x, from + 4 * i, 4);
    anyPassRow_ = true;
}

bool CPngDecoder::EmitPicture()
{
    emitted_ = true;
    const uint64_t stride = uint64_t{header_.width} * 4;
    for (uint32_t y = 0; y < header_.height; ++y) {
        if (!onRow_(y, picture_.get() + y * stride)) {
            Fail(PngDecodeStatus::Stopped, "呼び出し側が中断した");
            return false;
        }
        ++result_.rowsDone;
    }
    return true;
}

PngDecodeResult CPngDecoder::Finish()
{
    if (finished_)
        return result_;
    finished_ = true;
    if (state_ == State::Done) {
        result_.status = PngDecodeStatus::Complete;
        result_.reason = result_.extraBytes > 0 ? "画像の後に余分なデータがある" : "";
        return result_;
    }
    if (state_ == State::Rows)
        Fail(PngDecodeStatus::EndedEarly, "画像データが途中で終わっている");
    // An Adam7 picture shows the passes it got, whether its data ended early
    // or went wrong.
    const PngDecodeStatus status = result_.status;
    const bool unfinished = status == PngDecodeStatus::EndedEarly || status == PngDecodeStatus::Malformed;
    if (unfinished && anyPassRow_ && !emitted_)
        EmitPicture();
    return result_;
}

void CPngDecoder::ExpandRow(const uint8_t* raw, uint32_t pixels, uint8_t* rgba)
{
    switch (header_.colourType) {
    case 0:
        ExpandGrey(raw, pixels, rgba);
        break;
    case 2:
        ExpandTruecolour(raw, pixels, rgba);
        break;
    case 3:
        ExpandPalette(raw, pixels, rgba);
        break;
    default:
        ExpandAlpha(raw, pixels, rgba);
        break;
    }
}

void CPngDecoder::ExpandGrey(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const
{
    const uint32_t depth = header_.bitDepth;
    // Bit replication widens a sample of depth bits to 8: v * 255 / (2^depth - 1).
    const uint32_t scale = depth == 1 ? 255 : depth == 2 ? 85 : 17;
    for (uint32_t i = 0; i < pixels; ++i, rgba += 4) {
        uint32_t v;
        uint8_t grey;
        if (depth == 16) {
            v = Sample16(raw + 2 * uint64_t{i});
            grey = static_cast<uint8_t>(v >> 8);
        } else if (depth == 8) {
            v = raw[i];
            grey = static_cast<uint8_t>(v);
        } else {
            v = PackedSample(raw, i, depth);
            grey = static_cast<uint8_t>(v * scale);
        }
        rgba[0] = rgba[1] = rgba[2] = grey;
        rgba[3] = hasKey_ && v == key_[0] ? 0 : 255;
    }
}

void CPngDecoder::ExpandTruecolour(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const
{
    if (header_.bitDepth == 8) {
        for (uint32_t i = 0; i < pixels; ++i, raw += 3, rgba += 4) {
            std::memcpy(rgba, raw, 3);
            bool clear = hasKey_ && raw[0] == key_[0] && raw[1] == key_[1] && raw[2] == key_[2];
            rgba[3] = clear ? 0 : 255;
        }
        return;
    }
    for (uint32_t i = 0; i < pixels; ++i, raw += 6, rgba += 4) {
        rgba[0] = raw[0];
        rgba[1] = raw[2];
        rgba[2] = raw[4];
        bool clear = hasKey_ && Sample16(raw) == key_[0] && Sample16(raw + 2) == key_[1] &&
                     Sample16(raw + 4) == key_[2];
        rgba[3] = clear ? 0 : 255;
    }
}

void CPngDecoder::ExpandPalette(const uint8_t* raw, uint32_t pixels, uint8_t* rgba)
{
    const uint32_t depth = header_.bitDepth;
    uint64_t bad = 0;
    for (uint32_t i = 0; i < pixels; ++i, rgba += 4) {
        uint32_t index = depth == 8 ? raw[i] : PackedSample(raw, i, depth);
        if (index >= paletteEntries_)
            ++bad;
        // Entries past the palette were left black and opaque.
        std::memcpy(rgba, palette_ + 4 * index, 4);
    }
    result_.badPaletteIndexes += bad;
}

// Greyscale with alpha and truecolour with alpha, 8 or 16 bits.
void CPngDecoder::ExpandAlpha(const uint8_t* raw, uint32_t pixels, uint8_t* rgba) const
{
    const uint32_t step = header_.bitDepth / 8;  // bytes per sample; the high byte comes first
    if (header_.colourType == 4) {
        for (uint32_t i = 0; i < pixels; ++i, raw += 2 * step, rgba += 4) {
            rgba[0] = rgba[1] = rgba[2] = raw[0];
            rgba[3] = raw[step];
        }
        return;
    }
    if (step == 1) {
        std::memcpy(rgba, raw, size_t{pixels} * 4);
        return;
    }
    for (uint32_t i = 0; i < pixels; ++i, raw += 8, rgba += 4) {
        rgba[0] = raw[0];
        rgba[1] = raw[2];
        rgba[2] = raw[4];
        rgba[3] = raw[6];
    }
}
