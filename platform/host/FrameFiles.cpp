#include "platform/host/FrameFiles.h"

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wunused-function"
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>
#pragma GCC diagnostic pop

namespace host {

bool WritePng(const std::string& path, const FrameView& frame)
{
    if (!frame.pixels || frame.width <= 0 || frame.height <= 0 ||
        frame.stride < size_t(frame.width) * 4 || frame.stride > size_t(INT32_MAX))
        return false;
    return stbi_write_png(path.c_str(), frame.width, frame.height, 4, frame.pixels,
                          int(frame.stride)) != 0;
}

}  // namespace host
