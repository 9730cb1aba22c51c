// Picture files decoded to RGBA8, top row first: PNG through libpng, JPEG
// through libjpeg-turbo, BMP and TGA through small readers of our own. Every
// reader checks the declared size against the side limit and against the data
// the file actually holds before it allocates anything, so a picture costs
// memory and time in proportion to its real data.
#pragma once

#include "platform/d3dx9/d3dx9.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace d3dx {

// No texture is larger than this a side.
constexpr uint32_t kMaxPictureSide = 8192;

struct PictureHeader {
    uint32_t width = 0, height = 0;
    bool alpha = false;  // the file carries an alpha channel
    D3DXIMAGE_FILEFORMAT format = D3DXIFF_TGA;
};

enum class PictureError {
    None,
    Unreadable,  // not a picture, damaged, or shorter than it declares
    TooLarge,    // declares more than kMaxPictureSide a side
};

struct PictureResult {
    PictureError error = PictureError::None;
    std::string reason;  // empty on success
    explicit operator bool() const { return error == PictureError::None; }
};

// Reads the size and format from the header alone.
PictureResult ReadPictureHeader(const uint8_t* bytes, size_t size, PictureHeader& header);

// Decodes the whole picture into width * height * 4 bytes of RGBA.
PictureResult DecodePicture(const uint8_t* bytes, size_t size, PictureHeader& header,
                            std::vector<uint8_t>& rgba);

// The format readers, each with the same contract as the two calls above.
PictureResult ReadPng(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba);
PictureResult ReadJpeg(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba);
PictureResult ReadBmp(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba);
PictureResult ReadTga(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba);

// Shared by the readers: a failure with its reason, and the side check.
PictureResult Unreadable(const std::string& reason);
PictureResult CheckSides(uint32_t width, uint32_t height);

}  // namespace d3dx
