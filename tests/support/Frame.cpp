#include "tests/support/Frame.h"

#include "platform/host/FrameFiles.h"
#include "tests/support/Files.h"

namespace support {

void Frame::SavePng(const std::string& name, int x0, int y0, int w, int h, int scale) const
{
    std::vector<uint8_t> rgba(size_t(w) * size_t(h) * size_t(scale * scale) * 4);
    uint8_t* out = rgba.data();
    for (int y = 0; y < h * scale; ++y)
        for (int x = 0; x < w * scale; ++x, out += 4) {
            const Rgba p = At(x0 + x / scale, y0 + y / scale);
            out[0] = p.r;
            out[1] = p.g;
            out[2] = p.b;
            out[3] = 255;
        }
    host::WritePng(OutputDir() + "/" + name,
                   host::FrameView{rgba.data(), w * scale, h * scale, size_t(w) * size_t(scale) * 4});
}

}  // namespace support
