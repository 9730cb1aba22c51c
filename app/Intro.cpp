// The intro: a radio whose dial slides and knob turns for 24 seconds, the start
// screen dropping in, then three rings of blinking invaders, all timed by the
// intro song's position t.
#include "app/Screens.h"
#include "core/CosineEase.h"
#include "core/DiskLayout.h"
#include "core/EngineSettings.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "gfx/kpxQuad.h"
#include "platform/bass/bass.h"

#include <cmath>

namespace {

constexpr float kPi = 3.1415927f;

// The tuning scale's keys: (time in seconds, position in pixels).
constexpr float kKeyTimes[9] = {0, 4, 5, 8, 11, 12, 16, 20, 24};
constexpr float kKeyPositions[9] = {-250, 215, 200, 300, 580, 580, 700, 864, 1038};

float ScalePosition(float t)
{
    for (int i = 0; i < 8; ++i) {
        if (kKeyTimes[i] < t && t <= kKeyTimes[i + 1]) {
            float x = (t - kKeyTimes[i]) / (kKeyTimes[i + 1] - kKeyTimes[i]);
            float ease = CosineEase(x);
            float span = kKeyPositions[i + 1] - kKeyPositions[i];
            float moved = ease * span;
            return kKeyPositions[i] + moved;
        }
    }
    // Before the song has advanced (and after the last key) the scale rests at the end.
    return 1038;
}

D3DMATRIX Identity()
{
    D3DMATRIX m{};
    m._11 = m._22 = m._33 = m._44 = 1;
    return m;
}

// The knob at its natural size centred on (640, 544), turned by angle radians.
void DrawKnob(IDirect3DDevice9* device, const MediaItem& knob, float angle)
{
    float w = static_cast<float>(knob.imageInfo.Width);
    float h = static_cast<float>(knob.imageInfo.Height);
    float tw = static_cast<float>(knob.surfaceDesc.Width);
    float th = static_cast<float>(knob.surfaceDesc.Height);
    float width = static_cast<float>(settings.width);
    float height = static_cast<float>(settings.height);

    D3DMATRIX texture = Identity();
    texture._11 = w / tw;
    texture._22 = h / th;
    texture._31 = 0.5f / tw;  // texel centres, as the aligned picture draw
    texture._32 = 0.5f / th;
    device->SetTransform(D3DTS_TEXTURE0, &texture);
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_COUNT2);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
    device->SetSamplerState(0, D3DSAMP_ADDRESSW, D3DTADDRESS_CLAMP);
    device->SetTexture(0, knob.handle.texture);

    D3DMATRIX projection{};
    projection._11 = 2;
    projection._22 = -2;
    projection._33 = 0.5f;
    projection._41 = -1;
    projection._42 = 1;
    projection._43 = 0.5f;
    projection._44 = 1;
    D3DMATRIX view = Identity();
    device->SetTransform(D3DTS_PROJECTION, &projection);
    device->SetTransform(D3DTS_VIEW, &view);

    // World = rotation, then scale to the picture's size, then translation.
    float c = std::cos(angle);
    float s = std::sin(angle);
    float sx = w / width * 0.5f;
    float sy = h / height * 0.5f;
    D3DMATRIX world = Identity();
    world._11 = c * sx;
    world._12 = s * sy;
    world._21 = -s * sx;
    world._22 = c * sy;
    world._41 = 640 / width;
    world._42 = 544 / height;
    device->SetTransform(D3DTS_WORLD, &world);
    quad.Submit();
    device->SetTextureStageState(0, D3DTSS_TEXTURETRANSFORMFLAGS, D3DTTFF_DISABLE);
}

void DrawRadio(IDirect3DDevice9* device, float t, ShellMedia& media)
{
    float d = ScalePosition(t);

    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_POINT);
    device->SetSamplerState(0, D3DSAMP_MIPFILTER, D3DTEXF_NONE);
    device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
    device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
    device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
    device->SetRenderState(D3DRS_ZENABLE, FALSE);
    device->SetRenderState(D3DRS_ZWRITEENABLE, FALSE);
    device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xFFFFFFFF);
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);

    quad.DrawImageAligned(media.introBackground, 0, 0);
    for (int k = -1; k <= 2; ++k)
        quad.DrawImageAligned(media.introDial, static_cast<float>(k * 2048 - 3072) + d, 138);
    quad.DrawImageAligned(media.introForeground, 0, 0);

    device->SetSamplerState(0, D3DSAMP_MINFILTER, D3DTEXF_LINEAR);
    device->SetSamplerState(0, D3DSAMP_MAGFILTER, D3DTEXF_LINEAR);
    DrawKnob(device, media.introButton, d / 150);

    if (t > 23) {
        float fall = t - 23;
        quad.DrawImageAligned(media.startScreen, 0, -1000 * (1 - fall * fall * fall));
    }
}

void DrawInvaders(IDirect3DDevice9* device, float t, ShellMedia& media)
{
    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_SELECTARG1);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
    quad.DrawImageAligned(media.startScreen, 0, 0);

    device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TFACTOR);
    device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TEXTURE);

    float fade = t - 24;
    if (t > 35) fade = 1 - (t - 35) * 0.5f;
    if (fade < 0) fade = 0;
    if (fade > 1) fade = 1;

    for (int ring = 0; ring < 3; ++ring) {
        DWORD level = BASS_ChannelGetLevel(media.introSong.handle.channel) & 0xFFFF;
        float radius = static_cast<float>(level) / 32767 * 20 + 300 + 150 * ring;
        double period = 1500 + 500 * ring;
        for (int n = 0; n < 10; ++n) {
            // The tick is large; the angle is formed in double precision so
            // the invaders glide instead of stepping.
            double angle = GetTickCount() / period + n / 10.0 * kPi * 2;
            float x = static_cast<float>(std::sin(angle) * radius + 640 - 32);
            float y = static_cast<float>(std::cos(angle) * radius + 360 - 32);
            double pulse = (std::sin(GetTickCount() / 500.0 + n) * 127 + 127) * fade;
            device->SetRenderState(D3DRS_TEXTUREFACTOR, static_cast<DWORD>(static_cast<int>(pulse)) << 24);
            double s = std::sin(GetTickCount() / 1000.0 + n + 10 * ring);
            const MediaItem* picture = &media.invader[2];
            if (s < 0.95) picture = &media.invader[0];
            else if (0.95 < s && s < 0.975) picture = &media.invader[1];
            quad.DrawImageAligned(*picture, x, y);
        }
    }

    if (t > disk::kIntroSeconds) {
        screen = ScreenInterface;
        player.PlaySong(0);
    }
}

// The intro song has played to its end (only Space stops it otherwise, and
// Space leaves the intro at once).
bool IntroSongEnded(const ShellMedia& media)
{
    const DWORD channel = media.introSong.handle.channel;
    const QWORD length = BASS_ChannelGetLength(channel);
    const QWORD position = BASS_ChannelGetPosition(channel);
    constexpr QWORD kError = ~QWORD(0);
    return length != kError && position != kError && position >= length;
}

}  // namespace

void DrawIntro(float t, ShellMedia& media)
{
    IDirect3DDevice9* device = d3d.device;
    if (KeyDown(VK_ESCAPE)) quitRequested = 1;
    if (KeyDown(VK_SPACE)) {
        // Skipping: nothing is drawn in this frame.
        BASS_ChannelStop(media.introSong.handle.channel);
        screen = ScreenInterface;
        player.PlaySong(0);
        return;
    }
    if (t < 24) DrawRadio(device, t, media);
    else DrawInvaders(device, t, media);
    // An intro song shorter than the intro never takes t past 37: once it has
    // ended by itself the interface takes over, as it does at 37 s.
    if (screen == ScreenIntro && IntroSongEnded(media)) {
        screen = ScreenInterface;
        player.PlaySong(0);
    }
}
