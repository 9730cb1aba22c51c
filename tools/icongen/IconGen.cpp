// Writes the program's icon at 16, 32 and 48 pixels as PNG files into a folder
// (default: res/icon of the source tree), plus a 4x enlarged sheet for looking at.
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "res/icon/MivolaIcon.h"

#include <cstdio>
#include <string>
#include <vector>

int main(int argc, char** argv)
{
    std::string folder = argc > 1 ? argv[1] : "res/icon";
    for (int size : mivola_icon::kSizes) {
        std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
        mivola_icon::RenderIcon(size, rgba.data());
        std::string path = folder + "/icon" + std::to_string(size) + ".png";
        if (!stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4)) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    }
    if (argc > 2) {
        // Sheet: the three sizes side by side on grey, each pixel 4 x 4.
        const int scale = 4, width = (16 + 32 + 48 + 40) * scale, height = (48 + 16) * scale;
        std::vector<uint8_t> sheet(static_cast<size_t>(width) * height * 4, 160);
        int left = 8 * scale;
        for (int size : mivola_icon::kSizes) {
            std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
            mivola_icon::RenderIcon(size, rgba.data());
            for (int y = 0; y < size * scale; ++y)
                for (int x = 0; x < size * scale; ++x) {
                    const uint8_t* in = &rgba[(static_cast<size_t>(y / scale) * size + x / scale) * 4];
                    uint8_t* out = &sheet[(static_cast<size_t>(y + 8 * scale) * width + left + x) * 4];
                    if (in[3]) for (int c = 0; c < 4; ++c) out[c] = in[c];
                }
            left += (size + 12) * scale;
        }
        stbi_write_png(argv[2], width, height, 4, sheet.data(), width * 4);
    }
    return 0;
}
