// Pixels of headless frames against values worked out from the Direct3D 9
// rules (pixel centres at integer coordinates, top-left fill).

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/FrameStats.h"
#include "tests/support/BareDevice.h"

namespace {

#define EXPECT_RGB_NEAR(px, R, G, B, tol)                                                                    \
    do {                                                                                                     \
        Rgba p_ = (px);                                                                                      \
        EXPECT_NEAR(p_.r, (R), (tol));                                                                       \
        EXPECT_NEAR(p_.g, (G), (tol));                                                                       \
        EXPECT_NEAR(p_.b, (B), (tol));                                                                       \
    } while (0)

// A picture whose every pixel tells where it came from.
D3DCOLOR Pattern(UINT x, UINT y)
{
    return D3DCOLOR_ARGB(255, x & 255, y & 255, ((x >> 8) << 4) | (y >> 8));
}

bool FourSamples(IDirect3D9* direct3d, DWORD* quality = nullptr)
{
    DWORD levels = 0;
    const bool ok = direct3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE,
                                                         D3DMULTISAMPLE_4_SAMPLES, &levels) == D3D_OK;
    if (quality) *quality = levels;
    return ok;
}

// The largest difference of two frames of the same size in any colour channel.
int WorstDifference(const support::Frame& a, const support::Frame& b)
{
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width; ++x) {
            Rgba p = a.At(x, y), q = b.At(x, y);
            worst = std::max({worst, std::abs(p.r - q.r), std::abs(p.g - q.g), std::abs(p.b - q.b)});
        }
    return worst;
}

class RenderTest : public BareDevice {
protected:
    // A new frame: `back` over the whole target, with `filter`, then alpha
    // blending from the texture for what follows.
    void BlendOverBackdrop(IDirect3DTexture9* back, DWORD filter = D3DTEXF_LINEAR)
    {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        FlatState();
        device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        device->SetTexture(0, back);
        Draw(0, 0, 1, 1);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    }
    // The unit quad scaled by `scale`, turned by `angle` about its centre and
    // put at (x, y), in viewport units of a 320 x 180 target.
    void DrawTurned(float angle, float scale, float x, float y)
    {
        D3DMATRIX turn{};
        const float c = std::cos(angle), s = std::sin(angle);
        turn._11 = c * scale;
        turn._12 = s * scale;
        turn._21 = -s * scale * 320 / 180;
        turn._22 = c * scale * 320 / 180;
        turn._33 = turn._44 = 1;
        turn._41 = x;
        turn._42 = y;
        device->SetTransform(D3DTS_WORLD, &turn);
        EXPECT_EQ(device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2), D3D_OK);
    }
    // A vertex and an index buffer holding these, set as the device's stream and indices.
    void SetMesh(const std::vector<Vertex>& vertices, const std::vector<uint16_t>& indices)
    {
        ASSERT_EQ(device->CreateVertexBuffer(UINT(vertices.size() * 44), 0, 0x252, D3DPOOL_MANAGED, &meshVertices,
                                             nullptr),
                  D3D_OK);
        ASSERT_EQ(device->CreateIndexBuffer(UINT(indices.size() * 2), 0, D3DFMT_INDEX16, D3DPOOL_MANAGED,
                                            &meshIndices, nullptr),
                  D3D_OK);
        void* p = nullptr;
        ASSERT_EQ(meshVertices->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, vertices.data(), vertices.size() * 44);
        meshVertices->Unlock();
        ASSERT_EQ(meshIndices->Lock(0, 0, &p, 0), D3D_OK);
        std::memcpy(p, indices.data(), indices.size() * 2);
        meshIndices->Unlock();
        device->SetFVF(0x252);
        device->SetStreamSource(0, meshVertices, 0, 44);
        device->SetIndices(meshIndices);
    }
    void TearDown() override
    {
        if (device) {
            device->SetIndices(nullptr);
            device->SetStreamSource(0, nullptr, 0, 0);
        }
        if (meshIndices) meshIndices->Release();
        if (meshVertices) meshVertices->Release();
        meshIndices = nullptr;
        meshVertices = nullptr;
        BareDevice::TearDown();
    }
    IDirect3DVertexBuffer9* meshVertices = nullptr;
    IDirect3DIndexBuffer9* meshIndices = nullptr;
    // The frame `draw` makes, presented with frame statistics on (every draw
    // multisampled when `everything`), and its fill in screens.
    support::Frame FrameAndFill(bool everything, const std::function<void()>& draw, double& fill)
    {
        d3d9::SetMultisampleEverything(everything);
        d3d9::EnableFrameStats(true);
        draw();
        Present();
        const std::string line = d3d9::ActiveFrameStats()->Line();
        fill = std::stod(line.substr(line.find("fill ") + 5));
        d3d9::EnableFrameStats(false);
        d3d9::SetMultisampleEverything(false);
        return frame;
    }
    // Checks that the frame `draw` makes equals the wholly multisampled one to
    // the bit; returns the pixels it copied into the multisampled target.
    uint64_t CopiedMatchingWhole(const std::function<void()>& draw)
    {
        d3d9::ResetStats();
        double fill = 0;
        auto mixed = FrameAndFill(false, draw, fill);
        const uint64_t copied = d3d9::GetStats().multisampledPixels;
        EXPECT_EQ(WorstDifference(mixed, FrameAndFill(true, draw, fill)), 0);
        return copied;
    }
};

TEST_F(RenderTest, PictureAtNaturalSizeMapsTexelsToPixelsOneToOne)
{
    CreateDevice(1280, 720);
    IDirect3DTexture9* tex = MakeTexture(1280, 720, Pattern);
    for (auto [px, py] : {std::pair{0, 0}, std::pair{640, 360}}) {
        SCOPED_TRACE(px);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 1, 2, 3), 1.0f, 0);
        FlatState();
        device->SetTexture(0, tex);
        Draw(px / 1280.0f, py / 720.0f, (px + 1280) / 1280.0f, (py + 720) / 720.0f);
        Present();
        int wrong = 0;
        for (int y = 0; y < 720; ++y)
            for (int x = 0; x < 1280; ++x) {
                Rgba p = At(x, y);
                if (x < px || y < py) {
                    wrong += !(p.r == 1 && p.g == 2 && p.b == 3);
                } else {
                    D3DCOLOR e = Pattern(UINT(x - px), UINT(y - py));
                    wrong += !(p.r == Channel(e, 16) && p.g == Channel(e, 8) && p.b == Channel(e, 0));
                }
            }
        EXPECT_EQ(wrong, 0);
    }
    frame.SavePng("d3d9_picture_640_360.png");
}

// Also with an opaque picture, which replaces the target unless the factor's
// alpha is below 1 or the blend adds.
TEST_F(RenderTest, BlendingAndTextureFactorAlpha)
{
    CreateDevice(1280, 720);
    for (int texAlpha : {200, 255}) {
        IDirect3DTexture9* tex = MakeTexture(
            4, 4, [texAlpha](UINT, UINT) { return D3DCOLOR_ARGB(texAlpha, 250, 100, 0); });
        struct Case {
            DWORD dest;
            D3DCOLOR factor;
        };
        for (Case c : {Case{D3DBLEND_INVSRCALPHA, 0xFFFFFFFF}, Case{D3DBLEND_INVSRCALPHA, 0x80FFFFFF},
                       Case{D3DBLEND_ONE, 0xFFFFFFFF}, Case{D3DBLEND_ONE, 0x40FFFFFF}}) {
            SCOPED_TRACE(testing::Message() << texAlpha << " " << c.factor);
            device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 20, 60, 200), 1.0f, 0);
            FlatState();
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, c.dest);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, c.factor);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
            device->SetTexture(0, tex);
            Draw(0, 0, 0.5f, 0.5f);
            Present();
            double a = texAlpha / 255.0 * (c.factor >> 24) / 255;
            double keep = c.dest == D3DBLEND_ONE ? 1.0 : 1 - a;
            auto mix = [&](double s, double d) { return std::min(255.0, s * a + d * keep); };
            EXPECT_RGB_NEAR(At(100, 100), mix(250, 20), mix(100, 60), mix(0, 200), 1.01);
            EXPECT_RGB_NEAR(At(1000, 600), 20, 60, 200, 0);
        }
    }
}

// Stage 0 takes the scroller through a texture matrix from set 0; stage 1
// multiplies its alpha by a mask from set 1, untransformed.
TEST_F(RenderTest, TwoStageAlphaMaskFromSecondCoordinateSet)
{
    CreateDevice(1280, 720);
    IDirect3DTexture9* scroller =
        MakeTexture(16, 64, [](UINT, UINT y) { return D3DCOLOR_ARGB(255, y * 4, 255 - y * 4, 77); });
    IDirect3DTexture9* mask =
        MakeTexture(16, 16, [](UINT x, UINT) { return D3DCOLOR_ARGB(x < 8 ? 255 : 0, 0, 0, 0); });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    FlatState();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    D3DMATRIX m{};
    m._11 = 1;
    m._22 = 0.25f;
    m._32 = 0.5f;
    m._33 = m._44 = 1;  // v' = v / 4 + 0.5
    device->SetTransform(D3DTS_TEXTURE0, &m);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(1, D3DTSS_COLORARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG1, D3DTA_CURRENT);
    device->SetTextureStageState(1, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetTexture(0, scroller);
    device->SetTexture(1, mask);
    Draw(0, 0, 1280 / 1280.0f, 640 / 720.0f);  // 1280 x 640 pixels: 10 rows per scroller texel
    Present();
    frame.SavePng("d3d9_two_stage.png");
    for (int y : {5, 315, 635}) {
        // Row y samples v = y / 640 -> v' = y / 2560 + 0.5 -> scroller row floor(v' * 64).
        UINT row = UINT(std::floor((y / 2560.0 + 0.5) * 64));
        SCOPED_TRACE(y);
        EXPECT_RGB_NEAR(At(100, y), int(row * 4), int(255 - row * 4), 77, 0);
        EXPECT_RGB_NEAR(At(1100, y), 0, 0, 0, 0);  // masked out
    }
}

TEST_F(RenderTest, AddressingAndFiltering)
{
    CreateDevice(1280, 720);
    // Two texels, black then white.
    IDirect3DTexture9* tex = MakeTexture(2, 1, [](UINT x, UINT) { return x ? 0xFFFFFFFFu : 0xFF000000u; });
    struct Case {
        DWORD address, filter;
    };
    for (Case c : {Case{D3DTADDRESS_CLAMP, D3DTEXF_POINT}, Case{D3DTADDRESS_WRAP, D3DTEXF_POINT},
                   Case{D3DTADDRESS_CLAMP, D3DTEXF_LINEAR}}) {
        SCOPED_TRACE(c.address * 10 + c.filter);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        FlatState();
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, c.address);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, c.filter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, c.filter);
        D3DMATRIX m{};
        m._11 = 2;
        m._22 = 1;
        m._33 = m._44 = 1;  // u' = 2u: the right half reads past the edge
        device->SetTransform(D3DTS_TEXTURE0, &m);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        device->SetTexture(0, tex);
        Draw(0, 0, 1024 / 1280.0f, 0.5f);  // 1024 px wide: u' = x / 512
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        Present();
        for (int x : {10, 200, 255, 256, 300, 600, 700, 900}) {
            double u = x / 512.0;
            int expected;
            if (c.filter == D3DTEXF_POINT) {
                int t = int(std::floor(u * 2));
                t = c.address == D3DTADDRESS_WRAP ? t % 2 : std::min(t, 1);
                expected = t ? 255 : 0;
            } else {
                double p = std::clamp(u * 2 - 0.5, 0.0, 1.0);  // clamped between the two texel centres
                expected = int(std::lround(p * 255));
            }
            EXPECT_NEAR(At(x, 100).r, expected, c.filter == D3DTEXF_LINEAR ? 2 : 0) << x;
        }
    }
}

TEST_F(RenderTest, DepthTestAgainstClearedDepth)
{
    CreateDevice(1280, 720);
    FlatState();
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    struct Case {
        float clearZ, quadZ;
        DWORD zenable;
        bool drawn;
    };
    // The quad's depth after projection is z * 0.5 + 0.5.
    for (Case c : {Case{0.5f, 1.0f, TRUE, false}, Case{1.0f, 1.0f, TRUE, true}, Case{0.5f, -0.2f, TRUE, true},
                   Case{0.5f, 1.0f, FALSE, true}}) {
        SCOPED_TRACE(c.clearZ * 100 + c.quadZ);
        device->SetRenderState(D3DRS_ZENABLE, c.zenable);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, c.clearZ, 0);
        Draw(0.25f, 0.25f, 0.75f, 0.75f, c.quadZ);
        Present();
        EXPECT_EQ(At(640, 360).r, c.drawn ? 255 : 0);
    }
}

TEST_F(RenderTest, CullModesFollowScreenWinding)
{
    CreateDevice(1280, 720);
    FlatState();
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    // The quad's strip winds counter-clockwise on screen.
    for (auto [mode, drawn] :
         {std::pair{D3DCULL_NONE, true}, std::pair{D3DCULL_CCW, false}, std::pair{D3DCULL_CW, true}}) {
        device->SetRenderState(D3DRS_CULLMODE, mode);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        Draw(0, 0, 1, 1);
        Present();
        EXPECT_EQ(At(640, 360).r, drawn ? 255 : 0) << mode;
    }
}

// Brightness follows N.L in view space, with normals by the inverse transpose of
// world x view and not renormalised; no texture bound ends the stages, so the
// lit diffuse colour shows.
TEST_F(RenderTest, LitQuadBrightnessFollowsNDotL)
{
    CreateDevice(1280, 720);
    FlatState();
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
    D3DMATERIAL9 mat{};
    mat.Diffuse = D3DCOLORVALUE{1, 1, 1, 1};
    device->SetMaterial(&mat);
    device->LightEnable(0, TRUE);
    struct Case {
        float angle;   // between the light and -normal, degrees
        float zscale;  // world z scale: the normal is divided by it
    };
    for (Case c : {Case{0, 1}, Case{60, 1}, Case{80, 1}, Case{120, 1}, Case{0, 2}}) {
        SCOPED_TRACE(c.angle);
        D3DLIGHT9 light{};
        light.Type = D3DLIGHT_DIRECTIONAL;
        light.Diffuse = D3DCOLORVALUE{1, 0.5f, 1, 0};
        float a = c.angle * 3.14159265f / 180;
        light.Direction = D3DVECTOR{std::sin(a) * 5, 0, -std::cos(a) * 5};  // not unit length
        device->SetLight(0, &light);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        Draw(0, 0, 1, 1, c.zscale, 1 - c.zscale);  // depth stays 1
        Present();
        double ndl = std::max(0.0, std::cos(double(a))) / c.zscale;
        EXPECT_RGB_NEAR(At(640, 360), ndl * 255, ndl * 127.5, ndl * 255, 1.01);
    }
    // Without normals in the lighting path the material colour is used when the
    // vertex colour is not the source.
    device->SetRenderState(D3DRS_COLORVERTEX, FALSE);
    mat.Diffuse = D3DCOLORVALUE{0.5f, 0.25f, 1, 1};
    device->SetMaterial(&mat);
    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = D3DCOLORVALUE{1, 1, 1, 0};
    light.Direction = D3DVECTOR{0, 0, -1};
    device->SetLight(0, &light);
    Draw(0, 0, 1, 1);
    Present();
    EXPECT_RGB_NEAR(At(10, 10), 127.5, 63.75, 255, 1.01);
}

// With several samples per pixel, quads on pixel boundaries still cover whole
// pixels (no half-covered viewport edges) and pictures still map 1:1.
TEST_F(RenderTest, MultisampledBackBufferKeepsEdgesAndTexelsAndResolves)
{
    DWORD quality = 0;
    if (!FourSamples(direct3d, &quality)) GTEST_SKIP() << "no 4x multisampling here";
    EXPECT_EQ(quality, 1u);
    CreateDevice(1280, 720, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* tex = MakeTexture(1280, 720, Pattern);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    FlatState();
    device->SetTexture(0, tex);
    Draw(0, 0, 1, 1);
    device->SetTexture(0, nullptr);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFF000000);
    Draw(320 / 1280.0f, 180 / 720.0f, 640 / 1280.0f, 360 / 720.0f);
    // A white one whose right side halves a column of pixels: they resolve to
    // the mean of their samples, some covered and some not.
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    Draw(700 / 1280.0f, 100 / 720.0f, 800.5f / 1280.0f, 200 / 720.0f);
    Present();
    int wrong = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x) {
            Rgba p = At(x, y);
            bool black = x >= 320 && x < 640 && y >= 180 && y < 360;
            bool white = x >= 700 && x < 800 && y >= 100 && y < 200;
            if (x == 800 && y >= 100 && y < 200) {
                const int e = Channel(Pattern(UINT(x), UINT(y)), 16);
                wrong += !(p.r > e + (255 - e) / 8 && p.r < 255 - (255 - e) / 8);
                continue;
            }
            D3DCOLOR e = black ? 0 : white ? 0xFFFFFF : Pattern(UINT(x), UINT(y));
            wrong += !(p.r == Channel(e, 16) && p.g == Channel(e, 8) && p.b == Channel(e, 0));
        }
    EXPECT_EQ(wrong, 0);
}

// Transparent tiles of a blended picture are left out of the draw; a draw made
// whole (depth writes on, which the skipping must not drop) gives the same bytes.
class SkipTest : public RenderTest {
protected:
    void Check(D3DMULTISAMPLE_TYPE samples)
    {
        CreateDevice(320, 180, true, samples);
        IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
        // Visible texels: a blob, an opaque block with one faint texel, a lone
        // texel, the texture's last row and column (clamping repeats them beyond
        // the edge); the rest transparent with colour.
        IDirect3DTexture9* sprite = MakeTexture(256, 128, [](UINT x, UINT y) {
            bool blob = x >= 40 && x < 70 && y >= 20 && y < 50;
            bool block = x >= 96 && x < 224 && y >= 16 && y < 80;
            bool faint = x == 170 && y == 40;
            bool dot = x == 150 && y == 90;
            bool edge = x == 255 || y == 127;
            return D3DCOLOR_ARGB(blob || faint ? 200 : block || dot ? 255 : edge ? 90 : 0, x, y, 77);
        });
        auto frameWith = [&](bool whole) {
            BlendOverBackdrop(back, D3DTEXF_POINT);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
            // Depth writes make the device draw every picture whole.
            device->SetRenderState(D3DRS_ZENABLE, whole ? D3DZB_TRUE : D3DZB_FALSE);
            device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
            device->SetTexture(0, sprite);
            const std::pair<DWORD, DWORD> passes[] = {{D3DTEXF_POINT, D3DBLEND_INVSRCALPHA},
                                                      {D3DTEXF_LINEAR, D3DBLEND_ONE},
                                                      {D3DTEXF_LINEAR, D3DBLEND_INVSRCALPHA}};
            for (auto [filter, dest] : passes) {
                device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
                device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
                device->SetRenderState(D3DRS_DESTBLEND, dest);
                Draw(10.25f / 320, 7.5f / 180, (10.25f + 256) / 320,
                     (7.5f + 128) / 180);  // texel to pixel, off by parts
                Draw(-100.0f / 320, 60.0f / 180, (-100.0f + 384) / 320,
                     (60.0f + 96) / 180);  // stretched and shrunk
            }
            // Mirrored both ways, a little shrunk.
            D3DMATRIX mirror{};
            mirror._11 = -1.1f;
            mirror._22 = -0.9f;
            mirror._31 = 1.05f;
            mirror._32 = 0.97f;
            mirror._33 = mirror._44 = 1;
            device->SetTransform(D3DTS_TEXTURE0, &mirror);
            device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
            Draw(30.5f / 320, 40.0f / 180, (30.5f + 240) / 320, (40.0f + 120) / 180);
            device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
            Present();
            return frame;
        };
        d3d9::Stats before = d3d9::GetStats();
        auto whole = frameWith(true);
        EXPECT_EQ(d3d9::GetStats().drawCalls - before.drawCalls, 8u);
        before = d3d9::GetStats();
        auto skipped = frameWith(false);
        uint64_t skippedDraws = d3d9::GetStats().drawCalls - before.drawCalls;
        if (samples == D3DMULTISAMPLE_NONE) {
            EXPECT_GT(skippedDraws, 8u);  // scissored parts of each picture
        }
        int wrong = 0;
        for (int y = 0; y < 180; ++y)
            for (int x = 0; x < 320; ++x) {
                Rgba a = skipped.At(x, y), b = whole.At(x, y);
                wrong += a.r != b.r || a.g != b.g || a.b != b.b;
            }
        EXPECT_EQ(wrong, 0);
        EXPECT_NE(skipped.At(60, 40).g, Channel(Pattern(60, 40), 8));  // the blob did draw
    }
};

TEST_F(SkipTest, SingleSampled)
{
    Check(D3DMULTISAMPLE_NONE);
}

TEST_F(SkipTest, Multisampled)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    Check(D3DMULTISAMPLE_4_SAMPLES);
}

// An opaque picture that a later opaque picture covered in the previous frame
// is held back there, and drawn only where something needs it first: a
// picture blended over it, a turned quad's multisampled cells around it, a
// change to its texture, Present. Frames match those drawn whole to the bit
// whether the later picture covers the same place again, moves, or does not
// come; where it comes, the backdrop under it is not drawn.
class HoldTest : public RenderTest {
protected:
    struct Scene {
        int panelX;  // where the opaque panel goes; none when negative
        bool changeBack = false;
        bool clearPart = false;  // clear only the left half
    };
    support::Frame Draw(const Scene& scene, bool whole)
    {
        const D3DRECT left{0, 0, 160, 180};
        device->Clear(scene.clearPart ? 1 : 0, scene.clearPart ? &left : nullptr,
                      D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        FlatState();
        // Depth writes make the device draw every picture whole, at once.
        device->SetRenderState(D3DRS_ZENABLE, whole ? D3DZB_TRUE : D3DZB_FALSE);
        device->SetRenderState(D3DRS_ZFUNC, D3DCMP_ALWAYS);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        device->SetTexture(0, back);
        Centred(320, 180, 0, 0, 320, 180);
        if (scene.changeBack) Fill(back, 0xFF102030);
        device->SetTexture(0, glass);
        Centred(64, 64, 100, 30, 164, 94);
        // Multisampled quads, the second reaching the cells the first took.
        DrawTurned(0.5f, 0.05f, 110 / 320.0f, 100 / 180.0f);
        DrawTurned(0.3f, 0.05f, 155 / 320.0f, 104 / 180.0f);
        if (scene.panelX >= 0) {
            const float x = float(scene.panelX);
            device->SetTexture(0, panel);
            Centred(96, 64, x, 48, x + 96, 112);
            device->SetTexture(0, glass);
            Centred(64, 64, x + 40, 90, x + 104, 154);
        }
        Present();
        if (scene.changeBack) Fill(back, 0);
        return frame;
    }
    // A w x h picture at (l, t)-(r, b) pixels of the 320 x 180 target, texel
    // centres on pixel centres as the engine draws pictures.
    void Centred(float w, float h, float l, float t, float r, float b)
    {
        D3DMATRIX shift{};
        shift._11 = shift._22 = shift._33 = shift._44 = 1;
        shift._31 = 0.5f / w;
        shift._32 = 0.5f / h;
        device->SetTransform(D3DTS_TEXTURE0, &shift);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        RenderTest::Draw(l / 320, t / 180, r / 320, b / 180);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }
    // Every texel of the picture, or the pattern again for 0.
    static void Fill(IDirect3DTexture9* texture, D3DCOLOR color)
    {
        D3DLOCKED_RECT locked;
        ASSERT_EQ(texture->LockRect(0, &locked, nullptr, 0), D3D_OK);
        for (UINT y = 0; y < 180; ++y)
            for (UINT x = 0; x < 320; ++x)
                static_cast<D3DCOLOR*>(locked.pBits)[y * (locked.Pitch / 4) + x] = color ? color : Pattern(x, y);
        ASSERT_EQ(texture->UnlockRect(0), D3D_OK);
    }
    double Fill(const std::vector<Scene>& scenes, bool whole)
    {
        d3d9::EnableFrameStats(true);
        for (const Scene& scene : scenes) Draw(scene, whole);
        Draw(scenes.back(), whole);  // counts the one before
        const std::string line = d3d9::ActiveFrameStats()->Line();
        d3d9::EnableFrameStats(false);
        return std::stod(line.substr(line.find("fill ") + 5));
    }
    void Check(D3DMULTISAMPLE_TYPE samples)
    {
        d3d9::SetRedrawEverything(true);  // held draws are left to frames drawn whole
        Start(samples);
        const std::vector<Scene> scenes = {{120}, {120}, {200}, {-1}, {120}, {200, true}, {120}};
        std::vector<support::Frame> held;
        for (const Scene& scene : scenes) held.push_back(Draw(scene, false));
        for (size_t i = 0; i < scenes.size(); ++i) {
            const support::Frame whole = Draw(scenes[i], true);
            int wrong = 0;
            for (int y = 0; y < 180; ++y)
                for (int x = 0; x < 320; ++x) {
                    Rgba a = held[i].At(x, y), b = whole.At(x, y);
                    wrong += a.r != b.r || a.g != b.g || a.b != b.b;
                }
            EXPECT_EQ(wrong, 0) << "frame " << i;
        }
        EXPECT_EQ(held[5].At(180, 100).r, 180);  // held back, drawn before its texture changed
        const double heldFill = Fill({{120}, {120}, {120}}, false);
        const double wholeFill = Fill({{120}, {120}, {120}}, true);
        EXPECT_LT(heldFill, wholeFill - 0.02);  // about a panel's area less
        d3d9::SetRedrawEverything(false);
    }
    // Frames drawn again only where they changed match frames drawn whole to
    // the bit, through a panel that stays, moves, goes and comes back, a
    // texture changed in the middle of a frame and a frame not cleared whole;
    // a frame like the last is not drawn at all.
    void CheckRecorded(D3DMULTISAMPLE_TYPE samples)
    {
        Start(samples);
        const std::vector<Scene> scenes = {{120},       {120}, {200}, {-1},         {120},
                                           {120, true}, {120}, {120}, {200, false, true}, {200}};
        std::vector<support::Frame> recorded;
        std::vector<uint64_t> draws;
        for (const Scene& scene : scenes) {
            const uint64_t before = d3d9::GetStats().drawCalls;
            recorded.push_back(Draw(scene, false));
            draws.push_back(d3d9::GetStats().drawCalls - before);
        }
        d3d9::SetRedrawEverything(true);
        for (size_t i = 0; i < scenes.size(); ++i) {
            const support::Frame whole = Draw(scenes[i], false);
            EXPECT_EQ(WorstDifference(recorded[i], whole), 0) << "frame " << i;
        }
        d3d9::SetRedrawEverything(false);
        EXPECT_EQ(draws[1], 0u);  // the first frame again
        EXPECT_GT(draws[2], 0u);  // the panel moved
        EXPECT_EQ(draws[7], 0u);  // after a frame drawn whole for its texture change
        EXPECT_GE(draws[9], draws[0]);  // after a frame not cleared whole: drawn whole
    }
    void Start(D3DMULTISAMPLE_TYPE samples)
    {
        CreateDevice(320, 180, true, samples);
        back = MakeTexture(320, 180, Pattern);
        panel = MakeTexture(96, 64, [](UINT x, UINT y) { return D3DCOLOR_ARGB(255, 200, x * 2, y * 3); });
        glass = MakeTexture(64, 64, [](UINT x, UINT y) { return D3DCOLOR_ARGB(120, 30, 250, x * 4 + y); });
    }
    IDirect3DTexture9 *back = nullptr, *panel = nullptr, *glass = nullptr;
};

TEST_F(HoldTest, SingleSampled)
{
    Check(D3DMULTISAMPLE_NONE);
}

TEST_F(HoldTest, Multisampled)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    Check(D3DMULTISAMPLE_4_SAMPLES);
}

TEST_F(HoldTest, RecordedFramesSingleSampled)
{
    CheckRecorded(D3DMULTISAMPLE_NONE);
}

TEST_F(HoldTest, RecordedFramesMultisampled)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CheckRecorded(D3DMULTISAMPLE_4_SAMPLES);
}

// Fill: every draw counts the pixels it covers, overlaps twice, a skipped
// transparent part not at all; read a frame late, so the last frame is not counted.
TEST_F(RenderTest, FrameStatsCountCoveredPixelsPerFrame)
{
    CreateDevice(320, 180);
    IDirect3DTexture9* opaque = MakeTexture(64, 64, Pattern);
    IDirect3DTexture9* empty = MakeTexture(256, 256, [](UINT, UINT) { return D3DCOLOR_ARGB(0, 9, 9, 9); });
    d3d9::EnableFrameStats(true);
    for (int i = 0; i < 3; ++i) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        FlatState();
        device->SetTexture(0, opaque);
        Draw(0, 0, 1, 0.5f);     // half the screen
        Draw(0, 0, 0.5f, 0.5f);  // a quarter again
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetTexture(0, empty);
        Draw(0, 0, 1, 1);  // wholly transparent: nothing drawn
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        Present();
    }
    std::string line = d3d9::ActiveFrameStats()->Line();
    d3d9::EnableFrameStats(false);
    EXPECT_EQ(line.substr(0, 16), "stats: 3 frames,");
    EXPECT_NE(line.find("fill 0.75 screens/frame"), std::string::npos) << line;
}

// Multisampled, pixel-aligned pictures are drawn single-sampled and only the
// turned quad and its surroundings multisampled: the frame stays within 1 of
// the one drawn wholly multisampled, its turned edges smoothed as before.
TEST_F(RenderTest, MultisamplingOnlyWhereEdgesCrossPixelsMatchesWholeMultisampling)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    IDirect3DTexture9* glass =
        MakeTexture(64, 64, [](UINT x, UINT y) { return D3DCOLOR_ARGB((x + y) * 2, 200, x * 4, y * 4); });
    auto frameWith = [&](bool everything) {
        d3d9::SetMultisampleEverything(everything);
        BlendOverBackdrop(back);
        device->SetTexture(0, glass);
        Draw(20 / 320.0f, 20 / 180.0f, 84 / 320.0f, 84 / 180.0f);  // aligned
        DrawTurned(0.5236f, 0.1f, 0.6f, 0.5f);  // by 30 degrees, then an aligned one over it
        Draw(170 / 320.0f, 60 / 180.0f, 234 / 320.0f, 124 / 180.0f);
        Draw(100.5f / 320, 100 / 180.0f, 164.5f / 320, 164 / 180.0f);  // half a pixel off
        // Aligned, but the texture stretched: filtered between texels.
        D3DMATRIX stretch{};
        stretch._11 = 0.37f;
        stretch._22 = 0.61f;
        stretch._31 = 0.1f;
        stretch._33 = stretch._44 = 1;
        device->SetTransform(D3DTS_TEXTURE0, &stretch);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        Draw(240 / 320.0f, 100 / 180.0f, 310 / 320.0f, 170 / 180.0f);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        Present();
        d3d9::SetMultisampleEverything(false);
        return frame;
    };
    auto mixed = frameWith(false);
    auto whole = frameWith(true);
    EXPECT_LE(WorstDifference(mixed, whole), 1);  // a single-sampled turned edge would be off by far more
}

// Rectangles whose sides fall between pixels are multisampled only along
// their sides: the frame matches the one drawn wholly multisampled to the bit.
// Two strips meet inside a pixel next to a cell's edge, as a scrolled
// picture's pieces do; a band crosses the cells a turned square took into the
// multisampled target, and a block ends beside them; a stretched picture
// (filtered between texels) stays whole.
TEST_F(RenderTest, RectanglesMultisampledAlongTheirSidesMatchWholeMultisampling)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    auto glass = [](UINT x, UINT y) { return D3DCOLOR_ARGB(120 + (x * 7 + y) % 130, x, 255 - y * 6, 90); };
    IDirect3DTexture9* strip = MakeTexture(128, 40, glass);
    IDirect3DTexture9* band = MakeTexture(256, 24, glass);
    IDirect3DTexture9* block = MakeTexture(128, 32, glass);
    uint64_t draws = 0;
    auto frameWith = [&](bool everything) {
        d3d9::SetMultisampleEverything(everything);
        BlendOverBackdrop(back);
        device->SetTexture(0, strip);
        const uint64_t before = d3d9::GetStats().drawCalls;
        Draw(-31.6f / 320, 10 / 180.0f, 96.4f / 320, 50 / 180.0f);  // pieces of one scrolled strip,
        Draw(96.4f / 320, 10 / 180.0f, 224.4f / 320, 50 / 180.0f);  // meeting inside pixel 96
        draws = d3d9::GetStats().drawCalls - before;
        // A turned square, then a band across the cells it took.
        DrawTurned(0.4f, 0.08f, 250 / 320.0f, 100 / 180.0f);
        device->SetTexture(0, band);
        Draw(30.4f / 320, 96 / 180.0f, 286.4f / 320, 120 / 180.0f);
        // Sides just past cells' edges; then one beside the square's cells.
        device->SetTexture(0, block);
        Draw(16.3f / 320, 140 / 180.0f, 144.3f / 320, 172 / 180.0f);
        Draw(150.3f / 320, 128 / 180.0f, 278.3f / 320, 160 / 180.0f);
        device->SetTexture(0, strip);
        Draw(20.5f / 320, 60 / 180.0f, 120.5f / 320, 100 / 180.0f);  // stretched
        Present();
        d3d9::SetMultisampleEverything(false);
        return frame;
    };
    d3d9::SetRedrawEverything(true);  // draws counted as they come
    auto whole = frameWith(true);
    auto mixed = frameWith(false);
    d3d9::SetRedrawEverything(false);
    EXPECT_GT(draws, 2u);  // the strips went in parts
    EXPECT_EQ(WorstDifference(mixed, whole), 0);
}

// A rectangle whose sides between pixels lie outside the viewport covers
// whole pixels only, as a wide scrolled picture showing its middle does: it is
// drawn single-sampled with its transparent texels left out, and the frame is
// the wholly multisampled one to the bit.
TEST_F(RenderTest, RectangleWithItsUnalignedSidesOffScreenIsDrawnSingleSampled)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    // Transparent but for a 32 x 16 block.
    IDirect3DTexture9* wide = MakeTexture(512, 64, [](UINT x, UINT y) {
        const bool block = x >= 200 && x < 232 && y >= 20 && y < 36;
        return block ? D3DCOLOR_ARGB(180, x, 255 - y * 4, 60) : D3DCOLOR_ARGB(0, 9, 9, 9);
    });
    auto draw = [&] {
        BlendOverBackdrop(back, D3DTEXF_POINT);
        device->SetTexture(0, wide);
        Draw(-96.6f / 320, 40 / 180.0f, 415.4f / 320, 104 / 180.0f);
    };
    double fill = 0;
    auto whole = FrameAndFill(true, draw, fill);
    auto mixed = FrameAndFill(false, draw, fill);
    EXPECT_EQ(WorstDifference(mixed, whole), 0);
    EXPECT_LT(fill, 1.05);  // the backdrop and the block, not the 320 x 64 pixels on screen
}

// Pictures at fractional places, filtered between texels, go to the
// multisampled target only over the pixels that can reach texels that show:
// the frame is the wholly multisampled one to the bit, and their transparent
// borders are not drawn.
TEST_F(RenderTest, MultisampledPicturesCoverOnlyThePixelsReachingTexelsThatShow)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    IDirect3DTexture9* sprite = MakeTexture(64, 64, [](UINT x, UINT y) {
        const bool body = x >= 8 && x < 56 && y >= 20 && y < 52;
        return body ? D3DCOLOR_ARGB(40 + (x * 5 + y * 3) % 200, x * 4, y * 4, 200) : D3DCOLOR_ARGB(0, 9, 9, 9);
    });
    auto draw = [&] {
        BlendOverBackdrop(back);
        device->SetTexture(0, sprite);
        Draw(40.3f / 320, 30.7f / 180, 104.3f / 320, 94.7f / 180);
        Draw(70.6f / 320, 50.2f / 180, 134.6f / 320, 114.2f / 180);  // over the first
        Draw(200.5f / 320, 90.5f / 180, 232.5f / 320, 122.5f / 180);  // half size
    };
    double wholeFill = 0, fill = 0;
    auto whole = FrameAndFill(true, draw, wholeFill);
    auto mixed = FrameAndFill(false, draw, fill);
    EXPECT_EQ(WorstDifference(mixed, whole), 0);
    EXPECT_LT(fill, wholeFill - 0.08) << wholeFill;  // 2.25 sprites' area is 0.18 screens, their bodies 0.07
}

// Pictures at their size at fractional places, filtered, whose texels that
// show lie wholly inside their sides: those whose texel positions fall clear of
// a filter step's half go to the single-sample target, with nothing copied
// into the multisampled one; those at a half step, over cells a turned quad
// took, or showing to their sides go multisampled. Every frame is the wholly
// multisampled one to the bit.
TEST_F(RenderTest, FilteredPicturesInsideTheirSidesAreDrawnSingleSampled)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    // Sharp changes from texel to texel, so that a step rounded otherwise shows.
    IDirect3DTexture9* sprite = MakeTexture(32, 32, [](UINT x, UINT y) {
        const bool body = x >= 4 && x < 28 && y >= 4 && y < 28;
        return body ? D3DCOLOR_ARGB((x + y) % 3 ? 255 : 40, x * 8, 255 - y * 8, ((x ^ y) & 1) * 255)
                    : D3DCOLOR_ARGB(0, 9, 9, 9);
    });
    IDirect3DTexture9* glass =
        MakeTexture(32, 32, [](UINT x, UINT y) { return D3DCOLOR_ARGB(150, x * 8, y * 8, 99); });
    auto sprites = [&](const std::vector<std::pair<float, float>>& places) {
        for (auto [x, y] : places) Draw(x / 320, y / 180, (x + 32) / 320, (y + 32) / 180);
    };
    // Texel positions a tenth of a step or more from a half step, one over another.
    EXPECT_EQ(CopiedMatchingWhole([&] {
                  BlendOverBackdrop(back);
                  device->SetTexture(0, sprite);
                  sprites({{20.3f, 30.7f}, {40.6f, 40.4f}, {150.9f, 20.1f}, {160.15f, 35.85f}});
              }),
              0u);
    // At a half step (1/512 of a pixel past a whole one); over a turned quad.
    EXPECT_GT(CopiedMatchingWhole([&] {
                  BlendOverBackdrop(back);
                  device->SetTexture(0, sprite);
                  sprites({{20 + 1 / 512.0f, 30.25f}, {60.25f, 100 + 3 / 512.0f}, {90 - 1 / 512.0f, 30.5f}});
                  DrawTurned(0.5f, 0.05f, 240 / 320.0f, 100 / 180.0f);
                  sprites({{230.3f, 90.7f}});
                  device->SetTexture(0, glass);
                  sprites({{180.3f, 140.3f}});
              }),
              0u);
}

// A turned picture goes to the multisampled target only over the cells whose
// pixels can reach texels that show: a disc turned in its square copies in a
// fraction of the square's bounds, and the frame is the wholly multisampled
// one to the bit.
TEST_F(RenderTest, TurnedPicturesAreMultisampledOnlyWhereTheyShow)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    IDirect3DTexture9* disc = MakeTexture(64, 64, [](UINT x, UINT y) {
        const float dx = float(x) - 40.5f, dy = float(y) - 24.5f;  // off the centre, so that turning moves it
        return dx * dx + dy * dy < 14 * 14 ? D3DCOLOR_ARGB(150 + x, x * 4, y * 4, 128) : D3DCOLOR_ARGB(0, 9, 9, 9);
    });
    const uint64_t copied = CopiedMatchingWhole([&] {
        BlendOverBackdrop(back);
        device->SetTexture(0, disc);
        DrawTurned(0.6f, 0.2f, 0.5f, 0.5f);  // a 128-pixel square, its bounds some 178 pixels wide
    });
    EXPECT_GT(copied, 0u);
    EXPECT_LT(copied, 10000u);  // the disc (56 pixels across) and its cells, not 178 x 178
}

// Meshes go to the multisampled target over the screen their triangles reach
// in front of the eye: a floor running from behind the camera to the horizon
// covers the bottom half, though its near corners project nowhere. The
// multisampled depth is cleared with each frame's clear, even where it is put
// off until a draw reaches it: last frame's near wall must not hide the floor.
TEST_F(RenderTest, MultisampledMeshesReachBehindTheEyeAndMeetAClearedDepth)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    SetMesh({{-20, -1, -10, 0, 1, 0, 0xFFFFFFFF, 0, 0, 0, 0},
             {20, -1, -10, 0, 1, 0, 0xFFFFFFFF, 0, 0, 0, 0},
             {-20, -1, 30, 0, 1, 0, 0xFFFFFFFF, 0, 0, 0, 0},
             {20, -1, 30, 0, 1, 0, 0xFFFFFFFF, 0, 0, 0, 0},
             {-5, -5, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {5, -5, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {-5, 5, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {5, 5, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0}},
            {0, 1, 2, 2, 1, 3, 4, 5, 6, 6, 5, 7});
    // Looking along +z from the origin, a 90-degree view from 0.1 to 100.
    D3DMATRIX proj{}, identity{};
    proj._11 = 180.0f / 320;
    proj._22 = 1;
    proj._33 = 100 / 99.9f;
    proj._34 = 1;
    proj._43 = -0.1f * 100 / 99.9f;
    identity._11 = identity._22 = identity._33 = identity._44 = 1;
    FlatState();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetTransform(D3DTS_PROJECTION, &proj);
    device->SetTransform(D3DTS_VIEW, &identity);
    device->SetTransform(D3DTS_WORLD, &identity);
    auto frameWith = [&](UINT firstIndex, D3DCOLOR color) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, color);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 8, firstIndex, 2), D3D_OK);
        Present();
    };
    frameWith(6, 0xFF0000FF);  // the near wall
    EXPECT_EQ(At(160, 20).b, 255);
    frameWith(0, 0xFFFFFFFF);  // the floor alone
    for (int x : {0, 160, 319}) {
        EXPECT_EQ(At(x, 179).r, 255) << x;  // at the camera's feet
        EXPECT_EQ(At(x, 100).r, 255) << x;
        EXPECT_EQ(At(x, 20).r, 0) << x;  // above the horizon
    }
}

// A mesh is multisampled over the cells its triangles reach, not over the
// rectangle around all of them.
TEST_F(RenderTest, MeshesAreMultisampledOnlyOverTheCellsOfTheirTriangles)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    // Two small triangles in opposite corners, placed in clip space.
    SetMesh({{-0.9f, 0.9f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {-0.73f, 0.86f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {-0.84f, 0.67f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {0.9f, -0.9f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {0.74f, -0.83f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {0.86f, -0.69f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0}},
            {0, 1, 2, 3, 4, 5});
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1;
    for (auto t : {D3DTS_PROJECTION, D3DTS_VIEW, D3DTS_WORLD}) device->SetTransform(t, &identity);
    FlatState();
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFC040);
    const uint64_t copied = CopiedMatchingWhole([&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF204060, 1.0f, 0);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 6, 0, 2), D3D_OK);
    });
    EXPECT_GT(copied, 0u);
    EXPECT_LT(copied, 320u * 180 / 8);  // the rectangle around both is nearly the whole target
    EXPECT_EQ(At(25, 15).r, 255);       // inside the first triangle
}

// A frame cleared only over its viewport, with bands around it, is drawn
// again only where it changed, to the bit; while a frame also blends into a
// band, which no clear reaches, it is drawn whole every time.
TEST_F(RenderTest, FramesClearedOverAViewportBetweenBandsAreRecorded)
{
    CreateDevice(320, 180);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    IDirect3DTexture9* glass = MakeTexture(8, 8, [](UINT, UINT) { return D3DCOLOR_ARGB(100, 250, 40, 40); });
    const D3DVIEWPORT9 whole{0, 0, 320, 180, 0, 1}, banded{0, 30, 320, 120, 0, 1};
    auto draw = [&](float x, bool band) {
        device->SetViewport(&banded);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        FlatState();
        device->SetTexture(0, back);
        Draw(0, 0, 1, 1);
        Draw(x, 0.25f, x + 0.25f, 0.75f);
        if (band) {
            device->SetViewport(&whole);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
            device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
            device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            device->SetTexture(0, glass);
            Draw(0.1f, 0.02f, 0.3f, 0.12f);
            device->SetRenderState(D3DRS_ALPHABLENDENABLE, FALSE);
        }
        Present();
        return frame;
    };
    const std::vector<std::pair<float, bool>> scenes = {{0.1f, false}, {0.1f, false}, {0.5f, false}, {0.5f, true},
                                                        {0.5f, true},  {0.2f, true},  {0.2f, false}, {0.2f, false}};
    // The scenes in turn from a black target; the draws each took.
    auto run = [&](std::vector<uint64_t>& draws) {
        device->SetViewport(&whole);
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0xFF000000, 1.0f, 0);
        Present();
        std::vector<support::Frame> shown;
        for (const auto& [x, band] : scenes) {
            const uint64_t before = d3d9::GetStats().drawCalls;
            shown.push_back(draw(x, band));
            draws.push_back(d3d9::GetStats().drawCalls - before);
        }
        return shown;
    };
    std::vector<uint64_t> draws, wholeDraws;
    const std::vector<support::Frame> recorded = run(draws);
    d3d9::SetRedrawEverything(true);
    const std::vector<support::Frame> drawnWhole = run(wholeDraws);
    d3d9::SetRedrawEverything(false);
    for (size_t i = 0; i < scenes.size(); ++i)
        EXPECT_EQ(WorstDifference(recorded[i], drawnWhole[i]), 0) << "frame " << i;
    EXPECT_EQ(draws[1], 0u);  // the first frame again
    EXPECT_GT(draws[2], 0u);  // the panel moved
    EXPECT_GT(draws[4], 0u);  // the same as before, but blending into the band again
    EXPECT_EQ(draws[7], 0u);  // the band left alone again
    EXPECT_NE(At(60, 10).g, 0);  // the band's picture, blended over black five times
}

// A still, opaque mesh in front of a picture that changes is laid from the
// layer kept of it, within 1 of drawing it again; it is drawn again when it
// moves, and whenever a multisampled draw goes over it.
TEST_F(RenderTest, StillMeshesAreLaidFromTheirKeptLayer)
{
    if (!FourSamples(direct3d)) GTEST_SKIP() << "no 4x multisampling here";
    CreateDevice(320, 180, true, D3DMULTISAMPLE_4_SAMPLES);
    IDirect3DTexture9* back = MakeTexture(320, 180, Pattern);
    IDirect3DTexture9* skin = MakeTexture(16, 16, [](UINT x, UINT y) { return D3DCOLOR_ARGB(255, 250, x * 16, y * 16); });
    // A turned square, in clip space.
    SetMesh({{-0.3f, 0.1f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
             {0.1f, 0.5f, 0.4f, 0, 0, 1, 0xFFFFFFFF, 1, 0, 0, 0},
             {-0.1f, -0.45f, 0.6f, 0, 0, 1, 0xFFFFFFFF, 0, 1, 0, 0},
             {0.3f, -0.05f, 0.5f, 0, 0, 1, 0xFFFFFFFF, 1, 1, 0, 0}},
            {0, 1, 2, 2, 1, 3});
    IDirect3DVertexBuffer9* mesh = meshVertices;
    D3DMATRIX identity{};
    identity._11 = identity._22 = identity._33 = identity._44 = 1;
    struct Scene {
        D3DCOLOR backdrop;  // the picture behind, tinted
        float shift;        // the mesh, moved right in clip space
        bool turnedOver;    // a turned quad drawn over the mesh
    };
    auto draw = [&](const Scene& scene) {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        FlatState();
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, scene.backdrop);
        device->SetTexture(0, back);
        Draw(0, 0, 1, 1);
        // The mesh: opaque texels, blended by their alpha, depth-tested.
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        D3DMATRIX move{};
        move._11 = move._22 = move._33 = move._44 = 1;
        move._41 = scene.shift;
        for (auto t : {D3DTS_PROJECTION, D3DTS_VIEW}) device->SetTransform(t, &identity);
        device->SetTransform(D3DTS_WORLD, &move);
        device->SetTexture(0, skin);
        device->SetFVF(0x252);
        device->SetStreamSource(0, mesh, 0, 44);
        EXPECT_EQ(device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, 4, 0, 2), D3D_OK);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
        // A picture on whole pixels over part of it, and maybe a turned one.
        Draw(150 / 320.0f, 80 / 180.0f, 200 / 320.0f, 120 / 180.0f);
        if (scene.turnedOver) DrawTurned(0.4f, 0.1f, 0.5f, 0.5f);
        Present();
        return frame;
    };
    const std::vector<Scene> scenes = {{0xFFFFFFFF, 0, false},  {0xFF8080FF, 0, false},   {0xFFFF8040, 0.1f, false},
                                       {0xFF40FF40, 0.1f, false}, {0xFF40FF40, 0.1f, true}, {0xFFFFFFFF, 0.1f, true}};
    std::vector<support::Frame> recorded;
    std::vector<uint64_t> draws, copied;
    for (const Scene& scene : scenes) {
        const d3d9::Stats before = d3d9::GetStats();
        recorded.push_back(draw(scene));
        draws.push_back(d3d9::GetStats().drawCalls - before.drawCalls);
        copied.push_back(d3d9::GetStats().multisampledPixels - before.multisampledPixels);
    }
    d3d9::SetRedrawEverything(true);
    for (size_t i = 0; i < scenes.size(); ++i)
        EXPECT_LE(WorstDifference(recorded[i], draw(scenes[i])), 1) << "frame " << i;
    d3d9::SetRedrawEverything(false);
    EXPECT_LT(draws[1], draws[0]);  // laid from the layer, the mesh not drawn
    EXPECT_LT(draws[3], draws[2]);  // moved, made again, then laid
    for (size_t i = 0; i < 4; ++i) EXPECT_EQ(copied[i], 0u) << "frame " << i;  // a layer is cleared, not copied in
    EXPECT_GT(copied[5], 0u);  // under a turned quad: drawn again
    EXPECT_EQ(recorded[3].At(176, 75).r, 250);  // the mesh, in front
}

TEST_F(RenderTest, NoShaderCompileOrAllocationPerFrameOnceStatesWereSeen)
{
    CreateDevice(1280, 720);
    IDirect3DTexture9* a = MakeTexture(64, 64, Pattern);
    IDirect3DTexture9* b = MakeTexture(64, 64, [](UINT x, UINT y) { return D3DCOLOR_ARGB(x * 4, y, 0, 0); });
    auto frameOnce = [&] {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        FlatState();
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        for (int i = 0; i < 20; ++i) {
            device->SetRenderState(D3DRS_DESTBLEND, i % 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
            device->SetTexture(0, i % 3 ? a : b);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, i % 4 ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(i * 12, 255, 255, 255));
            device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS,
                                         i % 5 ? D3DTTFF_DISABLE : D3DTTFF_COUNT2);
            Draw(i / 20.0f, 0, i / 20.0f + 0.05f, 0.1f);
        }
        device->EndScene();
        Present();
    };
    // Drawn whole each time, then only where it changed: nowhere.
    for (bool whole : {true, false}) {
        d3d9::SetRedrawEverything(whole);
        frameOnce();
        frameOnce();
        d3d9::Stats before = d3d9::GetStats();
        for (int i = 0; i < 5; ++i) frameOnce();
        d3d9::Stats after = d3d9::GetStats();
        EXPECT_EQ(after.shaderCompiles, before.shaderCompiles);
        EXPECT_EQ(after.glObjectsCreated, before.glObjectsCreated);
        EXPECT_EQ(after.allocations, before.allocations);
        EXPECT_EQ(after.drawCalls - before.drawCalls, whole ? 5u * 20u : 0u);
        EXPECT_EQ(after.presents - before.presents, 5u);
    }
    d3d9::SetRedrawEverything(false);
}

}  // namespace
