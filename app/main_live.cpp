// mivola: the show in a window (or fullscreen) with sound, run from its content
// folder. The command line is not used.
#include "app/Startup.h"
#include "platform/host/Host.h"
#include "platform/dialogs/DialogWindow.h"

int main()
{
    host::SetRunMode(host::RunMode::Live);
    dialogs::Install();
    int code = MivolaMain();
    host::RunExitHooks();
    return code;
}
