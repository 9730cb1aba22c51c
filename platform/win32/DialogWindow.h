// The modal dialog's state, shared by the dialog calls and the window that shows
// it in live runs.
#pragma once

#include "platform/win32/win32.h"
#include "res/OptionsDialog.h"

#include <vector>

namespace dialog {

struct ControlState {
    const res::DialogControl* control;
    int check;   // BST_CHECKED or BST_UNCHECKED (check boxes)
};

struct ModalDialog {
    ModalDialog(const res::DialogTemplate& layout, DLGPROC procedure);

    const res::DialogTemplate& tpl;
    DLGPROC proc;
    std::vector<ControlState> controls;
    int focus = -1;          // index into controls
    bool ended = false;
    INT_PTR result = 0;

    ControlState* Find(int id);
    int NextTabStop(int from, int step) const;
    int DefaultButton() const;
    // What a user does: click a control, press a key, close the window.
    void Click(int id);
    void Key(int virtualKey, bool shift);
    void Cancel();
    void Command(int id);
};

// Shows the dialog in a window of its own until the procedure ends it; false
// when no window could be made.
bool RunDialogWindow(ModalDialog& d);

// Live runs show dialogs with RunDialogWindow once a program asks for it (the
// window needs the Direct3D 9 and GDI stand-ins, which only full programs link);
// without it a live dialog cannot be created and DialogBoxParamW answers -1.
void UseDialogWindow();
using Presenter = bool (*)(ModalDialog&);
void SetPresenter(Presenter presenter);

}  // namespace dialog
