#include "platform/win32/Resources.h"

namespace win32 {

namespace {
ProgramResources registered;
}

void SetProgramResources(const ProgramResources& resources)
{
    registered = resources;
}

const ProgramResources& GetProgramResources()
{
    return registered;
}

}  // namespace win32
