#include "platform/win32/Platform.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/win32.h"

#include <string>

int MessageBoxA(HWND, LPCSTR text, LPCSTR caption, UINT type)
{
    return win32::Current().MessageBox(text ? text : "", caption, type);
}

int MessageBoxW(HWND, LPCWSTR text, LPCWSTR caption, UINT type)
{
    std::string captionUtf8 = Utf8FromWide(caption);
    return win32::Current().MessageBox(Utf8FromWide(text), caption ? captionUtf8.c_str() : nullptr, type);
}
