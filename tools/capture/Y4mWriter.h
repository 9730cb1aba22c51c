// Raw video: frames as 4:2:0 Y'CbCr (BT.601, studio range) in a Y4M stream.
#pragma once

#include "platform/host/Host.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

class Y4mWriter {
public:
    ~Y4mWriter();

    // Creates the file. False with Error() set.
    bool Open(const std::string& path, unsigned fps);
    // Appends a frame; the first one fixes the size, later frames of another
    // size are left out. False once a write failed.
    bool Write(const host::FrameView& frame);
    // Closes the file. False if it or any write failed.
    bool Close();

    const std::string& Error() const { return error_; }

private:
    bool Check(bool ok);

    std::FILE* file_ = nullptr;
    unsigned fps_ = 60;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> planes_;
    std::string error_;
};
