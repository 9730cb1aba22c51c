// Decoders behind the audio library's channels: tracker modules through
// libopenmpt and sample streams (WAV, FLAC, OGG Vorbis, MP3) through libsndfile.
// A source hands out interleaved stereo float frames at its own rate.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace bass {

// Module render settings (the decoder's defaults until set).
enum class RenderOption { StereoSeparation, Interpolation, VolumeRamping, AmigaResampler };

class AudioSource {
public:
    virtual ~AudioSource() = default;
    // Frames a second.
    virtual int Rate() const = 0;
    // Length in frames, known when the source opens.
    virtual uint64_t Frames() const = 0;
    // Fills up to `frames` stereo frames; returns how many (0 at the end).
    virtual size_t Read(float* stereo, size_t frames) = 0;
    // Back to the first frame, so a restart plays exactly what the first play did.
    virtual bool Rewind() = 0;
    // A render setting, for modules: 0, or an error code of the library
    // (BASS_ERROR_ILLTYPE for a stream, BASS_ERROR_NOTAVAIL where the decoder
    // has no such setting).
    virtual int SetRenderOption(RenderOption option, int value);
};

// Results are the library's error codes: 0 on success, 2 when the file cannot
// be read, 41 when it is not in a format the decoder knows.

// A module from its file's bytes, rendered at `rate` (44100 when 0).
int OpenModule(std::vector<uint8_t> bytes, int rate, std::unique_ptr<AudioSource>& out);
// A sample stream from a file (UTF-8 path). The format is found from the
// contents; the name plays no part.
int OpenStream(const std::string& path, std::unique_ptr<AudioSource>& out);

// Whole file, or `length` bytes from `offset` (length 0: to the end). False
// when it cannot be opened or is shorter than asked.
bool ReadFileBytes(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out);

}  // namespace bass
