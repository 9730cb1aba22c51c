#include "platform/bass/AudioSource.h"

#include <libopenmpt/libopenmpt.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace bass {
namespace {

constexpr int kDefaultRate = 44100;

class ModuleSource final : public AudioSource {
public:
    ModuleSource(openmpt_module* module, int rate) : module_(module), rate_(rate)
    {
        double seconds = openmpt_module_get_duration_seconds(module_);
        frames_ = seconds > 0 ? static_cast<uint64_t>(std::llround(seconds * rate_)) : 0;
    }
    ~ModuleSource() override { openmpt_module_destroy(module_); }

    int Rate() const override { return rate_; }
    uint64_t Frames() const override { return frames_; }
    size_t Read(float* stereo, size_t frames) override
    {
        return openmpt_module_read_interleaved_float_stereo(module_, rate_, frames, stereo);
    }
    bool Rewind() override
    {
        openmpt_module_set_position_seconds(module_, 0.0);
        return true;
    }

private:
    openmpt_module* module_;
    int rate_;
    uint64_t frames_ = 0;
};

class SndfileSource final : public AudioSource {
public:
    SndfileSource(SNDFILE* file, const SF_INFO& info) : file_(file), info_(info) {}
    ~SndfileSource() override { sf_close(file_); }

    int Rate() const override { return info_.samplerate; }
    uint64_t Frames() const override { return info_.frames > 0 ? static_cast<uint64_t>(info_.frames) : 0; }
    size_t Read(float* stereo, size_t frames) override
    {
        const int channels = info_.channels;
        if (channels == 2) {
            sf_count_t got = sf_readf_float(file_, stereo, static_cast<sf_count_t>(frames));
            return got > 0 ? static_cast<size_t>(got) : 0;
        }
        // Mono goes to both sides; beyond two channels the first two are kept.
        size_t done = 0;
        while (done < frames) {
            size_t want = std::min(frames - done, kScratchFrames);
            scratch_.resize(want * static_cast<size_t>(channels));
            sf_count_t got = sf_readf_float(file_, scratch_.data(), static_cast<sf_count_t>(want));
            if (got <= 0) break;
            for (sf_count_t i = 0; i < got; ++i) {
                const float* in = &scratch_[static_cast<size_t>(i) * static_cast<size_t>(channels)];
                float* out = &stereo[(done + static_cast<size_t>(i)) * 2];
                out[0] = in[0];
                out[1] = channels == 1 ? in[0] : in[1];
            }
            done += static_cast<size_t>(got);
            if (static_cast<size_t>(got) < want) break;
        }
        return done;
    }
    bool Rewind() override { return sf_seek(file_, 0, SEEK_SET) == 0; }

private:
    static constexpr size_t kScratchFrames = 2048;
    SNDFILE* file_;
    SF_INFO info_;
    std::vector<float> scratch_;
};

// True when path names a regular file this process can read.
bool CanRead(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    ::close(fd);
    return ok;
}

}  // namespace

bool ReadFileBytes(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || offset > static_cast<uint64_t>(st.st_size)) {
        ::close(fd);
        return false;
    }
    uint64_t available = static_cast<uint64_t>(st.st_size) - offset;
    uint64_t want = length ? length : available;
    if (want > available) {
        ::close(fd);
        return false;
    }
    out.resize(static_cast<size_t>(want));
    size_t done = 0;
    while (done < out.size()) {
        ssize_t got = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return done == out.size();
}

int OpenModule(std::vector<uint8_t> bytes, int rate, std::unique_ptr<AudioSource>& out)
{
    if (bytes.empty()) return 41;
    int error = 0;
    const char* message = nullptr;
    openmpt_module* module = openmpt_module_create_from_memory2(
        bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr, openmpt_error_func_ignore, nullptr,
        &error, &message, nullptr);
    if (message) openmpt_free_string(message);
    if (!module) return 41;
    // One pass through the song, as the computed length says.
    openmpt_module_set_repeat_count(module, 0);
    out = std::make_unique<ModuleSource>(module, rate > 0 ? rate : kDefaultRate);
    return 0;
}

int OpenStream(const std::string& path, std::unique_ptr<AudioSource>& out)
{
    if (!CanRead(path)) return 2;
    SF_INFO info{};
    SNDFILE* file = sf_open(path.c_str(), SFM_READ, &info);
    if (!file) return 41;
    if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 384000) {
        sf_close(file);
        return 41;
    }
    // A stream that does not state its length is decoded once to count it.
    if (info.frames <= 0 || info.frames == SF_COUNT_MAX) {
        std::vector<float> scratch(4096 * static_cast<size_t>(info.channels));
        sf_count_t total = 0;
        for (sf_count_t got; (got = sf_readf_float(file, scratch.data(), 4096)) > 0;) total += got;
        if (sf_seek(file, 0, SEEK_SET) != 0 && total > 0) {
            sf_close(file);
            return 41;
        }
        info.frames = total;
    }
    out = std::make_unique<SndfileSource>(file, info);
    return 0;
}

}  // namespace bass
