#pragma once
// The tables, frame and scan header of JPEG streams held in memory, read for
// decoding: DQT, DHT, DRI, SOF0/SOF1 and SOS (ITU-T T.81 Annex B). A TIFF
// file with new-style JPEG coding keeps the quantization and Huffman tables
// in one shared stream (JPEGTables) and gives each strip or tile an
// abbreviated stream of its own; reading the shared stream first and then a
// strip's stream yields everything the baseline scan decoder needs. Tables
// read later replace those of the same destination.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "codec/jpeg_records.h"
#include "codec/jpeg_scan_decoder.h"

class CJpegStreamTables {
public:
    CJpegStreamTables() = default;
    CJpegStreamTables(const CJpegStreamTables&) = delete;
    CJpegStreamTables& operator=(const CJpegStreamTables&) = delete;

    // Reads marker segments from SOI on. Stops after SOS and returns true
    // with *scanStart the offset of the entropy-coded data; returns false at
    // EOI, at the end of the data or at a malformed segment (the tables read
    // up to there are kept).
    bool Read(const uint8_t* data, size_t size, size_t* scanStart);

    // The frame and scan last read, with their tables, as the scan decoder
    // takes them. rgb: the components are red, green and blue rather than
    // YCbCr. False when the decoder cannot decode it (a frame that is not
    // baseline or extended sequential Huffman with 8-bit samples, a scan
    // that is not all components in frame order, a missing table, a
    // sampling other than one luma factor of 1 or 2).
    bool Frame(CJpegScanDecoder::Frame& frame, bool rgb) const;

    // Keeps the tables a frame from Frame points to alive and unchanged:
    // tables read later go to a copy while the handle lives, so frames of
    // several strips can be decoded after all their headers were read.
    std::shared_ptr<const void> TablesHandle() const { return tables_; }

private:
    bool ReadQuant(const uint8_t* data, size_t size);
    bool ReadHuffman(const uint8_t* data, size_t size);
    bool ReadFrame(uint32_t marker, const uint8_t* data, size_t size);
    bool ReadScan(const uint8_t* data, size_t size);

    struct Huffman {
        bool present = false;
        HuffmanTable table;
    };
    struct Component {
        uint32_t identifier = 0;
        uint32_t horizontal = 0;
        uint32_t vertical = 0;
        uint32_t quant = 0;
        uint32_t dc = 0;            // table destinations given by the scan
        uint32_t ac = 0;
    };

    struct Tables {
        QuantTable quant[4];
        bool quantPresent[4] = {};
        Huffman dc[4];
        Huffman ac[4];
    };
    // The tables about to be replaced, copied first when a handle holds them.
    Tables& WritableTables();

    std::shared_ptr<Tables> tables_ = std::make_shared<Tables>();
    uint32_t restartInterval_ = 0;
    bool frameSupported_ = false;
    uint32_t width_ = 0;
    uint32_t height_ = 0;
    std::vector<Component> components_;
    bool scanMatchesFrame_ = false;
};
