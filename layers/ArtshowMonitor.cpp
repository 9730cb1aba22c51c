#include "layers/ArtshowMonitor.h"

ArtshowMonitor monitor;

ArtshowMonitor::ArtshowMonitor() = default;

ArtshowMonitor::~ArtshowMonitor() = default;

int ArtshowMonitor::Load(XmlNode)
{
    return 1;
}

int ArtshowMonitor::Draw(float, float)
{
    return 0;
}

bool ArtshowMonitor::StartTurn(int32_t direction)
{
    float progress = turnTimer.Progress();
    if (progress != 0.0f && progress != 1.0f) return false;
    turnDirection = direction;
    turnAngle = turnAngle + static_cast<float>(direction) * kQuarterTurn;
    turnTimer.Start();
    return true;
}
