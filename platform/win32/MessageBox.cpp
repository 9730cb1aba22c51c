#include "platform/win32/win32.h"
#include "platform/win32/Utf8.h"

#include "platform/host/Host.h"

#include <SDL.h>
#include <string>

namespace {

int Show(const std::string& text, const char* caption, UINT type)
{
    // Windows shows "Error" when a message box has no caption.
    const char* title = caption ? caption : "Error";
    bool error = (type & 0xF0) == MB_ICONERROR;
    if (host::IsVirtual()) {
        LogPrintf("[messagebox] %s%s: %s\n", error ? "error: " : "", title, text.c_str());
        return IDOK;
    }
    LogPrintf("[messagebox] %s%s: %s\n", error ? "error: " : "", title, text.c_str());
    SDL_ShowSimpleMessageBox(error ? SDL_MESSAGEBOX_ERROR : SDL_MESSAGEBOX_INFORMATION, title,
                             text.c_str(), nullptr);
    return IDOK;
}

}  // namespace

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    return Show(text ? text : "", caption, type);
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::string captionUtf8 = Utf8FromWide(caption);
    return Show(Utf8FromWide(text), caption ? captionUtf8.c_str() : nullptr, type);
}
