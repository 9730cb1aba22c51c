#include "layers/ArtshowMonitor.h"

#include "core/CosineEase.h"
#include "core/EngineSettings.h"
#include "data/ArtshowData.h"
#include "gfx/kpxD3D.h"
#include "math/Quaternion.h"
#include "scene3ds/Scene.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <cwchar>
#include <new>
#include <set>
#include <string>

ArtshowMonitor monitor;

namespace {

const Vector3 kEye(-6.0f, 110.0f, -145.0f);
const Vector3 kTarget(-5.0f, 75.0f, 63.0f);
const Vector3 kPivot(-0.147f, 27.641f, 133.806f);
constexpr float kFieldOfView = 45.0f;
constexpr float kNear = 1.0f;
constexpr float kFar = 100000.0f;

D3DMATRIX ToD3D(const Matrix4& m)
{
    D3DMATRIX out;
    static_assert(sizeof out == sizeof m, "both are sixteen floats in row order");
    std::memcpy(&out, &m, sizeof out);
    return out;
}

// Remainder in 0..divisor - 1 for any sign of value.
int64_t Wrap(int64_t value, int64_t divisor)
{
    const int64_t r = value % divisor;
    return r < 0 ? r + divisor : r;
}

// A 3DS texture name is bytes in the code page of whatever made the file: UTF-8
// when it reads as UTF-8, else Latin-1 (the usual code page of Windows-made files).
void TextureNameToWide(const char* bytes, WCHAR (&out)[260])
{
    out[0] = 0;
    char check[kScenePathSize * 4] = {};
    if (MultiByteToWideChar(CP_UTF8, 0, bytes, -1, out, 260) != 0 &&
        WideCharToMultiByte(CP_UTF8, 0, out, -1, check, sizeof check, nullptr, nullptr) != 0 &&
        std::strcmp(check, bytes) == 0)
        return;
    size_t i = 0;
    for (; i < 259 && bytes[i]; ++i) out[i] = static_cast<unsigned char>(bytes[i]);
    out[i] = 0;
}

void SetFrameStates(IDirect3DDevice9* device)
{
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);

    const float aspect =
        settings.height > 0 ? static_cast<float>(settings.width) / static_cast<float>(settings.height) : 1.0f;
    Matrix4 projection;
    projection.PerspectiveFov(kFieldOfView, aspect, kNear, kFar);
    const D3DMATRIX projectionD3D = ToD3D(projection);
    device->SetTransform(D3DTS_PROJECTION, &projectionD3D);
    const D3DMATRIX view = ToD3D(ArtshowMonitor::LookAt(kEye, kTarget));
    device->SetTransform(D3DTS_VIEW, &view);

    device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    device->SetTextureStageState(0, D3DTSS_TEXCOORDINDEX, 0);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_WRAP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_WRAP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_WRAP);

    D3DLIGHT9 light{};
    light.Type = D3DLIGHT_DIRECTIONAL;
    light.Diffuse = {1.0f, 1.0f, 1.0f, 0.0f};
    const Vector3 direction = kTarget - kEye;
    light.Direction = {direction.x, direction.y, direction.z};
    device->SetLight(0, &light);
    device->LightEnable(0, TRUE);

    D3DMATERIAL9 material{};
    material.Diffuse = {1.0f, 1.0f, 1.0f, 1.0f};
    device->SetMaterial(&material);
    device->SetFVF(kSceneFvf);
    device->SetRenderState(D3DRS_LIGHTING, TRUE);
}

// The state the flat layers expect after the 3D scene.
void RestoreFlatStates(IDirect3DDevice9* device)
{
    device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFFu);
    device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, D3DZB_FALSE);
    device->SetRenderState(D3DRS_LIGHTING, FALSE);
    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
}

// Shows a title picture on stage 0, scaled to the picture's part of its texture and
// flipped to the scene's texture-coordinate convention.
void BindTitlePicture(IDirect3DDevice9* device, const MediaItem& picture)
{
    const UINT surfaceWidth = picture.surfaceDesc.Width;
    const UINT surfaceHeight = picture.surfaceDesc.Height;
    // A picture without a created surface is shown unscaled.
    const float r =
        surfaceWidth ? static_cast<float>(picture.imageInfo.Width) / static_cast<float>(surfaceWidth) : 1.0f;
    const float v = surfaceHeight
                        ? static_cast<float>(picture.imageInfo.Height) / static_cast<float>(surfaceHeight)
                        : 1.0f;
    Matrix4 transform;
    transform.Identity();
    transform.m[0][0] = r;
    transform.m[1][1] = v;
    transform.m[2][0] = -r;
    transform.m[2][1] = v;
    const D3DMATRIX transformD3D = ToD3D(transform);
    device->SetTransform(D3DTS_TEXTURE0, &transformD3D);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetTexture(0, picture.handle.texture);
}

}  // namespace

ArtshowMonitor::ArtshowMonitor() = default;

ArtshowMonitor::~ArtshowMonitor()
{
    DestroyScene(model.handle.scene);
    model.handle.scene = nullptr;
}

int ArtshowMonitor::Load(XmlNode element)
{
    XmlNode child = nullptr;
    XmlFirstChild(element, child, L"monitor");
    XmlGetAttribute(child, L"path", model.path, 260);

    XmlNode entry = nullptr;
    XmlFirstChild(element, entry, L"dummytexture");
    for (; entry; XmlNextChild(entry, entry, L"dummytexture")) {
        int32_t id = 0;
        XmlGetNumber(entry, L"id", id);
        if (id < 0 || id > 3) {
            LogPrintf("Monitor: dummytexture id %d ignored, ids run from 0 to 3\n", id);
            continue;
        }
        XmlGetAttribute(entry, L"file", dummyTextures[id], 260);
    }

    char path[260] = {};
    if (WideCharToMultiByte(CP_UTF8, 0, model.path, -1, path, sizeof path, nullptr, nullptr) == 0)
        path[0] = 0;  // does not fit: no scene

    // A second monitor element replaces the scene of the first.
    DestroyScene(model.handle.scene);
    Scene* scene = new (std::nothrow) Scene;
    model.handle.scene = scene ? BuildScene(path, scene) : nullptr;
    // Without its scene the carousel is simply not there: say why.
    if (scene && !scene->loadFailure.empty())
        LogPrintf("Carousel scene \"%ls\" not loaded: %s\n", model.path, scene->loadFailure.c_str());
    if (scene) LogMissingTextures(*scene);
    return 1;
}

// A texture the scene names that did not load is drawn untextured; placeholders
// are not loaded from files at all. Each name is logged once.
void ArtshowMonitor::LogMissingTextures(const Scene& scene) const
{
    std::set<std::wstring> seen;
    for (int32_t i = 0; i < scene.meshCount; ++i) {
        const SceneMesh& mesh = scene.meshes[i];
        if (mesh.texture || mesh.textureName[0] == 0) continue;
        WCHAR name[260] = {};
        TextureNameToWide(mesh.textureName, name);
        CharLowerW(name);
        bool placeholder = false;
        for (const WCHAR* dummy : dummyTextures) {
            WCHAR lower[260];
            wcsncpy_s(lower, 260, dummy, _TRUNCATE);
            placeholder = placeholder || std::wcscmp(CharLowerW(lower), name) == 0;
        }
        if (!placeholder && seen.insert(name).second)
            LogPrintf("Carousel texture \"%s\" of \"%ls\" not loaded: its meshes are drawn untextured\n",
                      mesh.textureName, model.path);
    }
}

int ArtshowMonitor::Draw(float, float)
{
    IDirect3DDevice9* device = d3d.device;
    if (!device) return 0;
    SetFrameStates(device);

    // The angle of this frame eases from the angle before the turn to turnAngle.
    float angle = turnAngle;
    const float progress = turnTimer.ProgressAt(GetTickCount());
    if (progress == 1.0f) {
        turnDirection = 0;
    } else if (progress > 0.0f) {
        const float ease = CosineEase(1.0f - progress);
        if (turnDirection == 1) angle = turnAngle - ease * kQuarterTurn;
        else if (turnDirection == -1) angle = turnAngle + ease * kQuarterTurn;
    }

    // Net quarter turns of the target angle. turnAngle only ever moves by whole quarter
    // turns, but their float sum drifts below the exact multiple (seven forward turns
    // give 6.99999), so the count is rounded to the nearest rather than truncated.
    const int64_t turns = std::llround(turnAngle / kQuarterTurn);

    const Scene* scene = model.handle.scene;
    const int32_t meshCount = scene ? scene->meshCount : 0;
    for (int32_t i = 0; i < meshCount; ++i) {
        const SceneMesh& mesh = scene->meshes[i];
        if (mesh.faceCount == 0) continue;

        Matrix4 world = MeshMatrix(mesh);
        world.Translate(-kPivot);
        world.RotateEuler(Vector3(0.0f, angle, 0.0f));
        world.Translate(kPivot);
        world.Translate(Vector3(0.0f, verticalOffset, 0.0f));

        device->SetTexture(0, mesh.texture);
        device->SetRenderState(D3DRS_ZENABLE, D3DZB_TRUE);
        device->SetRenderState(D3DRS_ZWRITEENABLE, TRUE);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_MODULATE);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_DIFFUSE);
        device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);

        // Placeholder faces show the title pictures of the songs around the current one.
        WCHAR name[260] = {};
        TextureNameToWide(mesh.textureName, name);
        CharLowerW(name);
        device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
        device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
        // Without songs, or without a texture name, the mesh keeps its own texture.
        if (data.songCount > 0 && data.titlePics && name[0] != 0) {
            for (int64_t j = 0; j < 4; ++j) {
                const int64_t m = turns + 399 + j;
                const int64_t slot = Wrap(m, 4);
                const int64_t song = Wrap(m + data.songCount - 400, data.songCount);
                WCHAR placeholder[260];
                std::wmemcpy(placeholder, dummyTextures[slot], 260);
                placeholder[259] = 0;
                CharLowerW(placeholder);
                if (std::wcscmp(placeholder, name) == 0) BindTitlePicture(device, data.titlePics[song]);
            }
        }

        device->SetTextureStageState(1, D3DTSS_COLOROP, D3DTOP_DISABLE);
        device->SetTextureStageState(1, D3DTSS_ALPHAOP, D3DTOP_DISABLE);

        const D3DMATRIX worldD3D = ToD3D(world);
        device->SetTransform(D3DTS_WORLD, &worldD3D);
        if (mesh.vertexBuffer && mesh.indexBuffer) {
            device->SetStreamSource(0, mesh.vertexBuffer, 0, sizeof(SceneVertex));
            device->SetIndices(mesh.indexBuffer);
            device->DrawIndexedPrimitive(D3DPT_TRIANGLELIST, 0, 0, static_cast<UINT>(mesh.vertexCount), 0,
                                         static_cast<UINT>(mesh.faceCount));
        }
        device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
    }

    RestoreFlatStates(device);
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

Matrix4 ArtshowMonitor::MeshMatrix(const SceneMesh& mesh)
{
    Matrix4 placement;
    placement.Identity();
    placement.ScaleAxes(
        Vector3(Evaluate(mesh.scaleX, 0.0f), Evaluate(mesh.scaleY, 0.0f), Evaluate(mesh.scaleZ, 0.0f)));
    Matrix4::Multiply(placement, placement, ToMatrix(Evaluate(mesh.rotation, 0.0f)));
    placement.Translate(Vector3(Evaluate(mesh.positionX, 0.0f), Evaluate(mesh.positionY, 0.0f),
                                Evaluate(mesh.positionZ, 0.0f)));
    return placement;
}

Matrix4 ArtshowMonitor::LookAt(const Vector3& eye, const Vector3& target)
{
    const Vector3 forward = (target - eye).Normalized();
    Vector3 up(0.0f, 1.0f, 0.0f);
    if (forward == Vector3(0.0f, 1.0f, 0.0f)) up = Vector3(0.0f, 0.0f, -1.0f);
    else if (forward == Vector3(0.0f, -1.0f, 0.0f)) up = Vector3(0.0f, 0.0f, 1.0f);
    const Vector3 right = Cross(up, forward).Normalized();
    const Vector3 trueUp = Cross(forward, right);
    return Matrix4(right.x, trueUp.x, forward.x, 0.0f, right.y, trueUp.y, forward.y, 0.0f, right.z, trueUp.z,
                   forward.z, 0.0f, -Dot(right, eye), -Dot(trueUp, eye), -Dot(forward, eye), 1.0f);
}
