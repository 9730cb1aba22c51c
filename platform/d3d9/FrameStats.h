// Frame statistics for anyone's --stats: the times between presented frames and
// the pixels each frame's draws covered, summed up in one line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

namespace d3d9 {

class FrameStats {
public:
    // One presented frame, this many milliseconds after the one before (the
    // first frame has no interval and passes none).
    void AddInterval(double ms) { intervals_.push_back(ms); }
    void AddFrame() { ++frames_; }
    // One frame's covered pixels (each draw counts the pixels it covers) and
    // the back buffer's size.
    void AddFill(uint64_t pixels, uint64_t screenPixels);

    // Start-up: from the options dialog's answer to the show's first frame on
    // the screen. Only the first end after a beginning counts.
    void MarkStartupBegin();
    void MarkStartupEnd();

    // "stats: N frames, X.X fps, frame ms median M p99 P, fill F.FF screens/frame",
    // then ", start-up S.SS s" once measured.
    std::string Line() const;

private:
    uint64_t frames_ = 0;
    std::vector<double> intervals_;
    double fillScreens_ = 0;  // sum over the frames that report fill
    uint64_t fillFrames_ = 0;
    std::chrono::steady_clock::time_point startupBegin_{};
    double startupSeconds_ = -1;  // negative until measured
};

// Gathering in the device, off until switched on; null while off.
void EnableFrameStats(bool on);
FrameStats* ActiveFrameStats();

}  // namespace d3d9
