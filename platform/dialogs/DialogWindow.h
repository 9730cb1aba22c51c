// Live dialogs drawn by ourselves: the modal dialog in a window of its own,
// laid out from its template, drawn with the GDI stand-in and shown through the
// Direct3D 9 stand-in. The Win32 stand-in cannot draw (it sits below both), so
// a live program hands it these windows once at start-up.
#pragma once

#include "platform/win32/ModalDialog.h"

namespace dialogs {

// Shows the dialog until its procedure ends it; false when no window could be made.
bool RunDialogWindow(dialog::ModalDialog& d);

// Makes DialogBoxParamW and the message boxes of live runs show our windows.
void Install();

}  // namespace dialogs
