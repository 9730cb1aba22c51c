#include "platform/win32/win32.h"

#include "platform/host/Host.h"

#include <chrono>
#include <thread>

DWORD GetTickCount()
{
    if (host::IsVirtual()) return host::kVirtualTickBase + host::VirtualElapsedMs();
    auto now = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count());
}

void Sleep(DWORD milliseconds)
{
    if (host::IsVirtual()) return;
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}
