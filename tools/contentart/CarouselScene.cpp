#include "tools/contentart/CarouselScene.h"

#include "tools/writers/Writer3ds.h"

#include <cmath>
#include <vector>

namespace {

struct V3 {
    float x, y, z;
};
V3 Sub(V3 a, V3 b)
{
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
V3 Cross(V3 a, V3 b)
{
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
float Dot(V3 a, V3 b)
{
    return a.x * b.x + a.y * b.y + a.z * b.z;
}

// A mesh in scene coordinates (Y-up, world space) with its mapping.
struct MeshData {
    std::string name, material;
    std::vector<V3> pos;
    std::vector<float> uv;
    std::vector<Writer3ds::Face> faces;

    // Quad from corners in order bottom-left, bottom-right, top-right, top-left as seen
    // from outside; `outward` orients the triangles so their computed normals point out.
    void Quad(V3 bl, V3 br, V3 tr, V3 tl, V3 outward, float u0, float v0, float u1, float v1)
    {
        uint16_t base = uint16_t(pos.size());
        pos.insert(pos.end(), {bl, br, tr, tl});
        uv.insert(uv.end(), {u0, v0, u1, v0, u1, v1, u0, v1});
        Tri(base, uint16_t(base + 1), uint16_t(base + 2), outward);
        Tri(base, uint16_t(base + 2), uint16_t(base + 3), outward);
    }
    // The scene builder's face normal is (A - C) x (A - B); order so it points outward.
    void Tri(uint16_t a, uint16_t b, uint16_t c, V3 outward)
    {
        V3 n = Cross(Sub(pos[a], pos[c]), Sub(pos[a], pos[b]));
        if (Dot(n, outward) < 0) std::swap(b, c);
        faces.push_back({a, b, c, 7});
    }
    // Axis-aligned box; texture repeats every `tile` units.
    void Box(V3 lo, V3 hi, float tile)
    {
        const float dx = (hi.x - lo.x) / tile, dy = (hi.y - lo.y) / tile, dz = (hi.z - lo.z) / tile;
        Quad({lo.x, lo.y, lo.z}, {hi.x, lo.y, lo.z}, {hi.x, hi.y, lo.z}, {lo.x, hi.y, lo.z}, {0, 0, -1}, 0, 0,
             dx, dy);
        Quad({hi.x, lo.y, hi.z}, {lo.x, lo.y, hi.z}, {lo.x, hi.y, hi.z}, {hi.x, hi.y, hi.z}, {0, 0, 1}, 0, 0,
             dx, dy);
        Quad({hi.x, lo.y, lo.z}, {hi.x, lo.y, hi.z}, {hi.x, hi.y, hi.z}, {hi.x, hi.y, lo.z}, {1, 0, 0}, 0, 0,
             dz, dy);
        Quad({lo.x, lo.y, hi.z}, {lo.x, lo.y, lo.z}, {lo.x, hi.y, lo.z}, {lo.x, hi.y, hi.z}, {-1, 0, 0}, 0, 0,
             dz, dy);
        Quad({lo.x, hi.y, lo.z}, {hi.x, hi.y, lo.z}, {hi.x, hi.y, hi.z}, {lo.x, hi.y, hi.z}, {0, 1, 0}, 0, 0,
             dx, dz);
        Quad({lo.x, lo.y, hi.z}, {hi.x, lo.y, hi.z}, {hi.x, lo.y, lo.z}, {lo.x, lo.y, lo.z}, {0, -1, 0}, 0, 0,
             dx, dz);
    }
    V3 Centre() const
    {
        V3 lo = pos[0], hi = pos[0];
        for (const V3& p : pos) {
            lo = {std::fmin(lo.x, p.x), std::fmin(lo.y, p.y), std::fmin(lo.z, p.z)};
            hi = {std::fmax(hi.x, p.x), std::fmax(hi.y, p.y), std::fmax(hi.z, p.z)};
        }
        return {(lo.x + hi.x) * 0.5f, (lo.y + hi.y) * 0.5f, (lo.z + hi.z) * 0.5f};
    }
};

using G = CarouselGeometry;

MeshData Screen(int slot)
{
    // Outward normal and the face's right-hand direction as seen from outside.
    const V3 normals[4] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
    V3 n = normals[slot];
    V3 right = Cross(n, {0, 1, 0});
    const float d = G::half + 0.6f, s = G::screenHalf;
    V3 c = {G::pivotX + n.x * d, G::screenCentreY, G::pivotZ + n.z * d};
    auto at = [&](float r, float up) { return V3{c.x + right.x * r, c.y + up, c.z + right.z * r}; };
    MeshData m;
    m.name = "Screen" + std::to_string(slot);
    m.material = "ScreenMat" + std::to_string(slot);
    // u grows to the right, v upwards: the title picture reads upright on every face.
    m.Quad(at(-s, -s), at(s, -s), at(s, s), at(-s, s), n, 0, 0, 1, 1);
    return m;
}

MeshData Body()
{
    MeshData m;
    m.name = "Body";
    m.material = "BodyMat";
    const float x = G::pivotX, z = G::pivotZ, h = G::half, lip = 4;
    const float y0 = G::screenCentreY - G::screenHalf - 6, y1 = G::screenCentreY + G::screenHalf + 6;
    // Inner core behind the screens, corner posts, top and bottom plates.
    m.Box({x - h, y0, z - h}, {x + h, y1, z + h}, 24);
    for (int i = 0; i < 4; ++i) {
        float cx = x + (i & 1 ? h : -h), cz = z + (i & 2 ? h : -h);
        m.Box({cx - 3, y0, cz - 3}, {cx + 3, y1, cz + 3}, 24);
    }
    m.Box({x - h - lip, y1, z - h - lip}, {x + h + lip, y1 + 5, z + h + lip}, 24);
    m.Box({x - h - lip, y0 - 5, z - h - lip}, {x + h + lip, y0, z + h + lip}, 24);
    return m;
}

MeshData Base()
{
    MeshData m;
    m.name = "Base";
    m.material = "BodyMat";
    const float x = G::pivotX, z = G::pivotZ;
    const float top = G::screenCentreY - G::screenHalf - 11;
    m.Box({x - 9, top - 36, z - 9}, {x + 9, top, z + 9}, 24);
    m.Box({x - 30, top - 42, z - 30}, {x + 30, top - 36, z + 30}, 24);
    return m;
}

void WriteMesh(Writer3ds& w, const MeshData& m)
{
    const V3 c = m.Centre();
    std::vector<float> xyz;
    // File order is (x, z, y): the file is Z-up.
    for (const V3& p : m.pos) xyz.insert(xyz.end(), {p.x, p.z, p.y});
    w.BeginObject(m.name.c_str());
    w.Begin(Writer3ds::kMesh);
    w.Vertices(xyz.data(), m.pos.size());
    w.Mapping(m.uv.data(), m.pos.size());
    // Placement: axes unchanged, origin at the mesh's centre.
    const float matrix[12] = {1, 0, 0, 0, 1, 0, 0, 0, 1, c.x, c.z, c.y};
    w.MeshMatrix(matrix);
    w.BeginFaces(m.faces.data(), m.faces.size());
    std::vector<uint16_t> all(m.faces.size());
    for (size_t i = 0; i < all.size(); ++i) all[i] = uint16_t(i);
    w.FaceMaterials(m.material.c_str(), all.data(), all.size());
    w.End();  // faces
    w.End();  // mesh
    w.End();  // object
}

void WriteNode(Writer3ds& w, const MeshData& m, uint16_t id)
{
    const V3 c = m.Centre();
    w.BeginNode(Writer3ds::kObjectNode, m.name.c_str(), 0xFFFF, id);
    w.Pivot(0, 0, 0);
    Writer3ds::Key pos, rot, scale;
    pos.value[0] = c.x;
    pos.value[1] = c.z;
    pos.value[2] = c.y;
    rot.value[0] = 0;
    rot.value[1] = 0;
    rot.value[2] = 0;
    rot.value[3] = 1;  // no turn, about Z
    scale.value[0] = 1;
    scale.value[1] = 1;
    scale.value[2] = 1;
    w.PositionKeys(&pos, 1);
    w.RotationKeys(&rot, 1);
    w.ScaleKeys(&scale, 1);
    w.End();
}

}  // namespace

std::string ScreenTextureName(int slot)
{
    return "screen" + std::to_string(slot) + ".png";
}

bool WriteCarousel(const std::string& path)
{
    std::vector<MeshData> meshes;
    for (int slot = 0; slot < 4; ++slot) meshes.push_back(Screen(slot));
    meshes.push_back(Body());
    meshes.push_back(Base());

    Writer3ds w;
    w.Begin(Writer3ds::kMain);
    w.Begin(Writer3ds::kEditor);
    for (int slot = 0; slot < 4; ++slot)
        w.Material(("ScreenMat" + std::to_string(slot)).c_str(), 255, 255, 255,
                   ScreenTextureName(slot).c_str());
    w.Material("BodyMat", 200, 200, 220, kBodyTexture);
    for (const MeshData& m : meshes) WriteMesh(w, m);
    w.End();  // editor
    w.Begin(Writer3ds::kKeyframer);
    w.Frames(0, 100);
    for (size_t i = 0; i < meshes.size(); ++i) WriteNode(w, meshes[i], uint16_t(i));
    w.End();  // keyframer
    w.End();  // main
    return w.Save(path.c_str()) == 1;
}
