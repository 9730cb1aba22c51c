// Writes the program's icon as PNG files.
//   mivola-icongen [FOLDER [SHEET]]   the window icon's 16, 32 and 48 pixel pictures
//                                     (default folder: res/icon), and a 4x enlarged sheet
//   mivola-icongen --hicolor ROOT NAME  ROOT/NxN/apps/NAME.png for the desktop's
//                                     icon theme, 16 to 256 pixels, with smooth edges
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "res/icon/MivolaIcon.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

namespace {

bool WritePng(const std::string& path, int size, const std::vector<uint8_t>& rgba)
{
    if (stbi_write_png(path.c_str(), size, size, 4, rgba.data(), size * 4)) return true;
    std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return false;
}

int WriteHicolor(const std::string& root, const std::string& name)
{
    static const int kThemeSizes[] = {16, 22, 24, 32, 48, 64, 128, 256};
    for (int size : kThemeSizes) {
        std::string folder = root + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        std::error_code error;
        std::filesystem::create_directories(folder, error);
        std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
        mivola_icon::RenderSmoothIcon(size, rgba.data());
        if (!WritePng(folder + "/" + name + ".png", size, rgba)) return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc > 1 && std::strcmp(argv[1], "--hicolor") == 0) {
        if (argc != 4) {
            std::fprintf(stderr, "usage: mivola-icongen --hicolor ROOT NAME\n");
            return 2;
        }
        return WriteHicolor(argv[2], argv[3]);
    }
    std::string folder = argc > 1 ? argv[1] : "res/icon";
    for (int size : mivola_icon::kSizes) {
        std::vector<uint8_t> rgba(static_cast<size_t>(size) * size * 4);
        mivola_icon::RenderIcon(size, rgba.data());
        if (!WritePng(folder + "/icon" + std::to_string(size) + ".png", size, rgba)) return 1;
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
                    if (in[3])
                        for (int c = 0; c < 4; ++c) out[c] = in[c];
                }
            left += (size + 12) * scale;
        }
        stbi_write_png(argv[2], width, height, 4, sheet.data(), width * 4);
    }
    return 0;
}
