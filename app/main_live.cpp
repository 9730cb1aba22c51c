// mivola [DISK]: the show in a window (or fullscreen) with sound. The disk is
// the content folder: the one folder argument, else the working directory.
#include "app/Mpris.h"
#include "app/Startup.h"
#include "platform/host/Host.h"
#include "platform/d3d9/FrameStats.h"
#include "platform/dialogs/DialogWindow.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#ifndef MIVOLA_VERSION
#define MIVOLA_VERSION "unknown"
#endif

namespace {

constexpr int kUsageError = 2;

void PrintUsage(std::FILE* out)
{
    std::fputs("usage: mivola [DISK]\n"
               "Plays the music disk in the folder DISK (default: the current directory).\n"
               "  --stats    at exit, print one line of frame statistics\n"
               "  --help     show this help and exit\n"
               "  --version  show the version and exit\n",
               out);
}

int UsageError(const char* message, const char* argument)
{
    std::fprintf(stderr, "mivola: %s: %s\n", message, argument);
    PrintUsage(stderr);
    return kUsageError;
}

}  // namespace

int main(int argc, char** argv)
{
    const char* disk = nullptr;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (!optionsEnded && std::strcmp(arg, "--") == 0) {
            optionsEnded = true;
        } else if (!optionsEnded && std::strcmp(arg, "--help") == 0) {
            PrintUsage(stdout);
            return 0;
        } else if (!optionsEnded && std::strcmp(arg, "--stats") == 0) {
            d3d9::EnableFrameStats(true);
            host::AddExitHook([] { std::printf("%s\n", d3d9::ActiveFrameStats()->Line().c_str()); });
        } else if (!optionsEnded && std::strcmp(arg, "--version") == 0) {
            std::printf("mivola %s\n", MIVOLA_VERSION);
            return 0;
        } else if (!optionsEnded && arg[0] == '-' && arg[1] != '\0') {
            return UsageError("unknown option", arg);
        } else if (disk) {
            return UsageError("more than one disk", arg);
        } else {
            disk = arg;
        }
    }
    if (disk) {
        // Every file of the disk is read relative to the working directory.
        std::error_code error;
        if (!std::filesystem::is_directory(disk, error)) return UsageError("not a folder", disk);
        std::filesystem::current_path(disk, error);
        if (error) {
            std::fprintf(stderr, "mivola: cannot enter %s: %s\n", disk, error.message().c_str());
            return 1;
        }
    }

    host::SetRunMode(host::RunMode::Live);
    // Windows, the desktop file and the icon share one id, so docks match them.
    const std::wstring appId(kApplicationId, kApplicationId + std::strlen(kApplicationId));
    SetCurrentProcessExplicitAppUserModelID(appId.c_str());
    dialogs::Install();
    // Desktop media controls for the live show (the virtual runs have no bus).
    MprisEnable();
    int code = MivolaMain();
    host::RunExitHooks();
    return code;
}
