#include "platform/win32/Log.h"

#include "platform/host/ContentFile.h"

#include <cstdarg>
#include <cstdio>
#include <locale.h>
#include <mutex>
#include <vector>

namespace {
std::mutex logMutex;
std::function<void(const std::string&)> logSink;
bool logEcho = true;

void LogNote(const std::string& line)
{
    LogPrintf("%s", line.c_str());
}

// The host's notes on the files it opens (a name matched ignoring case) are
// log lines too.
struct NotesToLog {
    NotesToLog() { host::SetNoteSink(LogNote); }
} notesToLog;

// Wide strings (%ls) are converted by the thread's locale, and the C locale
// converts nothing beyond ASCII: lines are formatted in C.UTF-8 whatever the
// program's locale, so that paths come out in UTF-8.
class Utf8Formatting {
public:
    Utf8Formatting()
    {
        static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", static_cast<locale_t>(0));
        previous_ = utf8 ? uselocale(utf8) : static_cast<locale_t>(0);
    }
    ~Utf8Formatting()
    {
        if (previous_) uselocale(previous_);
    }
    Utf8Formatting(const Utf8Formatting&) = delete;
    Utf8Formatting& operator=(const Utf8Formatting&) = delete;

private:
    locale_t previous_;
};

}  // namespace

void LogPrintf(const char* format, ...)
{
    char small[1024];
    Utf8Formatting utf8;
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    std::string text;
    if (length < 0) {
        // Only a wide string holding no character at all (a lone surrogate) gets here.
        text = std::string("Unprintable log line: ") + format;
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
