// Progress of a capture on a terminal: virtual seconds done out of those
// planned, frames per second and the time left, redrawn in place on standard
// error a few times a second.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

class Progress {
public:
    // Shows nothing unless `show` and standard error is a terminal.
    Progress(bool show, unsigned fps, double plannedSeconds);

    // Frame n (counted from 0) was presented.
    void Frame(uint64_t n);
    // Clears the progress line.
    void Clear();
    // Wall seconds since the capture started.
    double Elapsed() const;

private:
    using Clock = std::chrono::steady_clock;
    bool show_;
    unsigned fps_;
    double planned_;
    Clock::time_point start_;
    Clock::time_point lastDrawn_;
    bool drawn_ = false;
};

// "1.2 MB" style sizes for the summary line.
std::string ByteSize(uint64_t bytes);
