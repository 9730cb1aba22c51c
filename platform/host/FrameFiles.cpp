#include "platform/host/FrameFiles.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

#include <cstdio>
#include <vector>

namespace host {

bool WritePng(const std::string& path, const FrameView& frame)
{
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 || frame.stride < size_t(frame.width) * 4 ||
        frame.stride > size_t(INT32_MAX))
        return false;
    // Encoded in memory first: the file write and close are checked here (a full
    // disk shows only there), which stb's own file writer does not do.
    std::vector<unsigned char> png;
    auto append = [](void* context, void* data, int size) {
        auto* out = static_cast<std::vector<unsigned char>*>(context);
        out->insert(out->end(), static_cast<unsigned char*>(data), static_cast<unsigned char*>(data) + size);
    };
    if (!stbi_write_png_to_func(append, &png, frame.width, frame.height, 4, frame.pixels, int(frame.stride)))
        return false;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    bool ok = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && ok;
}

}  // namespace host
