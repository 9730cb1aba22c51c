// The modal dialog's state, shared by the dialog calls and the window that shows
// it in live runs (platform/dialogs).
#pragma once

#include "platform/win32/win32.h"
#include "platform/win32/Resources.h"

#include <string>
#include <vector>

namespace dialog {

struct ControlState {
    const res::DialogControl* control;
    int check;  // BST_CHECKED or BST_UNCHECKED (check boxes)
};

struct ModalDialog {
    ModalDialog(const res::DialogTemplate& layout, DLGPROC procedure);

    const res::DialogTemplate& tpl;
    DLGPROC proc;
    std::vector<ControlState> controls;
    int focus = -1;  // index into controls
    bool ended = false;
    INT_PTR result = 0;

    // The window handle the procedure sees.
    HWND Handle() { return reinterpret_cast<HWND>(this); }
    ControlState* Find(int id);
    int NextTabStop(int from, int step) const;
    int DefaultButton() const;
    // What a user does: click a control, press a key, close the window.
    void Click(int id);
    void Key(int virtualKey, bool shift);
    void Cancel();
    void Command(int id);
};

// Live runs show a dialog through the presenter a program installs (the window
// needs the Direct3D 9 and GDI stand-ins, which sit above this one); without
// one a live dialog cannot be created and DialogBoxParamW answers -1. The
// presenter runs the dialog until it ends and answers false when it could not
// show it.
using Presenter = bool (*)(ModalDialog&);
void SetPresenter(Presenter presenter);

// Live message boxes likewise: the presenter shows the box above its owner
// until it is answered and returns the button (IDOK), or 0 when it could not
// show it. Text and caption are UTF-8.
using MessageBoxPresenter = int (*)(HWND owner, const std::string& text, const std::string& caption,
                                    UINT type);
void SetMessageBoxPresenter(MessageBoxPresenter presenter);

}  // namespace dialog
