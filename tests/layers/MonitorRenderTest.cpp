// The monitor drawn on a headless device: title pictures on the placeholder faces,
// the eased quarter turn, the entry offset and the state left for the flat layers.
#include "core/CosineEase.h"
#include "data/ArtshowData.h"
#include "gfx/kpxQuad.h"
#include "layers/ArtshowMonitor.h"
#include "math/Matrix4.h"
#include "math/Quaternion.h"
#include "platform/host/Host.h"
#include "platform/win32/win32.h"
#include "scene3ds/Scene.h"
#include "tests/support/Carousel.h"
#include "tests/support/Files.h"
#include "tests/support/Headless.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

using support::Frame;
using support::Rgba;

// Title picture colours, one per song (A8R8G8B8).
const uint32_t kSongColours[6] = {0xFFFF0000, 0xFF00FF00, 0xFF0000FF, 0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF};
constexpr int kOwnTexture = -1;  // the grey of the faces' own textures
constexpr int kUnknown = -2;

// Which song's colour (or the own grey) a lit pixel shows.
int Classify(Rgba c)
{
    auto on = [](int v) { return v > 150; };
    auto off = [](int v) { return v < 60; };
    if (std::abs(c.r - c.g) < 12 && std::abs(c.g - c.b) < 12 && c.r > 90 && c.r < 160) return kOwnTexture;
    for (int song = 0; song < 6; ++song) {
        const uint32_t k = kSongColours[song];
        const bool r = (k >> 16) & 0xFF, g = (k >> 8) & 0xFF, b = k & 0xFF;
        if ((r ? on(c.r) : off(c.r)) && (g ? on(c.g) : off(c.g)) && (b ? on(c.b) : off(c.b))) return song;
    }
    return kUnknown;
}

// The pixel at which a world-space point appears through the monitor's camera
// (eye, target, 45 degrees, the interface's aspect), worked out here on its own.
void ProjectToPixel(const Vector3& world, float& x, float& y)
{
    const Vector3 eye(-6.0f, 110.0f, -145.0f), target(-5.0f, 75.0f, 63.0f);
    const Vector3 f = (target - eye).Normalized();
    const Vector3 r = Cross(Vector3(0, 1, 0), f).Normalized();
    const Vector3 u = Cross(f, r);
    const Vector3 rel = world - eye;
    const float vx = Dot(rel, r), vy = Dot(rel, u), vz = Dot(rel, f);
    Matrix4 projection;
    projection.PerspectiveFov(45.0f, 1280.0f / 720.0f, 1.0f, 100000.0f);
    x = (vx * projection.m[0][0] / vz + 1.0f) * 0.5f * 1280.0f;
    y = (1.0f - vy * projection.m[1][1] / vz) * 0.5f * 720.0f;
}

int ShownAt(const Frame& frame, const Vector3& world)
{
    float x, y;
    ProjectToPixel(world, x, y);
    return Classify(frame.At(static_cast<int>(x), static_cast<int>(y)));
}

// The monitor on the engine's device, a millisecond a frame.
class MonitorRender : public support::HeadlessTest {
protected:
    void SetUp() override
    {
        HeadlessTest::SetUp();
        host::SetFps(1000);
        ASSERT_EQ(StartEngine(), 1);
        dir = support::TempPath("carousel");
        std::filesystem::create_directories(dir);
        grid = carousel::WriteGrid(dir);
        box = carousel::WriteBox(dir);
        for (int song = 0; song < 6; ++song) {
            titles[song] = MakePicture(64, 64, [=](UINT, UINT) { return kSongColours[song]; });
            titles[song].kind = MediaNone;
        }
        support::ResetShow();
        UseSongs(4);
        for (int slot = 0; slot < 4; ++slot)
            std::swprintf(monitor.dummyTextures[slot], 260, L"slot%d.bmp", slot);
        monitor.verticalOffset = 0;
        UseScene(grid);
    }

    void TearDown() override
    {
        DestroyScene(monitor.model.handle.scene);
        monitor.model.handle.scene = nullptr;
        support::ResetShow();
        HeadlessTest::TearDown();
    }

    void UseSongs(int count)
    {
        data.songCount = count;
        data.titlePics = count ? titles : nullptr;
    }

    void UseScene(const std::string& path)
    {
        DestroyScene(monitor.model.handle.scene);
        monitor.model.handle.scene = BuildScene(path.c_str(), new Scene);
    }

    Frame DrawMonitor()
    {
        return Render([] { monitor.Draw(0, 0); });
    }

    // The angle the last mesh was turned by, read back from its world matrix
    // (the test scenes place every mesh with the identity).
    float DrawnAngle()
    {
        D3DMATRIX world;
        device->GetTransform(D3DTS_WORLD, &world);
        return std::atan2(world._31, world._11);
    }

    // Song shown by each grid slot.
    static std::vector<int> GridSongs(const Frame& shown)
    {
        std::vector<int> songs;
        for (int slot = 0; slot < 4; ++slot) songs.push_back(ShownAt(shown, carousel::GridCentre(slot)));
        return songs;
    }

    void CompleteTurn(int direction)
    {
        ASSERT_TRUE(monitor.StartTurn(direction));
        Advance(1001);
        DrawMonitor();
        ASSERT_EQ(monitor.turnDirection, 0);
    }

    std::string dir, grid, box;
    MediaItem titles[6];
};

TEST_F(MonitorRender, AtRestTheFacesShowTheSongsAroundTheFirst)
{
    Frame four = DrawMonitor();
    EXPECT_EQ(GridSongs(four), (std::vector<int>{0, 1, 2, 3}));
    // Differs from a placeholder name only in length: keeps its own texture.
    EXPECT_EQ(ShownAt(four, carousel::GridCentre(4)), kOwnTexture);

    UseSongs(6);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{0, 1, 2, 5}));

    // A face without a texture name never takes a picture, even from an unset slot.
    monitor.dummyTextures[1][0] = 0;
    const Rgba plain = [&] {
        Frame f = DrawMonitor();
        float x, y;
        ProjectToPixel(carousel::GridCentre(5), x, y);
        return f.At(int(x), int(y));
    }();
    EXPECT_TRUE(plain.r > 200 && plain.g > 200 && plain.b > 200)
        << plain.r << " " << plain.g << " " << plain.b;
    std::swprintf(monitor.dummyTextures[1], 260, L"slot1.bmp");

    // Without songs every face keeps its own texture.
    UseSongs(0);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{-1, -1, -1, -1}));
}

TEST_F(MonitorRender, TurnsMoveThePicturesOnByOneSongAtTheirStart)
{
    UseSongs(6);
    ASSERT_TRUE(monitor.StartTurn(1));
    // The turn starts on this very millisecond: new pictures and the new angle at once.
    Frame start = DrawMonitor();
    EXPECT_EQ(GridSongs(start), (std::vector<int>{0, 1, 2, 3}));
    EXPECT_NEAR(DrawnAngle(), ArtshowMonitor::kQuarterTurn, 2e-6f);
    Advance(1000);
    DrawMonitor();

    // Two more forward, then one back.
    CompleteTurn(1);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{4, 1, 2, 3}));
    CompleteTurn(1);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{4, 5, 2, 3}));
    CompleteTurn(-1);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{4, 1, 2, 3}));
    // Backwards past the first song wraps to the last ones: songs 3, 4, 5, 0
    // around song 4 on slots 1, 2, 3, 0.
    for (int i = 0; i < 4; ++i) CompleteTurn(-1);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{0, 3, 4, 5}));
}

TEST_F(MonitorRender, ManyTurnsStillCountWholeQuarterTurns)
{
    // The float sum of seven quarter turns lies just below 7 x 1.57; the faces must
    // still show songs 6..9 (mod 6) around song 7.
    UseSongs(6);
    for (int i = 0; i < 7; ++i) CompleteTurn(1);
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{2, 3, 0, 1}));
    for (int i = 0; i < 20; ++i) CompleteTurn(1);
    // 27 turns: songs 26..29 mod 6 = 2, 3, 4, 5 on slots (30 + j) mod 4 = 2, 3, 0, 1.
    EXPECT_EQ(GridSongs(DrawMonitor()), (std::vector<int>{4, 5, 2, 3}));
}

TEST_F(MonitorRender, AForwardTurnEasesInAndOutOverOneSecond)
{
    ASSERT_TRUE(monitor.StartTurn(1));
    Advance(1);
    const float q = ArtshowMonitor::kQuarterTurn;
    struct Step {
        uint32_t atMs;
        float angle;
    } steps[] = {
        {1, q - CosineEase(0.999f) * q},  {250, q - CosineEase(0.75f) * q},  {500, q * 0.5f},
        {750, q - CosineEase(0.25f) * q}, {999, q - CosineEase(0.001f) * q},
    };
    uint32_t now = 1;
    float previous = 0;
    for (const Step& step : steps) {
        Advance(step.atMs - now);
        now = step.atMs;
        DrawMonitor();
        ++now;  // the frame took a millisecond
        const float angle = DrawnAngle();
        EXPECT_NEAR(angle, step.angle, 2e-6f) << step.atMs << " ms";
        EXPECT_GT(angle, previous) << step.atMs << " ms";
        previous = angle;
        EXPECT_EQ(monitor.turnDirection, 1);
    }
    // Slow at both ends: the first and last quarter second cover less than the middle.
    EXPECT_LT(steps[1].angle - steps[0].angle, steps[2].angle - steps[1].angle);
    Advance(1000 - now);
    DrawMonitor();
    EXPECT_NEAR(DrawnAngle(), q, 2e-6f);
    EXPECT_EQ(monitor.turnDirection, 0);

    // A backward turn mirrors it.
    ASSERT_TRUE(monitor.StartTurn(-1));
    Advance(250);
    DrawMonitor();
    EXPECT_NEAR(DrawnAngle(), CosineEase(0.75f) * q, 2e-6f);
}

TEST_F(MonitorRender, DirectionTwoJumpsTwoSongsWithoutEasing)
{
    UseSongs(6);
    ASSERT_TRUE(monitor.StartTurn(2));
    for (uint32_t step : {1u, 250u, 499u}) {
        Advance(step);
        DrawMonitor();
        EXPECT_NEAR(DrawnAngle(), 3.14f, 2e-6f);
        EXPECT_EQ(GridSongs(frame), (std::vector<int>{4, 1, 2, 3}));
    }
}

TEST_F(MonitorRender, TheBoxTurnsTheNextSongInFromTheRight)
{
    UseScene(box);
    UseSongs(6);
    const Vector3 front = carousel::BoxFront();
    Frame rest = DrawMonitor();
    EXPECT_EQ(ShownAt(rest, front), 0);

    ASSERT_TRUE(monitor.StartTurn(1));
    Advance(500);
    Frame half = DrawMonitor();
    // Halfway the old face has moved to the left and the next song's to the right.
    EXPECT_EQ(ShownAt(half, front + Vector3(-14, 0, -4)), 0);
    EXPECT_EQ(ShownAt(half, front + Vector3(14, 0, -4)), 1);

    Advance(600);
    Frame done = DrawMonitor();
    EXPECT_EQ(ShownAt(done, front), 1);
}

TEST_F(MonitorRender, TheEntryOffsetLowersTheWholeScene)
{
    monitor.verticalOffset = -200;
    Frame low = DrawMonitor();
    // Nothing at the faces' own place; face 0 shows 200 units lower.
    EXPECT_EQ(ShownAt(low, carousel::GridCentre(0)), kUnknown);
    const Vector3 lowered = carousel::GridCentre(0) + Vector3(0, -200, 0);
    float x, y;
    ProjectToPixel(lowered, x, y);
    if (y < 720) { EXPECT_EQ(ShownAt(low, lowered), 0); }

    monitor.verticalOffset = 0;
    Frame placed = DrawMonitor();
    EXPECT_EQ(ShownAt(placed, carousel::GridCentre(0)), 0);
}

TEST_F(MonitorRender, PicturesShowOnlyTheirPartOfTheTexture)
{
    // A 40 x 24 picture in the corner of a 64 x 64 texture whose rest is magenta.
    titles[0] =
        MakePicture(40, 24, [](UINT x, UINT y) { return x < 40 && y < 24 ? 0xFF00FF00u : 0xFFFF00FFu; });
    DrawMonitor();
    const Vector3 c = carousel::GridCentre(0);
    for (float dx : {-12.0f, 0.0f, 12.0f})
        for (float dy : {-7.0f, 0.0f, 7.0f})
            EXPECT_EQ(ShownAt(frame, c + Vector3(dx, dy, 0)), 1) << dx << ", " << dy;
}

TEST_F(MonitorRender, FlatLayersAfterTheMonitorDrawAsWithoutIt)
{
    // A flat layer the way the picture layers draw: point sampling, alpha blending,
    // no depth, the picture's alpha times the texture factor.
    uint32_t seed = 12345;
    const MediaItem picture = MakePicture(1280, 720, [&](UINT, UINT) {
        seed = seed * 1664525u + 1013904223u;
        return 0xFF000000u | (seed >> 8);
    });
    auto flatLayer = [&] {
        IDirect3DDevice9* d = device;
        d->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
        d->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
        d->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        d->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        d->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        d->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        d->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
        d->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
        d->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        d->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
        d->SetTexture(0, picture.handle.texture);
        quad.DrawImageAligned(picture, 0, 0);
    };
    Frame without = Render([&] {
        flatLayer();
        flatLayer();
    });
    // With a scene and without one (the monitor then only sets its states up).
    for (bool withScene : {true, false}) {
        Scene* kept = monitor.model.handle.scene;
        if (!withScene) monitor.model.handle.scene = nullptr;
        Frame with = Render([&] {
            flatLayer();
            monitor.Draw(0, 0);
            flatLayer();
        });
        monitor.model.handle.scene = kept;
        ASSERT_EQ(without.pixels.size(), with.pixels.size());
        size_t differing = 0;
        for (size_t i = 0; i < without.pixels.size(); ++i) differing += without.pixels[i] != with.pixels[i];
        EXPECT_EQ(differing, 0u) << (withScene ? "with" : "without") << " a scene";
    }
}

TEST(MonitorMatrices, MeshPlacementIsScaleThenTurnThenMove)
{
    SceneMesh mesh;
    auto key = [](ScalarTrack& track, float value) {
        track = ScalarTrack(1);
        track.keys[0].value = value;
    };
    key(mesh.scaleX, 2);
    key(mesh.scaleY, 3);
    key(mesh.scaleZ, 4);
    key(mesh.positionX, 1);
    key(mesh.positionY, 2);
    key(mesh.positionZ, 3);
    mesh.rotation = RotationTrack(1);
    mesh.rotation.keys[0].rotation = FromAxisAngle(Vector3(0, 1, 0), 1.5707964f);
    const Matrix4 m = ArtshowMonitor::MeshMatrix(mesh);
    // (1, 1, 0) scaled to (2, 3, 0), a quarter turn about y takes x to -z, then moved.
    const Vector3 p = m.TransformPoint(Vector3(1, 1, 0));
    EXPECT_NEAR(p.x, 1.0f, 1e-5f);
    EXPECT_NEAR(p.y, 5.0f, 1e-5f);
    EXPECT_NEAR(p.z, 1.0f, 1e-5f);

    // Tracks without keys: scale 0 collapses the mesh to its position.
    const Matrix4 empty = ArtshowMonitor::MeshMatrix(SceneMesh{});
    const Vector3 q = empty.TransformPoint(Vector3(5, 6, 7));
    EXPECT_EQ(q.x, 0.0f);
    EXPECT_EQ(q.y, 0.0f);
    EXPECT_EQ(q.z, 0.0f);
}

TEST(MonitorMatrices, LookAtPutsTheTargetStraightAhead)
{
    const Vector3 eyes[] = {{-6, 110, -145}, {0, 0, 0}, {0, 0, 0}, {3, 4, 5}};
    const Vector3 targets[] = {{-5, 75, 63}, {0, 5, 0}, {0, -5, 0}, {3, 4, 5}};
    for (int i = 0; i < 4; ++i) {
        const Matrix4 view = ArtshowMonitor::LookAt(eyes[i], targets[i]);
        for (auto& row : view.m)
            for (float e : row) EXPECT_TRUE(std::isfinite(e)) << "case " << i;
        const Vector3 ahead = view.TransformPoint(targets[i]);
        EXPECT_NEAR(ahead.x, 0.0f, 1e-4f) << "case " << i;
        EXPECT_NEAR(ahead.y, 0.0f, 1e-4f) << "case " << i;
        EXPECT_NEAR(ahead.z,
                    (targets[i] - eyes[i]).Normalized() == Vector3()
                        ? 0.0f
                        : std::sqrt(Dot(targets[i] - eyes[i], targets[i] - eyes[i])),
                    1e-3f);
    }
    // Looking straight up, up is -z: the world's +x stays to the right.
    const Vector3 right =
        ArtshowMonitor::LookAt(Vector3(), Vector3(0, 5, 0)).TransformPoint(Vector3(1, 0, 0));
    EXPECT_NEAR(right.x, 1.0f, 1e-6f);
}

}  // namespace

namespace {

using MonitorLoad = support::HeadlessTest;

TEST_F(MonitorLoad, ReadsTheSceneAndThePlaceholdersOfItsElement)
{
    ASSERT_EQ(StartEngine(), 1);
    // A scene under a directory whose name is not ASCII: the path reaches the reader as UTF-8.
    const std::string dir = support::TempPath("b\xC3\xBChne");
    std::filesystem::create_directories(dir);
    carousel::WriteGrid(dir);
    const std::string xml = support::TempPath("interface.xml");
    {
        std::ofstream out(xml);
        out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<interface><layer type=\"monitor\">"
            << "<monitor path=\"" << dir << "/grid.3ds\"/>"
            << "<dummytexture id=\"0\" file=\"first.png\"/><dummytexture id=\"3\" file=\"Three.PNG\"/>"
            << "<dummytexture id=\"7\" file=\"seven.png\"/><dummytexture id=\"-1\" file=\"minus.png\"/>"
            << "<dummytexture file=\"unnumbered.png\"/></layer></interface>\n";
    }
    std::vector<std::string> lines;
    SetLogSink([&](const std::string& line) { lines.push_back(line); }, false);
    for (auto& name : monitor.dummyTextures) name[0] = 0;

    IXMLDOMDocument* document = nullptr;
    std::wstring wideXml(xml.begin(), xml.end());
    ASSERT_TRUE(XmlLoadDocument(document, wideXml.c_str()));
    XmlNode root = XmlDocumentNode(document), interface = nullptr, layer = nullptr;
    XmlFirstChild(root, interface, L"interface");
    XmlFirstChild(interface, layer, L"layer");
    EXPECT_EQ(monitor.Load(layer), 1);
    XmlRelease(document);
    SetLogSink({}, true);

    // No id reads as 0 and replaces the first entry; ids outside 0..3 are left out.
    EXPECT_STREQ(monitor.dummyTextures[0], L"unnumbered.png");
    EXPECT_STREQ(monitor.dummyTextures[1], L"");
    EXPECT_STREQ(monitor.dummyTextures[2], L"");
    EXPECT_STREQ(monitor.dummyTextures[3], L"Three.PNG");
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_NE(lines[0].find("7"), std::string::npos);
    EXPECT_NE(lines[1].find("-1"), std::string::npos);

    ASSERT_NE(monitor.model.handle.scene, nullptr);
    EXPECT_EQ(monitor.model.handle.scene->meshCount, 6);
    EXPECT_NE(monitor.model.handle.scene->meshes[0].texture, nullptr);

    // A scene that cannot be read leaves the carousel out, with a line that says why.
    std::ofstream(xml) << "<interface><layer><monitor path=\"" << dir << "/gone.3ds\"/></layer></interface>";
    lines.clear();
    SetLogSink([&](const std::string& line) { lines.push_back(line); }, false);
    ASSERT_TRUE(XmlLoadDocument(document, wideXml.c_str()));
    XmlFirstChild(XmlDocumentNode(document), interface, L"interface");
    XmlFirstChild(interface, layer, L"layer");
    EXPECT_EQ(monitor.Load(layer), 1);
    XmlRelease(document);
    SetLogSink({}, true);
    EXPECT_EQ(monitor.model.handle.scene->meshCount, 0);
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_NE(lines[0].find(dir + "/gone.3ds\""), std::string::npos) << lines[0];
    EXPECT_NE(lines[0].find("No such file or directory"), std::string::npos) << lines[0];

    DestroyScene(monitor.model.handle.scene);
    monitor.model.handle.scene = nullptr;
}

}  // namespace
