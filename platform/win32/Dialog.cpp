// The modal dialog: the template's controls, check states and keyboard focus,
// driven by a dialog procedure with WM_INITDIALOG and WM_COMMAND. Live runs show
// it in a window of its own; virtual runs answer it from the host or a script.
#include "platform/win32/DialogScript.h"
#include "platform/win32/DialogWindow.h"
#include "platform/win32/win32.h"

#include "platform/host/Host.h"

namespace {

std::vector<dialog::Action> script;
dialog::Presenter presenter = nullptr;
dialog::ModalDialog* active = nullptr;

HWND HandleOf(dialog::ModalDialog* d)
{
    return reinterpret_cast<HWND>(d);
}

dialog::ModalDialog* FromHandle(HWND window)
{
    return active && HandleOf(active) == window ? active : nullptr;
}

// The virtual user: the host's answer as check states, then "1" or "0".
void AnswerFromHost(dialog::ModalDialog& d)
{
    const host::DialogAnswer& answer = host::GetDialogAnswer();
    if (!answer.accept) {
        d.Cancel();
        return;
    }
    HWND window = HandleOf(&d);
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

}  // namespace

namespace dialog {

void SetScript(std::vector<Action> actions)
{
    script = std::move(actions);
}

void SetPresenter(Presenter p)
{
    presenter = p;
}

ModalDialog::ModalDialog(const res::DialogTemplate& layout, DLGPROC procedure)
    : tpl(layout), proc(procedure)
{
    for (int i = 0; i < tpl.controlCount; ++i) controls.push_back({&tpl.controls[i], BST_UNCHECKED});
    focus = NextTabStop(-1, 1);
}

ControlState* ModalDialog::Find(int id)
{
    for (ControlState& c : controls)
        if (c.control->id == id) return &c;
    return nullptr;
}

int ModalDialog::NextTabStop(int from, int step) const
{
    int count = static_cast<int>(controls.size());
    for (int n = 1; n <= count; ++n) {
        int i = ((from + step * n) % count + count) % count;
        if (controls[static_cast<size_t>(i)].control->tabStop) return i;
    }
    return -1;
}

void ModalDialog::Command(int id)
{
    if (ended) return;
    proc(HandleOf(this), WM_COMMAND, static_cast<WPARAM>(static_cast<WORD>(id)), 0);
}

void ModalDialog::Click(int id)
{
    ControlState* c = Find(id);
    if (!c || ended) return;
    if (c->control->kind == res::ControlKind::StaticBitmap) return;
    for (size_t i = 0; i < controls.size(); ++i)
        if (&controls[i] == c && c->control->tabStop) focus = static_cast<int>(i);
    // An automatic check box toggles itself before its owner hears of the click.
    if (c->control->kind == res::ControlKind::AutoCheckBox)
        c->check = c->check == BST_CHECKED ? BST_UNCHECKED : BST_CHECKED;
    Command(id);
}

int ModalDialog::DefaultButton() const
{
    // A focused push button takes Enter; otherwise the template's default button.
    if (focus >= 0) {
        const res::DialogControl* c = controls[static_cast<size_t>(focus)].control;
        if (c->kind == res::ControlKind::PushButton || c->kind == res::ControlKind::DefPushButton) return c->id;
    }
    for (const ControlState& c : controls)
        if (c.control->kind == res::ControlKind::DefPushButton) return c.control->id;
    return IDOK;
}

void ModalDialog::Key(int virtualKey, bool shift)
{
    switch (virtualKey) {
    case VK_TAB:
        focus = NextTabStop(focus, shift ? -1 : 1);
        break;
    case VK_SPACE:
        if (focus >= 0) Click(controls[static_cast<size_t>(focus)].control->id);
        break;
    case VK_RETURN:
        Click(DefaultButton());
        break;
    case VK_ESCAPE:
        Cancel();
        break;
    default:
        break;
    }
}

void ModalDialog::Cancel()
{
    // Escape and the close button both reach the procedure as control 2.
    Command(IDCANCEL);
}

}  // namespace dialog

INT_PTR DialogBoxParamW(HINSTANCE, LPCWSTR templateName, HWND, DLGPROC dialogProc, LPARAM initParam)
{
    if (!dialogProc || !IS_INTRESOURCE(templateName) || active) return -1;
    const res::DialogTemplate* layout = res::FindDialogTemplate(LOWORD(templateName));
    if (!layout) return -1;

    dialog::ModalDialog d(*layout, dialogProc);
    active = &d;
    dialogProc(HandleOf(&d), WM_INITDIALOG, 0, initParam);
    if (!d.ended) {
        if (host::IsVirtual()) {
            if (script.empty()) AnswerFromHost(d);
            else PlayScript(d);
        } else if (!presenter || !presenter(d)) {
            active = nullptr;
            return -1;
        }
    }
    active = nullptr;
    // A dialog whose procedure never ended it is over once its answer ran out.
    return d.ended ? d.result : 0;
}

BOOL EndDialog(HWND window, INT_PTR result)
{
    dialog::ModalDialog* d = FromHandle(window);
    if (!d) return FALSE;
    d->ended = true;
    d->result = result;
    return TRUE;
}

LRESULT SendDlgItemMessageW(HWND window, int controlId, UINT message, WPARAM wParam, LPARAM)
{
    dialog::ModalDialog* d = FromHandle(window);
    if (!d) return 0;
    dialog::ControlState* c = d->Find(controlId);
    if (!c || c->control->kind != res::ControlKind::AutoCheckBox) return 0;
    switch (message) {
    case BM_GETCHECK:
        return c->check;
    case BM_SETCHECK:
        c->check = wParam == BST_CHECKED ? BST_CHECKED : BST_UNCHECKED;
        return 0;
    default:
        return 0;
    }
}
