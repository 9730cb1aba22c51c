// Live message boxes drawn by ourselves, like the dialog: a modal window above
// its owner (a fullscreen one too) with the icon, the text and an OK button.
#pragma once

#include "platform/win32/win32.h"

#include <string>
#include <vector>

namespace dialogs {

// The text in lines no wider than width pixels in the font selected into dc:
// broken at line feeds and spaces, and inside a word only when it alone is
// wider. Runs of spaces at a break are dropped.
std::vector<std::wstring> WrapText(HDC dc, const std::wstring& text, int width);

// Shows the message until it is answered: OK by Enter, Space, Escape, the close
// box or a click on the button. Returns IDOK, or 0 when no window could be made.
int RunMessageWindow(HWND owner, const std::string& text, const std::string& caption, UINT type);

}  // namespace dialogs
