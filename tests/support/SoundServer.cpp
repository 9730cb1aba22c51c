#include "tests/support/SoundServer.h"

#include "tests/support/Files.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace support {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

double SteadyNow()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool OnPath(const std::string& program)
{
    return std::system(("command -v " + program + " >/dev/null 2>&1").c_str()) == 0;
}

pid_t Spawn(const std::vector<std::string>& args, const std::string& out)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    // A process group of its own, so that stopping it stops what it started.
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    pid_t pid = -1;
    if (posix_spawnp(&pid, argv[0], &actions, &attributes, argv.data(), environ) != 0) pid = -1;
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    return pid;
}

void StopProcess(pid_t pid)
{
    if (pid <= 0) return;
    ::kill(-pid, SIGTERM);
    int status = 0;
    ::waitpid(pid, &status, 0);
}

std::string SoundServer::Missing(Kind kind)
{
    std::vector<std::string> tools = {"parec", "pactl"};
    if (kind == PulseAudio) tools.insert(tools.end(), {"pulseaudio", "chrt"});
    else tools.insert(tools.end(), {"pipewire", "pipewire-pulse", "wireplumber", "dbus-run-session"});
    std::string missing;
    for (const std::string& t : tools)
        if (!OnPath(t)) missing += (missing.empty() ? "" : " ") + t;
    return missing;
}

SoundServer::SoundServer(Kind kind)
{
    fs::path run = TempPath(kind == PulseAudio ? "pulse" : "pipewire");
    fs::remove_all(run);
    fs::create_directories(run);
    fs::permissions(run, fs::perms::owner_all, fs::perm_options::replace);
    setenv("XDG_RUNTIME_DIR", run.c_str(), 1);
    setenv("PULSE_SERVER", ("unix:" + (run / "pulse/native").string()).c_str(), 1);
    unsetenv("DISPLAY");
    if (kind == PulseAudio) {
        // At real-time priority, as a desktop's sound server's threads run through rtkit.
        pids_.push_back(Spawn({"chrt", "-r", "5", "pulseaudio", "--daemonize=no", "--exit-idle-time=-1", "-n",
                               "--load=module-native-protocol-unix",
                               std::string("--load=module-null-sink sink_name=") + kSink}));
    } else {
        // The session manager wants a session bus; the three share one.
        pids_.push_back(Spawn({"dbus-run-session", "--", "sh", "-c",
                               "pipewire & sleep 0.3; wireplumber & pipewire-pulse & wait"}));
    }
    if (pids_.back() <= 0) return;
    bool up = false;
    for (int i = 0; i < 100 && !up; ++i) {
        std::this_thread::sleep_for(100ms);
        up = std::system("pactl info >/dev/null 2>&1") == 0;
    }
    if (!up) return;
    if (kind == PipeWire)
        std::system(
            ("pactl load-module module-null-sink sink_name=" + std::string(kSink) + " >/dev/null 2>&1")
                .c_str());
    bool sink = false;
    for (int i = 0; i < 50 && !sink; ++i) {
        sink =
            std::system(("pactl list short sinks 2>/dev/null | grep -q " + std::string(kSink)).c_str()) == 0;
        if (!sink) std::this_thread::sleep_for(100ms);
    }
    if (!sink) return;
    if (kind == PulseAudio) {
        // The server lowers its main thread, which answers the clients, to normal
        // scheduling; on a desktop the whole sound path runs at real-time priority.
        std::system(("chrt -a -r -p 5 " + std::to_string(pids_.back()) + " >/dev/null 2>&1").c_str());
    }
    started_ =
        std::system(("pactl set-default-sink " + std::string(kSink) + " >/dev/null 2>&1").c_str()) == 0;
}

SoundServer::~SoundServer()
{
    for (pid_t pid : pids_) StopProcess(pid);
}

Recorder::Recorder(const std::string& device)
{
    int fds[2];
    if (::pipe(fds) != 0) return;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addclose(&actions, fds[0]);
    std::string source = "--device=" + device;
    const char* argv[] = {"parec",        source.c_str(),      "--raw", "--format=s16le", "--rate=44100",
                          "--channels=2", "--latency-msec=10", nullptr};
    if (posix_spawnp(&pid_, "parec", &actions, nullptr, const_cast<char**>(argv), environ) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(fds[1]);
    fd_ = fds[0];
    if (pid_ > 0) thread_ = std::thread([this] { Read(); });
}

void Recorder::Finish()
{
    if (pid_ <= 0) return;
    ::kill(pid_, SIGTERM);
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
    thread_.join();
    ::close(fd_);
}

void Recorder::Read()
{
    std::vector<uint8_t> bytes;
    uint8_t buffer[8192];
    ssize_t n;
    while ((n = ::read(fd_, buffer, sizeof buffer)) > 0) {
        double arrived = SteadyNow();
        bytes.insert(bytes.end(), buffer, buffer + n);
        arrivals_.push_back({arrived, static_cast<int64_t>(bytes.size() / 4)});
    }
    samples.resize(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
}

double Recorder::TimeOf(int64_t frame) const
{
    double best = 1e300;
    for (auto [time, frames] : arrivals_) {
        if (frames < frame) continue;
        if (frames > frame + 22050) break;
        best = std::min(best, time - static_cast<double>(frames - frame) / 44100.0);
    }
    if (best == 1e300 && !arrivals_.empty())
        best = arrivals_.back().first - static_cast<double>(arrivals_.back().second - frame) / 44100.0;
    return best;
}

int64_t Recorder::FrameAt(double time) const
{
    for (auto [arrived, frames] : arrivals_)
        if (arrived >= time) return frames - static_cast<int64_t>((arrived - time) * 44100.0);
    return arrivals_.empty() ? 0 : arrivals_.back().second;
}

std::vector<std::pair<int64_t, int64_t>> SilentBlocks(const std::vector<int16_t>& s, int64_t frames)
{
    int64_t count = static_cast<int64_t>(s.size() / 2), first = -1, last = -1;
    for (int64_t i = 0; i < count; ++i)
        if (s[i * 2] || s[i * 2 + 1]) {
            if (first < 0) first = i;
            last = i;
        }
    std::vector<std::pair<int64_t, int64_t>> blocks;
    for (int64_t i = first, run = 0; first >= 0 && i <= last; ++i) {
        bool zero = s[i * 2] == 0 && s[i * 2 + 1] == 0;
        run = zero ? run + 1 : 0;
        if (zero && (i + 1 > last || s[(i + 1) * 2] || s[(i + 1) * 2 + 1]) && run >= frames)
            blocks.push_back({i + 1 - run, run});
    }
    return blocks;
}

int64_t ChangeHeard(const std::vector<int16_t>& s, int64_t from, bool toLoud)
{
    const int16_t between = static_cast<int16_t>(0.4 * 32768);
    int64_t count = static_cast<int64_t>(s.size() / 2);
    for (int64_t i = std::max<int64_t>(from, 0), quiet = 0; i < count; ++i) {
        bool loud = std::abs(s[i * 2]) > between;
        if (toLoud && loud) return i;
        quiet = loud ? 0 : quiet + 1;
        if (!toLoud && quiet == 100) return i - 99;
    }
    return -1;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? 0 : values[values.size() / 2];
}

}  // namespace support
