// The program's one logging path: every log line goes through LogPrintf as
// UTF-8 on standard output (printf and wprintf must never both write to stdout).
// Wide strings are formatted with %ls.
#pragma once

#include <functional>
#include <string>

void LogPrintf(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Tests and tools may also receive every line; pass an empty function to stop.
// With echo false nothing is written to stdout.
void SetLogSink(std::function<void(const std::string&)> sink, bool echo = true);
void LogFlush();
