#include "tools/make/SongProbe.h"

#include <libopenmpt/libopenmpt.hpp>
#include <sndfile.h>
#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <algorithm>
#include <cstdio>
#include <fcntl.h>
#include <unistd.h>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Larger files are not songs anyone means to put on a disk.
constexpr std::uintmax_t kMaxSongBytes = 512ull << 20;

std::string Trim(std::string s)
{
    auto blank = [](unsigned char c) { return std::isspace(c) || c == 0; };
    while (!s.empty() && blank(static_cast<unsigned char>(s.back()))) s.pop_back();
    size_t first = 0;
    while (first < s.size() && blank(static_cast<unsigned char>(s[first]))) ++first;
    return s.substr(first);
}

std::string Upper(std::string s)
{
    for (char& c : s) c = char(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

bool ProbeModule(const std::vector<char>& bytes, SongFacts& f, std::string& reason)
{
    std::ostringstream quiet;  // libopenmpt's own log lines stay out of ours
    try {
        openmpt::module mod(bytes, quiet);
        f.kind = SongKind::Module;
        f.format = Upper(mod.get_metadata("type"));
        f.seconds = f.headerSeconds = mod.get_duration_seconds();
        f.channels = mod.get_num_channels();
        f.title = Trim(mod.get_metadata("title"));
        f.artist = Trim(mod.get_metadata("artist"));
        return true;
    } catch (const std::exception& e) {
        reason = e.what();
        return false;
    }
}

std::string StreamFormat(int format)
{
    switch (format & SF_FORMAT_TYPEMASK) {
    case SF_FORMAT_OGG:
        return "OGG";
    case SF_FORMAT_MPEG:
        return "MP3";
    case SF_FORMAT_FLAC:
        return "FLAC";
    case SF_FORMAT_WAV:
    case SF_FORMAT_WAVEX:
    case SF_FORMAT_RF64:
        return "WAV";
    case SF_FORMAT_AIFF:
        return "AIFF";
    default:
        return "AUDIO";
    }
}

// The MP3 decoder under libsndfile writes its own warnings to standard error;
// while one lives, standard error goes nowhere.
class QuietStderr {
public:
    QuietStderr()
    {
        std::fflush(stderr);
        saved_ = ::dup(2);
        const int null = ::open("/dev/null", O_WRONLY);
        if (saved_ >= 0 && null >= 0) ::dup2(null, 2);
        if (null >= 0) ::close(null);
    }
    ~QuietStderr()
    {
        std::fflush(stderr);
        if (saved_ >= 0) {
            ::dup2(saved_, 2);
            ::close(saved_);
        }
    }
    QuietStderr(const QuietStderr&) = delete;
    QuietStderr& operator=(const QuietStderr&) = delete;

private:
    int saved_ = -1;
};

bool ProbeStream(const std::string& path, bool decode, SongFacts& f, std::string& reason)
{
    QuietStderr quiet;
    SF_INFO info{};
    SNDFILE* sf = sf_open(path.c_str(), SFM_READ, &info);
    if (!sf) {
        reason = sf_strerror(nullptr);
        return false;
    }
    if (info.samplerate <= 0 || info.channels <= 0) {
        sf_close(sf);
        reason = "no audio in the stream";
        return false;
    }
    f.kind = SongKind::Stream;
    f.format = StreamFormat(info.format);
    f.channels = info.channels;
    f.headerSeconds = double(info.frames) / info.samplerate;
    f.seconds = f.headerSeconds;
    if (decode) {
        std::vector<float> buffer(size_t(4096) * size_t(info.channels));
        sf_count_t frames = 0, got = 0;
        while ((got = sf_readf_float(sf, buffer.data(), 4096)) > 0) frames += got;
        f.seconds = double(frames) / info.samplerate;
    }
    sf_close(sf);

    // Tags: ID3 for MP3 (and WAV), Vorbis comments for OGG and FLAC, RIFF INFO for WAV.
    TagLib::FileRef ref(path.c_str(), false);
    if (!ref.isNull() && ref.tag()) {
        f.title = Trim(ref.tag()->title().to8Bit(true));
        f.artist = Trim(ref.tag()->artist().to8Bit(true));
    }
    return true;
}

}  // namespace

SongFacts ProbeSong(const std::string& path, bool decode)
{
    SongFacts f;
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        f.reason = fs::exists(path, ec) ? "not a regular file" : "no such file";
        return f;
    }
    if (fs::file_size(path, ec) > kMaxSongBytes) {
        f.reason = "too large (over 512 MiB)";
        return f;
    }
    std::ifstream in(path, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!in.eof() && in.fail()) {
        f.reason = "cannot be read";
        return f;
    }
    std::string moduleReason, streamReason;
    if (ProbeModule(bytes, f, moduleReason)) return f;
    if (ProbeStream(path, decode, f, streamReason)) return f;
    f.reason = "not a module (" + moduleReason + ") and not a stream (" + streamReason + ")";
    return f;
}

std::string TitleFromFileName(const std::string& path)
{
    std::string stem = fs::path(path).stem().string();
    std::replace(stem.begin(), stem.end(), '_', ' ');
    stem = Trim(stem);
    return stem.empty() ? "Untitled" : stem;
}
