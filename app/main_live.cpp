// mivola: the show in a window (or fullscreen) with sound, run from its content
// folder. The command line is not used.
#include "app/Startup.h"
#include "platform/host/Host.h"
#include "platform/win32/DialogWindow.h"

int main()
{
    host::SetRunMode(host::RunMode::Live);
    dialog::UseDialogWindow();
    int code = MivolaMain();
    host::RunExitHooks();
    return code;
}
