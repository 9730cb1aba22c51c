// PNG through libpng, read from memory. Every bit depth and colour type ends
// as 8-bit RGBA: 16-bit channels keep their high byte, grey is repeated into
// red, green and blue, a transparency chunk becomes alpha. Gamma and other
// colour chunks are not applied.
#include "platform/d3dx9/PictureFile.h"

#include <png.h>

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstring>

namespace d3dx {

namespace {

struct Source {
    const uint8_t* bytes;
    size_t size, at;
};

void ReadFromMemory(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<Source*>(png_get_io_ptr(png));
    if (length > source->size - source->at) png_error(png, "the file ends early");
    std::memcpy(out, source->bytes + source->at, length);
    source->at += length;
}

struct ErrorText {
    char text[200] = "damaged";
};

[[noreturn]] void OnError(png_structp png, png_const_charp message)
{
    auto* error = static_cast<ErrorText*>(png_get_error_ptr(png));
    std::snprintf(error->text, sizeof error->text, "%s", message ? message : "damaged");
    png_longjmp(png, 1);
}

void OnWarning(png_structp, png_const_charp) {}

uint32_t Be32(const uint8_t* p)
{
    return (uint32_t(p[0]) << 24) | (uint32_t(p[1]) << 16) | (uint32_t(p[2]) << 8) | p[3];
}

// The bytes of all image-data chunks, found by walking the chunk list (their
// lengths only; nothing is decompressed).
uint64_t ImageDataBytes(const uint8_t* bytes, size_t size)
{
    uint64_t total = 0;
    for (size_t at = 8; size - at >= 12;) {
        const uint32_t length = Be32(bytes + at);
        if (std::memcmp(bytes + at + 4, "IDAT", 4) == 0) total += std::min<uint64_t>(length, size - at - 12);
        if (std::memcmp(bytes + at + 4, "IEND", 4) == 0 || length > size - at - 12) break;
        at += 12 + size_t(length);
    }
    return total;
}

// Everything that touches libpng's long jump lives here, with only plain
// locals, so that nothing needs unwinding.
bool Decode(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba,
            ErrorText& error, bool& tooLittleData)
{
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &error, OnError, OnWarning);
    if (!png) return false;
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_read_struct(&png, nullptr, nullptr);
        return false;
    }
    Source source{bytes, size, 0};
    // Changed after setjmp and read after the jump: volatile.
    png_bytep* volatile rows = nullptr;
    if (setjmp(png_jmpbuf(png))) {
        delete[] rows;
        png_destroy_read_struct(&png, &info, nullptr);
        return false;
    }
    png_set_read_fn(png, &source, ReadFromMemory);
    png_set_user_limits(png, kMaxPictureSide, kMaxPictureSide);
    // Checksums are not checked, as the decoder before this one did not: a
    // picture that loaded then loads now.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
#ifdef PNG_IGNORE_ADLER32
    png_set_option(png, PNG_IGNORE_ADLER32, PNG_OPTION_ON);
#endif
    png_read_info(png, info);

    const uint32_t width = png_get_image_width(png, info), height = png_get_image_height(png, info);
    const int colour = png_get_color_type(png, info), depth = png_get_bit_depth(png, info);
    const bool transparency = png_get_valid(png, info, PNG_INFO_tRNS) != 0;
    header.width = width;
    header.height = height;
    header.format = D3DXIFF_PNG;
    // Alpha when the colour type has it or a transparency chunk gives it.
    header.alpha = (colour & PNG_COLOR_MASK_ALPHA) != 0 || transparency;
    // Deflate makes at most about 1032 bytes of each byte: fewer compressed
    // bytes than that cannot hold the picture.
    const uint64_t rowBytes = (uint64_t(width) * png_get_channels(png, info) * depth + 7) / 8 + 1;
    tooLittleData = ImageDataBytes(bytes, size) * 1032 + 1024 < rowBytes * height;
    if (!rgba || tooLittleData) {
        png_destroy_read_struct(&png, &info, nullptr);
        return true;
    }

    if (depth == 16) png_set_strip_16(png);
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (transparency) png_set_tRNS_to_alpha(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0 && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if ((colour & PNG_COLOR_MASK_COLOR) == 0) png_set_gray_to_rgb(png);
    if (!header.alpha) png_set_filler(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != size_t(width) * 4) png_error(png, "unexpected row layout");

    rgba->assign(size_t(width) * height * 4, 0);
    rows = new png_bytep[height];
    for (uint32_t y = 0; y < height; ++y) rows[y] = rgba->data() + size_t(y) * width * 4;
    png_read_image(png, rows);
    delete[] rows;
    rows = nullptr;
    png_destroy_read_struct(&png, &info, nullptr);
    return true;
}

}  // namespace

PictureResult ReadPng(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba)
{
    // The size comes first, straight from the header chunk, so that a side over
    // the limit is told as such (libpng would call the header invalid).
    if (size >= 24 && std::memcmp(bytes + 12, "IHDR", 4) == 0)
        if (PictureResult sides = CheckSides(Be32(bytes + 16), Be32(bytes + 20));
            sides.error == PictureError::TooLarge)
            return sides;
    ErrorText error;
    bool tooLittleData = false;
    if (!Decode(bytes, size, header, rgba, error, tooLittleData))
        return Unreadable(std::string("not a PNG picture that can be read: ") + error.text);
    if (PictureResult sides = CheckSides(header.width, header.height); !sides) return sides;
    if (tooLittleData) return Unreadable("the file is shorter than the picture it declares");
    return {};
}

}  // namespace d3dx
