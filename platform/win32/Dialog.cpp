// The modal dialog: the template's controls, check states and keyboard focus,
// driven by a dialog procedure with WM_INITDIALOG and WM_COMMAND. The back end
// runs it: live in a window of its own, virtual from the host's answer or a script.
#include "platform/win32/ModalDialog.h"
#include "platform/win32/Platform.h"
#include "platform/win32/win32.h"

namespace {

dialog::ModalDialog* active = nullptr;

HWND HandleOf(dialog::ModalDialog* d)
{
    return d->Handle();
}

dialog::ModalDialog* FromHandle(HWND window)
{
    return active && HandleOf(active) == window ? active : nullptr;
}

}  // namespace

namespace dialog {

ModalDialog::ModalDialog(const res::DialogTemplate& layout, DLGPROC procedure) : tpl(layout), proc(procedure)
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
        if (c->kind == res::ControlKind::PushButton || c->kind == res::ControlKind::DefPushButton)
            return c->id;
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
    const auto find = win32::GetProgramResources().findDialog;
    const res::DialogTemplate* layout = find ? find(LOWORD(templateName)) : nullptr;
    if (!layout) return -1;

    dialog::ModalDialog d(*layout, dialogProc);
    active = &d;
    dialogProc(HandleOf(&d), WM_INITDIALOG, 0, initParam);
    if (!d.ended && !win32::Current().RunDialog(d)) {
        active = nullptr;
        return -1;
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
