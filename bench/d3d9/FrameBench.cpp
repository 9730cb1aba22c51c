// An interface-shaped frame, headless at 1280 x 720: four full-screen
// alpha-blended picture layers and 150 small quads with changing states. Drawn
// through the device and, as the rasteriser's own limit, by a minimal program
// calling OpenGL directly in the same context. Both read the frame back.
//
// Counters: ms per frame (real time) and submit_cpu_ms, the thread CPU time
// spent issuing the frame before the final read-back. The device's own cost is
// its submit time minus the direct program's.
//
// Every frame is drawn whole: the same frame again would otherwise draw nothing.
//
// Then a 1280 x 720 frame scaled to 1920 x 1080 as a fullscreen window shows it:
// by OpenGL's linear blit, and by the CPU scaler used without a GPU.

#include <benchmark/benchmark.h>
#include <epoxy/gl.h>

#include <cstring>
#include <ctime>
#include <vector>

#include "platform/d3d9/D3d9Stats.h"
#include "platform/d3d9/FrameScaler.h"
#include "platform/d3d9/d3d9.h"
#include "platform/host/Host.h"

namespace {

constexpr int kWidth = 1280, kHeight = 720, kLayers = 4, kSmallQuads = 150;

double ThreadCpuMs()
{
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

uint32_t LayerTexel(int layer, int x, int y)
{
    return uint32_t(((x * 3 + y + layer * 40) & 255) << 24 | ((x + layer * 60) & 255) << 16 |
                    ((y * 2) & 255) << 8 | ((x ^ y) & 255));
}

struct Vertex {
    float x, y, z, nx, ny, nz;
    uint32_t color;
    float u0, v0, u1, v1;
};

// ---- through the device ----------------------------------------------------------

struct DeviceScene {
    IDirect3D9* d3d = nullptr;
    IDirect3DDevice9* device = nullptr;
    IDirect3DVertexBuffer9* quad = nullptr;
    IDirect3DTexture9* layers[kLayers] = {};
    IDirect3DTexture9* small[2] = {};

    bool Init()
    {
        host::SetRunMode(host::RunMode::Virtual);
        host::SetFrameSink([](const host::FrameView&) {});
        d3d = Direct3DCreate9(D3D_SDK_VERSION);
        D3DPRESENT_PARAMETERS pp{};
        pp.BackBufferWidth = kWidth;
        pp.BackBufferHeight = kHeight;
        pp.BackBufferFormat = D3DFMT_X8R8G8B8;
        pp.Windowed = TRUE;
        pp.EnableAutoDepthStencil = TRUE;
        pp.AutoDepthStencilFormat = D3DFMT_D24X8;
        if (!d3d || d3d->CreateDevice(0, D3DDEVTYPE_HAL, nullptr, D3DCREATE_HARDWARE_VERTEXPROCESSING, &pp,
                                      &device) != D3D_OK)
            return false;
        device->CreateVertexBuffer(176, 0, 0x252, D3DPOOL_MANAGED, &quad, nullptr);
        const Vertex v[4] = {{-1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 0, 0, 0},
                             {-1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 0, 1, 0, 1},
                             {1, -1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 0, 1, 0},
                             {1, 1, 1, 0, 0, 1, 0xFFFFFFFF, 1, 1, 1, 1}};
        void* p;
        quad->Lock(0, 176, &p, 0);
        std::memcpy(p, v, sizeof v);
        quad->Unlock();
        for (int l = 0; l < kLayers; ++l) layers[l] = MakeTexture(2048, 1024, l);
        for (int s = 0; s < 2; ++s) small[s] = MakeTexture(32, 32, 7 + s);
        device->SetRenderState(D3DRS_ZENABLE, FALSE);
        device->SetRenderState(D3DRS_CULLMODE, D3DCULL_NONE);
        device->SetRenderState(D3DRS_LIGHTING, FALSE);
        device->SetRenderState(D3DRS_ALPHABLENDENABLE, TRUE);
        device->SetRenderState(D3DRS_SRCBLEND, D3DBLEND_SRCALPHA);
        device->SetRenderState(D3DRS_DESTBLEND, D3DBLEND_INVSRCALPHA);
        device->SetTextureStageState(0, D3DTSS_COLOROP, D3DTOP_SELECTARG1);
        device->SetTextureStageState(0, D3DTSS_COLORARG1, D3DTA_TEXTURE);
        for (auto s : {D3DSAMP_MINFILTER, D3DSAMP_MAGFILTER}) device->SetSamplerState(0, s, D3DTEXF_LINEAR);
        return true;
    }

    IDirect3DTexture9* MakeTexture(UINT w, UINT h, int seed)
    {
        IDirect3DTexture9* t = nullptr;
        device->CreateTexture(w, h, 1, 0, D3DFMT_A8R8G8B8, D3DPOOL_MANAGED, &t, nullptr);
        D3DLOCKED_RECT lr;
        t->LockRect(0, &lr, nullptr, 0);
        for (UINT y = 0; y < h; ++y)
            for (UINT x = 0; x < w; ++x)
                reinterpret_cast<uint32_t*>(static_cast<uint8_t*>(lr.pBits) + y * lr.Pitch)[x] =
                    LayerTexel(seed, int(x), int(y));
        t->UnlockRect(0);
        return t;
    }

    void Draw(float l, float t, float r, float b)
    {
        static const D3DMATRIX proj = {{{2, 0, 0, 0, 0, -2, 0, 0, 0, 0, 0.5f, 0, -1, 1, 0.5f, 1}}};
        static const D3DMATRIX view = {{{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}}};
        float hx = (r - l) * 0.5f, hy = (b - t) * 0.5f;
        D3DMATRIX world = {{{hx, 0, 0, 0, 0, hy, 0, 0, 0, 0, 1, 0, l + hx, t + hy, 0, 1}}};
        device->SetTransform(D3DTS_PROJECTION, &proj);
        device->SetTransform(D3DTS_VIEW, &view);
        device->SetTransform(D3DTS_WORLD, &world);
        device->SetVertexShader(nullptr);
        device->SetPixelShader(nullptr);
        device->SetFVF(0x252);
        device->SetStreamSource(0, quad, 0, 44);
        device->DrawPrimitive(D3DPT_TRIANGLESTRIP, 0, 2);
    }

    // Everything up to the presentation.
    void Submit()
    {
        device->Clear(0, nullptr, D3DCLEAR_TARGET | D3DCLEAR_ZBUFFER, 0, 1.0f, 0);
        device->BeginScene();
        device->SetSamplerState(0, D3DSAMP_ADDRESSU, D3DTADDRESS_CLAMP);
        device->SetSamplerState(0, D3DSAMP_ADDRESSV, D3DTADDRESS_CLAMP);
        for (int l = 0; l < kLayers; ++l) {
            device->SetRenderState(D3DRS_DESTBLEND, l == 2 ? D3DBLEND_ONE : D3DBLEND_INVSRCALPHA);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, 0xC0FFFFFF);
            device->SetTextureStageState(0, D3DTSS_ALPHAOP, D3DTOP_MODULATE);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG1, D3DTA_TEXTURE);
            device->SetTextureStageState(0, D3DTSS_ALPHAARG2, D3DTA_TFACTOR);
            device->SetTexture(0, layers[l]);
            Draw(0, 0, 1, 1);
        }
        for (int i = 0; i < kSmallQuads; ++i) {
            device->SetRenderState(D3DRS_DESTBLEND, i % 3 ? D3DBLEND_INVSRCALPHA : D3DBLEND_ONE);
            device->SetRenderState(D3DRS_TEXTUREFACTOR, uint32_t(i * 7 % 256) << 24 | 0xFFFFFF);
            device->SetTextureStageState(0, D3DTSS_COLOROP, i % 2 ? D3DTOP_MODULATE : D3DTOP_SELECTARG1);
            device->SetTextureStageState(0, D3DTSS_COLORARG2, D3DTA_TFACTOR);
            device->SetTexture(0, small[i % 2]);
            float x = float(i % 15) / 15, y = float(i / 15) / 10;
            Draw(x, y, x + 32.0f / kWidth, y + 32.0f / kHeight);
        }
        device->EndScene();
    }

    void Release()
    {
        for (auto* t : layers) t->Release();
        for (auto* t : small) t->Release();
        quad->Release();
        device->Release();
        d3d->Release();
    }
};

// ---- direct OpenGL ----------------------------------------------------------------

struct DirectScene {
    GLuint fbo = 0, color = 0, program = 0, vao = 0, vbo = 0;
    GLuint layers[kLayers] = {}, small[2] = {};
    GLint uRect = -1, uFactor = -1, uModulate = -1;
    std::vector<uint8_t> pixels = std::vector<uint8_t>(size_t(kWidth) * kHeight * 4);

    GLuint Texture(int w, int h, int seed)
    {
        std::vector<uint32_t> texels(size_t(w) * h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) texels[size_t(y) * w + x] = LayerTexel(seed, x, y);
        GLuint t;
        glGenTextures(1, &t);
        glBindTexture(GL_TEXTURE_2D, t);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, w, h, 0, GL_BGRA, GL_UNSIGNED_BYTE, texels.data());
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_LINEAR);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, GL_CLAMP_TO_EDGE);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, GL_CLAMP_TO_EDGE);
        return t;
    }

    void Init()
    {
        glGenFramebuffers(1, &fbo);
        glGenRenderbuffers(1, &color);
        glBindRenderbuffer(GL_RENDERBUFFER, color);
        glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, kWidth, kHeight);
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, color);
        const char* vs =
            "#version 330 core\nlayout(location=0) in vec2 p;\nuniform vec4 uRect;\nout vec2 t;\n"
            "void main(){ t = p; gl_Position = vec4(uRect.xy + p * uRect.zw, 0.5, 1.0); }\n";
        const char* fs = "#version 330 core\nin vec2 t;\nuniform sampler2D s;\nuniform vec4 uFactor;\n"
                         "uniform float uModulate;\nout vec4 o;\nvoid main(){ vec4 c = texture(s, t);\n"
                         "o = vec4(mix(c.rgb, c.rgb * uFactor.rgb, uModulate), c.a * uFactor.a); }\n";
        GLuint v = glCreateShader(GL_VERTEX_SHADER), f = glCreateShader(GL_FRAGMENT_SHADER);
        glShaderSource(v, 1, &vs, nullptr);
        glShaderSource(f, 1, &fs, nullptr);
        glCompileShader(v);
        glCompileShader(f);
        program = glCreateProgram();
        glAttachShader(program, v);
        glAttachShader(program, f);
        glLinkProgram(program);
        uRect = glGetUniformLocation(program, "uRect");
        uFactor = glGetUniformLocation(program, "uFactor");
        uModulate = glGetUniformLocation(program, "uModulate");
        const float square[] = {0, 0, 0, 1, 1, 0, 1, 1};
        glGenVertexArrays(1, &vao);
        glBindVertexArray(vao);
        glGenBuffers(1, &vbo);
        glBindBuffer(GL_ARRAY_BUFFER, vbo);
        glBufferData(GL_ARRAY_BUFFER, sizeof square, square, GL_STATIC_DRAW);
        glEnableVertexAttribArray(0);
        glVertexAttribPointer(0, 2, GL_FLOAT, GL_FALSE, 0, nullptr);
        for (int l = 0; l < kLayers; ++l) layers[l] = Texture(2048, 1024, l);
        for (int s = 0; s < 2; ++s) small[s] = Texture(32, 32, 7 + s);
    }

    void Rect(float l, float t, float r, float b)
    {
        glUniform4f(uRect, l * 2 - 1, 1 - t * 2, (r - l) * 2, (t - b) * 2);
        glDrawArrays(GL_TRIANGLE_STRIP, 0, 4);
    }

    void Submit()
    {
        glBindFramebuffer(GL_FRAMEBUFFER, fbo);
        glBindVertexArray(vao);
        glUseProgram(program);
        glViewport(0, 0, kWidth, kHeight);
        glDisable(GL_DEPTH_TEST);
        glDisable(GL_CULL_FACE);
        glColorMask(GL_TRUE, GL_TRUE, GL_TRUE, GL_TRUE);
        glClearColor(0, 0, 0, 1);
        glClear(GL_COLOR_BUFFER_BIT);
        glEnable(GL_BLEND);
        glActiveTexture(GL_TEXTURE0);
        glBindSampler(0, 0);
        for (int l = 0; l < kLayers; ++l) {
            glBlendFunc(GL_SRC_ALPHA, l == 2 ? GL_ONE : GL_ONE_MINUS_SRC_ALPHA);
            glUniform4f(uFactor, 1, 1, 1, 0xC0 / 255.0f);
            glUniform1f(uModulate, 0);
            glBindTexture(GL_TEXTURE_2D, layers[l]);
            Rect(0, 0, 1, 1);
        }
        for (int i = 0; i < kSmallQuads; ++i) {
            glBlendFunc(GL_SRC_ALPHA, i % 3 ? GL_ONE_MINUS_SRC_ALPHA : GL_ONE);
            glUniform4f(uFactor, 1, 1, 1, float(i * 7 % 256) / 255);
            glUniform1f(uModulate, i % 2 ? 1.0f : 0.0f);
            glBindTexture(GL_TEXTURE_2D, small[i % 2]);
            float x = float(i % 15) / 15, y = float(i / 15) / 10;
            Rect(x, y, x + 32.0f / kWidth, y + 32.0f / kHeight);
        }
    }

    void ReadBack() { glReadPixels(0, 0, kWidth, kHeight, GL_RGBA, GL_UNSIGNED_BYTE, pixels.data()); }

    void Release()
    {
        glDeleteTextures(kLayers, layers);
        glDeleteTextures(2, small);
        glDeleteBuffers(1, &vbo);
        glDeleteVertexArrays(1, &vao);
        glDeleteProgram(program);
        glDeleteFramebuffers(1, &fbo);
        glDeleteRenderbuffers(1, &color);
    }
};

void BM_DeviceFrame(benchmark::State& state)
{
    d3d9::SetRedrawEverything(true);
    DeviceScene scene;
    if (!scene.Init()) {
        state.SkipWithError("no device");
        return;
    }
    scene.Submit();
    scene.device->Present(nullptr, nullptr, nullptr, nullptr);  // every configuration seen
    d3d9::Stats before = d3d9::GetStats();
    double submitMs = 0;
    for (auto _ : state) {
        double t0 = ThreadCpuMs();
        scene.Submit();
        submitMs += ThreadCpuMs() - t0;
        scene.device->Present(nullptr, nullptr, nullptr, nullptr);
    }
    d3d9::Stats after = d3d9::GetStats();
    const double n = double(state.iterations());
    state.counters["submit_cpu_ms"] = submitMs / n;
    state.counters["draws_per_frame"] = double(after.drawCalls - before.drawCalls) / n;
    state.counters["compiles"] = double(after.shaderCompiles - before.shaderCompiles);
    state.counters["gl_objects"] = double(after.glObjectsCreated - before.glObjectsCreated);
    state.counters["allocations"] = double(after.allocations - before.allocations);
    scene.Release();
}

void BM_DirectGlFrame(benchmark::State& state)
{
    // The device's headless context is current after a device was made once.
    DeviceScene probe;
    if (!probe.Init()) {
        state.SkipWithError("no context");
        return;
    }
    DirectScene scene;
    scene.Init();
    scene.Submit();
    scene.ReadBack();
    double submitMs = 0;
    for (auto _ : state) {
        double t0 = ThreadCpuMs();
        scene.Submit();
        submitMs += ThreadCpuMs() - t0;
        scene.ReadBack();
    }
    state.counters["submit_cpu_ms"] = submitMs / double(state.iterations());
    scene.Release();
    probe.Release();
}

constexpr int kWindowWidth = 1920, kWindowHeight = 1080;

void BM_ScaleToWindowGl(benchmark::State& state)
{
    DeviceScene probe;  // for its headless context
    if (!probe.Init()) {
        state.SkipWithError("no context");
        return;
    }
    GLuint textures[2], fbos[2];
    glGenTextures(2, textures);
    glGenFramebuffers(2, fbos);
    const int sizes[2][2] = {{kWidth, kHeight}, {kWindowWidth, kWindowHeight}};
    for (int i = 0; i < 2; ++i) {
        glBindTexture(GL_TEXTURE_2D, textures[i]);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, sizes[i][0], sizes[i][1], 0, GL_RGBA, GL_UNSIGNED_BYTE, nullptr);
        glBindFramebuffer(GL_FRAMEBUFFER, fbos[i]);
        glFramebufferTexture2D(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_TEXTURE_2D, textures[i], 0);
    }
    glBindFramebuffer(GL_READ_FRAMEBUFFER, fbos[0]);
    glBindFramebuffer(GL_DRAW_FRAMEBUFFER, fbos[1]);
    for (auto _ : state) {
        glBlitFramebuffer(0, 0, kWidth, kHeight, 0, kWindowHeight, kWindowWidth, 0, GL_COLOR_BUFFER_BIT, GL_LINEAR);
        glFinish();
    }
    glBindFramebuffer(GL_FRAMEBUFFER, 0);
    glDeleteFramebuffers(2, fbos);
    glDeleteTextures(2, textures);
    probe.Release();
}

void BM_ScaleToWindowCpu(benchmark::State& state)
{
    std::vector<uint8_t> frame(size_t(kWidth) * kHeight * 4, 0x5a), window(size_t(kWindowWidth) * kWindowHeight * 4);
    d3d9::FrameScaler scaler;
    scaler.Prepare(kWidth, kHeight, kWindowWidth, kWindowHeight);
    for (auto _ : state) {
        scaler.Scale(frame.data(), size_t(kWidth) * 4, window.data(), size_t(kWindowWidth) * 4);
        benchmark::DoNotOptimize(window.data());
    }
}

BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DirectGlFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DeviceFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_DirectGlFrame)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(3.0);
BENCHMARK(BM_ScaleToWindowGl)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);
BENCHMARK(BM_ScaleToWindowCpu)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
