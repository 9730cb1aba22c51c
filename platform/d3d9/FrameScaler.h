// Scales a frame of 4-byte pixels bilinearly on the CPU, as a linear-filtered
// blit samples it: each destination pixel's centre maps back into the source,
// edges clamped. Software renderers scale slower than this (llvmpipe takes about
// 7 ms for 1280x720 to 1920x1080 on two cores), so the device presents into the
// window through it when no GPU draws.
//
// Weights have 8 bits, as in GL's own filtering of 8-bit texels: a channel
// comes out less than 1.5 from the exact bilinear value.
// The four bytes of a pixel are scaled alike, whatever their order.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "platform/d3d9/JobThread.h"

namespace d3d9 {

class FrameScaler {
public:
    FrameScaler() = default;
    FrameScaler(const FrameScaler&) = delete;
    FrameScaler& operator=(const FrameScaler&) = delete;

    // Sizes of the frames the next Scale calls take and give (each at least 1).
    void Prepare(int sourceWidth, int sourceHeight, int width, int height);
    // A rectangle of destination pixels, [x0, x1) x [y0, y1).
    struct Region {
        int x0, y0, x1, y1;
    };
    // The destination pixels that read any of the source pixels [x0, x1) x [y0, y1).
    Region Reaching(int x0, int y0, int x1, int y1) const;
    // Source rows of sourceWidth pixels, sourcePitch bytes apart; destination
    // rows of width pixels, pitch bytes apart. Top row first in both. Only the
    // destination pixels of `region` are written, when given. A large region's
    // lower half is scaled on a helper thread meanwhile.
    void Scale(const uint8_t* source, size_t sourcePitch, uint8_t* destination, size_t pitch);
    void Scale(const uint8_t* source, size_t sourcePitch, uint8_t* destination, size_t pitch,
               const Region& region);

private:
    // Two source rows scaled along x: 4 channels of width pixels, each the
    // channel times 256, and the source row each holds.
    struct Rows {
        std::vector<uint16_t> row[2];
        int of[2];
    };
    struct Job {
        const uint8_t* source;
        size_t sourcePitch;
        uint8_t* destination;
        size_t pitch;
        int top, bottom;  // destination rows [top, bottom)
        int left, right;  // and columns [left, right)
    };
    void ScaleRows(const Job& job, Rows& rows) const;
    void ScaleRow(const uint8_t* row, uint16_t* out, int left, int right) const;
    // Destination coordinates [first, end) whose texel pair meets source [s0, s1).
    static void Reach(int s0, int s1, int sourceSize, int size, int& first, int& end);
    // The source position of a destination coordinate: the left (or top) texel
    // and the weight (0-256) of the one after it, which always exists.
    static void Tap(int d, int sourceSize, int size, int& first, int& weight);

    int sourceWidth_ = 0, sourceHeight_ = 0, width_ = 0, height_ = 0;
    std::vector<int> columns_;      // left texel of each destination column
    std::vector<uint16_t> weights_;  // 8 a column: 256 - w four times, w four times
    Rows rows_[2];                   // this thread's and the helper's
    JobThread helper_;               // scales a large frame's lower half
};

}  // namespace d3d9
