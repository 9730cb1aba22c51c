// mivola-capture: runs the show virtually (headless rendering, offline sound, a
// virtual clock, scripted input, the options dialog answered from flags) and
// writes its frames and sound to files. Prints the program's log and exits with
// its exit code.
#include "app/Startup.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"
#include "platform/host/WavWriter.h"
#include "platform/win32/win32.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

namespace fs = std::filesystem;

namespace {

const char kUsage[] =
    "usage: mivola-capture [options]\n"
    "  --content DIR         run in DIR (the content folder; default: the current directory)\n"
    "  --fps N               frames per second of virtual time (default 60)\n"
    "  --max-seconds S       close the window after S seconds of virtual time (default 600)\n"
    "  --dialog ok|cancel    answer the options dialog with \"1\" or \"0\" (default ok)\n"
    "  --windowed            uncheck \"Run in fullscreen\"\n"
    "  --no-multisample      uncheck multisampling\n"
    "  --low-vram            check low video RAM mode\n"
    "  --modes WxH,...       the virtual adapter's display modes, in order\n"
    "                        (default 1280x720,1280x1024,1920x1080)\n"
    "  --event \"T WHAT ARGS\" an input event at T seconds (repeatable): key escape|space down|up,\n"
    "                        mouse X Y (client pixels), lbutton down|up, close\n"
    "  --script FILE         input events, one a line (blank lines and # comments skipped)\n"
    "  --frames DIR          every presented frame as DIR/frame-NNNNNN.png, numbered from 0\n"
    "  --frame-at T[,T...]   only the first frame presented at or after each T seconds,\n"
    "                        as at-T.png (T as written) in --frame-dir, else --frames, else .\n"
    "  --frame-dir DIR       where --frame-at writes\n"
    "  --video FILE.y4m      every frame into a Y4M video (4:2:0)\n"
    "  --audio FILE.wav      the sound into a WAV file (16-bit stereo, 44.1 kHz)\n";

struct Options {
    std::string content;
    unsigned fps = 60;
    double maxSeconds = 600;
    host::DialogAnswer answer;
    std::vector<host::DisplayMode> modes;
    std::vector<host::InputEvent> events;
    std::string framesDir;
    std::string frameAtDir;
    std::vector<std::pair<double, std::string>> frameAt;   // time, as written
    std::string video;
    std::string audio;
};

[[noreturn]] void Fail(const std::string& message)
{
    std::fprintf(stderr, "mivola-capture: %s\n%s", message.c_str(), kUsage);
    std::exit(2);
}

bool ParseNumber(const std::string& text, double& value)
{
    char* end = nullptr;
    errno = 0;
    value = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0 && errno == 0 && value >= 0 && value < 1e9;
}

std::vector<std::string> Split(const std::string& text, char separator)
{
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        size_t at = text.find(separator, start);
        parts.push_back(text.substr(start, at == std::string::npos ? std::string::npos : at - start));
        if (at == std::string::npos) return parts;
        start = at + 1;
    }
}

void AddEvent(Options& options, const std::string& line, const std::string& where)
{
    host::InputEvent event;
    if (!host::ParseInputEvent(line, event)) Fail("bad event in " + where + ": \"" + line + "\"");
    options.events.push_back(event);
}

// Paths given on the command line are relative to where the tool was started,
// not to the content folder it changes into.
std::string Absolute(const std::string& path)
{
    return path.empty() ? path : fs::absolute(path).string();
}

Options Parse(int argc, char** argv)
{
    Options options;
    for (int i = 1; i < argc; ++i) {
        std::string flag = argv[i];
        auto value = [&]() -> std::string {
            if (i + 1 >= argc) Fail(flag + " needs a value");
            return argv[++i];
        };
        double number = 0;
        if (flag == "--help" || flag == "-h") {
            std::fputs(kUsage, stdout);
            std::exit(0);
        } else if (flag == "--content") {
            options.content = value();
        } else if (flag == "--fps") {
            if (!ParseNumber(value(), number) || number < 1 || number > 1000 || number != static_cast<unsigned>(number))
                Fail("--fps takes a whole number from 1 to 1000");
            options.fps = static_cast<unsigned>(number);
        } else if (flag == "--max-seconds") {
            if (!ParseNumber(value(), number)) Fail("--max-seconds takes a number of seconds");
            options.maxSeconds = number;
        } else if (flag == "--dialog") {
            std::string answer = value();
            if (answer != "ok" && answer != "cancel") Fail("--dialog takes ok or cancel");
            options.answer.accept = answer == "ok";
        } else if (flag == "--windowed") {
            options.answer.fullscreen = false;
        } else if (flag == "--no-multisample") {
            options.answer.multisample = false;
        } else if (flag == "--low-vram") {
            options.answer.lowVideoRam = true;
        } else if (flag == "--modes") {
            for (const std::string& mode : Split(value(), ',')) {
                unsigned w = 0, h = 0;
                char tail = 0;
                if (std::sscanf(mode.c_str(), "%ux%u%c", &w, &h, &tail) != 2 || w == 0 || h == 0 || w > 16384 ||
                    h > 16384)
                    Fail("bad mode \"" + mode + "\" (WxH)");
                options.modes.push_back({w, h, 60});
            }
        } else if (flag == "--event") {
            AddEvent(options, value(), "--event");
        } else if (flag == "--script") {
            std::string path = value();
            std::ifstream file(path);
            if (!file) Fail("cannot read " + path);
            std::string line;
            while (std::getline(file, line)) {
                size_t first = line.find_first_not_of(" \t\r");
                if (first == std::string::npos || line[first] == '#') continue;
                AddEvent(options, line, path);
            }
        } else if (flag == "--frames") {
            options.framesDir = Absolute(value());
        } else if (flag == "--frame-dir") {
            options.frameAtDir = Absolute(value());
        } else if (flag == "--frame-at") {
            for (const std::string& t : Split(value(), ',')) {
                if (!ParseNumber(t, number)) Fail("bad --frame-at time \"" + t + "\"");
                options.frameAt.push_back({number, t});
            }
        } else if (flag == "--video") {
            options.video = Absolute(value());
        } else if (flag == "--audio") {
            options.audio = Absolute(value());
        } else {
            Fail("unknown option " + flag);
        }
    }
    if (options.frameAtDir.empty()) options.frameAtDir = options.framesDir.empty() ? Absolute(".") : options.framesDir;
    return options;
}

// Writes frames as raw 4:2:0 Y'CbCr (BT.601, studio range) in a Y4M stream.
class Y4mWriter {
public:
    bool Open(const std::string& path, unsigned fps)
    {
        file_ = std::fopen(path.c_str(), "wb");
        fps_ = fps;
        return file_ != nullptr;
    }

    void Write(const host::FrameView& frame)
    {
        if (!file_ || frame.width <= 0 || frame.height <= 0) return;
        if (width_ == 0) {
            width_ = frame.width;
            height_ = frame.height;
            std::fprintf(file_, "YUV4MPEG2 W%d H%d F%u:1 Ip A1:1 C420jpeg\n", width_, height_, fps_);
        }
        if (frame.width != width_ || frame.height != height_) return;
        int cw = (width_ + 1) / 2, ch = (height_ + 1) / 2;
        planes_.resize(static_cast<size_t>(width_ * height_ + 2 * cw * ch));
        uint8_t* y = planes_.data();
        uint8_t* u = y + width_ * height_;
        uint8_t* v = u + cw * ch;
        auto pixel = [&](int px, int py) {
            px = px < width_ ? px : width_ - 1;
            py = py < height_ ? py : height_ - 1;
            return frame.pixels + static_cast<size_t>(py) * frame.stride + static_cast<size_t>(px) * 4;
        };
        for (int py = 0; py < height_; ++py)
            for (int px = 0; px < width_; ++px) {
                const uint8_t* p = pixel(px, py);
                y[py * width_ + px] = static_cast<uint8_t>((66 * p[0] + 129 * p[1] + 25 * p[2] + 128 + 4096) >> 8);
            }
        for (int cy = 0; cy < ch; ++cy)
            for (int cx = 0; cx < cw; ++cx) {
                int r = 0, g = 0, b = 0;
                for (int k = 0; k < 4; ++k) {
                    const uint8_t* p = pixel(cx * 2 + (k & 1), cy * 2 + (k >> 1));
                    r += p[0];
                    g += p[1];
                    b += p[2];
                }
                u[cy * cw + cx] = static_cast<uint8_t>(((-38 * r - 74 * g + 112 * b) / 4 + 128 + 32768) >> 8);
                v[cy * cw + cx] = static_cast<uint8_t>(((112 * r - 94 * g - 18 * b) / 4 + 128 + 32768) >> 8);
            }
        std::fputs("FRAME\n", file_);
        std::fwrite(planes_.data(), 1, planes_.size(), file_);
    }

    void Close()
    {
        if (file_) std::fclose(file_);
        file_ = nullptr;
    }

private:
    std::FILE* file_ = nullptr;
    unsigned fps_ = 60;
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> planes_;
};

std::string FramePath(const std::string& dir, uint64_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(index));
    return (fs::path(dir) / name).string();
}

}  // namespace

int main(int argc, char** argv)
{
    Options options = Parse(argc, argv);

    host::SetRunMode(host::RunMode::Virtual);
    host::SetFps(options.fps);
    if (!options.modes.empty()) host::SetVirtualModes(options.modes);
    host::SetDialogAnswer(options.answer);
    for (const host::InputEvent& event : options.events) host::ScheduleInput(event);
    host::InputEvent close;
    close.time = options.maxSeconds;
    close.kind = host::InputEvent::Close;
    host::ScheduleInput(close);

    for (const std::string& dir : {options.framesDir, options.frameAt.empty() ? std::string() : options.frameAtDir})
        if (!dir.empty()) {
            std::error_code error;
            fs::create_directories(dir, error);
        }
    if (!options.audio.empty() && !host::CaptureSoundToWav(options.audio)) Fail("cannot write " + options.audio);
    auto video = std::make_shared<Y4mWriter>();
    if (!options.video.empty()) {
        if (!video->Open(options.video, options.fps)) Fail("cannot write " + options.video);
        host::AddExitHook([video] { video->Close(); });
    }

    auto frameAt = std::make_shared<std::vector<std::pair<double, std::string>>>(options.frameAt);
    auto written = std::make_shared<std::vector<bool>>(frameAt->size(), false);
    uint64_t index = 0;
    std::string framesDir = options.framesDir, frameAtDir = options.frameAtDir;
    unsigned fps = options.fps;
    bool wantVideo = !options.video.empty();
    if (!framesDir.empty() || !frameAt->empty() || wantVideo) {
        host::SetFrameSink([=, &index](const host::FrameView& frame) mutable {
            double seconds = static_cast<double>(index) / fps;
            if (!framesDir.empty()) host::WritePng(FramePath(framesDir, index), frame);
            for (size_t k = 0; k < frameAt->size(); ++k) {
                if ((*written)[k] || seconds + 1e-9 < (*frameAt)[k].first) continue;
                (*written)[k] = true;
                host::WritePng((fs::path(frameAtDir) / ("at-" + (*frameAt)[k].second + ".png")).string(), frame);
            }
            if (wantVideo) video->Write(frame);
            ++index;
        });
    }

    if (!options.content.empty() && chdir(options.content.c_str()) != 0)
        Fail("cannot enter " + options.content + ": " + std::strerror(errno));

    int code = MivolaMain();
    host::RunExitHooks();
    LogFlush();
    return code;
}
