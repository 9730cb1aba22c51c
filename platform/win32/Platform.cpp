#include "platform/win32/Platform.h"

#include "platform/host/Host.h"

namespace win32 {

Platform& Current()
{
    return host::GetRunMode() == host::RunMode::Virtual ? VirtualPlatform() : LivePlatform();
}

}  // namespace win32
