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
    WCHAR buffer[10] = {};
    XmlGetAttribute(control, L"direction", buffer, 10);
    int value = 0;
    if (swscanf(buffer, L"%d", &value) == 1) direction = value;
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
    if (!monitor.StartTurn(direction)) return 1;
    player.PlayerCommand(direction == 1 ? SongPlayer::CmdNext : SongPlayer::CmdPrevious);
    return 1;
}

void ArtshowControlLayer::ButtonUp(float pointerX, float pointerY)
{
    latched = false;
}
