// A private sound server for live tests (PulseAudio, or PipeWire with its
// Pulse server) with a null sink as the default device, and a recorder of
// that sink's monitor anchored to the steady clock.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace support {

double SteadyNow();  // seconds
bool OnPath(const std::string& program);
// Starts a program with its standard output to `out` and its errors dropped; -1 when it cannot.
pid_t Spawn(const std::vector<std::string>& args, const std::string& out = "/dev/null");
void StopProcess(pid_t pid);

class SoundServer {
public:
    enum Kind { PulseAudio, PipeWire };
    // What the kind needs on the PATH; empty when all is there.
    static std::string Missing(Kind kind);
    // Starts the server in a runtime folder of its own and points this
    // process's Pulse clients (and pactl, parec) at it. Started() tells.
    explicit SoundServer(Kind kind);
    ~SoundServer();
    bool Started() const { return started_; }
    static constexpr const char* kSink = "mivola_test";

private:
    std::vector<pid_t> pids_;
    bool started_ = false;
};

// The monitor of the null sink, read as it arrives: the arrival times of the
// chunks anchor the recording to the steady clock. A frame was played no
// later than any chunk holding it or a later frame arrived, less the frames
// between; the earliest such bound over the next half second is taken, so a
// recording that lost or gained frames somewhere is still placed right nearby.
class Recorder {
public:
    explicit Recorder(const std::string& device);
    ~Recorder() { Finish(); }
    void Finish();
    bool Ok() const { return pid_ > 0; }
    // Steady-clock time at which recorded frame i was played; after Finish.
    double TimeOf(int64_t frame) const;
    // The recorded frame played at `time`, roughly (for where to look); after Finish.
    int64_t FrameAt(double time) const;

    std::vector<int16_t> samples;  // 44.1 kHz stereo

private:
    void Read();
    pid_t pid_ = -1;
    int fd_ = -1;
    std::thread thread_;
    std::vector<std::pair<double, int64_t>> arrivals_;  // (time, frames recorded by then)
};

// Runs of exact zeros in both channels of at least `frames`, between the
// first and the last sound; returns (start frame, length) of each.
std::vector<std::pair<int64_t, int64_t>> SilentBlocks(const std::vector<int16_t>& s, int64_t frames);

// The live song-change tests play tones of two levels (0.2 and 0.6 of full
// scale) and find each change in the recording by level: the first frame from
// `from` on with a sample above 0.4 for a change to the loud tone, the start of
// a whole period (100 frames of the 441 Hz tone) below it for a change to the
// quiet one; -1 when none.
int64_t ChangeHeard(const std::vector<int16_t>& s, int64_t from, bool toLoud);
double Median(std::vector<double> values);

}  // namespace support
