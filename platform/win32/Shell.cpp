// ShellExecuteW for web and file:// addresses only; the back end opens them (live:
// the user's programs through xdg-open; virtual: a log line, nothing leaves the process).
#include "platform/win32/Platform.h"
#include "platform/win32/win32.h"

#include <cwchar>
#include <string>

namespace {

bool IsWebAddress(const std::string& address)
{
    return address.rfind("https://", 0) == 0 || address.rfind("http://", 0) == 0;
}

}  // namespace

HINSTANCE ShellExecuteW(HWND, LPCWSTR operation, LPCWSTR file, LPCWSTR, LPCWSTR, INT)
{
    // Windows answers success with a value above 32, failure with 32 or less.
    auto result = [](intptr_t code) { return reinterpret_cast<HINSTANCE>(code); };
    if (!file || (operation && std::wcscmp(operation, L"open") != 0)) return result(2);
    int size = WideCharToMultiByte(CP_UTF8, 0, file, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return result(2);
    std::string address(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, file, -1, address.data(), size, nullptr, nullptr);
    address.pop_back();
    // Only web and file:// addresses: a bare file name or anything else is not opened.
    if (!IsWebAddress(address) && address.rfind("file:///", 0) != 0) return result(2);
    return result(win32::Current().OpenAddress(address) ? 33 : 2);
}
