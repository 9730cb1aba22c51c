#include "tools/capture/Progress.h"

#include <algorithm>
#include <cstdio>
#include <unistd.h>

Progress::Progress(bool show, unsigned fps, double plannedSeconds)
    : show_(show && isatty(STDERR_FILENO)), fps_(fps ? fps : 1), planned_(plannedSeconds),
      start_(Clock::now()), lastDrawn_(start_)
{
}

double Progress::Elapsed() const
{
    return std::chrono::duration<double>(Clock::now() - start_).count();
}

void Progress::Frame(uint64_t n)
{
    if (!show_) return;
    Clock::time_point now = Clock::now();
    if (drawn_ && now - lastDrawn_ < std::chrono::milliseconds(250)) return;
    lastDrawn_ = now;
    drawn_ = true;
    double wall = std::max(1e-6, Elapsed());
    double done = static_cast<double>(n + 1) / fps_;
    double left = std::max(0.0, planned_ - done) * wall / done;
    auto seconds = static_cast<unsigned long>(left + 0.5);
    std::fprintf(stderr, "\r%.1f / %.1f s  %.1f fps  %lu:%02lu left\033[K", done, planned_,
                 static_cast<double>(n + 1) / wall, seconds / 60, seconds % 60);
    std::fflush(stderr);
}

void Progress::Clear()
{
    if (!show_ || !drawn_) return;
    std::fputs("\r\033[K", stderr);
    std::fflush(stderr);
    drawn_ = false;
}

std::string ByteSize(uint64_t bytes)
{
    char text[32];
    if (bytes < 1000 * 1000) std::snprintf(text, sizeof text, "%.1f kB", static_cast<double>(bytes) / 1e3);
    else if (bytes < 1000ull * 1000 * 1000)
        std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
    else std::snprintf(text, sizeof text, "%.2f GB", static_cast<double>(bytes) / 1e9);
    return text;
}
