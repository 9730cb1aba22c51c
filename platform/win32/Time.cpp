#include "platform/win32/Platform.h"
#include "platform/win32/win32.h"

DWORD GetTickCount()
{
    return win32::Current().TickCount();
}

void Sleep(DWORD milliseconds)
{
    win32::Current().Sleep(milliseconds);
}
