#include "platform/d3dx9/PictureFile.h"

#include <cstring>

namespace d3dx {

namespace {

using Reader = PictureResult (*)(const uint8_t*, size_t, PictureHeader&, std::vector<uint8_t>*);

// The reader by the file's signature; anything else is tried as TGA, which
// has none.
Reader ReaderFor(const uint8_t* bytes, size_t size)
{
    if (size >= 8 && std::memcmp(bytes, "\x89PNG\r\n\x1a\n", 8) == 0) return ReadPng;
    if (size >= 2 && bytes[0] == 0xFF && bytes[1] == 0xD8) return ReadJpeg;
    if (size >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return ReadBmp;
    return ReadTga;
}

}  // namespace

PictureResult Unreadable(const std::string& reason)
{
    return {PictureError::Unreadable, reason};
}

PictureResult CheckSides(uint32_t width, uint32_t height)
{
    if (width == 0 || height == 0)
        return Unreadable("no pixels (" + std::to_string(width) + " x " + std::to_string(height) + ")");
    if (width > kMaxPictureSide || height > kMaxPictureSide)
        return {PictureError::TooLarge, "too large for a texture (" + std::to_string(width) + " x " +
                                            std::to_string(height) + ", at most " +
                                            std::to_string(kMaxPictureSide) + " a side)"};
    return {};
}

PictureResult ReadPictureHeader(const uint8_t* bytes, size_t size, PictureHeader& header)
{
    header = PictureHeader{};
    if (!bytes || size == 0) return Unreadable("empty file");
    return ReaderFor(bytes, size)(bytes, size, header, nullptr);
}

PictureResult DecodePicture(const uint8_t* bytes, size_t size, PictureHeader& header,
                            std::vector<uint8_t>& rgba)
{
    header = PictureHeader{};
    rgba.clear();
    if (!bytes || size == 0) return Unreadable("empty file");
    PictureResult result = ReaderFor(bytes, size)(bytes, size, header, &rgba);
    if (!result) rgba.clear();
    return result;
}

}  // namespace d3dx
