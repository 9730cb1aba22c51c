// JPEG through libjpeg-turbo, read from memory: baseline and progressive, grey,
// YCbCr and (Adobe) CMYK, always to 8-bit RGBA without alpha.
#include "platform/d3dx9/PictureFile.h"

#include <cstdio>
// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <jerror.h>

#include <csetjmp>

namespace d3dx {

namespace {

// A progressive file can hold thousands of scans, each a pass over the whole
// picture; real pictures hold about ten.
constexpr int kMaxScans = 200;

struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char text[JMSG_LENGTH_MAX] = "damaged";
    bool endedEarly = false;
};

[[noreturn]] void OnError(j_common_ptr info)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    error->base.format_message(info, error->text);
    std::longjmp(error->jump, 1);
}

// Warnings are not printed; data that ends before the picture does is
// remembered, as the decoder then makes up the rest.
void OnMessage(j_common_ptr info, int level)
{
    auto* error = reinterpret_cast<ErrorManager*>(info->err);
    if (level < 0 && error->base.msg_code == JWRN_JPEG_EOF) error->endedEarly = true;
}

void OnProgress(j_common_ptr info)
{
    auto* decompress = reinterpret_cast<j_decompress_ptr>(info);
    if (decompress->input_scan_number > kMaxScans) {
        auto* error = reinterpret_cast<ErrorManager*>(info->err);
        std::snprintf(error->text, sizeof error->text, "more than %d scans", kMaxScans);
        std::longjmp(error->jump, 1);
    }
}

// (a * b) / 255, rounded, for CMYK stored inverted (as Adobe writes it).
uint8_t Scale(unsigned a, unsigned b)
{
    const unsigned t = a * b + 128;
    return uint8_t((t + (t >> 8)) >> 8);
}

bool Decode(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba,
            ErrorManager& error, bool& tooLittleData)
{
    jpeg_decompress_struct info{};
    jpeg_progress_mgr progress{};
    info.err = jpeg_std_error(&error.base);
    error.base.error_exit = OnError;
    error.base.emit_message = OnMessage;
    // Changed after setjmp and read after the jump: volatile.
    uint8_t* volatile row = nullptr;
    if (setjmp(error.jump)) {
        delete[] row;
        jpeg_destroy_decompress(&info);
        return false;
    }
    jpeg_create_decompress(&info);
    info.mem->max_memory_to_use = 768L << 20;
    progress.progress_monitor = OnProgress;
    info.progress = &progress;
    jpeg_mem_src(&info, bytes, static_cast<unsigned long>(size));
    jpeg_read_header(&info, TRUE);
    header.width = info.image_width;
    header.height = info.image_height;
    header.alpha = false;
    header.format = D3DXIFF_JPG;
    // Each 8 x 8 block costs at least a bit, so fewer bytes than one per 512
    // pixels cannot hold the picture.
    tooLittleData = uint64_t(info.image_width) * info.image_height > uint64_t(size) * 512 + 65536;
    const bool sized = header.width >= 1 && header.height >= 1 && header.width <= kMaxPictureSide &&
                       header.height <= kMaxPictureSide;
    if (!rgba || tooLittleData || !sized) {
        jpeg_destroy_decompress(&info);
        return true;
    }
    const bool cmyk = info.jpeg_color_space == JCS_CMYK || info.jpeg_color_space == JCS_YCCK;
    info.out_color_space = cmyk ? JCS_CMYK : JCS_EXT_RGBA;
    jpeg_start_decompress(&info);
    const size_t width = info.output_width;
    rgba->assign(width * info.output_height * 4, 0);
    row = new uint8_t[width * 4];
    while (info.output_scanline < info.output_height) {
        uint8_t* out = rgba->data() + size_t(info.output_scanline) * width * 4;
        JSAMPROW target = cmyk ? row : out;
        if (jpeg_read_scanlines(&info, &target, 1) != 1) break;
        if (cmyk)
            for (size_t x = 0; x < width; ++x) {
                const uint8_t* p = row + x * 4;
                out[x * 4 + 0] = Scale(p[0], p[3]);
                out[x * 4 + 1] = Scale(p[1], p[3]);
                out[x * 4 + 2] = Scale(p[2], p[3]);
                out[x * 4 + 3] = 255;
            }
    }
    delete[] row;
    row = nullptr;
    if (!error.endedEarly) jpeg_finish_decompress(&info);
    jpeg_destroy_decompress(&info);
    return true;
}

}  // namespace

PictureResult ReadJpeg(const uint8_t* bytes, size_t size, PictureHeader& header, std::vector<uint8_t>* rgba)
{
    ErrorManager error;
    bool tooLittleData = false;
    if (!Decode(bytes, size, header, rgba, error, tooLittleData))
        return Unreadable(std::string("not a JPEG picture that can be read: ") + error.text);
    if (PictureResult sides = CheckSides(header.width, header.height); !sides) return sides;
    if (tooLittleData || error.endedEarly)
        return Unreadable("the file is shorter than the picture it declares");
    return {};
}

}  // namespace d3dx
