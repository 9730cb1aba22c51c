#include "tests/support/Audio.h"

#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "tests/support/Files.h"
#include "tools/writers/ModuleWriter.h"

#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace support {
namespace {

int16_t ToShort(float v)
{
    float s = std::nearbyint(v * 32768.0f);
    return static_cast<int16_t>(std::fmax(-32768.0f, std::fmin(32767.0f, s)));
}

}  // namespace

bool WriteTone(const std::string& path, int major, const Tone& tone)
{
    SF_INFO info{};
    info.samplerate = tone.rate;
    info.channels = tone.channels;
    int subtype = SF_FORMAT_PCM_16;
    if (major == SF_FORMAT_OGG) subtype = SF_FORMAT_VORBIS;
    if (major == SF_FORMAT_MPEG) subtype = SF_FORMAT_MPEG_LAYER_III;
    info.format = major | subtype;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    std::vector<float> buffer(static_cast<size_t>(tone.frames * tone.channels));
    const double pi = 3.14159265358979323846;
    for (int64_t i = 0; i < tone.frames; ++i) {
        // Just below full scale so 16-bit files keep the peak.
        float v =
            static_cast<float>(tone.amplitude * (32767.0 / 32768.0) *
                               std::sin(2.0 * pi * tone.frequency * static_cast<double>(i) / tone.rate));
        for (int c = 0; c < tone.channels; ++c)
            buffer[static_cast<size_t>(i * tone.channels + c)] = (c == 1 && tone.leftOnly) ? 0.0f : v;
    }
    sf_count_t written = sf_writef_float(file, buffer.data(), tone.frames);
    sf_close(file);
    return written == tone.frames;
}

bool WriteWav16(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples)
{
    SF_INFO info{};
    info.samplerate = rate;
    info.channels = channels;
    info.format = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
    SNDFILE* file = sf_open(path.c_str(), SFM_WRITE, &info);
    if (!file) return false;
    sf_count_t frames = static_cast<sf_count_t>(samples.size() / static_cast<size_t>(channels));
    sf_count_t written = sf_writef_short(file, samples.data(), frames);
    sf_close(file);
    return written == frames;
}

namespace {

// A two-channel XM that plays inst once, on the first row, for rows rows.
bool WriteOneNoteXm(const std::string& path, const ModuleInstrument& inst, int rows, double* seconds)
{
    ModuleSong song;
    song.channels = 2;
    song.instruments.push_back(inst);
    song.patterns.push_back(ModulePattern(rows, 2));
    song.patterns[0].At(0, 0) = {49, 1, 64, 0, 0};
    song.order = {0};
    std::vector<uint8_t> bytes;
    std::string error;
    if (!WriteXm(song, bytes, error)) return false;
    if (seconds) *seconds = ModuleSongSeconds(song);
    return SaveBytes(path, bytes);
}

}  // namespace

bool WriteModuleXm(const std::string& path, int rows, double* seconds)
{
    ModuleInstrument inst;
    inst.name = "sine";
    inst.sample.data.resize(64);
    for (size_t i = 0; i < inst.sample.data.size(); ++i)
        inst.sample.data[i] =
            static_cast<int16_t>(std::lrint(20000.0 * std::sin(2.0 * 3.14159265358979 * i / 64.0)));
    inst.sample.loopStart = 0;
    inst.sample.loopLength = 64;
    return WriteOneNoteXm(path, inst, rows, seconds);
}

bool WriteHardLeftXm(const std::string& path, int rows)
{
    ModuleInstrument inst;
    inst.name = "square";
    inst.sample.data.resize(64);
    for (size_t i = 0; i < inst.sample.data.size(); ++i) inst.sample.data[i] = i < 32 ? 16000 : -16000;
    inst.sample.loopLength = 64;
    inst.sample.panning = 0;
    return WriteOneNoteXm(path, inst, rows, nullptr);
}

std::vector<int16_t> DecodeWithSndfile(const std::string& path, int* rate)
{
    std::vector<int16_t> out;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return out;
    if (rate) *rate = info.samplerate;
    std::vector<float> buffer(4096 * static_cast<size_t>(info.channels));
    for (;;) {
        sf_count_t got = sf_readf_float(file, buffer.data(), 4096);
        if (got <= 0) break;
        for (sf_count_t i = 0; i < got; ++i) {
            const float* f = &buffer[static_cast<size_t>(i * info.channels)];
            out.push_back(ToShort(f[0]));
            out.push_back(ToShort(info.channels > 1 ? f[1] : f[0]));
        }
    }
    sf_close(file);
    return out;
}

std::vector<int16_t> DecodeWithOpenmpt(const std::string& path)
{
    std::vector<int16_t> out;
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    openmpt_module* mod =
        openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr,
                                           nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!mod) return out;
    std::vector<float> buffer(1024 * 2);
    for (;;) {
        size_t got = openmpt_module_read_interleaved_float_stereo(mod, 44100, 1024, buffer.data());
        if (got == 0) break;
        for (size_t i = 0; i < got * 2; ++i) out.push_back(ToShort(buffer[i]));
    }
    openmpt_module_destroy(mod);
    return out;
}

VirtualAudio::VirtualAudio(unsigned fps)
{
    host::Reset();
    host::SetRunMode(host::RunMode::Virtual);
    host::SetFps(fps);
    host::SetSoundSink([this](const int16_t* samples, size_t frames) {
        sound.insert(sound.end(), samples, samples + frames * 2);
    });
    BASS_Init(1, 44100, 0, nullptr, nullptr);
}

VirtualAudio::~VirtualAudio()
{
    BASS_Free();
    host::Reset();
}

void VirtualAudio::Frames(int count)
{
    for (int i = 0; i < count; ++i) host::EndFrame();
}

namespace {
MediaItem generated{};
}  // namespace

MediaItem* PlayGenerated(const std::function<float(int64_t)>& sample, double seconds)
{
    static int count = 0;
    StopGenerated();
    const int64_t frames = int64_t(seconds * 44100);
    std::vector<int16_t> samples(size_t(frames) * 2);
    for (int64_t i = 0; i < frames; ++i)
        samples[size_t(i) * 2] = samples[size_t(i) * 2 + 1] = ToShort(sample(i));
    const std::string path = TempPath("generated" + std::to_string(count++) + ".wav");
    EXPECT_TRUE(WriteWav16(path, 44100, 2, samples));
    generated = MediaItem{};
    generated.kind = MediaStream;
    generated.handle.channel =
        BASS_StreamCreateFile(FALSE, Wide(path).c_str(), 0, 0, BASS_UNICODE | BASS_STREAM_PRESCAN);
    EXPECT_NE(generated.handle.channel, 0u);
    BASS_ChannelPlay(generated.handle.channel, TRUE);
    player.current = &generated;
    player.paused = 0;
    return &generated;
}

void StopGenerated()
{
    if (generated.kind == MediaStream) {
        BASS_ChannelStop(generated.handle.channel);
        BASS_StreamFree(generated.handle.channel);
        generated = MediaItem{};
    }
    if (player.current == &generated) player.current = nullptr;
}

LogCapture::LogCapture()
{
    SetLogSink(
        [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(mutex_);
            text_ += line;
        },
        false);
}

LogCapture::~LogCapture()
{
    SetLogSink({}, true);
}

std::string LogCapture::Text() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return text_;
}

}  // namespace support
