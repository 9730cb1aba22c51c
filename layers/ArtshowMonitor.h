// The 3D carousel: a 3DS scene drawn into the interface, turning a quarter turn
// at every song change and showing the title pictures around the current song.
#pragma once

#include "core/MediaItem.h"
#include "core/Timer.h"
#include "data/ArtshowLayer.h"
#include "math/Matrix4.h"
#include "math/Vector3.h"

struct SceneMesh;

class ArtshowMonitor : public ArtshowLayer {
public:
    static constexpr float kQuarterTurn = 1.57f;

    MediaItem model{};                 // path: the scene file; handle.scene: the built scene
    WCHAR dummyTextures[4][260] = {};  // placeholder texture names by slot
    // The carousel turn state, written by the controls and the end-of-song advance.
    float turnAngle = 0;        // target angle in radians
    int32_t turnDirection = 0;  // 1 forward, -1 backward, 0 at rest
    float verticalOffset = 0;   // scene units, written every interface frame
    Timer turnTimer{1000, Timer::kNotStarted};

    ArtshowMonitor();
    ~ArtshowMonitor() override;
    int Load(XmlNode element) override;
    int Draw(float pointerX, float pointerY) override;

    // Starts a turn of direction quarter turns unless one is running (the timer's
    // progress is neither exactly 0 nor exactly 1). Returns whether it started.
    bool StartTurn(int32_t direction);

    static Matrix4 MeshMatrix(const SceneMesh& mesh);
    static Matrix4 LookAt(const Vector3& eye, const Vector3& target);

private:
    void LogMissingTextures(const Scene& scene) const;
};

// The one monitor, alive for the whole run.
extern ArtshowMonitor monitor;
