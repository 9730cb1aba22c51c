// The program's scenes are built on its one device.
#include "gfx/kpxD3D.h"
#include "scene3ds/Scene.h"

Scene* BuildScene(const char* path, Scene* scene)
{
    return BuildScene(path, scene, d3d.device);
}
