// Pixels of headless frames against values worked out from the Direct3D 9
// rules (pixel centres at integer coordinates, top-left fill).

#include <cmath>

#include "platform/d3d9/D3d9Stats.h"
#include "tests/d3d9/RenderFixture.h"

namespace {

#define EXPECT_RGB_NEAR(px, R, G, B, tol)     \
    do {                                      \
        Rgba p_ = (px);                       \
        EXPECT_NEAR(p_.r, (R), (tol));        \
        EXPECT_NEAR(p_.g, (G), (tol));        \
        EXPECT_NEAR(p_.b, (B), (tol));        \
    } while (0)

// A picture whose every pixel tells where it came from.
D3DCOLOR Pattern(UINT x, UINT y) { return D3DCOLOR_ARGB(255, x & 255, y & 255, ((x >> 8) << 4) | (y >> 8)); }

class RenderTest : public RenderFixture {};

TEST_F(RenderTest, FullViewportQuadAndCentredViewportInTallerBackBuffer)
{
    for (bool fullscreen : {false, true}) {
        SCOPED_TRACE(fullscreen);
        TearDown();
        SetUp();
        CreateDevice(1280, fullscreen ? 1024 : 720, !fullscreen);
        const int y0 = fullscreen ? 152 : 0;
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        D3DVIEWPORT9 vp{0, DWORD(y0), 1280, 720, 0, 1};
        ASSERT_EQ(device->SetViewport(&vp), D3D_OK);
        // A later clear only touches the viewport: the bands stay black.
        device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 0, 0, 255), 1.0f, 0);
        FlatState();
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
        device->SetRenderState(D3DRS_TEXTUREFACTOR, D3DCOLOR_ARGB(255, 10, 200, 30));
        Draw(0.1f, 0.1f, 0.2f, 0.2f);
        Draw(0, 0, 1, 1);
        Present();
        ASSERT_EQ(frameHeight, fullscreen ? 1024 : 720);
        int covered = 0;
        for (int y = 0; y < frameHeight; ++y)
            for (int x = 0; x < 1280; x += 7) {
                Rgba p = At(x, y);
                bool inside = y >= y0 && y < y0 + 720;
                if (inside) covered += p.r == 10 && p.g == 200 && p.b == 30;
                else ASSERT_TRUE(p.r == 0 && p.g == 0 && p.b == 0) << x << "," << y;
            }
        EXPECT_EQ(covered, 720 * ((1280 + 6) / 7));
        EXPECT_EQ(At(1279, y0 + 719).g, 200);
    }
}

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
    SavePng("d3d9_picture_640_360.png");
    tex->Release();
}

// The unfiltered picture sits in the top-left corner of its power-of-two
// texture; the texture matrix picks the picture and moves it by -0.49/w.
TEST_F(RenderTest, AlignedUnfilteredPictureShowsOnlyThePicture)
{
    CreateDevice(1280, 720);
    const UINT w = 200, h = 100, tw = 256, th = 128;
    auto picture = [](UINT x, UINT y) { return D3DCOLOR_ARGB(255, x * 255 / 199, y * 255 / 99, (x * 7 + y * 13) & 255); };
    IDirect3DTexture9* tex = MakeTexture(tw, th, [&](UINT x, UINT y) { return x < w && y < h ? picture(x, y) : 0u; });
    for (DWORD filter : {D3DTEXF_POINT, D3DTEXF_LINEAR}) {
        SCOPED_TRACE(filter);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, D3DCOLOR_ARGB(255, 255, 0, 255), 1.0f, 0);
        FlatState();
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, filter);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, filter);
        D3DMATRIX t{};
        t._11 = float(w) / tw; t._22 = float(h) / th; t._33 = t._44 = 1;
        t._31 = -0.49f / w; t._32 = -0.49f / h;
        device->SetTransform(D3DTS_TEXTURE0, &t);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        device->SetTexture(0, tex);
        const int x0 = 300, y0 = 200;
        Draw(x0 / 1280.0f, y0 / 720.0f, (x0 + w) / 1280.0f, (y0 + h) / 720.0f);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
        Present();
        // Pixel (i, j) samples u = i / w at its centre, then u' = u w / tw - 0.49 / w.
        auto texel = [&](int i, int j) {
            double u = double(i) / w * w / tw - 0.49 / w, v = double(j) / h * h / th - 0.49 / h;
            double fx = u * tw, fy = v * th;
            auto at = [&](int x, int y) {
                x = std::clamp(x, 0, int(tw) - 1);
                y = std::clamp(y, 0, int(th) - 1);
                return (x < int(w) && y < int(h)) ? picture(UINT(x), UINT(y)) : 0u;
            };
            if (filter == D3DTEXF_POINT) return Rgba{Channel(at(int(std::floor(fx)), int(std::floor(fy))), 16),
                                                     Channel(at(int(std::floor(fx)), int(std::floor(fy))), 8),
                                                     Channel(at(int(std::floor(fx)), int(std::floor(fy))), 0), 255};
            double px = fx - 0.5, py = fy - 0.5;
            int ix = int(std::floor(px)), iy = int(std::floor(py));
            double ax = px - ix, ay = py - iy;
            double c[3] = {};
            for (int k = 0; k < 3; ++k) {
                int s = 16 - 8 * k;
                c[k] = (1 - ax) * (1 - ay) * Channel(at(ix, iy), s) + ax * (1 - ay) * Channel(at(ix + 1, iy), s) +
                       (1 - ax) * ay * Channel(at(ix, iy + 1), s) + ax * ay * Channel(at(ix + 1, iy + 1), s);
            }
            return Rgba{int(std::lround(c[0])), int(std::lround(c[1])), int(std::lround(c[2])), 255};
        };
        int wrong = 0;
        for (int j = -2; j < int(h) + 2; ++j)
            for (int i = -2; i < int(w) + 2; ++i) {
                Rgba p = At(x0 + i, y0 + j);
                bool inside = i >= 0 && j >= 0 && i < int(w) && j < int(h);
                Rgba e = inside ? texel(i, j) : Rgba{255, 0, 255, 255};
                int tol = filter == D3DTEXF_LINEAR ? 2 : 0;
                wrong += std::abs(p.r - e.r) > tol || std::abs(p.g - e.g) > tol || std::abs(p.b - e.b) > tol;
            }
        EXPECT_EQ(wrong, 0);
        if (filter == D3DTEXF_POINT) SavePng("d3d9_aligned_point.png");
    }
    tex->Release();
}

TEST_F(RenderTest, BarFrom194Covers267Columns)
{
    CreateDevice(1280, 720);
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    FlatState();
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TFACTOR);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFC0C0C0);
    Draw(194 / 1280.0f, 600 / 720.0f, (194 + 890 * 0.3f) / 1280.0f, 610 / 720.0f);
    Present();
    int first = -1, count = 0;
    for (int x = 0; x < 1280; ++x)
        if (At(x, 605).r == 0xC0) {
            if (first < 0) first = x;
            ++count;
        }
    EXPECT_EQ(first, 194);
    EXPECT_EQ(count, 267);
    int rows = 0;
    for (int y = 0; y < 720; ++y) rows += At(300, y).r == 0xC0;
    EXPECT_EQ(rows, 10);
    EXPECT_EQ(At(300, 600).r, 0xC0);
}

TEST_F(RenderTest, BlendingAndTextureFactorAlpha)
{
    CreateDevice(1280, 720);
    IDirect3DTexture9* tex = MakeTexture(4, 4, [](UINT, UINT) { return D3DCOLOR_ARGB(200, 250, 100, 0); });
    struct Case {
        DWORD dest;
        D3DCOLOR factor;
    };
    for (Case c : {Case{D3DBLEND_INVSRCALPHA, 0xFFFFFFFF}, Case{D3DBLEND_INVSRCALPHA, 0x80FFFFFF},
                   Case{D3DBLEND_ONE, 0xFFFFFFFF}, Case{D3DBLEND_ONE, 0x40FFFFFF}}) {
        SCOPED_TRACE(c.factor);
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
        double a = 200.0 / 255 * (c.factor >> 24) / 255;
        double keep = c.dest == D3DBLEND_ONE ? 1.0 : 1 - a;
        auto mix = [&](double s, double d) { return std::min(255.0, s * a + d * keep); };
        EXPECT_RGB_NEAR(At(100, 100), mix(250, 20), mix(100, 60), mix(0, 200), 1.01);
        EXPECT_RGB_NEAR(At(1000, 600), 20, 60, 200, 0);
    }
    tex->Release();
}

// Stage 0 takes the scroller through a texture matrix from set 0; stage 1
// multiplies its alpha by a mask from set 1, untransformed.
TEST_F(RenderTest, TwoStageAlphaMaskFromSecondCoordinateSet)
{
    CreateDevice(1280, 720);
    IDirect3DTexture9* scroller = MakeTexture(16, 64, [](UINT, UINT y) { return D3DCOLOR_ARGB(255, y * 4, 255 - y * 4, 77); });
    IDirect3DTexture9* mask = MakeTexture(16, 16, [](UINT x, UINT) { return D3DCOLOR_ARGB(x < 8 ? 255 : 0, 0, 0, 0); });
    device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
    FlatState();
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    D3DMATRIX m{};
    m._11 = 1; m._22 = 0.25f; m._32 = 0.5f; m._33 = m._44 = 1;   // v' = v / 4 + 0.5
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
    Draw(0, 0, 1280 / 1280.0f, 640 / 720.0f);   // 1280 x 640 pixels: 10 rows per scroller texel
    Present();
    SavePng("d3d9_two_stage.png");
    for (int y : {5, 315, 635}) {
        // Row y samples v = y / 640 -> v' = y / 2560 + 0.5 -> scroller row floor(v' * 64).
        UINT row = UINT(std::floor((y / 2560.0 + 0.5) * 64));
        SCOPED_TRACE(y);
        EXPECT_RGB_NEAR(At(100, y), int(row * 4), int(255 - row * 4), 77, 0);
        EXPECT_RGB_NEAR(At(1100, y), 0, 0, 0, 0);   // masked out
    }
    scroller->Release();
    mask->Release();
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
        m._11 = 2; m._22 = 1; m._33 = m._44 = 1;   // u' = 2u: the right half reads past the edge
        device->SetTransform(D3DTS_TEXTURE0, &m);
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
        device->SetTexture(0, tex);
        Draw(0, 0, 1024 / 1280.0f, 0.5f);   // 1024 px wide: u' = x / 512
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
                double p = std::clamp(u * 2 - 0.5, 0.0, 1.0);   // clamped between the two texel centres
                expected = int(std::lround(p * 255));
            }
            EXPECT_NEAR(At(x, 100).r, expected, c.filter == D3DTEXF_LINEAR ? 2 : 0) << x;
        }
    }
    tex->Release();
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
    for (auto [mode, drawn] : {std::pair{D3DCULL_NONE, true}, std::pair{D3DCULL_CCW, false}, std::pair{D3DCULL_CW, true}}) {
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
        light.Direction = D3DVECTOR{std::sin(a) * 5, 0, -std::cos(a) * 5};   // not unit length
        device->SetLight(0, &light);
        device->Clear(0, nullptr, D3DCLEAR_TARGET, 0, 1.0f, 0);
        Draw(0, 0, 1, 1, c.zscale, 1 - c.zscale);   // depth stays 1
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
    if (d3d->CheckDeviceMultiSampleType(0, D3DDEVTYPE_HAL, D3DFMT_X8R8G8B8, TRUE, D3DMULTISAMPLE_4_SAMPLES, &quality) != D3D_OK)
        GTEST_SKIP() << "no 4x multisampling here";
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
    Present();
    int wrong = 0;
    for (int y = 0; y < 720; ++y)
        for (int x = 0; x < 1280; ++x) {
            Rgba p = At(x, y);
            bool black = x >= 320 && x < 640 && y >= 180 && y < 360;
            D3DCOLOR e = black ? 0 : Pattern(UINT(x), UINT(y));
            wrong += !(p.r == Channel(e, 16) && p.g == Channel(e, 8) && p.b == Channel(e, 0));
        }
    EXPECT_EQ(wrong, 0);
    tex->Release();
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
            device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, i % 5 ? D3DTTFF_DISABLE : D3DTTFF_COUNT2);
            Draw(i / 20.0f, 0, i / 20.0f + 0.05f, 0.1f);
        }
        device->EndScene();
        Present();
    };
    frameOnce();
    frameOnce();
    d3d9::Stats before = d3d9::GetStats();
    for (int i = 0; i < 5; ++i) frameOnce();
    d3d9::Stats after = d3d9::GetStats();
    EXPECT_EQ(after.shaderCompiles, before.shaderCompiles);
    EXPECT_EQ(after.glObjectsCreated, before.glObjectsCreated);
    EXPECT_EQ(after.allocations, before.allocations);
    EXPECT_EQ(after.drawCalls - before.drawCalls, 5u * 20u);
    EXPECT_EQ(after.presents - before.presents, 5u);
    a->Release();
    b->Release();
}

}  // namespace
