// Mixing cost of a module and a stream playing together (virtual run), and the
// delay from BASS_ChannelPlay to the first heard sample in live runs.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"
#include "tools/writers/ModuleWriter.h"

#include <benchmark/benchmark.h>
#include <sndfile.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <thread>

using namespace support;

namespace {

// Eight busy channels: a note on every row of every channel, 64 rows.
std::string BusyModule()
{
    std::string path = TempPath("busy.xm");
    ModuleSong song;
    song.channels = 8;
    for (int k = 0; k < 4; ++k) {
        ModuleInstrument inst;
        inst.sample.data.resize(256);
        for (size_t i = 0; i < inst.sample.data.size(); ++i) {
            double x = 2.0 * 3.14159265358979 * double(i) / 256.0;
            inst.sample.data[i] = static_cast<int16_t>(8000.0 * (std::sin(x) + 0.5 * std::sin((k + 2) * x)));
        }
        inst.sample.loopLength = 256;
        song.instruments.push_back(inst);
    }
    ModulePattern pattern(64, 8);
    for (int row = 0; row < 64; ++row)
        for (int ch = 0; ch < 8; ++ch)
            pattern.At(row, ch) = {static_cast<uint8_t>(37 + (row * 3 + ch * 5) % 36),
                                   static_cast<uint8_t>(1 + ch % 4), 40, 0, 0};
    song.patterns.push_back(pattern);
    song.order = {0, 0};
    std::vector<uint8_t> bytes;
    std::string error;
    WriteXm(song, bytes, error);
    SaveBytes(path, bytes);
    return path;
}

void KeepPlaying(DWORD h)
{
    if (BASS_ChannelGetPosition(h) + 44100 * 4 >= BASS_ChannelGetLength(h)) BASS_ChannelPlay(h, TRUE);
}

// One iteration: one second of sound, 50 frames of 882 samples (the CPU time
// column is the cost of a second of sound), with an
// MP3 or OGG stream at 44.1 or 48 kHz beside the module.
void BM_MixModuleAndStream(benchmark::State& state)
{
    int major = state.range(0) == 0 ? SF_FORMAT_OGG : SF_FORMAT_MPEG;
    int rate = static_cast<int>(state.range(1));
    std::string module = BusyModule();
    std::string stream = TempPath(major == SF_FORMAT_OGG ? "bench.ogg" : "bench.mp3");
    WriteTone(stream, major, Tone{rate, 2, rate * 8, 440.0, 0.5});
    VirtualAudio audio(50);
    host::SetSoundSink([](const int16_t*, size_t) {});
    HMUSIC m = BASS_MusicLoad(FALSE, module.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0);
    HSTREAM s = BASS_StreamCreateFile(FALSE, stream.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    if (!m || !s) {
        state.SkipWithError("cannot load the media");
        return;
    }
    BASS_ChannelPlay(m, TRUE);
    BASS_ChannelPlay(s, TRUE);
    for (auto _ : state) {
        state.PauseTiming();
        KeepPlaying(m);
        KeepPlaying(s);
        state.ResumeTiming();
        audio.Frames(50);
    }
    state.SetLabel(std::string(major == SF_FORMAT_OGG ? "ogg " : "mp3 ") + std::to_string(rate));
}
BENCHMARK(BM_MixModuleAndStream)
    ->Args({0, 44100})
    ->Args({1, 44100})
    ->Args({1, 48000})
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

// Live: time from BASS_ChannelPlay to the heard position leaving 0.
void BM_PlayToFirstHeardSample(benchmark::State& state)
{
    setenv("SDL_AUDIODRIVER", state.range(0) == 0 ? "dummy" : "no-such-driver", 1);
    host::Reset();
    std::string path = TempPath("latency.wav");
    WriteTone(path, SF_FORMAT_WAV, Tone{44100, 2, 44100, 440.0, 0.5});
    BASS_Init(1, 44100, 0, nullptr, nullptr);
    HSTREAM h = BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, 0);
    for (auto _ : state) {
        BASS_ChannelStop(h);
        // Start at a random moment relative to the output's blocks.
        std::this_thread::sleep_for(std::chrono::microseconds(std::rand() % 12000));
        auto start = std::chrono::steady_clock::now();
        BASS_ChannelPlay(h, TRUE);
        while (BASS_ChannelGetPosition(h) == 0) std::this_thread::sleep_for(std::chrono::microseconds(100));
        state.SetIterationTime(
            std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    state.SetLabel(state.range(0) == 0 ? "SDL dummy driver" : "silent device");
    BASS_Free();
}
BENCHMARK(BM_PlayToFirstHeardSample)
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Iterations(40)
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
