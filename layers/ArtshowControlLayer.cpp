#include "layers/ArtshowControlLayer.h"

#include "data/SongPlayer.h"
#include "layers/ArtshowMonitor.h"

#include <cwchar>

int ArtshowControlLayer::Load(XmlNode element)
{
    LoadImageChild(element);
    // A missing "control" child or "direction" reads as 0: previous song, no turn angle.
    XmlNode control = nullptr;
    XmlFirstChild(element, control, L"control");
    XmlGetNumber(control, L"direction", direction);
    return 1;
}

int ArtshowControlLayer::Click(float pointerX, float pointerY)
{
    if (latched) return 0;
    // Latch before the hit test: a press that starts elsewhere never acts here,
    // even when it is dragged onto the control.
    latched = true;
    float width = float(uint32_t(image.imageInfo.Width));
    float height = float(uint32_t(image.imageInfo.Height));
    if (!(pointerX >= x && pointerX <= x + width && pointerY >= y && pointerY <= y + height)) { return 0; }
    // A press during a turn is consumed and does nothing else.
    ChangeSong(direction);
    return 1;
}

void ArtshowControlLayer::ButtonUp(float pointerX, float pointerY)
{
    latched = false;
}

bool ChangeSong(int32_t direction)
{
    if (!monitor.StartTurn(direction)) return false;
    player.PlayerCommand(direction == 1 ? SongPlayer::CmdNext : SongPlayer::CmdPrevious);
    return true;
}
