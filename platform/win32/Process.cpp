#include "platform/win32/win32.h"

#include "platform/host/Host.h"

#include <cstdio>
#include <unistd.h>

HMODULE GetModuleHandleW(LPCWSTR)
{
    // One module: the program itself. Any non-null value serves as its handle.
    static int self;
    return reinterpret_cast<HMODULE>(&self);
}

void ExitProcess(UINT exitCode)
{
    host::RunExitHooks();
    LogFlush();
    std::fflush(nullptr);
    _exit(static_cast<int>(exitCode));
}
