// The host decides whether a run is live (a window, the sound card, the real
// clock and input) or virtual (headless, offline sound, a virtual clock advanced
// by each presented frame, input from a script). The stand-ins ask it which, and
// in virtual runs hand it their frames and sound.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace host {

enum class RunMode { Live, Virtual };

void SetRunMode(RunMode mode);
RunMode GetRunMode();
bool IsVirtual();

// ---- virtual clock ---------------------------------------------------------
// GetTickCount in a virtual run reads kVirtualTickBase + VirtualElapsedMs().
constexpr uint32_t kVirtualTickBase = 0x10000000u;
void SetFps(unsigned fps);
unsigned Fps();
uint64_t FrameIndex();        // frames presented so far
uint32_t VirtualElapsedMs();  // floor(FrameIndex() * 1000 / fps)
double VirtualSeconds();      // FrameIndex() / fps
// Sample frames (at 44.1 kHz) that belong to the first n frames: floor(n * 44100 / fps).
uint64_t SampleFramesAt(uint64_t frame);

// Called by Present in virtual runs once the frame went to the frame sink: the
// clock moves on by one frame, then the frame hooks run in order of
// registration (the audio stand-in mixes the interval and fires its syncs),
// then scripted input that is now due is applied.
void EndFrame();
int AddFrameHook(std::function<void()> hook);
void RemoveFrameHook(int id);

// ---- display modes of the virtual adapter ------------------------------------
struct DisplayMode {
    uint32_t width, height, refreshRate;
};
void SetVirtualModes(std::vector<DisplayMode> modes);
const std::vector<DisplayMode>& VirtualModes();  // default 1280x720, 1280x1024, 1920x1080

// ---- frame sink ------------------------------------------------------------
// RGBA, 8 bits a channel, rows top first.
struct FrameView {
    const uint8_t* pixels;
    int width;
    int height;
    size_t stride;  // bytes per row
};
using FrameSink = std::function<void(const FrameView&)>;
void SetFrameSink(FrameSink sink);
void SubmitFrame(const FrameView& frame);  // called by Present in virtual runs

// ---- sound sink ------------------------------------------------------------
// Interleaved 16-bit stereo at 44.1 kHz, exactly the samples of each frame interval.
using SoundSink = std::function<void(const int16_t* samples, size_t frames)>;
void SetSoundSink(SoundSink sink);
void SubmitSound(const int16_t* samples, size_t frames);
bool HasSoundSink();

// ---- scripted input (virtual runs) ---------------------------------------------
struct InputEvent {
    enum Kind { KeyDown, KeyUp, MouseMove, ButtonDown, ButtonUp, Close };
    double time = 0;  // seconds of virtual time since start
    Kind kind = KeyDown;
    int key = 0;       // virtual-key code for KeyDown / KeyUp
    int x = 0, y = 0;  // client pixels for MouseMove
};
// Parses "T WHAT ARGS": "key escape|space down|up", "mouse X Y", "lbutton down|up",
// "close". Returns false on a malformed line.
bool ParseInputEvent(const std::string& line, InputEvent& out);
void ScheduleInput(const InputEvent& event);
// Applies every scheduled event whose time has come (EndFrame calls it too).
void ApplyDueInput();

// State the Win32 stand-in reads in virtual runs. A key reads as down while it
// is held, and once more after a press that was released before anyone looked,
// so a tap shorter than a frame still counts.
bool VirtualKeyDown(int virtualKey);
void VirtualCursor(int& clientX, int& clientY);
// Button and close events become window messages, taken in order.
enum class VirtualMessage { None, ButtonDown, ButtonUp, Close };
VirtualMessage PopVirtualMessage();

// ---- options dialog answer (virtual runs) ---------------------------------------
struct DialogAnswer {
    bool accept = true;        // "1" (true) or "0" (false)
    bool fullscreen = true;    // state of "Run in fullscreen" when accepted
    bool multisample = true;   // state of the multisampling box
    bool lowVideoRam = false;  // state of the low video RAM box
};
void SetDialogAnswer(const DialogAnswer& answer);
const DialogAnswer& GetDialogAnswer();

// ---- end of process ----------------------------------------------------------
// Outputs that must be finished before the process ends (WAV, Y4M writers)
// register here; ExitProcess and a normal return both run them once.
void AddExitHook(std::function<void()> hook);
void RunExitHooks();

// Resets every virtual-run setting and all state (tests).
void Reset();

}  // namespace host
