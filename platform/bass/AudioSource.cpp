#include "platform/bass/AudioSource.h"

#include "platform/bass/bass.h"

#include "platform/host/ContentFile.h"

#include <libopenmpt/libopenmpt.h>
#include <mpg123.h>
#include <sndfile.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
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
    int SetRenderOption(RenderOption option, int value) override
    {
        switch (option) {
        case RenderOption::StereoSeparation:
            return Param(OPENMPT_MODULE_RENDER_STEREOSEPARATION_PERCENT, value);
        case RenderOption::Interpolation:
            return Param(OPENMPT_MODULE_RENDER_INTERPOLATIONFILTER_LENGTH, value);
        case RenderOption::VolumeRamping:
            return Param(OPENMPT_MODULE_RENDER_VOLUMERAMPING_STRENGTH, value);
        case RenderOption::AmigaResampler: {
            // Older libopenmpt versions have no such ctl.
            const char* kAmiga = "render.resampler.emulate_amiga";
            const char* ctls = openmpt_module_get_ctls(module_);
            bool known = false;
            for (const char* at = ctls; at && (at = std::strstr(at, kAmiga)); at += std::strlen(kAmiga)) {
                const char end = at[std::strlen(kAmiga)];
                known = known || ((at == ctls || at[-1] == ';') && (end == ';' || end == 0));
            }
            if (ctls) openmpt_free_string(ctls);
            if (!known) return BASS_ERROR_NOTAVAIL;
            return openmpt_module_ctl_set_boolean(module_, kAmiga, value != 0) ? 0 : BASS_ERROR_ILLPARAM;
        }
        }
        return BASS_ERROR_ILLPARAM;
    }

private:
    int Param(int param, int value)
    {
        return openmpt_module_set_render_param(module_, param, value) ? 0 : BASS_ERROR_ILLPARAM;
    }

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

// MPEG audio through libmpg123 itself, so that its diagnostics stay quiet
// and a damaged region is skipped instead of ending the song. The same flags
// as libsndfile's MPEG decoder, so the samples are the ones it would give.
class Mpg123Source final : public AudioSource {
public:
    Mpg123Source(mpg123_handle* handle, int fd, int rate, int channels, uint64_t frames)
        : handle_(handle), fd_(fd), rate_(rate), channels_(channels), frames_(frames)
    {
    }
    ~Mpg123Source() override
    {
        mpg123_close(handle_);
        mpg123_delete(handle_);
        ::close(fd_);
    }

    int Rate() const override { return rate_; }
    uint64_t Frames() const override { return frames_; }
    size_t Read(float* stereo, size_t frames) override
    {
        size_t done = 0;
        while (done < frames && !done_) {
            size_t want = std::min(frames - done, kScratchFrames);
            scratch_.resize(want * static_cast<size_t>(channels_));
            size_t bytes = 0;
            int result = mpg123_read(handle_, scratch_.data(), scratch_.size() * sizeof(float), &bytes);
            size_t got = bytes / (sizeof(float) * static_cast<size_t>(channels_));
            for (size_t i = 0; i < got; ++i) {
                const float* in = &scratch_[i * static_cast<size_t>(channels_)];
                stereo[(done + i) * 2] = in[0];
                stereo[(done + i) * 2 + 1] = channels_ == 1 ? in[0] : in[1];
            }
            done += got;
            // The end, or an error no resync gets past.
            if (result != MPG123_OK && result != MPG123_NEW_FORMAT && got == 0) done_ = true;
        }
        return done;
    }
    bool Rewind() override
    {
        done_ = false;
        return mpg123_seek(handle_, 0, SEEK_SET) >= 0;
    }

private:
    static constexpr size_t kScratchFrames = 2048;
    mpg123_handle* handle_;
    int fd_;
    int rate_;
    int channels_;
    uint64_t frames_;
    bool done_ = false;
    std::vector<float> scratch_;
};

// An ID3 tag or an MPEG audio frame header at the start.
bool LooksLikeMpeg(int fd)
{
    uint8_t head[4] = {};
    if (::pread(fd, head, sizeof head, 0) != static_cast<ssize_t>(sizeof head)) return false;
    if (head[0] == 'I' && head[1] == 'D' && head[2] == '3') return true;
    bool sync = head[0] == 0xFF && (head[1] & 0xE0) == 0xE0;
    bool version = ((head[1] >> 3) & 3) != 1;
    bool layer = ((head[1] >> 1) & 3) != 0;
    bool bitrate = (head[2] >> 4) != 15;
    bool rate = ((head[2] >> 2) & 3) != 3;
    return sync && version && layer && bitrate && rate;
}

// Takes fd. The length is found by a scan of every frame present, so a
// truncated or damaged file is as long as what really decodes, whatever its
// header says.
int OpenMpeg(int fd, std::unique_ptr<AudioSource>& out)
{
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (!handle) {
        ::close(fd);
        host::SetLastFileError("out of memory");
        return BASS_ERROR_MEM;
    }
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS | MPG123_FORCE_FLOAT, 0.0);
    mpg123_param(handle, MPG123_REMOVE_FLAGS, MPG123_AUTO_RESAMPLE, 0.0);
    // Resync through damage however long it is; the file is bounded.
    mpg123_param(handle, MPG123_RESYNC_LIMIT, -1, 0.0);
    long rate = 0;
    int channels = 0, encoding = 0;
    bool ok = mpg123_open_fd(handle, fd) == MPG123_OK &&
              mpg123_getformat(handle, &rate, &channels, &encoding) == MPG123_OK && channels >= 1 &&
              channels <= 2 && rate >= 1000 && rate <= 384000 && mpg123_scan(handle) == MPG123_OK;
    off_t length = ok ? mpg123_length(handle) : 0;
    if (!ok || length <= 0 || mpg123_seek(handle, 0, SEEK_SET) < 0) {
        host::SetLastFileError(std::string("MPEG audio: ") +
                               (ok ? "no audio frames" : mpg123_strerror(handle)));
        mpg123_close(handle);
        mpg123_delete(handle);
        ::close(fd);
        return BASS_ERROR_FILEFORM;
    }
    out = std::make_unique<Mpg123Source>(handle, fd, static_cast<int>(rate), channels,
                                         static_cast<uint64_t>(length));
    return BASS_OK;
}

}  // namespace

int AudioSource::SetRenderOption(RenderOption, int)
{
    return BASS_ERROR_ILLTYPE;
}

bool ReadFileBytes(const std::string& path, uint64_t offset, uint64_t length, std::vector<uint8_t>& out)
{
    uint64_t size = 0;
    int fd = host::OpenRegularFile(path, host::kMaxContentFileBytes, &size);
    if (fd < 0) return false;
    bool ok = offset <= size && (length == 0 || length <= size - offset);
    if (!ok) host::SetLastFileError("shorter than asked");
    out.resize(ok ? static_cast<size_t>(length ? length : size - offset) : 0);
    size_t done = 0;
    while (ok && done < out.size()) {
        ssize_t got = ::pread(fd, out.data() + done, out.size() - done, static_cast<off_t>(offset + done));
        if (got <= 0) break;
        done += static_cast<size_t>(got);
    }
    ::close(fd);
    return ok && done == out.size();
}

int OpenModule(std::vector<uint8_t> bytes, int rate, std::unique_ptr<AudioSource>& out)
{
    if (bytes.empty()) return BASS_ERROR_FILEFORM;
    int error = 0;
    const char* message = nullptr;
    openmpt_module* module =
        openmpt_module_create_from_memory2(bytes.data(), bytes.size(), openmpt_log_func_silent, nullptr,
                                           openmpt_error_func_ignore, nullptr, &error, &message, nullptr);
    if (message) openmpt_free_string(message);
    if (!module) {
        host::SetLastFileError("not a module the decoder knows");
        return BASS_ERROR_FILEFORM;
    }
    // One pass through the song, as the computed length says.
    openmpt_module_set_repeat_count(module, 0);
    out = std::make_unique<ModuleSource>(module, rate > 0 ? rate : kDefaultRate);
    return 0;
}

int OpenStream(const std::string& path, std::unique_ptr<AudioSource>& out)
{
    int fd = host::OpenRegularFile(path, host::kMaxContentFileBytes);
    if (fd < 0) return BASS_ERROR_FILEOPEN;
    if (LooksLikeMpeg(fd)) return OpenMpeg(fd, out);
    SF_INFO info{};
    SNDFILE* file = sf_open_fd(fd, SFM_READ, &info, SF_TRUE);
    if (!file) {
        host::SetLastFileError(sf_strerror(nullptr));
        return BASS_ERROR_FILEFORM;
    }
    if (info.channels < 1 || info.samplerate < 1000 || info.samplerate > 384000) {
        sf_close(file);
        host::SetLastFileError("unsupported channel count or rate");
        return BASS_ERROR_FILEFORM;
    }
    // A stream that does not state its length is decoded once to count it.
    if (info.frames <= 0 || info.frames == SF_COUNT_MAX) {
        std::vector<float> scratch(4096 * static_cast<size_t>(info.channels));
        sf_count_t total = 0;
        for (sf_count_t got; (got = sf_readf_float(file, scratch.data(), 4096)) > 0;) total += got;
        if (sf_seek(file, 0, SEEK_SET) != 0 && total > 0) {
            sf_close(file);
            host::SetLastFileError("cannot seek back to the start");
            return BASS_ERROR_FILEFORM;
        }
        info.frames = total;
    }
    out = std::make_unique<SndfileSource>(file, info);
    return BASS_OK;
}

}  // namespace bass
