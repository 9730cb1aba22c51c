#include "tests/support/Carousel.h"

#include "tests/support/Files.h"
#include "tests/support/SceneFiles.h"

#include <cmath>

namespace carousel {

namespace {

// Four corners (stored Y-up coordinates) of an upright face towards -z, wound so
// that the builder's normals point at the camera.
void FrontCorners(const Vector3& centre, float halfWidth, float halfHeight, Vector3 out[4])
{
    out[0] = centre + Vector3(-halfWidth, -halfHeight, 0);
    out[1] = centre + Vector3(halfWidth, -halfHeight, 0);
    out[2] = centre + Vector3(halfWidth, halfHeight, 0);
    out[3] = centre + Vector3(-halfWidth, halfHeight, 0);
}

support::MeshSpec Face(const std::string& name, const Vector3 corners[4], const std::string& material)
{
    float file[4][3];
    for (int i = 0; i < 4; ++i) {
        // The file is Z-up: (x, y, z) stored is (x, z, y) in the file.
        file[i][0] = corners[i].x;
        file[i][1] = corners[i].z;
        file[i][2] = corners[i].y;
    }
    return support::Quad(name, file, material);
}

// p (relative to the pivot) turned by quarter turns backwards about the vertical axis:
// where the carousel must turn it forward by as many quarter turns to bring it to p.
Vector3 TurnedBack(const Vector3& p, int quarterTurns)
{
    const float angle = -1.5707964f * static_cast<float>(quarterTurns);
    const float c = std::cos(angle), s = std::sin(angle);
    return Vector3(p.x * c + p.z * s, p.y, -p.x * s + p.z * c);
}

const float kGridX[6] = {-20, 20, -20, 20, 0, 0};
const float kGridY[6] = {14, 14, -14, -14, 38, -38};

}  // namespace

std::string SlotTexture(int slot)
{
    return "Slot" + std::to_string(slot) + ".BMP";
}

Vector3 GridCentre(int face)
{
    return kPivot + Vector3(kGridX[face], kGridY[face], -40.0f);
}

std::string WriteGrid(const std::string& dir)
{
    support::SceneSpec spec;
    for (int face = 0; face < 6; ++face) {
        const std::string texture = face < 4 ? SlotTexture(face) : face == 4 ? "slot0.bmp.old" : "";
        const std::string material = "Mat" + std::to_string(face);
        spec.materials.push_back({material, texture});
        if (!texture.empty()) support::WriteFile(dir + "/" + texture, support::BmpBytes(8, 8, 128, 128, 128));
        // One copy of the face for each quarter turn, so that after any number of
        // turns one copy stands in front at the face's place.
        Vector3 front[4];
        FrontCorners(GridCentre(face) - kPivot, 16, 10, front);
        support::MeshSpec mesh;
        for (int turn = 0; turn < 4; ++turn) {
            Vector3 corners[4];
            for (int i = 0; i < 4; ++i) corners[i] = kPivot + TurnedBack(front[i], turn);
            support::MeshSpec copy = Face("Face" + std::to_string(face), corners, material);
            if (turn == 0) {
                mesh = copy;
                continue;
            }
            const uint16_t base = static_cast<uint16_t>(mesh.xyz.size() / 3);
            mesh.xyz.insert(mesh.xyz.end(), copy.xyz.begin(), copy.xyz.end());
            mesh.uv.insert(mesh.uv.end(), copy.uv.begin(), copy.uv.end());
            for (Writer3ds::Face f : copy.faces)
                mesh.faces.push_back({static_cast<uint16_t>(f.a + base), static_cast<uint16_t>(f.b + base),
                                      static_cast<uint16_t>(f.c + base), 0});
        }
        spec.meshes.push_back(mesh);
    }
    const std::string path = dir + "/grid.3ds";
    support::WriteScene(spec, path);
    return path;
}

Vector3 BoxFront()
{
    return kPivot + Vector3(0, 0, -40);
}

std::string WriteBox(const std::string& dir)
{
    support::SceneSpec spec;
    for (int slot = 0; slot < 4; ++slot) {
        const std::string material = "Mat" + std::to_string(slot);
        spec.materials.push_back({material, SlotTexture(slot)});
        support::WriteFile(dir + "/" + SlotTexture(slot), support::BmpBytes(8, 8, 128, 128, 128));
        // Slot s sits where s forward quarter turns bring the front.
        Vector3 front[4];
        FrontCorners(Vector3(0, 0, -40), 40, 25, front);
        Vector3 corners[4];
        for (int i = 0; i < 4; ++i) corners[i] = kPivot + TurnedBack(front[i], slot);
        spec.meshes.push_back(Face("Side" + std::to_string(slot), corners, material));
    }
    const std::string path = dir + "/box.3ds";
    support::WriteScene(spec, path);
    return path;
}

}  // namespace carousel
