// BMP: 1, 4 and 8 bits through a palette, 16 and 32 bits through bit masks, 24
// bits; uncompressed; rows bottom-up, or top-down when the height is negative.
#include "platform/d3dx9/PictureFile.h"

#include <algorithm>
#include <bit>

namespace d3dx {

namespace {

uint32_t Le16(const uint8_t* p)
{
    return uint32_t(p[0] | (p[1] << 8));
}

uint32_t Le32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

// A channel under a contiguous bit mask, widened to 8 bits by repeating its
// bits (5 bits v give v << 3 | v >> 2) or narrowed to its top 8.
struct Channel {
    uint32_t mask = 0;
    int shift = 0, bits = 0;

    explicit Channel(uint32_t m) : mask(m)
    {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m);
    }
    bool Contiguous() const { return !mask || ((mask >> shift) & ((mask >> shift) + 1)) == 0; }
    uint8_t Of(uint32_t pixel) const
    {
        if (!mask) return 0;
        uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return uint8_t(v >> (bits - 8));
        uint32_t out = 0;
        for (int filled = 0; filled < 8; filled += bits) out = (out << bits) | v;
        return uint8_t(out >> ((8 + bits - 1) / bits * bits - 8));
    }
};

}  // namespace

PictureResult ReadBmp(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba)
{
    if (size < 14 + 12) return Unreadable("not a BMP picture that can be read (header cut short)");
    const uint32_t offset = Le32(bytes + 10);
    const uint32_t infoSize = Le32(bytes + 14);
    if (infoSize != 12 && infoSize != 40 && infoSize != 56 && infoSize != 108 && infoSize != 124)
        return Unreadable("not a BMP picture that can be read (unknown header)");
    if (size < 14 + size_t(infoSize))
        return Unreadable("not a BMP picture that can be read (header cut short)");
    const uint8_t* info = bytes + 14;
    int64_t width, height;
    uint32_t planes, bits, compression = 0;
    if (infoSize == 12) {
        width = Le16(info + 4);
        height = Le16(info + 6);
        planes = Le16(info + 8);
        bits = Le16(info + 10);
    } else {
        width = int32_t(Le32(info + 4));
        height = int32_t(Le32(info + 8));
        planes = Le16(info + 12);
        bits = Le16(info + 14);
        compression = Le32(info + 16);
    }
    if (planes != 1) return Unreadable("not a BMP picture that can be read (planes)");
    // A negative height stores the rows top-down; the picture is as tall.
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > INT32_MAX || height > INT32_MAX)
        return Unreadable("not a BMP picture that can be read (no pixels)");
    if (PictureResult sides = CheckSides(uint32_t(width), uint32_t(height)); !sides) return sides;
    if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
        return Unreadable("not a BMP picture that can be read (" + std::to_string(bits) + " bits a pixel)");
    const bool masked = bits == 16 || bits == 32;
    if (compression != 0 && !(compression == 3 && masked))
        return Unreadable("not a BMP picture that can be read (compressed)");

    // Bit masks: the defaults without BI_BITFIELDS, else the header's (three
    // after a 40- or 56-byte header, four inside the larger ones).
    uint32_t masks[4] = {};
    size_t paletteAt = 14 + size_t(infoSize);
    if (masked && compression == 0) {
        if (bits == 16) masks[0] = 31u << 10, masks[1] = 31u << 5, masks[2] = 31u;
        else masks[0] = 0xFF0000u, masks[1] = 0xFF00u, masks[2] = 0xFFu, masks[3] = 0xFF000000u;
    } else if (masked) {
        const bool inside = infoSize >= 108;
        const size_t at = inside ? 14 + 40 : 14 + size_t(infoSize);
        if (size < at + (inside ? 16 : 12)) return Unreadable("not a BMP picture that can be read (masks)");
        for (int i = 0; i < (inside ? 4 : 3); ++i) masks[i] = Le32(bytes + at + size_t(i) * 4);
        if (!inside) paletteAt += 12;
        if (masks[0] == masks[1] && masks[1] == masks[2])
            return Unreadable("not a BMP picture that can be read (masks)");
    }
    const Channel channels[4] = {Channel(masks[0]), Channel(masks[1]), Channel(masks[2]), Channel(masks[3])};
    for (const Channel& c : channels)
        if (!c.Contiguous()) return Unreadable("not a BMP picture that can be read (masks)");

    // The palette fills the space between the headers and the pixels.
    const size_t entryBytes = infoSize == 12 ? 3 : 4;
    size_t paletteSize = 0;
    if (bits <= 8) {
        if (offset < paletteAt) return Unreadable("not a BMP picture that can be read (palette)");
        paletteSize = std::min<size_t>((offset - paletteAt) / entryBytes, 256);
        if (paletteSize == 0 || size < paletteAt + paletteSize * entryBytes)
            return Unreadable("not a BMP picture that can be read (palette)");
    }

    header.width = uint32_t(width);
    header.height = uint32_t(height);
    header.alpha = masks[3] != 0;
    header.format = D3DXIFF_BMP;

    const uint64_t stride = (uint64_t(width) * bits + 31) / 32 * 4;
    // The last row need not be padded.
    const uint64_t need = stride * uint64_t(height - 1) + (uint64_t(width) * bits + 7) / 8;
    if (offset > size || size - offset < need)
        return Unreadable("the file is shorter than the picture it declares");
    if (!rgba) return {};

    uint8_t palette[256][4] = {};
    for (size_t i = 0; i < paletteSize; ++i) {
        const uint8_t* e = bytes + paletteAt + i * entryBytes;
        palette[i][0] = e[2], palette[i][1] = e[1], palette[i][2] = e[0], palette[i][3] = 255;
    }
    rgba->assign(size_t(width) * size_t(height) * 4, 0);
    uint8_t anyAlpha = 0;
    for (int64_t y = 0; y < height; ++y) {
        const uint8_t* row = bytes + offset + size_t(y) * stride;
        uint8_t* out = rgba->data() + size_t(topDown ? y : height - 1 - y) * size_t(width) * 4;
        for (int64_t x = 0; x < width; ++x, out += 4) {
            if (bits <= 8) {
                const size_t bit = size_t(x) * bits;
                const unsigned index = (row[bit / 8] >> (8 - bits - bit % 8)) & ((1u << bits) - 1);
                // An index past the palette reads as black.
                if (index < paletteSize) std::copy_n(palette[index], 4, out);
                else out[0] = out[1] = out[2] = 0, out[3] = 255;
            } else if (bits == 24) {
                const uint8_t* p = row + size_t(x) * 3;
                out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
            } else {
                const uint8_t* p = row + size_t(x) * (bits / 8);
                const uint32_t v = bits == 16 ? Le16(p) : Le32(p);
                for (int c = 0; c < 3; ++c) out[c] = channels[c].Of(v);
                out[3] = masks[3] ? channels[3].Of(v) : 255;
                anyAlpha |= out[3];
            }
        }
    }
    // Many writers leave a 32-bit picture's fourth byte zero: all zero is opaque.
    if (masks[3] && anyAlpha == 0)
        for (size_t i = 3; i < rgba->size(); i += 4) (*rgba)[i] = 255;
    return {};
}

}  // namespace d3dx
