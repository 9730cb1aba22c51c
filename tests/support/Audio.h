// The audio fixture of every suite: sound files made in code, decoders to compare
// with, a virtual run that collects what the audio library sends to the host,
// and a generated song playing through the song player.
#pragma once

#include "data/SongPlayer.h"
#include "tests/support/Files.h"

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace support {

struct Tone {
    int rate = 44100;
    int channels = 2;
    int64_t frames = 44100;
    double frequency = 1000.0;
    double amplitude = 1.0;  // of full scale
    bool leftOnly = false;   // stereo: right side silent
};

// major: SF_FORMAT_WAV, SF_FORMAT_FLAC, SF_FORMAT_OGG or SF_FORMAT_MPEG (subtype chosen to fit).
bool WriteTone(const std::string& path, int major, const Tone& tone);
// 16-bit PCM WAV of the given interleaved frames.
bool WriteWav16(const std::string& path, int rate, int channels, const std::vector<int16_t>& samples);
// An XM of `rows` rows at speed 6, tempo 125 (0.12 s a row) playing a looped
// sine note on channel 0; returns its length in seconds through `seconds`.
bool WriteModuleXm(const std::string& path, int rows, double* seconds);

// An XM of `rows` rows of 0.12 s whose one note plays a sample panned hard
// left: the decoder by default puts nothing on the right.
bool WriteHardLeftXm(const std::string& path, int rows);

// Everything libsndfile decodes from a file, as 16-bit stereo; channel rate out.
std::vector<int16_t> DecodeWithSndfile(const std::string& path, int* rate);
// The whole module rendered by libopenmpt at 44.1 kHz, as 16-bit stereo.
std::vector<int16_t> DecodeWithOpenmpt(const std::string& path);

// Virtual run at 50 frames a second (882 sample frames each) with the library
// initialised; the host's sound is collected in `sound`.
class VirtualAudio {
public:
    explicit VirtualAudio(unsigned fps = 50);
    ~VirtualAudio();
    void Frames(int count);  // presents `count` frames
    std::vector<int16_t> sound;
};

// The program's log, collected from any thread for as long as this lives
// (not echoed); after it, the log goes to standard output again.
class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    std::string Text() const;

private:
    mutable std::mutex mutex_;
    std::string text_;
};

// A stream (kind 2) of `seconds` generated from sample(frame index) (values -1..1,
// both channels), playing as the song player's current song. The audio library
// must be initialised. Stops and frees the previous one.
MediaItem* PlayGenerated(const std::function<float(int64_t)>& sample, double seconds = 2.0);
void StopGenerated();

}  // namespace support
