// Scripted answers for the modal dialog in virtual runs (tests, capture): the
// actions are played in order after WM_INITDIALOG instead of the host's dialog
// answer, as a user would click and type.
#pragma once

#include <vector>

namespace dialog {

struct Action {
    enum Kind { Click, Key, Close };
    Kind kind;
    int value;  // Click: control id; Key: VK_TAB, VK_SPACE, VK_RETURN, VK_ESCAPE (negative: with Shift)
};

// An empty script restores the host's dialog answer.
void SetScript(std::vector<Action> actions);

}  // namespace dialog
