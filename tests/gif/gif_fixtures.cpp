#include "gif_fixtures.h"

namespace gif_fixtures {

Bytes StripeIndices(uint16_t width, uint16_t height, uint8_t colours)
{
    Bytes indices(size_t{width} * height);
    for (size_t y = 0; y < height; ++y)
        for (size_t x = 0; x < width; ++x)
            indices[y * width + x] = static_cast<uint8_t>((x + y) % colours);
    return indices;
}

Bytes FourColours()
{
    return {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
}

gif_test::ImageBlock BaseImage()
{
    gif_test::ImageBlock image;
    image.width = 8;
    image.height = 8;
    image.minCodeSize = 2;
    image.control = true;
    image.data = gif_test::EncodeLzw(StripeIndices(8, 8, 4), 2);
    return image;
}

Bytes BaseGif()
{
    return gif_test::BuildGif(8, 8, FourColours(), {BaseImage()});
}

Bytes Insert(Bytes gif, uint64_t at, const Bytes& bytes)
{
    gif.insert(gif.begin() + static_cast<ptrdiff_t>(at), bytes.begin(), bytes.end());
    return gif;
}

Bytes Extension(uint8_t label, const Bytes& data)
{
    Bytes block{0x21, label};
    for (size_t at = 0; at < data.size(); at += 255) {
        const size_t n = std::min<size_t>(255, data.size() - at);
        block.push_back(static_cast<uint8_t>(n));
        block.insert(block.end(), data.begin() + static_cast<ptrdiff_t>(at), data.begin() + static_cast<ptrdiff_t>(at + n));
    }
    block.push_back(0);
    return block;
}

Bytes Text(const std::string& text)
{
    return Bytes(text.begin(), text.end());
}

namespace {

// XMP data as writers store it: the packet's bytes as they are after the
// identifier, then 0x01, 0xFF down to 0x00 and the terminator.
Bytes XmpExtension()
{
    const Bytes id = Text("XMP DataXMP");
    const Bytes packet = Text("<?xpacket begin='' id='W5M0MpCehiHzreSzNTczkc9d'?>\n<x:xmpmeta xmlns:x='adobe:ns:meta/'>\n"
                              "</x:xmpmeta>\n<?xpacket end='r'?>");
    Bytes block;
    block.reserve(3 + id.size() + packet.size() + 258);
    block = {0x21, 0xFF, 11};
    block.insert(block.end(), id.begin(), id.end());
    block.insert(block.end(), packet.begin(), packet.end());
    block.push_back(1);
    for (int v = 255; v >= 0; --v)
        block.push_back(static_cast<uint8_t>(v));
    block.push_back(0);
    return block;
}

}  // namespace

Bytes EveryBlockGif()
{
    gif_test::ImageBlock first = BaseImage();
    first.interlaced = true;
    first.transparentIndex = 3;
    first.disposal = 2;
    first.data = gif_test::EncodeLzw(gif_test::StoredOrder(StripeIndices(8, 8, 4), 8, 8, true), 2);
    gif_test::ImageBlock second;
    second.left = 2;
    second.top = 3;
    second.width = 5;
    second.height = 4;
    second.minCodeSize = 2;
    second.localPalette = {9, 8, 7, 6, 5, 4};
    second.data = gif_test::EncodeLzw(StripeIndices(5, 4, 2), 2);
    Bytes gif = gif_test::BuildGif(8, 8, FourColours(), {first, second});
    // An application extension is its 11-byte identifier block, then
    // sub-blocks; so is a plain text extension with its 12 bytes of fields.
    const auto withFields = [](uint8_t label, const Bytes& fields, const Bytes& data) {
        Bytes block = Extension(label, data);
        Bytes head{static_cast<uint8_t>(fields.size())};
        head.insert(head.end(), fields.begin(), fields.end());
        block.insert(block.begin() + 2, head.begin(), head.end());
        return block;
    };
    Bytes blocks = withFields(0xFF, Text("NETSCAPE2.0"), {1, 0, 0});
    for (const Bytes& b : {Extension(0xFE, Text("first line\r\nsecond line")), XmpExtension(),
                           withFields(0x01, {0, 0, 0, 0, 8, 0, 8, 0, 4, 4, 1, 0}, Text("Hello")),
                           withFields(0xFF, Text("VANTRELX1.0"), Text("hi"))})
        blocks.insert(blocks.end(), b.begin(), b.end());
    return Insert(gif, kControlAt, blocks);
}

}  // namespace gif_fixtures
