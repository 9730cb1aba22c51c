#include "platform/host/Host.h"

#include <algorithm>
#include <cstdlib>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <unistd.h>

namespace host {
namespace {

struct State {
    RunMode mode = RunMode::Live;
    unsigned fps = 60;
    uint64_t frame = 0;
    std::map<int, std::function<void()>> frameHooks;
    int nextHookId = 1;
    std::vector<DisplayMode> modes{{1280, 720, 60}, {1280, 1024, 60}, {1920, 1080, 60}};
    FrameSink frameSink;
    SoundSink soundSink;
    std::vector<InputEvent> pending;  // sorted by time, stable
    bool keys[256] = {};
    bool pressed[256] = {};  // went down since the key was last looked at
    int cursorX = 0, cursorY = 0;
    std::vector<VirtualMessage> messages;
    DialogAnswer dialog;
    std::vector<std::function<void()>> exitHooks;
    bool exited = false;
};

State& S()
{
    static State state;
    return state;
}

std::mutex exitMutex;

}  // namespace

void SetRunMode(RunMode mode)
{
    S().mode = mode;
    // Live runs leave the software rasteriser (llvmpipe) its default of a thread
    // per core: the sound threads run at raised priority and are served first
    // without a core kept idle for them.
}
RunMode GetRunMode()
{
    return S().mode;
}
bool IsVirtual()
{
    return S().mode == RunMode::Virtual;
}

void SetFps(unsigned fps)
{
    S().fps = fps ? fps : 60;
}
unsigned Fps()
{
    return S().fps;
}
uint64_t FrameIndex()
{
    return S().frame;
}
uint32_t VirtualElapsedMs()
{
    return static_cast<uint32_t>(S().frame * 1000 / S().fps);
}
double VirtualSeconds()
{
    return static_cast<double>(S().frame) / S().fps;
}
uint64_t SampleFramesAt(uint64_t frame)
{
    return frame * 44100 / S().fps;
}

void EndFrame()
{
    State& s = S();
    ++s.frame;
    // Copy: a hook may remove itself.
    std::vector<std::function<void()>> hooks;
    for (auto& [id, hook] : s.frameHooks) hooks.push_back(hook);
    for (auto& hook : hooks) hook();
    ApplyDueInput();
}

int AddFrameHook(std::function<void()> hook)
{
    int id = S().nextHookId++;
    S().frameHooks[id] = std::move(hook);
    return id;
}

void RemoveFrameHook(int id)
{
    S().frameHooks.erase(id);
}

void SetVirtualModes(std::vector<DisplayMode> modes)
{
    S().modes = std::move(modes);
}
const std::vector<DisplayMode>& VirtualModes()
{
    return S().modes;
}

void SetFrameSink(FrameSink sink)
{
    S().frameSink = std::move(sink);
}
void SubmitFrame(const FrameView& frame)
{
    if (S().frameSink) S().frameSink(frame);
}

void SetSoundSink(SoundSink sink)
{
    S().soundSink = std::move(sink);
}
void SubmitSound(const int16_t* samples, size_t frames)
{
    if (S().soundSink) S().soundSink(samples, frames);
}
bool HasSoundSink()
{
    return static_cast<bool>(S().soundSink);
}

bool ParseInputEvent(const std::string& line, InputEvent& out)
{
    std::istringstream in(line);
    std::string what;
    if (!(in >> out.time >> what) || out.time < 0) return false;
    if (what == "key") {
        std::string key, state;
        if (!(in >> key >> state)) return false;
        if (key == "escape") out.key = 0x1B;
        else if (key == "space") out.key = 0x20;
        else return false;
        if (state == "down") out.kind = InputEvent::KeyDown;
        else if (state == "up") out.kind = InputEvent::KeyUp;
        else return false;
    } else if (what == "mouse") {
        if (!(in >> out.x >> out.y)) return false;
        out.kind = InputEvent::MouseMove;
    } else if (what == "lbutton") {
        std::string state;
        if (!(in >> state)) return false;
        if (state == "down") out.kind = InputEvent::ButtonDown;
        else if (state == "up") out.kind = InputEvent::ButtonUp;
        else return false;
    } else if (what == "close") {
        out.kind = InputEvent::Close;
    } else {
        return false;
    }
    std::string rest;
    return !(in >> rest);
}

void ScheduleInput(const InputEvent& event)
{
    auto& pending = S().pending;
    auto at = std::upper_bound(pending.begin(), pending.end(), event,
                               [](const InputEvent& a, const InputEvent& b) { return a.time < b.time; });
    pending.insert(at, event);
}

void ApplyDueInput()
{
    State& s = S();
    // Compare in whole frames' time so an event at T applies on the first frame at or after T.
    double now = VirtualSeconds() + 1e-9;
    size_t taken = 0;
    for (; taken < s.pending.size() && s.pending[taken].time <= now; ++taken) {
        const InputEvent& e = s.pending[taken];
        switch (e.kind) {
        case InputEvent::KeyDown:
            s.keys[e.key & 0xFF] = true;
            s.pressed[e.key & 0xFF] = true;
            break;
        case InputEvent::KeyUp:
            s.keys[e.key & 0xFF] = false;
            break;
        case InputEvent::MouseMove:
            s.cursorX = e.x;
            s.cursorY = e.y;
            break;
        case InputEvent::ButtonDown:
            s.keys[0x01] = true;
            s.messages.push_back(VirtualMessage::ButtonDown);
            break;
        case InputEvent::ButtonUp:
            s.keys[0x01] = false;
            s.messages.push_back(VirtualMessage::ButtonUp);
            break;
        case InputEvent::Close:
            s.messages.push_back(VirtualMessage::Close);
            break;
        }
    }
    s.pending.erase(s.pending.begin(), s.pending.begin() + static_cast<long>(taken));
}

bool VirtualKeyDown(int virtualKey)
{
    State& s = S();
    int k = virtualKey & 0xFF;
    bool down = s.keys[k] || s.pressed[k];
    s.pressed[k] = false;
    return down;
}

void VirtualCursor(int& clientX, int& clientY)
{
    clientX = S().cursorX;
    clientY = S().cursorY;
}

VirtualMessage PopVirtualMessage()
{
    auto& messages = S().messages;
    if (messages.empty()) return VirtualMessage::None;
    VirtualMessage m = messages.front();
    messages.erase(messages.begin());
    return m;
}

void SetDialogAnswer(const DialogAnswer& answer)
{
    S().dialog = answer;
}
const DialogAnswer& GetDialogAnswer()
{
    return S().dialog;
}

void AddExitHook(std::function<void()> hook)
{
    S().exitHooks.push_back(std::move(hook));
}

void RunExitHooks()
{
    std::lock_guard<std::mutex> lock(exitMutex);
    State& s = S();
    if (s.exited) return;
    s.exited = true;
    for (auto& hook : s.exitHooks) hook();
}

void Reset()
{
    S() = State{};
}

}  // namespace host
