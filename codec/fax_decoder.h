#pragma once
// Decodes one bilevel TIFF strip coded with the ITU-T fax codings straight
// into the 24-bit pixel memory of an image window: TIFF Compression 3 with
// the one-dimensional modified Huffman coding of ITU-T T.4 (mode 4) and
// TIFF Compression 4 with the two-dimensional coding of ITU-T T.6 (mode 6).
// White pixels are written as FF FF FF, black ones as 00 00 00.
//
// Bits are read most significant first. Decoding ends at the end of the
// coded data (RTC or EOFB), at the strip's row count, at the top row of the
// bitmap, after the strip's byte count or at the end of the file, whichever
// comes first; a line that is cut off by the end of the data is not written.
#include <cstdint>
#include <cstdio>
#include <memory>
#include <vector>

class CBatchHandOff;

class CFaxDecoder {
public:
    static constexpr uint32_t kModeMh = 2;       // modified Huffman rows without EOL (TIFF Compression 2)
    static constexpr uint32_t kModeT4 = 4;
    static constexpr uint32_t kModeT4TwoD = 5;   // T.4 with two-dimensional lines (T4Options bit 0)
    static constexpr uint32_t kModeT6 = 6;
    // Byte count to pass when the strip's size is not known: the strip then
    // ends at the end of the file.
    static constexpr uint32_t kUnknownByteCount = 0xFFFFFFFFu;

    CFaxDecoder();
    ~CFaxDecoder();
    CFaxDecoder(const CFaxDecoder&) = delete;
    CFaxDecoder& operator=(const CFaxDecoder&) = delete;

    // file stands on the strip's first byte. The strip's n-th line (n from 1)
    // goes to memory row baseRow - n of pixels, whose rows are stride pixels
    // of 3 bytes; baseRow must not exceed the bitmap's height. Columns 0 to
    // width - 1 are written. Nothing is written for a mode other than 4 and 6,
    // for no pixel memory, or for a width of 0 or above stride. The file is
    // left on the byte after the last bit that the decoding used. With
    // lowBitFirst the bits of each byte are taken least significant first
    // (TIFF FillOrder 2).
    void Decode(FILE* file, uint32_t width, uint32_t rowsPerStrip, uint32_t stride, uint32_t baseRow,
                uint32_t mode, uint8_t* pixels, uint32_t stripByteCount = kUnknownByteCount,
                bool lowBitFirst = false);
    // Whether Decode may paint a large strip on a second thread (when more
    // than one decoding thread is allowed); true unless set otherwise, false
    // for a caller that already decodes other strips on the other threads.
    void AllowPaintingThread(bool allow) { paintingAllowed = allow; }
    // The threads the decoding may use (CDecodeThreads::Limit; 0 the
    // default).
    void SetThreads(uint32_t threads) { threads_ = threads; }

private:
    // The strip's bytes, read from the file in chunks as the decoding needs
    // them, with random access by bit position so that a look-ahead costs
    // nothing. Past the end of the data every bit reads as 1, as it does from
    // a stream at its end.
    class StripBits {
    public:
        // With reversed, the bit order of every byte read is reversed.
        void Start(FILE* file, uint32_t byteCount, bool reversed = false);
        // The 32 bits from bit position pos on, the first in the top bit.
        uint32_t Peek32(uint64_t pos) { return static_cast<uint32_t>(Peek64(pos) >> 32); }
        // The bits from pos on, the first in the top bit; the lowest pos % 8
        // bits are 0 and not part of the data.
        uint64_t Peek64(uint64_t pos)
        {
            const uint64_t byte = pos >> 3;
            if (byte + 8 > real_) {
                if (!ended_)
                    Fill(byte);
                if (byte >= real_)
                    return ~uint64_t{0};
            }
            return PeekLoaded(byte) << (pos & 7);
        }
        // True once pos lies beyond the last bit of the strip's data.
        bool Over(uint64_t pos) const { return ended_ && pos > real_ * 8; }
        // Counts the 0 bits from pos on. Returns false when the data ends
        // before a 1 bit; otherwise *one is the position of that 1 bit.
        bool FindOne(uint64_t pos, uint64_t* one);
        uint64_t BytesRead() const { return real_; }

    private:
        void Fill(uint64_t byte);
        uint64_t PeekLoaded(uint64_t byte) const;

        FILE* file_ = nullptr;
        uint64_t remaining_ = 0;      // bytes of the strip not yet read
        std::vector<uint8_t> data_;   // real_ bytes of data, then 8 bytes of FF
        uint64_t real_ = 0;
        bool ended_ = false;
        bool reversed_ = false;
    };

    // The changing elements of one line: the columns where a run of the other
    // colour begins, the first one turning white into black.
    class LineRuns {
    public:
        void Clear(uint32_t width);
        // Appends a run of the given colour at the current column, cut at
        // the end of the line.
        void Append(bool white, uint32_t run)
        {
            const uint32_t room = width_ - column_;
            const uint32_t length = run < room ? run : room;
            if (length == 0)
                return;
            if (white == lastBlack_) {
                changes_.push_back(column_);
                lastBlack_ = !white;
            }
            column_ += length;
        }
        // Ends a line that an EOL cuts short: the pixels not coded stay
        // white.
        void EndLine()
        {
            if (lastBlack_ && column_ < width_) {
                changes_.push_back(column_);
                lastBlack_ = false;
            }
        }
        uint32_t Column() const { return column_; }
        std::vector<uint32_t>& Changes() { return changes_; }

    private:
        std::vector<uint32_t> changes_;
        uint32_t width_ = 0;
        uint32_t column_ = 0;
        bool lastBlack_ = false;
    };

    void DecodeMh();
    void DecodeT4();
    // The state of the T.4 line in progress.
    struct T4Line {
        bool white = true;
        bool begun = false;      // an EOL has begun it
        bool hasCodes = false;   // it has had run codes
    };
    bool T4Eol(uint64_t& pos, uint32_t& n, uint32_t limit, T4Line& line);
    // The painting thread for this strip, made at the first strip that wants
    // one; null when the lines are painted on the decoding thread.
    CBatchHandOff* PaintingThread();
    void DecodeT4TwoD();
    void DecodeT6();
    // Two-dimensional decoding: the reference line starts white; each new
    // line makes the coding line the reference line.
    void StartTwoD();
    void NewLine();
    void NextReference();
    // Index into reference of b1 for the current colour and a0.
    size_t FindB1();
    // Carries out one two-dimensional mode on the coding line; false when
    // the data ends inside it.
    bool ApplyMode(uint8_t mode, int8_t offset, uint64_t* pos);
    bool Uncompressed(uint64_t* pos);
    // Writes the line as line n of this call (memory row baseRow - n), or
    // hands it to the painting thread.
    void OutputLine(const std::vector<uint32_t>& changes, uint32_t n);
    // worker: which thread paints (0 the decoding one), for its line buffer.
    void PaintLine(uint32_t worker, const uint32_t* changes, size_t count, uint32_t n);
    // Hands the lines gathered so far to the painting thread.
    void SubmitLines();
    // Reads one run with the modified Huffman codes of the colour, make-up
    // codes included; returns false when the data ends inside it.
    bool ReadRun(bool white, uint64_t* pos, uint32_t* run);
    // Whether an EOL (eleven or more 0 bits and a 1 bit) starts at pos; on
    // true, *end is the position after it.
    bool EolAt(uint64_t pos, uint64_t* end);
    // The number of lines this call may write: the strip's rows, bounded by
    // the rows of the bitmap below baseRow.
    uint32_t LineLimit() const { return rowsPerStrip < baseRow ? rowsPerStrip : baseRow; }

    FILE* file = nullptr;
    uint32_t width = 0;
    uint32_t rowsPerStrip = 0;
    uint32_t stride = 0;
    uint32_t baseRow = 0;
    uint32_t mode = 0;
    uint8_t* pixels = nullptr;
    uint32_t stripByteCount = kUnknownByteCount;
    bool lowBitFirst = false;

    StripBits bits;
    uint64_t bitPos = 0;     // bits of the strip used so far
    LineRuns coding;         // the line being decoded
    std::vector<uint32_t> reference;  // changing elements of the line above
    std::vector<uint8_t> lineBytes[2];   // the pixels of a finished line, per painting thread
    // A large strip's lines are painted on a second thread while the next
    // ones are decoded (and by the decoding thread when the painting falls
    // behind): the decoder hands over the changing elements of
    // at most kLinesPerBatch lines at a time. Each line goes to a row of its own, so
    // the pixels are the same whichever thread paints them.
    struct LineBatch {
        uint32_t firstLine = 0;
        std::vector<uint32_t> changes;   // of every line, one after the other
        std::vector<uint32_t> ends;      // where each line's elements end in changes
    };
    static constexpr size_t kLineSlots = 8;
    static constexpr uint32_t kLinesPerBatch = 128;
    static constexpr size_t kChangesPerBatch = size_t{1} << 16;   // or fewer lines with this many elements
    // Strips of fewer pixels are painted on the decoding thread.
    static constexpr uint64_t kThreadedPixels = uint64_t{1} << 18;
    LineBatch lineBatches[kLineSlots];
    CBatchHandOff* lineHandOff = nullptr;   // while a painting thread takes this strip's lines
    LineBatch* filling = nullptr;

    bool paintingAllowed = true;
    uint32_t threads_ = 0;
    bool white = true;       // colour of the run at a0
    bool lineStart = true;   // nothing of the coding line decoded yet
    size_t next = 0;         // first changing element of the reference line right of a0
    // The painting thread, kept from strip to strip; declared last, so that
    // it has ended before the members it reads are gone.
    std::unique_ptr<CBatchHandOff> painting;
};
