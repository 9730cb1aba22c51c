// Opening a web address in the user's browser through xdg-open: the address is
// one argument of a program started without a shell, and nobody waits for it.
#include "platform/win32/win32.h"

#include "platform/host/Host.h"

#include <csignal>
#include <cstring>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <thread>

extern char** environ;

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
    // Only web addresses: a file name or anything else is not opened.
    if (!IsWebAddress(address)) return result(2);
    if (host::IsVirtual()) {
        // Virtual runs never reach outside the process.
        LogPrintf("[shell] open %s\n", address.c_str());
        return result(33);
    }
    char program[] = "xdg-open";
    char* argv[] = {program, address.data(), nullptr};
    pid_t child = 0;
    if (posix_spawnp(&child, program, nullptr, nullptr, argv, environ) != 0) return result(2);
    // Reap the child in the background so it leaves no zombie.
    std::thread([child] {
        int status = 0;
        waitpid(child, &status, 0);
    }).detach();
    return result(33);
}
