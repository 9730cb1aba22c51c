// The live adapter's display modes as a function of the desktop: the display's
// own modes in the desktop's shape, plus the scaled mode 1280 pixels wide in
// that shape (1280 x 720 on 16:9, 1280 x 800 on 16:10, 1280 x 960 on 4:3,
// 1280 x 1024 on 5:4), which the GPU shows across the whole screen. A desktop
// wider than 16:9 (21:9) gets 1280 x 720, shown with bands at its sides: no
// 1280-wide mode of its shape is 720 lines tall.
#pragma once

#include "platform/d3d9/d3d9.h"

#include <vector>

namespace d3d9 {

constexpr UINT kScaledModeWidth = 1280;
constexpr UINT kScaledModeMinHeight = 720;

// desktop: the desktop's mode; display: the modes the display reports. The
// result is in width, height, refresh-rate order, each mode once, X8R8G8B8.
std::vector<D3DDISPLAYMODE> LiveModeList(const D3DDISPLAYMODE& desktop,
                                         const std::vector<D3DDISPLAYMODE>& display);

}  // namespace d3d9
