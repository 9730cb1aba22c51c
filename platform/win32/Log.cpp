#include "platform/win32/Log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>
#include <vector>

namespace {
std::mutex logMutex;
std::function<void(const std::string&)> logSink;
bool logEcho = true;
}

void LogPrintf(const char* format, ...)
{
    char small[1024];
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (length < 0) {
        text = format;
    } else if (static_cast<size_t>(length) < sizeof small) {
        text.assign(small, static_cast<size_t>(length));
    } else {
        std::vector<char> big(static_cast<size_t>(length) + 1);
        std::vsnprintf(big.data(), big.size(), format, again);
        text.assign(big.data(), static_cast<size_t>(length));
    }
    va_end(again);

    std::lock_guard<std::mutex> lock(logMutex);
    if (logEcho) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    }
    if (logSink) logSink(text);
}

void SetLogSink(std::function<void(const std::string&)> sink, bool echo)
{
    std::lock_guard<std::mutex> lock(logMutex);
    logSink = std::move(sink);
    logEcho = echo;
}

void LogFlush()
{
    std::lock_guard<std::mutex> lock(logMutex);
    std::fflush(stdout);
}
