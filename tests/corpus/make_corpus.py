#!/usr/bin/env python3
"""Writes the hand-made malformed inputs of this folder.

Each file exercises one failure path of an analyzer or decoder: truncated
structures, loops, huge counts and sizes, bad codes, compression bombs.
Run from the repository root: python3 tests/corpus/make_corpus.py
"""
import os
import struct
import zlib

OUT = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(OUT))


def write(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(bytes(data))


def seg(marker, payload):
    return bytes([0xFF, marker]) + struct.pack(">H", len(payload) + 2) + payload


def sample(name):
    with open(os.path.join(ROOT, "samples", name), "rb") as f:
        return f.read()


SOI, EOI = b"\xFF\xD8", b"\xFF\xD9"
DQT = seg(0xDB, b"\x00" + bytes(range(1, 65)))
SOF_8x8_GRAY = seg(0xC0, b"\x08\x00\x08\x00\x08\x01\x01\x11\x00")
# A DC table with one code of length 1 (category 0) and an AC table whose only
# code of length 1 is EOB.
DHT = seg(0xC4, b"\x00" + b"\x01" + b"\x00" * 15 + b"\x00") + seg(0xC4, b"\x10" + b"\x01" + b"\x00" * 15 + b"\x00")
SOS_GRAY = seg(0xDA, b"\x01\x01\x00\x00\x3F\x00")

# --- JPEG
write("jpeg-soi-only.jpg", SOI)
write("jpeg-truncated-dqt.jpg", SOI + b"\xFF\xDB\x00\x43\x00" + bytes(10))
write("jpeg-dqt-16bit.jpg", SOI + seg(0xDB, b"\x10" + bytes(128)) + SOF_8x8_GRAY + DHT + SOS_GRAY + b"\x00" * 4 + EOI)
write("jpeg-dqt-four-tables.jpg", SOI + seg(0xDB, b"".join(bytes([i]) + bytes(range(64)) for i in range(4))) + EOI)
write("jpeg-dqt-bad-table-id.jpg", SOI + seg(0xDB, b"\x0F" + bytes(64)) + EOI)
write("jpeg-sos-without-tables.jpg", SOI + seg(0xDA, b"\x03\x01\x00\x02\x11\x03\x11\x00\x3F\x00") + b"\x12\x34\x56" + EOI)
write("jpeg-dht-counts-overflow.jpg", SOI + DQT + SOF_8x8_GRAY + seg(0xC4, b"\x00" + b"\xFF" * 16 + bytes(200)) + SOS_GRAY + b"\xAA" * 16 + EOI)
write("jpeg-dht-bad-class.jpg", SOI + seg(0xC4, b"\x37" + b"\x01" + bytes(15) + b"\x00") + EOI)
write("jpeg-bad-huffman-code.jpg", SOI + DQT + SOF_8x8_GRAY + DHT + SOS_GRAY + b"\xFF\x00" * 8 + EOI)
write("jpeg-sof-zero-size.jpg", SOI + DQT + seg(0xC0, b"\x08\x00\x00\x00\x00\x01\x01\x11\x00") + DHT + SOS_GRAY + b"\x00" * 8 + EOI)
write("jpeg-sof-huge-size.jpg", SOI + DQT + seg(0xC0, b"\x08\xFF\xFF\xFF\xFF\x03\x01\x22\x00\x02\x11\x00\x03\x11\x00") + DHT + seg(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00") + b"\x00" * 64 + EOI)
write("jpeg-sof-many-components-short.jpg", SOI + seg(0xC0, b"\x08\x00\x08\x00\x08\xFF\x01\x11\x00") + EOI)
write("jpeg-sof-component-id-9.jpg", SOI + DQT + seg(0xC0, b"\x08\x00\x08\x00\x08\x01\x09\x11\x00") + DHT + seg(0xDA, b"\x01\x09\x00\x00\x3F\x00") + b"\x00" * 8 + EOI)
write("jpeg-sampling-4x3.jpg", SOI + DQT + seg(0xC0, b"\x08\x00\x10\x00\x10\x03\x01\x43\x00\x02\x11\x00\x03\x11\x00") + DHT + seg(0xDA, b"\x03\x01\x00\x02\x00\x03\x00\x00\x3F\x00") + b"\x00" * 64 + EOI)
write("jpeg-segment-length-zero.jpg", SOI + b"\xFF\xE0\x00\x00" + EOI)
write("jpeg-segment-length-past-eof.jpg", SOI + b"\xFF\xE0\xFF\xFF" + b"JFIF\x00")
write("jpeg-fill-bytes.jpg", SOI + b"\xFF" * 300 + EOI)
write("jpeg-com-2000-bytes.jpg", SOI + seg(0xFE, b"x" * 2000) + EOI)
write("jpeg-exif-ifd-loop.jpg", SOI + seg(0xE1, b"Exif\x00\x00II*\x00\x08\x00\x00\x00\x01\x00\x0F\x01\x02\x00\x04\x00\x00\x00abc\x00\x08\x00\x00\x00") + EOI)
write("jpeg-exif-truncated.jpg", SOI + seg(0xE1, b"Exif\x00\x00MM\x00*\x00\x00\x00\x08\xFF\xFF") + EOI)
write("jpeg-app0-short-jfif.jpg", SOI + seg(0xE0, b"JFIF\x00\x01") + EOI)
write("jpeg-dri-zero-interval.jpg", SOI + DQT + SOF_8x8_GRAY + DHT + seg(0xDD, b"\x00\x00") + SOS_GRAY + b"\x00" * 8 + EOI)
photo = sample("photo-exif.jpg")
write("jpeg-scan-cut.jpg", photo[: len(photo) * 3 // 4])
restart = sample("odd-422-restart.jpg")
write("jpeg-restart-markers-removed.jpg", restart.replace(b"\xFF\xD0", b"\x00\x00").replace(b"\xFF\xD1", b"\x00\x00"))

# --- TIFF
def ifd_le(entries, next_offset=0):
    out = struct.pack("<H", len(entries))
    for tag, typ, count, value in entries:
        out += struct.pack("<HHI", tag, typ, count) + (value if isinstance(value, bytes) else struct.pack("<I", value))
    return out + struct.pack("<I", next_offset)


def tiff_le(entries, data=b"", next_offset=0):
    return b"II*\x00\x08\x00\x00\x00" + ifd_le(entries, next_offset) + data


def image_entries(width, height, compression, offset, count, bits=8, samples=1, photometric=1):
    return [
        (256, 4, 1, width), (257, 4, 1, height), (258, 3, 1, bits), (259, 3, 1, compression),
        (262, 3, 1, photometric), (273, 4, 1, offset), (277, 3, 1, samples), (278, 4, 1, height),
        (279, 4, 1, count),
    ]


def strip_tiff(width, height, compression, strip, **kw):
    offset = 8 + 2 + 9 * 12 + 4
    return tiff_le(image_entries(width, height, compression, offset, len(strip), **kw), strip)


write("tiff-ifd-self-loop.tif", tiff_le([(256, 3, 1, 1)], next_offset=8))
write("tiff-ifd-two-cycle.tif", b"II*\x00\x08\x00\x00\x00" + ifd_le([(256, 3, 1, 1)], 26) + ifd_le([(257, 3, 1, 1)], 8))
write("tiff-entry-count-huge.tif", b"MM\x00*\x00\x00\x00\x08\xFF\xFF" + bytes(40))
write("tiff-value-count-gigabytes.tif", tiff_le([(273, 4, 0x40000000, 100), (279, 4, 0x40000000, 200)]))
write("tiff-ifd-offset-outside.tif", b"II*\x00\xF0\xFF\xFF\xFF")
write("tiff-header-only.tif", b"II*\x00")
write("tiff-zero-dimensions.tif", strip_tiff(0, 0, 1, b"\x00" * 16))
write("tiff-huge-dimensions.tif", strip_tiff(0xFFFFFFFF, 0xFFFFFFFF, 1, b"\x55" * 64, bits=8, samples=3, photometric=2))
write("tiff-lzw-no-end-code.tif", strip_tiff(16, 4, 5, b"\x80\x00\x20\x08\x02" * 4))
write("tiff-lzw-garbage.tif", strip_tiff(64, 64, 5, bytes((i * 73 + 11) & 0xFF for i in range(3000)), samples=3, photometric=2))
write("tiff-lzw-palette-no-colormap.tif", strip_tiff(8, 8, 5, b"\x80\x00\x20\x08\x02\x00", photometric=3))
write("tiff-g3-no-rtc.tif", strip_tiff(1728, 20, 3, bytes((i * 151) & 0xFF for i in range(500)), bits=1, photometric=0))
write("tiff-g3-only-eol.tif", strip_tiff(100, 10, 3, b"\x00\x10\x01" * 20, bits=1, photometric=0))
write("tiff-g4-no-eofb.tif", strip_tiff(1728, 20, 4, bytes((i * 37 + 5) & 0xFF for i in range(500)), bits=1, photometric=0))
write("tiff-g4-all-pass-modes.tif", strip_tiff(64, 64, 4, b"\x11" * 200, bits=1, photometric=0))
write("tiff-packbits-truncated.tif", strip_tiff(100, 100, 32773, b"\x7F\x01\x02", samples=3, photometric=2))
write("tiff-packbits-runs-past-row.tif", strip_tiff(3, 3, 32773, b"\x81\xAA" * 40, samples=3, photometric=2))
write("tiff-strip-count-mismatch.tif", tiff_le(image_entries(8, 8, 1, 200, 64)[:5] + [(273, 4, 3, 300), (279, 4, 1, 64)]))
write("tiff-strip-offset-past-eof.tif", tiff_le(image_entries(8, 8, 1, 0x7FFFFFF0, 64)))
write("tiff-bits-16-samples-5.tif", strip_tiff(4, 4, 1, bytes(160), bits=16, samples=5, photometric=2))
write("tiff-exif-ifd-loop.tif", tiff_le([(0x8769, 4, 1, 8)]))
write("tiff-exif-ifd-outside.tif", tiff_le([(0x8769, 4, 1, 0xFFFFFF00)]))
write("tiff-unknown-type.tif", tiff_le([(256, 99, 1, 1), (257, 0, 5, 1), (0x9999, 13, 1, 7)]))
icc = bytearray(132)
struct.pack_into(">I", icc, 0, 132)
icc[36:40] = b"acsp"
struct.pack_into(">I", icc, 128, 0xFFFFFFFF)
write("tiff-icc-tag-count-huge.tif", tiff_le([(34675, 7, len(icc), 26)], bytes(icc)))
write("tiff-icc-truncated.tif", tiff_le([(34675, 7, 500, 26)], bytes(icc[:60])))
bomb = zlib.compress(b"\x00" * (16 << 20), 9)
write("tiff-deflate-bomb.tif", strip_tiff(16, 16, 32946, bomb, samples=3, photometric=2))
write("tiff-deflate-btype3.tif", strip_tiff(16, 16, 32946, b"\x78\x9c\x07\x00\x00", samples=3, photometric=2))
write("tiff-jpeg-thumbnail-garbage.tif", tiff_le([(259, 3, 1, 6), (0x201, 4, 1, 38), (0x202, 4, 1, 40)], b"\xFF\xD8" + b"\xFF\xC4\x00\x03" * 10))

# --- BigTIFF, IFDs below entries, GeoTIFF keys, floating-point samples
def big_ifd(entries, next_offset=0, count=None):
    out = struct.pack("<Q", len(entries) if count is None else count)
    for tag, typ, n, value in entries:
        out += struct.pack("<HHQ", tag, typ, n) + (value if isinstance(value, bytes) else struct.pack("<Q", value))
    return out + struct.pack("<Q", next_offset)


BIG = b"II+\x00\x08\x00\x00\x00\x10\x00\x00\x00\x00\x00\x00\x00"
write("bigtiff-entry-count-huge.tif", BIG + big_ifd([(256, 3, 1, 1)], count=0xFFFFFFFFFFFFFFF0))
write("bigtiff-value-count-huge.tif", BIG + big_ifd([(273, 16, 0xFFFFFFFFFFFFFFFF, 0x40), (279, 16, 0x2000000000000000, 0x40),
                                                     (258, 3, 0xFFFFFFFFFFFFFFFF, 0xFFFFFFFFFFFFFFF8)]))
write("bigtiff-offsets-outside.tif", b"II+\x00\x08\x00\x00\x00" + struct.pack("<Q", 0xFFFFFFFFFFFFFFF0))
# IFD 0 at 16 points to itself as its next IFD and as its SubIFD (IFD8);
# the SubIFD at 0x60 points back at IFD 0 and at itself.
loop = BIG + big_ifd([(256, 3, 1, 4), (330, 18, 2, 0x48)], next_offset=16)
loop += struct.pack("<QQ", 0x60, 16)
loop += bytes(0x60 - len(loop)) + big_ifd([(330, 18, 2, 0xA0), (257, 3, 1, 4)])
loop += bytes(0xA0 - len(loop)) + struct.pack("<QQ", 16, 0x60)
write("bigtiff-ifd8-loop.tif", loop)
write("bigtiff-strips-outside.tif", BIG + big_ifd([(256, 4, 1, 8), (257, 4, 1, 8), (258, 3, 1, 8), (273, 16, 1, 0x7FFFFFFFFFFFFFFF),
                                                  (279, 16, 1, 0xFFFFFFFFFFFFFFFF), (339, 3, 1, 3)]))
# SubIFDs that point at each other and at the IFD that holds them.
sub = tiff_le([(330, 4, 3, 26)], struct.pack("<III", 38, 8, 38))
sub += ifd_le([(330, 4, 1, 38), (256, 3, 1, 2)])
write("tiff-subifd-loop.tif", sub)
# Exif, GPS and Interoperability pointers that point at each other.
write("tiff-exif-gps-interop-loop.tif", tiff_le([(0x8769, 4, 1, 8), (0x8825, 4, 1, 8)]) + ifd_le([(0xA005, 4, 1, 8)]))
# A key directory that claims 65535 keys, parameters past their arrays.
keys = struct.pack("<4H", 1, 1, 0, 0xFFFF) + struct.pack("<4H", 1024, 0, 1, 2) + struct.pack("<4H", 2057, 34736, 5000, 65535)
keys += struct.pack("<4H", 1026, 34737, 0xFFFF, 0xFFF0) + struct.pack("<4H", 3072, 34735, 1, 0xFFFF)
write("tiff-geokeys-lying.tif", tiff_le([(34735, 3, len(keys) // 2, 50), (34736, 12, 1, 50 + len(keys)), (34737, 2, 4, 0x7FFFFF00)],
                                        keys + struct.pack("<d", 6378137.0)))
# Floating-point samples: all NaN; the floating-point predictor on a strip
# cut short; 24-bit samples without compression.
nan = struct.pack("<f", float("nan")) * 16
write("tiff-float-all-nan.tif", tiff_le(image_entries(4, 4, 1, 8 + 2 + 10 * 12 + 4, 64, bits=32) + [(339, 3, 1, 3)], nan))
write("tiff-float-predictor-cut.tif", tiff_le(image_entries(64, 64, 8, 8 + 2 + 11 * 12 + 4, 4000, bits=32) + [(317, 3, 1, 3), (339, 3, 1, 3)],
                                              zlib.compress(bytes(range(256)) * 4)[:40]))
write("tiff-float24-odd.tif", tiff_le(image_entries(5, 3, 1, 8 + 2 + 10 * 12 + 4, 45, bits=24) + [(339, 3, 1, 3)], bytes(range(1, 46))))

# --- SWF
def swf(signature, body, declared=None):
    length = declared if declared is not None else 8 + len(body)
    return signature + b"\x06" + struct.pack("<I", length) + body


write("swf-signature-only.swf", b"FWS")
write("swf-rect-truncated.swf", swf(b"FWS", b"\xF8"))
write("swf-rect-31-bit-fields.swf", swf(b"FWS", b"\xFF" * 17 + b"\x00\x0C\x01\x00\x00\x00"))
write("swf-tag-length-huge.swf", swf(b"FWS", b"\x50\x00\x0C\x01\x00\x3F\x03\xFF\xFF\xFF\xFF" + bytes(8)))
write("swf-tag-length-negative.swf", swf(b"FWS", b"\x50\x00\x0C\x01\x00\x3F\x03\x00\x00\x00\x80" + bytes(8)))
write("swf-no-end-tag.swf", swf(b"FWS", b"\x50\x00\x0C\x01\x00\x40\x00\x40\x00"))
write("swf-trailing-after-end.swf", swf(b"FWS", b"\x50\x00\x0C\x01\x00\x00\x00garbage"))
body = b"\x50\x00\x0C\x01\x00\x40\x00\x00\x00"
write("cws-btype3.swf", swf(b"CWS", b"\x78\x9c\x07" + bytes(8), 8 + len(body)))
write("cws-truncated-stream.swf", swf(b"CWS", zlib.compress(body * 50)[:20], 8 + len(body) * 50))
write("cws-garbage-stream.swf", swf(b"CWS", bytes((i * 97 + 3) & 0xFF for i in range(400)), 5000))
write("cws-deflate-bomb.swf", swf(b"CWS", zlib.compress(body + b"\x00" * (32 << 20), 9), 100))
write("cws-declared-huge.swf", swf(b"CWS", zlib.compress(body), 0xFFFFFFFF))
write("cws-declared-below-header.swf", swf(b"CWS", zlib.compress(body), 3))
write("cws-fdict.swf", swf(b"CWS", b"\x78\xBB\x00\x00\x00\x01" + zlib.compress(body)[2:], 8 + len(body)))


# --- GIF
def lzw_codes(codes, width):
    """Packs codes of one width least significant bit first."""
    value, bits, out = 0, 0, bytearray()
    for code in codes:
        value |= code << bits
        bits += width
        while bits >= 8:
            out.append(value & 0xFF)
            value >>= 8
            bits -= 8
    if bits:
        out.append(value & 0xFF)
    return bytes(out)


def sub_blocks(data):
    out = bytearray()
    for at in range(0, len(data), 255):
        out += bytes([len(data[at:at + 255])]) + data[at:at + 255]
    return bytes(out) + b"\x00"


def gif(width, height, blocks, palette=b"\x00\x00\x00\xff\xff\xff\xff\x00\x00\x00\x00\xff"):
    """A GIF89a screen with a 4-colour global table, then the blocks and the trailer."""
    return b"GIF89a" + struct.pack("<HHBBB", width, height, 0x81, 0, 0) + palette + blocks + b"\x3B"


def image(left, top, width, height, codes, code_size=2, packed=0):
    return (b"\x2C" + struct.pack("<HHHHB", left, top, width, height, packed) + bytes([code_size]) +
            sub_blocks(lzw_codes(codes, code_size + 1)))


write("gif-lzw-code-out-of-range.gif", gif(4, 4, image(0, 0, 4, 4, [4, 0, 7, 5])))
write("gif-huge-frame-tiny-data.gif", gif(8, 8, image(0, 0, 0xFFFF, 0xFFFF, [4, 1, 2, 3, 5], packed=0x40)))
write("gif-huge-screen.gif", gif(0xFFFF, 0xFFFF, image(0, 0, 2, 2, [4, 1, 2, 3, 0, 5])))
write("gif-many-empty-extensions.gif", gif(2, 2, b"\x21\xFE\x00" * 40 + image(0, 0, 2, 2, [4, 1, 2, 3, 0, 5])))
write("gif-sub-block-past-end.gif", gif(2, 2, b"\x21\xFF\x0BXMP DataXMP<x/>")[:-1])


# --- PNG
def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))


def png(*chunks):
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunks)


def ihdr(width, height, depth=8, colour=2, interlace=0):
    return chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, depth, colour, 0, 0, interlace))


def fctl(sequence, width, height, x, y, dispose=0, blend=0):
    return chunk(b"fcTL", struct.pack(">IIIIIHHBB", sequence, width, height, x, y, 1, 10, dispose, blend))


IEND = chunk(b"IEND", b"")
write("png-ihdr-huge-size-little-data.png", png(ihdr(8000, 8000), chunk(b"IDAT", zlib.compress(bytes(200))), IEND))
write("png-chunk-length-huge.png", png(ihdr(1, 1), b"\xFF\xFF\xFF\xF0IDAT" + bytes(16)))
write("png-adam7-cut.png", png(ihdr(33, 17, 16, 6, 1), chunk(b"IDAT", zlib.compress(bytes(20000))[:12]), IEND))
write("png-apng-frame-past-canvas.png", png(ihdr(4, 4), chunk(b"acTL", struct.pack(">II", 2, 0)),
                                            fctl(0, 4, 4, 0, 0), chunk(b"IDAT", zlib.compress(bytes(4 * 13))),
                                            fctl(1, 4, 4, 2, 2, 2, 1), chunk(b"fdAT", struct.pack(">I", 2) + zlib.compress(bytes(4 * 13))),
                                            IEND))
write("png-iccp-garbage.png", png(ihdr(1, 1), chunk(b"iCCP", b"icc\x00\x00" + bytes((i * 61 + 7) & 0xFF for i in range(300))),
                                  chunk(b"IDAT", zlib.compress(bytes(4))), IEND))
write("png-ztxt-deflate-bomb.png", png(ihdr(1, 1), chunk(b"zTXt", b"bomb\x00\x00" + zlib.compress(b"\n" * (65 << 20), 9)),
                                       chunk(b"IDAT", zlib.compress(bytes(4))), IEND))
write("png-itxt-fields-without-nul.png", png(ihdr(1, 1), chunk(b"iTXt", b"XML:com.adobe.xmp"), chunk(b"iTXt", b"k\x00\x01\x00en"),
                                             chunk(b"IDAT", zlib.compress(bytes(4))), IEND))


# --- SWF bitmap tags holding PNG, GIF89a and JPEG data, with alpha planes
def tag(code, payload):
    """A tag with the long header, whatever its length."""
    return struct.pack("<HI", code << 6 | 63, len(payload)) + payload


def movie(*tags):
    """An empty frame rectangle, 12 frames per second, one frame, the tags and End."""
    return b"\x00\x00\x0C\x01\x00" + b"".join(tags) + b"\x00\x00"


def bits_alpha(code, character, data, alpha):
    """DefineBitsJPEG3 (35) or DefineBitsJPEG4 (90, DeblockParam 0)."""
    head = struct.pack("<HI", character, len(data)) + (b"\x00\x00" if code == 90 else b"")
    return tag(code, head + data + alpha)


JPEG_8x8_GRAY = SOI + DQT + SOF_8x8_GRAY + DHT + SOS_GRAY + b"\x00" * 8 + EOI
PNG_3x2 = png(ihdr(3, 2), chunk(b"IDAT", zlib.compress(b"\x00" + bytes(range(1, 10)) + b"\x01" + bytes(range(11, 20)))), IEND)
GIF_2x2 = gif(2, 2, image(0, 0, 2, 2, [4, 1, 2, 3, 0, 5]))
BACKGROUND = tag(9, b"\x0A\xC8\x1E")
write("swf-bits-png-gif-jpeg-alpha.swf", swf(b"FWS", movie(
    BACKGROUND, tag(21, b"\x01\x00" + PNG_3x2), bits_alpha(35, 2, GIF_2x2, zlib.compress(bytes(4))),
    bits_alpha(35, 3, JPEG_8x8_GRAY, zlib.compress(bytes(range(0, 256, 4)))),
    bits_alpha(90, 4, PNG_3x2, zlib.compress(bytes(6))), tag(1, b""))))
body = movie(BACKGROUND, bits_alpha(35, 1, JPEG_8x8_GRAY, zlib.compress(bytes(range(20)))))
write("cws-jpeg3-alpha-short.swf", swf(b"CWS", zlib.compress(body), 8 + len(body)))
write("swf-bits-png-past-tag.swf", swf(b"FWS", movie(tag(21, b"\x01\x00" + PNG_3x2[:-20]))))
write("swf-bits-gif-past-tag.swf", swf(b"FWS", movie(bits_alpha(35, 1, GIF_2x2[:-6], b""))))
