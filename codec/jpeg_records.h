#pragma once
// The tables and components that the JPEG segment handlers keep for the
// decoder, each kind in file order.
#include <cstdint>
#include <vector>

// Zigzag order of the 64 coefficients of a block, ITU-T T.81 Figure 5: byte k
// holds the column (horizontal frequency) of the k-th coefficient in its high
// nibble and the row (vertical frequency) in its low nibble.
inline constexpr uint8_t kZigzag[64] = {
    0x00, 0x10, 0x01, 0x02, 0x11, 0x20, 0x30, 0x21, 0x12, 0x03, 0x04, 0x13, 0x22, 0x31, 0x40, 0x50,
    0x41, 0x32, 0x23, 0x14, 0x05, 0x06, 0x15, 0x24, 0x33, 0x42, 0x51, 0x60, 0x70, 0x61, 0x52, 0x43,
    0x34, 0x25, 0x16, 0x07, 0x17, 0x26, 0x35, 0x44, 0x53, 0x62, 0x71, 0x72, 0x63, 0x54, 0x45, 0x36,
    0x27, 0x37, 0x46, 0x55, 0x64, 0x73, 0x74, 0x65, 0x56, 0x47, 0x57, 0x66, 0x75, 0x76, 0x67, 0x77,
};

struct QuantTable {
    uint32_t selector = 0;         // the whole precision-and-destination byte
    uint32_t value[8][8] = {};     // [column][row]
};

struct HuffmanCode {
    uint32_t code = 0;             // the code bits, right-aligned
    uint32_t length = 0;           // 1 to 16
    uint32_t symbol = 0;
};

struct HuffmanTable {
    uint32_t classDestination = 0;   // class in the high nibble, destination in the low one
    std::vector<HuffmanCode> codes;  // in generated (canonical) order
};

struct FrameComponent {
    uint64_t offset = 0;           // file offset of the component's first byte
    uint32_t identifier = 0;
    uint32_t sampling = 0;         // horizontal factor high nibble, vertical low nibble
    uint32_t quantSelector = 0;
};

struct ScanComponent {
    uint32_t selector = 0;
    uint32_t tableSelection = 0;   // DC table high nibble, AC table low nibble
};
