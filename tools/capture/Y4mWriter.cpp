#include "tools/capture/Y4mWriter.h"

#include <cerrno>
#include <cstring>

Y4mWriter::~Y4mWriter()
{
    if (file_) std::fclose(file_);
}

bool Y4mWriter::Check(bool ok)
{
    if (!ok && error_.empty()) error_ = errno ? std::strerror(errno) : "write failed";
    return ok;
}

bool Y4mWriter::Open(const std::string& path, unsigned fps)
{
    errno = 0;
    file_ = std::fopen(path.c_str(), "wb");
    fps_ = fps;
    return Check(file_ != nullptr);
}

bool Y4mWriter::Write(const host::FrameView& frame)
{
    if (!file_ || !error_.empty()) return false;
    if (frame.width <= 0 || frame.height <= 0) return true;
    errno = 0;
    if (width_ == 0) {
        width_ = frame.width;
        height_ = frame.height;
        if (!Check(std::fprintf(file_, "YUV4MPEG2 W%d H%d F%u:1 Ip A1:1 C420jpeg\n", width_, height_, fps_) >
                   0))
            return false;
    }
    if (frame.width != width_ || frame.height != height_) return true;
    int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
    planes_.resize(static_cast<size_t>(width_ * height_ + 2 * cw * ch));
    uint8_t* y = planes_.data();
    uint8_t* u = y + width_ * height_;
    uint8_t* v = u + cw * ch;
    auto pixel = [&](int px, int py) {
        px = px < width_ ? px : width_ - 1;
        py = py < height_ ? py : height_ - 1;
        return frame.pixels + static_cast<size_t>(py) * frame.stride + static_cast<size_t>(px) * 4;
    };
    for (int py = 0; py < height_; ++py)
        for (int px = 0; px < width_; ++px) {
            const uint8_t* p = pixel(px, py);
            y[py * width_ + px] =
                static_cast<uint8_t>((66 * p[0] + 129 * p[1] + 25 * p[2] + 128 + 4096) >> 8);
        }
    for (int cy = 0; cy < ch; ++cy)
        for (int cx = 0; cx < cw; ++cx) {
            int r = 0, g = 0, b = 0;
            for (int k = 0; k < 4; ++k) {
                const uint8_t* p = pixel(cx * 2 + (k & 1), cy * 2 + (k >> 1));
                r += p[0];
                g += p[1];
                b += p[2];
            }
            u[cy * cw + cx] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b) / 4 + 128 + 32768) >> 8);
            v[cy * cw + cx] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b) / 4 + 128 + 32768) >> 8);
        }
    return Check(std::fputs("FRAME\n", file_) >= 0 &&
                 std::fwrite(planes_.data(), 1, planes_.size(), file_) == planes_.size());
}

bool Y4mWriter::Close()
{
    if (!file_) return error_.empty();
    errno = 0;
    bool ok = std::fclose(file_) == 0;
    file_ = nullptr;
    return Check(ok) && error_.empty();
}
