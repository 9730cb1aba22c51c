#include "app/OptionsDialog.h"

const WCHAR kWebSiteAddress[] = L"https://mivola.example.org";

EngineSettings* dialogSettings = nullptr;

namespace {

bool IsChecked(HWND dialog, int control)
{
    return SendDlgItemMessageW(dialog, control, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

}  // namespace

INT_PTR OptionsDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    switch (message) {
    case WM_INITDIALOG:
        if (dialogSettings->windowed == 0)
            SendDlgItemMessageW(dialog, kIdFullscreen, BM_SETCHECK, BST_CHECKED, 0);
        if (dialogSettings->multisample != 0)
            SendDlgItemMessageW(dialog, kIdMultisample, BM_SETCHECK, BST_CHECKED, 0);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case kIdRun:
            dialogSettings->windowed = IsChecked(dialog, kIdFullscreen) ? 0 : 1;
            dialogSettings->multisample = IsChecked(dialog, kIdMultisample) ? 1 : 0;
            dialogSettings->lowVideoRam = IsChecked(dialog, kIdLowVideoRam) ? 1 : 0;
            EndDialog(dialog, 1);
            break;
        case kIdQuit:
            EndDialog(dialog, 0);
            break;
        case kIdWebSite:
            ShellExecuteW(dialog, nullptr, kWebSiteAddress, nullptr, nullptr, SW_SHOW);
            break;
        default:
            break;
        }
        return FALSE;
    default:
        return FALSE;
    }
}
