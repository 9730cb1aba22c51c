#include "platform/win32/Platform.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/win32.h"

#include <cstdio>
#include <string>

namespace {

int Show(HWND owner, const std::string& text, const char* caption, UINT type)
{
    // Windows shows "Error" when a message box has no caption.
    std::string title = caption ? caption : "Error";
    bool error = (type & 0xF0) == MB_ICONERROR;
    LogPrintf("[messagebox] %s%s: %s\n", error ? "error: " : "", title.c_str(), text.c_str());
    // Also where a terminal or a test sees it, whatever becomes of the log.
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return win32::Current().MessageBox(owner, text, title, type);
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type)
{
    return Show(owner, text ? text : "", caption, type);
}

int MessageBoxW(HWND owner, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::string captionUtf8 = Utf8FromWide(caption);
    return Show(owner, Utf8FromWide(text), caption ? captionUtf8.c_str() : nullptr, type);
}
