// The frame: scene brackets, clearing, and presenting the back buffer to the
// device's output (its window, or the host's frame sink).
#include <SDL2/SDL.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <thread>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/DeviceImpl.h"
#include "platform/d3d9/FixedFunction.h"
#include "platform/d3d9/StatsInternal.h"
#include "platform/host/Host.h"
#include "platform/win32/WindowInternal.h"

namespace d3d9 {

HRESULT Device::BeginScene()
{
    if (inScene_) return D3DERR_INVALIDCALL;
    inScene_ = true;
    return D3D_OK;
}

HRESULT Device::EndScene()
{
    if (!inScene_) return D3DERR_INVALIDCALL;
    inScene_ = false;
    return D3D_OK;
}

HRESULT Device::Clear(DWORD count, const D3DRECT* rects, DWORD flags, D3DCOLOR color, float z, DWORD stencil)
{
    GLbitfield mask = 0;
    if (flags & D3DCLEAR_TARGET) mask |= GL_COLOR_BUFFER_BIT;
    if ((flags & D3DCLEAR_ZBUFFER) && depth_) mask |= GL_DEPTH_BUFFER_BIT;
    if ((flags & D3DCLEAR_STENCIL) && depthFormat_ == GL_DEPTH24_STENCIL8) mask |= GL_STENCIL_BUFFER_BIT;
    if (!mask) return flags ? D3DERR_INVALIDCALL : D3D_OK;
    if (!recording_ && !replaying_ && StartsRecord(count, rects, mask)) {
        recording_ = true;
        recorded_.clear();
        record_.Clear();
    }
    if (!recording_) return ClearNow(count, rects, mask, color, z, stencil);
    RecordClear(count, rects, mask, color, z, stencil);
    return D3D_OK;
}

HRESULT Device::ClearNow(DWORD count, const D3DRECT* rects, GLbitfield mask, D3DCOLOR color, float z, DWORD stencil)
{
    if (activeDevice != this) Activate();
    if (!replaying_) lastFrameKept_ = false;
    EndMultisample();
    SettleAll();
    float c[4];
    ColorToFloats(color, c);
    glClearColor(c[0], c[1], c[2], c[3]);
    glClearDepth(z);
    glClearStencil(GLint(stencil));
    if (mask & GL_DEPTH_BUFFER_BIT) glDepthMask(GL_TRUE);
    // Clearing is limited to the viewport, and to the rectangles when given.
    glEnable(GL_SCISSOR_TEST);
    const LONG vx0 = LONG(viewport_.X), vy0 = LONG(viewport_.Y);
    const LONG vx1 = vx0 + LONG(viewport_.Width), vy1 = vy0 + LONG(viewport_.Height);
    auto clearRect = [&](LONG x0, LONG y0, LONG x1, LONG y1) {
        TileCoverage::Rect r{int(std::max(x0, vx0)), int(std::max(y0, vy0)), int(std::min(x1, vx1)),
                             int(std::min(y1, vy1))};
        const bool whole = r.x0 == 0 && r.y0 == 0 && r.x1 == int(params_.BackBufferWidth) &&
                           r.y1 == int(params_.BackBufferHeight);
        if (!Clamp(r)) return;
        glScissor(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0);
        glClear(mask);
        // The multisampled depth too, for the draws that go there: over the
        // whole target, only where draws reach it (see BeginMultisample; in a
        // frame drawn again over one rectangle, they stay inside it).
        const GLbitfield msMask = mask & (GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
        if (samples_ > 0 && msMask) {
            if (whole) {
                msClearMask_ = msMask;
                msClearZ_ = z;
                msClearStencil_ = GLint(stencil);
                msCleared_.clear();  // every cell still to clear
                return;
            }
            glBindFramebuffer(GL_FRAMEBUFFER, fbo_);
            glClear(msMask);
            glBindFramebuffer(GL_FRAMEBUFFER, DrawTarget());
        }
    };
    if (count > 0 && rects) {
        for (DWORD i = 0; i < count; ++i) clearRect(rects[i].x1, rects[i].y1, rects[i].x2, rects[i].y2);
    } else {
        clearRect(vx0, vy0, vx1, vy1);
    }
    glDisable(GL_SCISSOR_TEST);
    if (mask & GL_DEPTH_BUFFER_BIT) ApplyRenderState(D3DRS_ZWRITEENABLE);
    return D3D_OK;
}

HRESULT Device::Present(const RECT*, const RECT*, HWND, const RGNDATA*)
{
    if (activeDevice != this) Activate();
    const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
    const Rects changed = recording_ ? FinishRecord() : Rects{{0, 0, w, h}};
    EndMultisample();
    EndHeldFrame();
    // A frame put in the window's surface goes out once its turn comes (see
    // PresentThroughSurface): its interval ends then.
    const bool outLater = output_.kind == Output::Window && surfacePresent_;
    EndFrameStats(!outLater);
    const GLuint source = DrawTarget();
    CountPresent();
    switch (output_.kind) {
    case Output::Window:
        if (surfacePresent_ && !PresentThroughSurface(source, changed)) surfacePresent_ = false;
        if (!surfacePresent_) {
            BlitToWindow(source);
            SDL_GL_SwapWindow(window_);
        }
        break;
    case Output::Host:
        glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
        glPixelStorei(GL_PACK_ALIGNMENT, 4);
        glReadPixels(0, 0, w, h, GL_RGBA, GL_UNSIGNED_BYTE, readback_.data());
        host::SubmitFrame(host::FrameView{readback_.data(), w, h, size_t(w) * 4});
        break;
    case Output::None:
        break;
    }
    if (outLater) EndFrameInterval();
    glBindFramebuffer(GL_FRAMEBUFFER, DrawTarget());
    // The virtual clock moves on by one frame once the frame went out.
    if (output_.kind == Output::Host) host::EndFrame();
    return D3D_OK;
}

namespace {

// Where a w x h frame goes in a ww x wh window: scaled to fit with its aspect
// kept, centred.
struct Fit {
    int x, y, width, height;
};

Fit FitInto(int w, int h, int ww, int wh)
{
    const double scale = std::min(double(ww) / w, double(wh) / h);
    const int dw = std::max(1, int(std::lround(w * scale))), dh = std::max(1, int(std::lround(h * scale)));
    return Fit{(ww - dw) / 2, (wh - dh) / 2, dw, dh};
}

}  // namespace

// Draws the back buffer into the window's back buffer, scaled to fit with its
// aspect kept, black bars beside it; row 0 of the back buffer is the top.
void Device::BlitToWindow(GLuint source)
{
    const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
    int ww = 0, wh = 0;
    SDL_GL_GetDrawableSize(window_, &ww, &wh);
    const Fit fit = FitInto(w, h, ww, wh);
    const GLint dw = fit.width, dh = fit.height, dx = fit.x, dy = fit.y;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, 0);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
    if (dw != ww || dh != wh) {
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
    }
    glBlitFramebuffer(0, 0, w, h, dx, dy + dh, dx + dw, dy, GL_COLOR_BUFFER_BIT,
                      (dw == w && dh == h) ? GL_NEAREST : GL_LINEAR);
    glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, params_.BackBufferFormat == D3DFMT_A8R8G8B8);
}

// The frame read back, then scaled on the CPU into the window's surface, black
// bars beside it, and put on the screen on presenting_ while the program goes
// on with the next frame. Into the surface that holds the previous frame, only
// the `changed` pixels are read back and the ones that read them scaled again;
// the whole surface still goes to the screen. False when the surface cannot
// take it (GL presents instead); a window with no pixels (minimised) shows
// nothing and stays on this path.
bool Device::PresentThroughSurface(GLuint source, const Rects& changed)
{
    // The last frame's surface and read-back buffer are used again here. If it
    // did not reach the window (its surface went with a resize meanwhile), this
    // one is tried on this thread before GL takes over.
    const bool retry = !FinishPresent();
    SDL_Surface* surface = SDL_GetWindowSurface(window_);
    if (!surface) return false;
    if (surface->w <= 0 || surface->h <= 0) return true;
    // Packed 32-bit pixels, whatever the byte order: the surface's layout as GL names it.
    GLenum order;
    switch (surface->format->format) {
    case SDL_PIXELFORMAT_ARGB8888:
    case SDL_PIXELFORMAT_RGB888:
        order = GL_BGRA;
        break;
    case SDL_PIXELFORMAT_ABGR8888:
    case SDL_PIXELFORMAT_BGR888:
        order = GL_RGBA;
        break;
    default:
        return false;
    }
    const GLint w = GLint(params_.BackBufferWidth), h = GLint(params_.BackBufferHeight);
    const bool same = !retry && surface == shownSurface_ && surface->w == shownWidth_ && surface->h == shownHeight_;
    const Rects parts = same ? changed : Rects{{0, 0, w, h}};
    shownSurface_ = surface;
    shownWidth_ = surface->w;
    shownHeight_ = surface->h;
    glBindFramebuffer(GL_READ_FRAMEBUFFER, source);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, w);
    for (const TileCoverage::Rect& r : parts)
        glReadPixels(r.x0, r.y0, r.x1 - r.x0, r.y1 - r.y0, order, GL_UNSIGNED_INT_8_8_8_8_REV,
                     readback_.data() + (size_t(r.y0) * size_t(w) + size_t(r.x0)) * 4);
    glPixelStorei(GL_PACK_ROW_LENGTH, 0);
    const Fit fit = FitInto(w, h, surface->w, surface->h);
    if (!same && (fit.width != surface->w || fit.height != surface->h)) {
        const Uint32 black = SDL_MapRGB(surface->format, 0, 0, 0);
        const SDL_Rect bars[] = {{0, 0, surface->w, fit.y},
                                 {0, fit.y + fit.height, surface->w, surface->h - fit.y - fit.height},
                                 {0, fit.y, fit.x, fit.height},
                                 {fit.x + fit.width, fit.y, surface->w - fit.x - fit.width, fit.height}};
        for (const SDL_Rect& bar : bars)
            if (bar.w > 0 && bar.h > 0) SDL_FillRect(surface, &bar, black);
    }
    if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return false;
    // A window surface has no vertical sync. Asked for an interval, frames go
    // to it no closer together than a 60 Hz display shows them, as a
    // synchronised swap would wait: a frame that was quick to draw after a slow
    // one is not shown early, so frames keep an even pace.
    const auto now = std::chrono::steady_clock::now();
    if (params_.PresentationInterval != D3DPRESENT_INTERVAL_IMMEDIATE && now < lastShown_ + kDisplayPeriod)
        std::this_thread::sleep_until(lastShown_ + kDisplayPeriod);
    lastShown_ = std::chrono::steady_clock::now();
    presenting_.Post([this, surface, w, h, fit, parts] {
        scaler_.Prepare(w, h, fit.width, fit.height);
        uint8_t* pixels = static_cast<uint8_t*>(surface->pixels);
        for (const TileCoverage::Rect& r : parts)
            scaler_.Scale(readback_.data(), size_t(w) * 4,
                          pixels + size_t(fit.y) * surface->pitch + size_t(fit.x) * 4, size_t(surface->pitch),
                          scaler_.Reaching(r.x0, r.y0, r.x1, r.y1));
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        std::lock_guard<std::mutex> lock(SdlWindowLock());
        presented_ = SDL_UpdateWindowSurface(window_) == 0;
    });
    return retry ? FinishPresent() : true;
}

// Waits until the frame handed to presenting_ is on the screen; false when it
// could not be put there.
bool Device::FinishPresent()
{
    presenting_.Wait();
    return presented_;
}

bool Device::ReadWindow(std::vector<uint8_t>& rgba, int& width, int& height)
{
    if (!window_ || !MakeCurrent()) return false;
    FinishPresent();
    if (surfacePresent_) {
        // What the last Present put in the window's surface.
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface) return false;
        width = surface->w;
        height = surface->h;
        rgba.resize(size_t(width) * size_t(height) * 4);
        return SDL_ConvertPixels(width, height, surface->format->format, surface->pixels, surface->pitch,
                                 SDL_PIXELFORMAT_RGBA32, rgba.data(), width * 4) == 0;
    }
    SDL_GL_GetDrawableSize(window_, &width, &height);
    if (width <= 0 || height <= 0) return false;
    rgba.resize(size_t(width) * size_t(height) * 4);
    // The same drawing as Present's, read from the window's back buffer (the front
    // one cannot be read everywhere).
    EndMultisample();
    BlitToWindow(DrawTarget());
    glBindFramebuffer(GL_READ_FRAMEBUFFER, 0);
    glReadBuffer(GL_BACK);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_RGBA, GL_UNSIGNED_BYTE, rgba.data());
    glBindFramebuffer(GL_FRAMEBUFFER, DrawTarget());
    // The window's rows come bottom first.
    const size_t row = size_t(width) * 4;
    std::vector<uint8_t> swap(row);
    for (int y = 0; y < height / 2; ++y) {
        uint8_t* a = &rgba[size_t(y) * row];
        uint8_t* b = &rgba[size_t(height - 1 - y) * row];
        std::memcpy(swap.data(), a, row);
        std::memcpy(a, b, row);
        std::memcpy(b, swap.data(), row);
    }
    return true;
}

bool ReadPresentedWindow(IDirect3DDevice9* device, std::vector<uint8_t>& rgba, int& width, int& height)
{
    return device && static_cast<Device*>(device)->ReadWindow(rgba, width, height);
}

}  // namespace d3d9
