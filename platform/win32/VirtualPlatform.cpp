// The virtual back end: the host's clock, screen and scripted input; windows
// are records only; dialogs are answered from the host or a script; nothing
// leaves the process.
#include "platform/win32/DialogScript.h"
#include "platform/win32/Platform.h"
#include "platform/win32/WindowInternal.h"

#include "platform/host/Host.h"

#include <vector>

namespace win32 {
namespace {

constexpr int kScreenWidth = 1920;
constexpr int kScreenHeight = 1080;
constexpr WPARAM kLeftButtonFlag = 0x0001;  // MK_LBUTTON

std::vector<dialog::Action> script;

// The virtual user: the host's answer as check states, then "1" or "0".
void AnswerFromHost(dialog::ModalDialog& d)
{
    const host::DialogAnswer& answer = host::GetDialogAnswer();
    if (!answer.accept) {
        d.Cancel();
        return;
    }
    HWND window = d.Handle();
    SendDlgItemMessageW(window, 1001, BM_SETCHECK, answer.fullscreen ? BST_CHECKED : BST_UNCHECKED, 0);
    SendDlgItemMessageW(window, 1000, BM_SETCHECK, answer.multisample ? BST_CHECKED : BST_UNCHECKED, 0);
    SendDlgItemMessageW(window, 1002, BM_SETCHECK, answer.lowVideoRam ? BST_CHECKED : BST_UNCHECKED, 0);
    d.Command(IDOK);
}

void PlayScript(dialog::ModalDialog& d)
{
    for (const dialog::Action& action : script) {
        if (d.ended) return;
        switch (action.kind) {
        case dialog::Action::Click:
            d.Click(action.value);
            break;
        case dialog::Action::Key:
            d.Key(action.value < 0 ? -action.value : action.value, action.value < 0);
            break;
        case dialog::Action::Close:
            d.Cancel();
            break;
        }
    }
}

class Virtual final : public Platform {
public:
    DWORD TickCount() override { return host::kVirtualTickBase + host::VirtualElapsedMs(); }
    // Virtual time moves only by frames.
    void Sleep(DWORD) override {}

    bool ScreenSize(int& width, int& height) override
    {
        width = kScreenWidth;
        height = kScreenHeight;
        return true;
    }

    bool OpenWindow(WindowRecord&, const std::string&, bool) override { return true; }
    void ShowWindow(WindowRecord&) override {}
    void RaiseWindow(WindowRecord&) override {}
    void FocusWindow(WindowRecord&) override {}
    void RefreshGeometry(WindowRecord&) override {}
    void CloseWindow(WindowRecord&) override {}
    void AllowScreenSaver(bool) override {}

    // Button and close events of the host's script, in order, to the input target.
    bool TakeEvent() override
    {
        host::VirtualMessage m = host::PopVirtualMessage();
        if (m == host::VirtualMessage::None) return false;
        HWND target = InputTarget();
        if (!target) return true;  // no window to receive it: dropped
        int x = 0, y = 0;
        host::VirtualCursor(x, y);
        switch (m) {
        case host::VirtualMessage::ButtonDown:
            QueueMessage(target, WM_LBUTTONDOWN, kLeftButtonFlag, MAKELPARAM(x, y));
            break;
        case host::VirtualMessage::ButtonUp:
            QueueMessage(target, WM_LBUTTONUP, 0, MAKELPARAM(x, y));
            break;
        case host::VirtualMessage::Close:
            QueueMessage(target, WM_CLOSE, 0, 0);
            break;
        case host::VirtualMessage::None:
            break;
        }
        return true;
    }

    bool KeyDown(int virtualKey) override { return host::VirtualKeyDown(virtualKey); }

    // The host's cursor is in client pixels of the program's window.
    bool CursorPos(POINT& screen) override
    {
        int x = 0, y = 0;
        host::VirtualCursor(x, y);
        WindowGeometry g{};
        if (GetWindowGeometry(GetForegroundWindow(), &g)) {
            x += g.clientX;
            y += g.clientY;
        }
        screen = POINT{x, y};
        return true;
    }

    // Nobody to answer it: the log and standard error have it.
    int MessageBox(HWND, const std::string&, const std::string&, UINT) override { return IDOK; }

    bool RunDialog(dialog::ModalDialog& d) override
    {
        if (script.empty()) AnswerFromHost(d);
        else PlayScript(d);
        return true;
    }

    bool OpenAddress(const std::string& address) override
    {
        LogPrintf("[shell] open %s\n", address.c_str());
        return true;
    }
};

}  // namespace

Platform& VirtualPlatform()
{
    // Never destroyed: windows closed during static destruction still use it.
    static Virtual* platform = new Virtual;
    return *platform;
}

}  // namespace win32

namespace dialog {

void SetScript(std::vector<Action> actions)
{
    win32::script = std::move(actions);
}

}  // namespace dialog
