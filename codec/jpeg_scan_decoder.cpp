#include "codec/jpeg_scan_decoder.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <vector>

#include "codec/batch_hand_off.h"
#include "codec/decode_threads.h"
#include "codec/jpeg_huffman_lookup.h"
#include "codec/jpeg_mcu_painter.h"

namespace {

constexpr int kFastBits = CJpegHuffmanLookup::kFastBits;

// MCUs in a batch.
constexpr uint32_t kBatchMcus = 64;
// Batches in flight between the entropy decoding and the painting.
constexpr size_t kBatchSlots = 4;
// Pictures of fewer MCUs are decoded on the caller's thread alone: a thread
// would cost more than it saves.
constexpr uint64_t kThreadedMcus = 4 * kBatchMcus;

// Wrapping 32-bit arithmetic, as the transform's.
inline int32_t Wrap(int64_t v) { return static_cast<int32_t>(static_cast<uint32_t>(static_cast<uint64_t>(v))); }
inline int32_t Add(int32_t a, int32_t b) { return Wrap(int64_t{a} + b); }
inline int32_t Mul(int32_t a, int32_t b) { return Wrap(int64_t{a} * b); }

}  // namespace

struct CJpegScanDecoder::State {
    // Raw bytes of the file, read in chunks. The last kKeep bytes of a chunk
    // stay in front of the next one so that the decoder can step back to the
    // end of a restart interval.
    static constexpr size_t kChunk = 1u << 16;
    static constexpr size_t kKeep = 64;
    uint8_t buffer[kKeep + kChunk];
    size_t nextRead = kChunk;   // bytes the next Fill asks for
    uint64_t bufferStart = 0;   // file offset of buffer[0]
    size_t length = 0;
    size_t pos = 0;
    bool atEnd = false;
    FILE* fp = nullptr;
    // The file is not yet where the bytes in the buffer end: it is put there
    // before the first read, so that a scan that needs only the bytes given
    // ahead does not touch the file at all.
    bool seekBeforeRead = false;

    // The bits of the data bytes taken so far, most significant first.
    // The bit count is 64-bit so that the decoder's 32-bit coefficient stores
    // cannot alias it and it stays in a register.
    uint64_t acc = 0;
    int64_t bits = 0;
    uint32_t previous = 0;      // last data byte, 0x100 for end of file

    // Data bytes taken since startOffset: the file offset after each of the
    // last 16, and the byte itself, for finding where the bits used so far end.
    uint64_t startOffset = 0;
    uint32_t startPrevious = 0;
    uint64_t dataCount = 0;
    uint64_t firstEofByte = UINT64_MAX;
    uint64_t ringOffset[16] = {};
    uint32_t ringByte[16] = {};

    // Coefficient batches, kept between decodings; a clean one is all zero.
    JpegCoefficientBatch batches[kBatchSlots];
    bool batchClean[kBatchSlots] = {};

    CJpegHuffmanLookup dcLookup[kMaxComponents];
    CJpegHuffmanLookup acLookup[kMaxComponents];
    uint8_t natural[64] = {};   // natural index ([row][column]) of each zigzag position
    int32_t predictor[8] = {};  // DC predictor of each component identifier
    bool firstBlock[8] = {};

    Outcome DecodeMcus(const Frame& frame, const int32_t (*quant)[64], uint64_t total, CBatchHandOff& handOff,
                       JpegCoefficientBatch* batches, uint64_t& decoded);
    // One MCU's blocks into block (64 values each) and their row masks;
    // false for a code that matches no entry.
    bool DecodeMcu(const Frame& frame, const int32_t (*quant)[64], int32_t* block, uint8_t* rowMasks);
    bool DecodeAc(const CJpegHuffmanLookup& ac, const int32_t* q, int32_t dc, int32_t* freq, uint8_t* rowMask);

    int RawByte()
    {
        if (pos == length) {
            if (atEnd || !Fill())
                return -1;
        }
        return buffer[pos++];
    }

    bool Fill()
    {
        if (length > kKeep) {
            const size_t drop = length - kKeep;
            std::memmove(buffer, buffer + drop, kKeep);
            bufferStart += drop;
            length = kKeep;
            pos -= drop;
        }
        if (seekBeforeRead) {
            std::fseek(fp, static_cast<long>(bufferStart + length), SEEK_SET);
            seekBeforeRead = false;
        }
        const size_t room = kKeep + kChunk - length;
        const size_t got = std::fread(buffer + length, 1, nextRead < room ? nextRead : room, fp);
        nextRead = kChunk;
        length += got;
        if (got == 0)
            atEnd = true;
        return got > 0;
    }

    uint64_t Offset() const { return bufferStart + pos; }

    void Start(uint64_t offset, uint32_t previousByte)
    {
        acc = 0;
        bits = 0;
        previous = previousByte;
        startOffset = offset;
        startPrevious = previousByte;
        dataCount = 0;
        firstEofByte = UINT64_MAX;
    }

    // Takes the next data byte as the byte-at-a-time reader would.
    void TakeByte()
    {
        int b = RawByte();
        if (b == 0 && previous == 0xFF)
            b = RawByte();
        uint32_t value;
        if (b < 0) {
            value = 0xFF;
            if (firstEofByte == UINT64_MAX)
                firstEofByte = dataCount;
            previous = 0x100;
        } else {
            value = static_cast<uint32_t>(b);
            previous = value;
        }
        ringOffset[dataCount & 15] = Offset();
        ringByte[dataCount & 15] = previous;
        ++dataCount;
        acc |= uint64_t{value} << (56 - bits);
        bits += 8;
    }

    void Refill()
    {
        // Fast path: bytes without 0xFF among them, after a byte that is not
        // 0xFF, involve no stuffing and no end of file.
        const int want = static_cast<int>((64 - bits) >> 3);
        if (want == 0)
            return;
        if (previous != 0xFF && pos + static_cast<size_t>(want) <= length) {
            const uint8_t* b = buffer + pos;
            bool plain = true;
            for (int i = 0; i < want; ++i)
                plain &= b[i] != 0xFF;
            if (plain) {
                for (int i = 0; i < want; ++i) {
                    acc |= uint64_t{b[i]} << (56 - bits);
                    bits += 8;
                    ringOffset[dataCount & 15] = bufferStart + pos + static_cast<size_t>(i) + 1;
                    ringByte[dataCount & 15] = b[i];
                    ++dataCount;
                }
                pos += static_cast<size_t>(want);
                previous = b[want - 1];
                return;
            }
        }
        while (bits <= 56)
            TakeByte();
    }

    uint32_t Peek(int n) const { return static_cast<uint32_t>(acc >> (64 - n)); }
    void Skip(int n)
    {
        acc <<= n;
        bits -= n;
    }
    // n from 1 to 32, with at least n bits in the accumulator.
    uint32_t Take(int n)
    {
        const uint32_t v = Peek(n);
        Skip(n);
        return v;
    }

    // Data bytes whose bits have been used, counted from startOffset.
    uint64_t BytesUsed() const { return (dataCount * 8 - static_cast<uint64_t>(bits) + 7) / 8; }
    bool PastEnd() const { return BytesUsed() > firstEofByte; }
    uint64_t OffsetAfterUsed() const
    {
        const uint64_t used = BytesUsed();
        return used == 0 ? startOffset : ringOffset[(used - 1) & 15];
    }
    uint32_t LastUsedByte() const
    {
        const uint64_t used = BytesUsed();
        return used == 0 ? startPrevious : ringByte[(used - 1) & 15];
    }

    // Starts on the entropy-coded data: the bytes ahead (if any) are the
    // file's from ahead.offset on; without them the file stands at
    // ahead.offset, or is put there when seek is set.
    // The scan's code lookups, its quantization values in the decoder's
    // [row][column] order, and the DC predictors at 0.
    void PrepareScan(const Frame& frame, int32_t (*quant)[64])
    {
        const int count = frame.componentCount;
        for (int c = 0; c < count; ++c) {
            dcLookup[c].Prepare(*frame.components[c].dc, false);
            acLookup[c].Prepare(*frame.components[c].ac, true);
        }
        for (int c = 0; c < count; ++c)
            for (int u = 0; u < 8; ++u)
                for (int v = 0; v < 8; ++v)
                    quant[c][v * 8 + u] = static_cast<int32_t>(frame.components[c].quant->value[u][v]);
        for (int k = 0; k < 64; ++k)
            natural[k] = static_cast<uint8_t>((kZigzag[k] & 0x0F) * 8 + (kZigzag[k] >> 4));
        // Components that share an identifier share its DC predictor.
        for (int32_t& p : predictor)
            p = 0;
        for (bool& f : firstBlock)
            f = true;
    }

    void StartReading(FILE* file, const Ahead& ahead, bool seek, uint32_t previousByte)
    {
        fp = file;
        if (seek && ahead.size == 0)
            std::fseek(fp, static_cast<long>(ahead.offset), SEEK_SET);
        bufferStart = ahead.offset;
        if (ahead.size > 0)
            std::memcpy(buffer, ahead.bytes, ahead.size);
        length = ahead.size;
        pos = 0;
        atEnd = false;
        seekBeforeRead = ahead.size > 0;
        Start(bufferStart, previousByte > 0xFF ? 0x100 : previousByte);
    }

    // The first slots batches, each for blocks blocks and all zero. Batches
    // are all zero after a complete decoding (the painter clears what it
    // read): the many strips of a TIFF picture reuse them.
    JpegCoefficientBatch* PrepareBatches(size_t slots, size_t blocks)
    {
        for (size_t i = 0; i < slots; ++i) {
            if (batchClean[i]) {
                batches[i].blocks.resize(blocks * 64);
                batches[i].rowMasks.resize(blocks);
            } else {
                batches[i].blocks.assign(blocks * 64, 0);
                batches[i].rowMasks.assign(blocks, 0);
            }
        }
        return batches;
    }

    // Moves the byte position back to offset. That is normally a few bytes
    // back, which the kept tail covers; otherwise the stream is repositioned.
    void SeekBack(uint64_t offset)
    {
        if (offset >= bufferStart && offset <= bufferStart + length) {
            pos = static_cast<size_t>(offset - bufferStart);
            return;
        }
        std::fseek(fp, static_cast<long>(offset), SEEK_SET);
        seekBeforeRead = false;
        bufferStart = offset;
        length = 0;
        pos = 0;
        atEnd = false;
    }

    bool Decode(const CJpegHuffmanLookup& h, uint32_t& symbol) { return h.Decode(*this, symbol); }

    // After a restart interval: the rest of the last byte is padding, then an
    // RSTn marker (possibly after fill bytes 0xFF) must follow.
    bool Restart()
    {
        const uint64_t offset = OffsetAfterUsed();
        const uint32_t last = LastUsedByte();
        SeekBack(offset);
        int b = RawByte();
        if (b == 0 && last == 0xFF)
            b = RawByte();
        bool found = false;
        if (b == 0xFF) {
            do
                b = RawByte();
            while (b == 0xFF);
            found = b >= 0xD0 && b <= 0xD7;
        }
        if (!found) {
            SeekBack(offset);
            Start(offset, last);
            return false;
        }
        Start(Offset(), static_cast<uint32_t>(b));
        return true;
    }

    // Leaves the stream where the byte-at-a-time reader would stand.
    void Finish()
    {
        if (PastEnd()) {
            std::fseek(fp, 0, SEEK_END);
            std::fgetc(fp);   // sets the end-of-file indicator, as the reader's last read did
            return;
        }
        std::fseek(fp, static_cast<long>(OffsetAfterUsed()), SEEK_SET);
    }
};

CJpegScanDecoder::CJpegScanDecoder() : state_(std::make_unique<State>()) {}
CJpegScanDecoder::~CJpegScanDecoder() = default;

bool CJpegScanDecoder::Supported(const Frame& frame)
{
    if (frame.componentCount < 1 || frame.componentCount > kMaxComponents)
        return false;
    if (frame.rgb && (frame.componentCount != 3 || frame.components[0].horizontal != 1 ||
                      frame.components[0].vertical != 1))
        return false;
    for (int c = 0; c < frame.componentCount; ++c) {
        const Component& comp = frame.components[c];
        if (comp.identifier > 7 || !comp.quant || !comp.dc || !comp.ac)
            return false;
        if (c == 0) {
            if (comp.horizontal < 1 || comp.horizontal > 2 || comp.vertical < 1 || comp.vertical > 2)
                return false;
        } else if (comp.horizontal != 1 || comp.vertical != 1) {
            return false;
        }
    }
    return true;
}

bool CJpegScanDecoder::State::DecodeMcu(const Frame& frame, const int32_t (*quant)[64], int32_t* block,
                                        uint8_t* rowMasks)
{
    for (int c = 0; c < frame.componentCount; ++c) {
        const Component& comp = frame.components[c];
        const uint32_t blocks = comp.horizontal * comp.vertical;
        for (uint32_t b = 0; b < blocks; ++b, block += 64, ++rowMasks) {
            Refill();
            uint32_t size;
            if (!Decode(dcLookup[c], size))
                return false;
            uint32_t d = 0;
            if (size > 0 && size <= 32) {
                d = Take(static_cast<int>(size));
                // Sign extension (ITU-T T.81 F.2.2.1): a leading 0 bit marks
                // a negative difference.
                if (!((d >> (size - 1)) & 1u))
                    d -= size == 32 ? 0xFFFFFFFFu : (1u << size) - 1u;
            } else if (size > 32) {
                // Wider than a read can deliver: the read yields 0 and takes
                // no bits; the sign rule still applies.
                d = 1;
            }
            int32_t& pred = predictor[comp.identifier];
            if (firstBlock[comp.identifier]) {
                pred = static_cast<int32_t>(d);
                firstBlock[comp.identifier] = false;
            } else {
                pred = Add(pred, static_cast<int32_t>(d));
            }
            if (!DecodeAc(acLookup[c], quant[c], pred, block, rowMasks))
                return false;
        }
    }
    return true;
}

// Dequantization as the coefficients arrive: F = coefficient x quantization
// value, and 0 wherever no coefficient is coded (the block is zero on entry).
bool CJpegScanDecoder::State::DecodeAc(const CJpegHuffmanLookup& ac, const int32_t* q, int32_t dc, int32_t* freq,
                                       uint8_t* rowMask)
{
    freq[0] = Mul(dc, q[0]);
    uint32_t mask = freq[0] ? 1u : 0u;
    for (uint32_t k = 1; k < 64;) {
        if (bits < 32)
            Refill();
        // Short code and its value bits in one look-up.
        const int32_t fa = ac.fastAc[Peek(kFastBits)];
        if (fa) {
            Skip(fa & 0xFF);
            k += (fa >> 8) & 0x0F;
            if (k < 64) {
                const uint8_t at = natural[k];
                freq[at] = Mul(fa >> 16, q[at]);
                mask |= 1u << (at >> 3);
            }
            ++k;
            continue;
        }
        uint32_t rs;
        if (!Decode(ac, rs)) {
            *rowMask = static_cast<uint8_t>(mask);
            return false;
        }
        const uint32_t run = rs >> 4;
        const uint32_t sz = rs & 15;
        if (rs == 0)
            break;
        int32_t value = 0;
        if (sz > 0)
            value = JpegExtend(Take(static_cast<int>(sz)), sz);
        k += run;
        // A run that passes the block's end writes nothing beyond it.
        if (k < 64 && value != 0) {
            const uint8_t at = natural[k];
            freq[at] = Mul(value, q[at]);
            mask |= 1u << (at >> 3);
        }
        ++k;
    }
    *rowMask = static_cast<uint8_t>(mask);
    return true;
}

namespace {
// A small frame (a TIFF tile or strip of a few MCUs) seldom needs a whole
// chunk of the file: its first read asks for about what its MCUs take when
// coded at a few bytes a block, so that thousands of tiny tiles do not read
// 64 KiB each. Later reads take whole chunks; the bytes decoded are the same.
size_t FirstReadBytes(const CJpegScanDecoder::Frame& frame, uint64_t mcus)
{
    constexpr uint64_t kMin = 1024;
    constexpr uint64_t kBytesPerBlock = 64;
    uint64_t blocks = 0;
    for (int c = 0; c < frame.componentCount; ++c)
        blocks += uint64_t{frame.components[c].horizontal} * frame.components[c].vertical;
    const uint64_t want = kMin + mcus * blocks * kBytesPerBlock;
    return static_cast<size_t>(want < (uint64_t{1} << 16) ? want : (uint64_t{1} << 16));
}
}  // namespace

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target)
{
    const long here = std::ftell(fp);
    Ahead none;
    none.offset = here < 0 ? 0 : static_cast<uint64_t>(here);
    return Decode(fp, previousByte, frame, target, none, true);
}

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target, const Ahead& ahead)
{
    return Decode(fp, previousByte, frame, target, ahead, false);
}

CJpegScanDecoder::Result CJpegScanDecoder::Decode(FILE* fp, uint32_t previousByte, const Frame& frame,
                                                  const Target& target, const Ahead& ahead, bool leaveAfterUsed)
{
    Result result;
    if (!Supported(frame))
        return result;
    State& s = *state_;
    static_assert(kMaxAheadBytes <= State::kChunk);
    s.StartReading(fp, ahead.bytes && ahead.size <= kMaxAheadBytes ? ahead : Ahead{nullptr, 0, ahead.offset},
                   ahead.bytes != nullptr, previousByte);

    int32_t quant[kMaxComponents][64];
    s.PrepareScan(frame, quant);

    const uint64_t mcuWidth = 8 * frame.components[0].horizontal;
    const uint64_t mcuHeight = 8 * frame.components[0].vertical;
    const uint64_t total = ((frame.width + mcuWidth - 1) / mcuWidth) * ((frame.height + mcuHeight - 1) / mcuHeight);
    s.nextRead = FirstReadBytes(frame, total);

    // The entropy decoding runs here; the transform and the painting of whole
    // batches of MCUs may run on a second thread, a few batches behind.
    CJpegMcuPainter painter(frame, target);
    const uint32_t perMcu = painter.BlocksPerMcu();
    const uint32_t batchMcus = static_cast<uint32_t>(total < kBatchMcus ? total : kBatchMcus);
    const bool threaded =
        !stayOnCallerThread_ && CDecodeThreads::Limit(threads_) > 1 && target.pixels && total >= kThreadedMcus;
    const size_t slots = threaded ? kBatchSlots : 1;
    JpegCoefficientBatch* batches = s.PrepareBatches(slots, size_t{batchMcus} * perMcu);
    // The painter of each thread that paints: the decoding thread itself
    // paints a batch when every slot is in use.
    CJpegMcuPainter helper(frame, target);
    CJpegMcuPainter* painters[] = {&helper, &painter};
    CBatchHandOff handOff(slots, threaded,
                          [&](uint32_t worker, size_t slot) { painters[worker]->Paint(batches[slot]); });
    result.outcome = s.DecodeMcus(frame, quant, total, handOff, batches, result.mcusDecoded);
    handOff.Finish();
    for (size_t i = 0; i < slots; ++i)
        s.batchClean[i] = result.outcome == Outcome::Complete;
    if (leaveAfterUsed)
        s.Finish();
    return result;
}

// Decodes the MCUs into batches and hands each full batch, and at the end the
// last one, to the painter; a MCU whose decoding fails is not painted.
CJpegScanDecoder::Outcome CJpegScanDecoder::State::DecodeMcus(const Frame& frame, const int32_t (*quant)[64],
                                                               uint64_t total, CBatchHandOff& handOff,
                                                               JpegCoefficientBatch* batches, uint64_t& decoded)
{
    JpegCoefficientBatch* batch = nullptr;
    uint32_t perMcu = 0;
    for (int c = 0; c < frame.componentCount; ++c)
        perMcu += frame.components[c].horizontal * frame.components[c].vertical;
    Outcome outcome = Outcome::Complete;
    for (uint64_t mcu = 0; mcu < total; ++mcu) {
        if (!batch) {
            batch = &batches[handOff.Acquire()];
            batch->firstMcu = mcu;
            batch->mcus = 0;
        }
        const size_t at = size_t{batch->mcus} * perMcu;
        if (!DecodeMcu(frame, quant, batch->blocks.data() + at * 64, batch->rowMasks.data() + at)) {
            outcome = Outcome::BadCode;
            break;
        }
        ++decoded;
        if (++batch->mcus * size_t{perMcu} == batch->rowMasks.size()) {
            handOff.Submit();
            batch = nullptr;
        }
        if (PastEnd()) {
            outcome = Outcome::EndOfFile;
            break;
        }
        if (frame.restartInterval && mcu + 1 < total && (mcu + 1) % frame.restartInterval == 0) {
            if (!Restart()) {
                outcome = Outcome::MissingRestart;
                break;
            }
            for (bool& f : firstBlock)
                f = true;
        }
    }
    if (batch) {
        // The blocks of a MCU cut short stay in the batch but are not painted.
        handOff.Submit();
    }
    return outcome;
}
