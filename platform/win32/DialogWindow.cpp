#include "platform/win32/DialogWindow.h"

namespace dialog {

bool RunDialogWindow(ModalDialog&)
{
    return false;
}

}  // namespace dialog
