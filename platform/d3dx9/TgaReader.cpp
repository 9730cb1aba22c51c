// TGA: true colour, grey and colour-mapped, raw or run-length encoded; rows
// bottom-up unless the descriptor says top-down.
#include "platform/d3dx9/PictureFile.h"

#include <algorithm>

namespace d3dx {

namespace {

uint16_t Le16(const uint8_t* p)
{
    return uint16_t(p[0] | (p[1] << 8));
}

// 5 bits a channel, red highest; the top bit is not alpha here.
void Rgb16(const uint8_t* p, uint8_t* out)
{
    const unsigned v = Le16(p);
    out[0] = uint8_t((((v >> 10) & 31) * 255) / 31);
    out[1] = uint8_t((((v >> 5) & 31) * 255) / 31);
    out[2] = uint8_t(((v & 31) * 255) / 31);
    out[3] = 255;
}

// One stored value (a pixel or a palette entry) of `bits` to RGBA. Stored
// colour is B, G, R (, A).
void ToRgba(const uint8_t* p, int bits, bool grey, uint8_t* out)
{
    switch (bits) {
    case 8:
        out[0] = out[1] = out[2] = p[0];
        out[3] = 255;
        break;
    case 15:
        Rgb16(p, out);
        break;
    case 16:
        if (grey) {
            out[0] = out[1] = out[2] = p[0];
            out[3] = p[1];
        } else {
            Rgb16(p, out);
        }
        break;
    case 24:
        out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = 255;
        break;
    default:  // 32
        out[0] = p[2], out[1] = p[1], out[2] = p[0], out[3] = p[3];
        break;
    }
}

bool KnownDepth(int bits)
{
    return bits == 8 || bits == 15 || bits == 16 || bits == 24 || bits == 32;
}

}  // namespace

PictureResult ReadTga(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba)
{
    if (size < 18) return Unreadable("not a picture that can be read (no known signature)");
    const uint8_t idLength = bytes[0], mapType = bytes[1], type = bytes[2];
    const uint16_t mapStart = Le16(bytes + 3), mapLength = Le16(bytes + 5);
    const int mapBits = bytes[7];
    const uint32_t width = Le16(bytes + 12), height = Le16(bytes + 14);
    const int bits = bytes[16];
    const bool topDown = (bytes[17] & 0x20) != 0;
    const bool mapped = mapType == 1;
    const bool rle = type >= 9;
    const bool grey = (type & 7) == 3;
    const bool valid =
        mapType <= 1 && (mapped ? (type == 1 || type == 9) && KnownDepth(mapBits) &&
                                      (bits == 8 || bits == 16) && mapLength > 0
                                : (type == 2 || type == 3 || type == 10 || type == 11) && KnownDepth(bits));
    if (!valid) return Unreadable("not a picture that can be read (no known signature)");
    if (PictureResult sides = CheckSides(width, height); !sides) return sides;
    const int colourBits = mapped ? mapBits : bits;
    header.width = width;
    header.height = height;
    header.alpha = colourBits == 32 || (colourBits == 16 && grey);
    header.format = D3DXIFF_TGA;

    const size_t pixelBytes = size_t(bits + 7) / 8, entryBytes = size_t(mapBits + 7) / 8;
    size_t at = 18 + size_t(idLength);
    // The palette's first entry sits mapStart bytes in.
    const size_t mapAt = at + (mapped ? size_t(mapStart) : 0);
    const size_t mapBytes = mapped ? size_t(mapLength) * entryBytes : 0;
    at = mapAt + mapBytes;
    // The least data that can hold the picture: every pixel stored, or with
    // run-length packets, one packet of one value per 128 pixels.
    const uint64_t pixels = uint64_t(width) * height;
    const uint64_t least = rle ? (pixels + 127) / 128 * (1 + pixelBytes) : pixels * pixelBytes;
    if (at > size || size - at < least) return Unreadable("the file is shorter than the picture it declares");
    if (!rgba) return {};

    // Without a colour map the header's map fields mean nothing.
    const size_t entries = mapped ? mapLength : 0;
    std::vector<uint8_t> palette(entries * 4);
    for (size_t i = 0; i < entries; ++i)
        ToRgba(bytes + mapAt + i * entryBytes, mapBits, false, &palette[i * 4]);

    rgba->assign(size_t(pixels) * 4, 0);
    uint8_t value[4] = {};
    unsigned run = 0;
    bool repeat = false;
    for (uint64_t i = 0; i < pixels; ++i) {
        bool read = true;
        if (rle) {
            if (run == 0) {
                if (at >= size) return Unreadable("the picture's data ends early");
                run = 1 + (bytes[at] & 127u);
                repeat = (bytes[at] & 128u) != 0;
                ++at;
            } else {
                read = !repeat;
            }
            --run;
        }
        if (read) {
            if (size - at < pixelBytes) return Unreadable("the picture's data ends early");
            if (mapped) {
                size_t index = bits == 8 ? bytes[at] : Le16(bytes + at);
                if (index >= mapLength) index = 0;
                std::copy_n(&palette[index * 4], 4, value);
            } else {
                ToRgba(bytes + at, bits, grey, value);
            }
            at += pixelBytes;
        }
        const uint64_t row = i / width, column = i % width;
        const uint64_t y = topDown ? row : height - 1 - row;
        std::copy_n(value, 4, rgba->data() + (y * width + column) * 4);
    }
    return {};
}

}  // namespace d3dx
