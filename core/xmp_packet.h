#pragma once
// An XMP packet (XMP Part 1, 7.3) as every format that carries one shows it:
// JPEG in APP1, PNG in iTXt, GIF in an application extension, SWF in its
// Metadata tag.
#include <cstdint>
#include <span>

#include "core/result_line.h"

// Lays out the packet whose bytes are packet[0, size), the first of them at
// offset: one line for the packet under parent, and below it, expanded, one
// line for each of its text lines that is not blank. Returns the packet's
// line.
LineId AppendXmpPacket(const CTreeWriter& out, LineId parent, std::span<const uint8_t> packet, uint64_t offset);
