// mivola-capture: runs the show virtually (headless rendering, offline sound, a
// virtual clock, scripted input, the options dialog answered from flags) and
// writes its frames, video and sound to files. Prints the program's log on
// standard output, progress and a summary on standard error, and exits with the
// program's exit code, or 1 when an output cannot be written.
#include "app/FrameLoop.h"
#include "app/Startup.h"
#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "platform/d3d9/FrameStats.h"
#include "platform/host/FrameFiles.h"
#include "platform/host/Host.h"
#include "platform/host/WavWriter.h"
#include "platform/win32/Log.h"
#include "platform/win32/Utf8.h"
#include "platform/win32/win32.h"
#include "tools/capture/Chapters.h"
#include "tools/capture/Progress.h"
#include "tools/capture/VideoEncoder.h"
#include "tools/capture/Y4mWriter.h"

#include <cctype>
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
    "  --modes WxH,...       the virtual adapter's display modes, in order (default\n"
    "                        1280x720,1920x1080, a 16:9 desktop: fullscreen is 1280x720)\n"
    "  --event \"T WHAT ARGS\" an input event at T seconds (repeatable): key escape|space down|up,\n"
    "                        mouse X Y, lbutton down|up, close. X Y are client pixels of the\n"
    "                        window's back buffer: interface pixels (0..1279, 0..719) when it\n"
    "                        is windowed or fullscreen at 1280x720, as by default; a taller\n"
    "                        fullscreen mode adds a band above the interface\n"
    "  --script FILE         input events, one a line (blank lines and # comments skipped)\n"
    "  --frames DIR          every presented frame as DIR/frame-NNNNNN.png, numbered from 0\n"
    "  --frame-at T[,T...]   only the first frame presented at or after each T seconds,\n"
    "                        as at-T.png (T as written) in --frame-dir, else --frames, else .\n"
    "  --frame-dir DIR       where --frame-at writes\n"
    "  --video FILE          every frame, and the sound, as a video of the interface (bands\n"
    "                        of a taller mode left out); the extension picks the format:\n"
    "                        .mp4 (H.264, AAC), .webm (VP9, Opus), .mkv (H.264, FLAC),\n"
    "                        .y4m (raw 4:2:0 picture only)\n"
    "  --for youtube|web|archive\n"
    "                        codec settings for the video's use (the options below still\n"
    "                        win): youtube .mp4 as video sites ask for uploads (H.264 High,\n"
    "                        GOPs of half a second, AAC 48 kHz 384 kb/s); web .webm for a\n"
    "                        page (VP9, Opus); archive .mkv, lossless (H.264 RGB, FLAC)\n"
    "  --video-size WxH      scale the picture to WxH (not .y4m; default: the interface's size);\n"
    "                        a whole multiple of it (2560x1440, 3840x2160) repeats each pixel\n"
    "  --crf N               quality, lower is better (default 20 for H.264, 32 for VP9;\n"
    "                        6 and 36 with --for youtube and web)\n"
    "  --preset NAME         H.264 speed preset, ultrafast..veryslow (default fast)\n"
    "  --chapters FILE       the chapters as \"0:00 Intro\" lines, as video sites read them\n"
    "                        from a description (an .mp4 or .mkv video has them anyway):\n"
    "                        the intro, each song that starts (\"Title — Artist\"), the end\n"
    "                        screen\n"
    "  --audio FILE.wav      the sound into a WAV file (16-bit stereo, 44.1 kHz)\n"
    "  --stats               at exit, one line of frame statistics on standard error\n"
    "  --stats-from S        the same, of the frames after S seconds only (a part of the\n"
    "                        show, such as the interface after the intro; no start-up)\n"
    "  --quiet               no progress and no summary on standard error\n";

struct Options {
    std::string content;
    unsigned fps = 60;
    double maxSeconds = 600;
    host::DialogAnswer answer;
    std::vector<host::DisplayMode> modes;
    std::vector<host::InputEvent> events;
    std::string framesDir;
    std::string frameAtDir;
    std::vector<std::pair<double, std::string>> frameAt;  // time, as written
    std::string video;
    int videoWidth = 0, videoHeight = 0;  // 0: the interface's size
    VideoEncoder::Target target = VideoEncoder::Target::Plain;
    std::string targetName;
    std::string chapters;
    int crf = -1;
    std::string preset;
    std::string audio;
    bool quiet = false;
    bool stats = false;
    double statsFrom = 0;  // frames counted from then on
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

bool ParseSize(const std::string& text, unsigned& w, unsigned& h)
{
    char tail = 0;
    return std::sscanf(text.c_str(), "%ux%u%c", &w, &h, &tail) == 2 && w > 0 && h > 0 && w <= 16384 &&
           h <= 16384;
}

std::string Extension(const std::string& path)
{
    std::string ext = fs::path(path).extension().string();
    for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

bool IsY4m(const std::string& path)
{
    return Extension(path) == ".y4m";
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
            if (!ParseNumber(value(), number) || number < 1 || number > 1000 ||
                number != static_cast<unsigned>(number))
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
                if (!ParseSize(mode, w, h)) Fail("bad mode \"" + mode + "\" (WxH)");
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
        } else if (flag == "--video-size") {
            std::string size = value();
            unsigned w = 0, h = 0;
            // 4:2:0 pictures have whole chroma samples only at even sizes.
            if (!ParseSize(size, w, h) || w % 2 || h % 2)
                Fail("bad --video-size \"" + size + "\" (WxH, both even)");
            options.videoWidth = static_cast<int>(w);
            options.videoHeight = static_cast<int>(h);
        } else if (flag == "--for") {
            options.targetName = value();
            if (!VideoEncoder::TargetNamed(options.targetName, options.target))
                Fail("--for takes youtube, web or archive");
        } else if (flag == "--chapters") {
            options.chapters = Absolute(value());
        } else if (flag == "--crf") {
            if (!ParseNumber(value(), number) || number > 63 || number != static_cast<int>(number))
                Fail("--crf takes a whole number (0 to 51 for H.264, 0 to 63 for VP9)");
            options.crf = static_cast<int>(number);
        } else if (flag == "--preset") {
            options.preset = value();
        } else if (flag == "--audio") {
            options.audio = Absolute(value());
        } else if (flag == "--stats") {
            options.stats = true;
        } else if (flag == "--stats-from") {
            if (!ParseNumber(value(), number) || number < 0) Fail("--stats-from takes a number of seconds");
            options.stats = true;
            options.statsFrom = number;
        } else if (flag == "--quiet") {
            options.quiet = true;
        } else {
            Fail("unknown option " + flag);
        }
    }
    if (options.frameAtDir.empty())
        options.frameAtDir = options.framesDir.empty() ? Absolute(".") : options.framesDir;
    if (options.target != VideoEncoder::Target::Plain) {
        std::string ext = VideoEncoder::ExtensionOf(options.target);
        if (Extension(options.video) != ext)
            Fail("--for " + options.targetName + " needs --video FILE" + ext);
        if (options.target == VideoEncoder::Target::Archive && options.crf >= 0)
            Fail("--for archive is lossless: --crf does not apply");
    }
    if (!options.video.empty()) {
        bool encoded = VideoEncoder::Handles(options.video);
        if (!encoded && !IsY4m(options.video)) Fail("--video takes a .mp4, .webm, .mkv or .y4m file");
        if (!encoded && (options.videoWidth || options.crf >= 0 || !options.preset.empty()))
            Fail("--video-size, --crf and --preset need a .mp4, .webm or .mkv video");
        if (!options.preset.empty() && !VideoEncoder::TakesPreset(options.video))
            Fail("--preset is for H.264 (.mp4, .mkv)");
        if (!options.preset.empty() && !VideoEncoder::KnownPreset(options.preset))
            Fail("unknown --preset \"" + options.preset + "\"");
        if (options.crf > 51 && VideoEncoder::TakesPreset(options.video)) Fail("--crf for H.264 is 0 to 51");
    } else if (options.videoWidth || options.crf >= 0 || !options.preset.empty()) {
        Fail("--video-size, --crf and --preset need --video");
    }
    return options;
}

std::string FramePath(const std::string& dir, uint64_t index)
{
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06llu.png", static_cast<unsigned long long>(index));
    return (fs::path(dir) / name).string();
}

std::string Reason(int error)
{
    return error ? std::strerror(error) : "write failed";
}

// A song's chapter title: "Title — Artist" from art.xml, else its file name.
std::string SongTitle(int n)
{
    std::string title, artist;
    if (data.songLabels && n < data.songLabelCount) {
        title = Utf8FromWide(data.songLabels[n].title);
        artist = Utf8FromWide(data.songLabels[n].artist);
    }
    if (title.empty()) title = fs::path(Utf8FromWide(data.songs[n].path)).filename().string();
    else if (!artist.empty()) title += " — " + artist;
    // One line each in a chapter list.
    for (char& c : title)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f) c = ' ';
    return title;
}

// Everything a run writes. A write that fails ends the run at once: the other
// outputs are finished, each failure is reported naming its file, status 1.
struct Run {
    Options options;
    Progress progress{false, 60, 0};
    host::WavWriter wav;
    Y4mWriter y4m;
    VideoEncoder encoder;
    bool y4mOpen = false, encoderOpen = false;
    uint64_t frames = 0;  // presented so far
    Chapters chapters;
    bool endScreenMarked = false;
    bool statsRestarted = false;
    std::vector<bool> frameAtWritten;
    std::vector<std::string> failures;  // "PATH: reason", one per file
    bool finishing = false;

    void Failed(const std::string& path, const std::string& reason)
    {
        for (const std::string& failure : failures)
            if (failure.compare(0, path.size() + 1, path + ":") == 0) return;
        failures.push_back(path + ": " + reason);
        if (!finishing) host::RunExitHooks();  // does not come back
    }

    // Called once, by the exit hooks: finishes every output, then reports.
    void Finish()
    {
        finishing = true;
        progress.Clear();
        if (!options.audio.empty() && !wav.Close()) Failed(options.audio, Reason(wav.ErrorNumber()));
        if (y4mOpen && !y4m.Close()) Failed(options.video, y4m.Error());
        if (encoderOpen && !encoder.Close(chapters.Within(frames))) Failed(options.video, encoder.Error());
        if (!options.chapters.empty()) {
            errno = 0;
            std::ofstream list(options.chapters, std::ios::binary | std::ios::trunc);
            list << Chapters::Text(chapters.Within(frames), options.fps);
            list.close();
            if (!list) Failed(options.chapters, Reason(errno));
        }
        if (!failures.empty()) {
            for (const std::string& failure : failures)
                std::fprintf(stderr, "mivola-capture: cannot write %s\n", failure.c_str());
            LogFlush();
            std::fflush(nullptr);
            _exit(1);
        }
        if (options.quiet) return;
        std::string summary = std::to_string(frames) + " frames, ";
        char seconds[32];
        std::snprintf(seconds, sizeof seconds, "%.2f s", static_cast<double>(frames) / options.fps);
        summary += seconds;
        std::error_code error;
        for (const std::string& file : {options.video, options.audio, options.chapters})
            if (!file.empty())
                summary +=
                    ", " + fs::path(file).filename().string() + " " + ByteSize(fs::file_size(file, error));
        std::fprintf(stderr, "mivola-capture: %s in %.1f s\n", summary.c_str(), progress.Elapsed());
    }

    // The interface's viewport within a frame: a taller fullscreen mode has bands above and below.
    static host::FrameView Interface(const host::FrameView& frame)
    {
        const D3DVIEWPORT9& v = d3d.viewport;
        if (v.Width == 0 || v.Height == 0 || v.X + v.Width > static_cast<DWORD>(frame.width) ||
            v.Y + v.Height > static_cast<DWORD>(frame.height))
            return frame;
        return {frame.pixels + v.Y * frame.stride + v.X * 4, static_cast<int>(v.Width),
                static_cast<int>(v.Height), frame.stride};
    }

    void Frame(const host::FrameView& frame)
    {
        uint64_t n = frames++;
        double seconds = static_cast<double>(n) / options.fps;
        auto png = [&](const std::string& path) {
            errno = 0;
            if (!host::WritePng(path, frame)) Failed(path, Reason(errno));
        };
        if (!options.framesDir.empty()) png(FramePath(options.framesDir, n));
        for (size_t k = 0; k < options.frameAt.size(); ++k) {
            if (frameAtWritten[k] || seconds + 1e-9 < options.frameAt[k].first) continue;
            frameAtWritten[k] = true;
            png((fs::path(options.frameAtDir) / ("at-" + options.frameAt[k].second + ".png")).string());
        }
        // Statistics start again with the frames after --stats-from.
        if (options.statsFrom > 0 && !statsRestarted && seconds + 1e-9 >= options.statsFrom) {
            statsRestarted = true;
            d3d9::EnableFrameStats(false);
            d3d9::EnableFrameStats(true);
        }
        // The end screen's song starts in the frame that switches to it.
        if (!endScreenMarked && screen == ScreenEnd) {
            endScreenMarked = true;
            chapters.Mark(n, "End screen");
        }
        if (y4mOpen && !y4m.Write(Interface(frame))) Failed(options.video, y4m.Error());
        if (encoderOpen) {
            host::FrameView view = Interface(frame);
            if (!encoder.AddFrame(n, view.pixels, view.width, view.height, view.stride))
                Failed(options.video, encoder.Error());
        }
        progress.Frame(n);
    }

    // A song starts with the player's "Playing: N" line, in the frame being drawn;
    // the same line for a paused song resumes it.
    void LogLine(const std::string& line)
    {
        int n = -1;
        char end = 0;
        if (std::sscanf(line.c_str(), "Playing: %d%c", &n, &end) != 2 || end != '\n') return;
        if (!data.songs || n < 0 || n >= data.songCount) return;
        if (player.current == &data.songs[n] && player.paused == 1) return;
        chapters.Mark(frames, SongTitle(n));
    }

    // The samples of the frame interval that just ended.
    void Sound(const int16_t* samples, size_t count)
    {
        if (!options.audio.empty() && !wav.Write(samples, count) && !wav.Ok())
            Failed(options.audio, Reason(wav.ErrorNumber()));
        if (encoderOpen) {
            uint64_t frame = host::FrameIndex();
            uint64_t first = frame ? host::SampleFramesAt(frame - 1) : 0;
            if (!encoder.AddSound(first, samples, count)) Failed(options.video, encoder.Error());
        }
    }
};

// Reports an output that cannot be opened, before anything ran.
[[noreturn]] void CannotWrite(const std::string& path, const std::string& reason)
{
    std::fprintf(stderr, "mivola-capture: cannot write %s: %s\n", path.c_str(), reason.c_str());
    std::exit(1);
}

}  // namespace

int main(int argc, char** argv)
{
    static Run run;
    run.options = Parse(argc, argv);
    const Options& options = run.options;

    host::SetRunMode(host::RunMode::Virtual);
    host::SetFps(options.fps);
    // A 16:9 desktop unless told otherwise: fullscreen is then 1280x720, no bands.
    host::SetVirtualModes(options.modes.empty()
                              ? std::vector<host::DisplayMode>{{1280, 720, 60}, {1920, 1080, 60}}
                              : options.modes);
    host::SetDialogAnswer(options.answer);
    for (const host::InputEvent& event : options.events) host::ScheduleInput(event);
    host::InputEvent close;
    close.time = options.maxSeconds;
    close.kind = host::InputEvent::Close;
    host::ScheduleInput(close);

    for (const std::string& dir :
         {options.framesDir, options.frameAt.empty() ? std::string() : options.frameAtDir})
        if (!dir.empty()) {
            std::error_code error;
            fs::create_directories(dir, error);
            if (!error && !fs::is_directory(dir, error))
                error = std::make_error_code(std::errc::not_a_directory);
            if (error) CannotWrite(dir, error.message());
        }
    if (!options.chapters.empty()) {
        errno = 0;
        std::ofstream list(options.chapters, std::ios::binary | std::ios::trunc);
        if (!list) CannotWrite(options.chapters, Reason(errno));
    }
    if (!options.audio.empty() && !run.wav.Open(options.audio))
        CannotWrite(options.audio, Reason(run.wav.ErrorNumber()));
    if (!options.video.empty() && !VideoEncoder::Handles(options.video)) {
        if (!run.y4m.Open(options.video, options.fps)) CannotWrite(options.video, run.y4m.Error());
        run.y4mOpen = true;
    } else if (!options.video.empty()) {
        VideoEncoder::Settings video;
        video.path = options.video;
        video.width = options.videoWidth ? options.videoWidth : settings.width;
        video.height = options.videoHeight ? options.videoHeight : settings.height;
        video.fps = options.fps;
        video.target = options.target;
        video.chapters = true;
        video.crf = options.crf;
        video.preset = options.preset;
        if (!run.encoder.Open(video)) CannotWrite(options.video, run.encoder.Error());
        run.encoderOpen = true;
    }
    run.frameAtWritten.assign(options.frameAt.size(), false);
    run.progress = Progress(!options.quiet, options.fps, options.maxSeconds);
    run.chapters.Mark(0, "Intro");
    SetLogSink([](const std::string& line) { run.LogLine(line); });
    host::AddExitHook([] { run.Finish(); });
    if (options.stats) {
        d3d9::EnableFrameStats(true);
        host::AddExitHook([] { std::fprintf(stderr, "%s\n", d3d9::ActiveFrameStats()->Line().c_str()); });
    }
    host::SetFrameSink([](const host::FrameView& frame) { run.Frame(frame); });
    if (!options.audio.empty() || run.encoderOpen)
        host::SetSoundSink([](const int16_t* samples, size_t count) { run.Sound(samples, count); });

    if (!options.content.empty() && chdir(options.content.c_str()) != 0)
        Fail("cannot enter " + options.content + ": " + std::strerror(errno));

    int code = MivolaMain();
    host::RunExitHooks();
    LogFlush();
    return code;
}
