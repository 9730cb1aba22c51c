#include "platform/d3d9/GlContext.h"

#include <SDL2/SDL.h>
#include <epoxy/egl.h>
#include <epoxy/gl.h>

#include <algorithm>
#include <cstring>

#include "platform/win32/Log.h"
#include "platform/win32/WindowInternal.h"

namespace d3d9 {
namespace {

struct HeadlessState {
    bool tried = false;
    bool ok = false;
    EGLDisplay display = EGL_NO_DISPLAY;
    EGLContext context = EGL_NO_CONTEXT;
    EGLSurface surface = EGL_NO_SURFACE;
};
HeadlessState headless;

struct WindowState {
    SDL_Window* probe = nullptr;
    SDL_GLContext context = nullptr;
    SDL_Window* current = nullptr;
};
WindowState windowed;

bool HasExtension(const char* list, const char* name)
{
    if (!list) return false;
    size_t n = strlen(name);
    for (const char* p = list; (p = strstr(p, name)); p += n)
        if ((p == list || p[-1] == ' ') && (p[n] == ' ' || p[n] == 0)) return true;
    return false;
}

EGLContext CreateCoreContext(EGLDisplay display, EGLConfig config)
{
    const EGLint attribs[] = {EGL_CONTEXT_MAJOR_VERSION,
                              3,
                              EGL_CONTEXT_MINOR_VERSION,
                              3,
                              EGL_CONTEXT_OPENGL_PROFILE_MASK,
                              EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                              EGL_NONE};
    return eglCreateContext(display, config, EGL_NO_CONTEXT, attribs);
}

// Surfaceless Mesa display first (no window system, no GPU needed); then the
// default display with a small pbuffer.
bool CreateHeadless()
{
    const char* clientExt = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (HasExtension(clientExt, "EGL_MESA_platform_surfaceless")) {
        headless.display =
            eglGetPlatformDisplayEXT(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
        EGLint major = 0, minor = 0;
        if (headless.display != EGL_NO_DISPLAY && eglInitialize(headless.display, &major, &minor) &&
            eglBindAPI(EGL_OPENGL_API)) {
            const char* ext = eglQueryString(headless.display, EGL_EXTENSIONS);
            EGLConfig config = EGL_NO_CONFIG_KHR;
            if (!HasExtension(ext, "EGL_KHR_no_config_context")) {
                const EGLint want[] = {EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
                EGLint count = 0;
                eglChooseConfig(headless.display, want, &config, 1, &count);
            }
            headless.context = CreateCoreContext(headless.display, config);
            if (headless.context != EGL_NO_CONTEXT &&
                eglMakeCurrent(headless.display, EGL_NO_SURFACE, EGL_NO_SURFACE, headless.context))
                return true;
            if (headless.context != EGL_NO_CONTEXT) eglDestroyContext(headless.display, headless.context);
            eglTerminate(headless.display);
        }
    }
    headless.display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    EGLint major = 0, minor = 0;
    if (headless.display == EGL_NO_DISPLAY || !eglInitialize(headless.display, &major, &minor) ||
        !eglBindAPI(EGL_OPENGL_API))
        return false;
    const EGLint want[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config;
    EGLint count = 0;
    if (!eglChooseConfig(headless.display, want, &config, 1, &count) || count < 1) return false;
    const EGLint size[] = {EGL_WIDTH, 16, EGL_HEIGHT, 16, EGL_NONE};
    headless.surface = eglCreatePbufferSurface(headless.display, config, size);
    headless.context = CreateCoreContext(headless.display, config);
    return headless.context != EGL_NO_CONTEXT &&
           eglMakeCurrent(headless.display, headless.surface, headless.surface, headless.context);
}

// Only one of the two kinds is current on the thread at a time.
void ReleaseWindowContext()
{
    if (windowed.context && SDL_GL_GetCurrentContext() == windowed.context)
        SDL_GL_MakeCurrent(nullptr, nullptr);
}

void ReleaseHeadlessContext()
{
    if (headless.ok && eglGetCurrentContext() == headless.context)
        eglMakeCurrent(headless.display, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
}

}  // namespace

bool EnsureHeadlessContext()
{
    if (!headless.tried) {
        ReleaseWindowContext();
        headless.tried = true;
        headless.ok = CreateHeadless();
        if (!headless.ok) LogPrintf("[gl] no headless OpenGL 3.3 context available\n");
        return headless.ok;
    }
    if (!headless.ok) return false;
    if (eglGetCurrentContext() == headless.context) return true;
    ReleaseWindowContext();
    return eglMakeCurrent(headless.display, headless.surface, headless.surface, headless.context);
}

bool EnsureWindowContext(SDL_Window* window)
{
    ReleaseHeadlessContext();
    if (!windowed.context) {
        if (!EnsureSdlVideo()) return false;
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MAJOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_MINOR_VERSION, 3);
        SDL_GL_SetAttribute(SDL_GL_CONTEXT_PROFILE_MASK, SDL_GL_CONTEXT_PROFILE_CORE);
        SDL_GL_SetAttribute(SDL_GL_DOUBLEBUFFER, 1);
        SDL_GL_SetAttribute(SDL_GL_DEPTH_SIZE, 0);
        SDL_Window* target = window;
        if (!target) {
            windowed.probe = SDL_CreateWindow("", 0, 0, 1, 1, SDL_WINDOW_OPENGL | SDL_WINDOW_HIDDEN);
            if (!windowed.probe) return false;
            target = windowed.probe;
        }
        windowed.context = SDL_GL_CreateContext(target);
        if (!windowed.context) return false;
        windowed.current = target;
        return true;
    }
    SDL_Window* target = window ? window : (windowed.current ? windowed.current : windowed.probe);
    if (windowed.current == target && SDL_GL_GetCurrentContext() == windowed.context) return true;
    if (SDL_GL_MakeCurrent(target, windowed.context) != 0) {
        // A context made on the probe window may not suit this one: make a new one.
        SDL_GLContext fresh = SDL_GL_CreateContext(target);
        if (!fresh) return false;
        SDL_GL_DeleteContext(windowed.context);
        windowed.context = fresh;
    }
    windowed.current = target;
    return true;
}

const GlCaps& Caps()
{
    static GlCaps caps;
    static bool filled = false;
    if (filled) return caps;
    filled = true;
    glGetIntegerv(GL_MAX_TEXTURE_SIZE, &caps.maxTextureSize);
    const char* renderer = reinterpret_cast<const char*>(glGetString(GL_RENDERER));
    caps.software = renderer && (std::strstr(renderer, "llvmpipe") || std::strstr(renderer, "softpipe"));
    // Textures as large as the cards of its day took; also keeps a picture file
    // that claims a huge size from costing gigabytes.
    caps.maxTextureSize = std::min(caps.maxTextureSize, 8192);
    GLint maxSamples = 0;
    glGetIntegerv(GL_MAX_SAMPLES, &maxSamples);
    auto query = [&](GLenum format, std::vector<int>& out) {
        if (epoxy_gl_version() >= 42 || epoxy_has_gl_extension("GL_ARB_internalformat_query")) {
            GLint n = 0;
            glGetInternalformativ(GL_RENDERBUFFER, format, GL_NUM_SAMPLE_COUNTS, 1, &n);
            if (n > 0) {
                out.resize(size_t(n));
                glGetInternalformativ(GL_RENDERBUFFER, format, GL_SAMPLES, n, out.data());
                return;
            }
        }
        for (int s = 2; s <= maxSamples; s *= 2) out.push_back(s);
    };
    query(GL_RGBA8, caps.colorSamples);
    // Multisampled colour is a texture (so that it can be resolved by drawing),
    // which may allow fewer samples than a renderbuffer.
    GLint textureSamples = 0;
    glGetIntegerv(GL_MAX_COLOR_TEXTURE_SAMPLES, &textureSamples);
    caps.colorSamples.erase(std::remove_if(caps.colorSamples.begin(), caps.colorSamples.end(),
                                           [&](int s) { return s > textureSamples; }),
                            caps.colorSamples.end());
    std::vector<int> depth16, depth24, depth32;
    query(GL_DEPTH_COMPONENT16, depth16);
    query(GL_DEPTH_COMPONENT24, depth24);
    query(GL_DEPTH_COMPONENT32F, depth32);
    // A count usable for every depth format the device may pick.
    for (int s : depth16)
        if (std::count(depth24.begin(), depth24.end(), s) && std::count(depth32.begin(), depth32.end(), s))
            caps.depthSamples.push_back(s);
    while (glGetError() != GL_NO_ERROR) {}
    return caps;
}

}  // namespace d3d9
