#include "platform/d3d9/FrameStats.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

namespace d3d9 {

namespace {
std::unique_ptr<FrameStats> active;
}

void FrameStats::AddFill(uint64_t pixels, uint64_t screenPixels)
{
    if (screenPixels == 0) return;
    fillScreens_ += double(pixels) / double(screenPixels);
    ++fillFrames_;
}

void FrameStats::MarkStartupBegin()
{
    startupBegin_ = std::chrono::steady_clock::now();
    startupSeconds_ = -1;
}

void FrameStats::MarkStartupEnd()
{
    if (startupSeconds_ >= 0 || startupBegin_.time_since_epoch().count() == 0) return;
    startupSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - startupBegin_).count();
}

std::string FrameStats::Line() const
{
    double total = 0, median = 0, p99 = 0;
    for (double ms : intervals_) total += ms;
    if (!intervals_.empty()) {
        std::vector<double> sorted = intervals_;
        std::sort(sorted.begin(), sorted.end());
        const size_t n = sorted.size();
        median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
        // Nearest rank: the smallest time that 99% of the frames do not exceed.
        p99 = sorted[std::min(n - 1, size_t(std::ceil(0.99 * double(n))) - 1)];
    }
    const double fps = total > 0 ? double(intervals_.size()) * 1000.0 / total : 0.0;
    const double fill = fillFrames_ ? fillScreens_ / double(fillFrames_) : 0.0;
    char line[200];
    int n = std::snprintf(line, sizeof line,
                          "stats: %llu frames, %.1f fps, frame ms median %.1f p99 %.1f, fill %.2f screens/frame",
                          static_cast<unsigned long long>(frames_), fps, median, p99, fill);
    if (startupSeconds_ >= 0 && n > 0 && size_t(n) < sizeof line)
        std::snprintf(line + n, sizeof line - size_t(n), ", start-up %.2f s", startupSeconds_);
    return line;
}

void EnableFrameStats(bool on)
{
    if (on && !active) active = std::make_unique<FrameStats>();
    if (!on) active.reset();
}

FrameStats* ActiveFrameStats()
{
    return active.get();
}

}  // namespace d3d9
