// Writes 16-bit stereo 44.1 kHz sound to a WAV file. The header's lengths are
// filled in when the writer is closed (or destroyed).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace host {

class WavWriter {
public:
    WavWriter() = default;
    ~WavWriter();
    WavWriter(const WavWriter&) = delete;
    WavWriter& operator=(const WavWriter&) = delete;

    // Creates (or truncates) the file and writes a header for an empty sound.
    bool Open(const std::string& path);
    // Appends interleaved frames. False once a write failed.
    bool Write(const int16_t* samples, size_t frames);
    // Patches the header's lengths and closes the file. False if any write failed.
    bool Close();

    bool IsOpen() const { return file_ != nullptr; }
    // False once a write failed; ErrorNumber() is then its errno (0: not known).
    bool Ok() const { return !failed_; }
    int ErrorNumber() const { return errorNumber_; }
    uint64_t Frames() const { return frames_; }

private:
    std::FILE* file_ = nullptr;
    uint64_t frames_ = 0;
    bool failed_ = false;
    int errorNumber_ = 0;
    void MarkFailed();
};

// Sends the host's sound to a new WAV file, finished by the exit hooks (or at
// the next call). False when the file cannot be created.
bool CaptureSoundToWav(const std::string& path);

}  // namespace host
