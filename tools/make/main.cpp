// mivola-make: builds a complete disk folder from a list of songs.
//
//   mivola-make OUT SONG... [--title T] [--author A] [--text FILE] [--intro FILE]
//               [--end FILE] [--url URL] [--loudness LUFS | --no-loudness] [--force]
//
// Every song is probed first; when any of them cannot be played, nothing is written
// and the exit status is 1. Each module gets explicit render settings for its
// format, and every song a gain that brings it to the loudness target.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "tools/make/Disk.h"
#include "tools/make/SongRender.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr size_t kMaxSongs = 496;  // the picture list holds 512: 16 go to the interface
constexpr double kDefaultLoudness = -16.0;  // LUFS
constexpr double kLowestLoudness = -40.0, kHighestLoudness = -5.0;

int Usage()
{
    std::fprintf(stderr,
                 "usage: mivola-make OUT SONG... [--title T] [--author A] [--text FILE] [--intro FILE]\n"
                 "                   [--end FILE] [--url URL] [--loudness LUFS | --no-loudness] [--force]\n"
                 "Builds a disk folder OUT from the songs (modules, MP3, OGG, FLAC, WAV).\n"
                 "Each song gets a gain that brings it to --loudness (default -16 LUFS);\n"
                 "--no-loudness leaves the gains out.\n");
    return 2;
}

bool IsWebAddress(const std::string& s)
{
    return s.rfind("https://", 0) == 0 || s.rfind("http://", 0) == 0;
}

bool ParseLoudness(const std::string& text, double& lufs)
{
    char* end = nullptr;
    lufs = std::strtod(text.c_str(), &end);
    return !text.empty() && end && *end == 0 && std::isfinite(lufs) && lufs >= kLowestLoudness &&
           lufs <= kHighestLoudness;
}

// Each song's settings for its format and, when `measure`, the gain to `target`,
// measured through the player's audio library. Prints a line per song.
void SetRenderSettings(std::vector<DiskSong>& songs, bool measure, double target,
                       std::vector<std::string>& warnings)
{
    host::SetRunMode(host::RunMode::Virtual);
    SetLogSink([](const std::string&) {}, false);
    BASS_Init(1, 44100, 0, nullptr, nullptr);
    for (size_t i = 0; i < songs.size(); ++i) {
        DiskSong& s = songs[i];
        s.settings = DefaultSettings(s.facts);
        if (!measure) continue;
        Loudness l;
        std::string error;
        if (!MeasureLoudness(s.source, s.settings, l, error)) {
            warnings.push_back(s.source + ": loudness not measured: " + error);
            continue;
        }
        if (!std::isfinite(l.integrated)) {
            warnings.push_back(s.source + ": silent, so it gets no gain");
            continue;
        }
        s.settings.gainDb = GainToward(l, target);
        const double after = l.integrated + s.settings.gainDb;
        const double peakDb = 20.0 * std::log10(l.peak) + s.settings.gainDb;
        std::printf("loudness %2zu/%zu  %6.1f LUFS  gain %+6.2f dB  peak %+5.1f dBFS  %s\n", i + 1,
                    songs.size(), l.integrated, static_cast<double>(s.settings.gainDb), peakDb,
                    s.source.c_str());
        std::fflush(stdout);
        if (after < target - 0.05) {
            char w[256];
            std::snprintf(w, sizeof w, ": stays %.1f LU under the target, %s", target - after,
                          target - l.integrated > kMaxGainDb ? "the largest gain being +12 dB"
                                                             : "so that its peaks do not clip");
            warnings.push_back(s.source + w);
        }
    }
    BASS_Free();
    SetLogSink({}, true);
}

}  // namespace

int main(int argc, char** argv)
{
    DiskOptions o;
    std::vector<std::string> positional;
    std::string textFile;
    std::string loudness;
    bool noLoudness = false;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= argc) return false;
            into = argv[++i];
            return true;
        };
        bool ok = true;
        if (a == "--title") ok = value(o.title);
        else if (a == "--author") ok = value(o.author);
        else if (a == "--text") ok = value(textFile);
        else if (a == "--intro") ok = value(o.introSong);
        else if (a == "--end") ok = value(o.endSong);
        else if (a == "--url") ok = value(o.url);
        else if (a == "--loudness") ok = value(loudness);
        else if (a == "--no-loudness") noLoudness = true;
        else if (a == "--force") o.force = true;
        else if (a == "--help" || a == "-h") return Usage() - 2;
        else if (a.rfind("--", 0) == 0) ok = false;
        else positional.push_back(a);
        if (!ok) return Usage();
    }
    if (positional.size() < 2) return Usage();
    o.out = positional[0];
    if (!o.url.empty() && !IsWebAddress(o.url)) {
        std::fprintf(stderr, "mivola-make: --url takes an http:// or https:// address\n");
        return 2;
    }
    double target = kDefaultLoudness;
    if (!loudness.empty() && (noLoudness || !ParseLoudness(loudness, target))) {
        std::fprintf(stderr,
                     "mivola-make: --loudness takes a target from -40 to -5 LUFS and does not go with "
                     "--no-loudness\n");
        return 2;
    }
    if (positional.size() - 1 > kMaxSongs) {
        std::fprintf(stderr, "mivola-make: at most %zu songs fit on a disk\n", kMaxSongs);
        return 1;
    }
    if (!textFile.empty()) {
        std::ifstream in(textFile, std::ios::binary);
        if (!in) {
            std::fprintf(stderr, "mivola-make: cannot read %s\n", textFile.c_str());
            return 1;
        }
        o.text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        if (o.text.empty()) o.text = " ";  // an empty file asks for no text, not the made-up one
    }

    if (std::string error; !CanWriteDisk(o, error)) {
        std::fprintf(stderr, "mivola-make: %s\n", error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    // Probe everything first: an unplayable file stops the make before anything is written.
    std::vector<DiskSong> songs;
    int refused = 0;
    for (size_t i = 1; i < positional.size(); ++i) {
        DiskSong s;
        s.source = positional[i];
        s.facts = ProbeSong(s.source);
        if (s.facts.kind == SongKind::None) {
            std::fprintf(stderr, "mivola-make: %s: cannot be played: %s\n", s.source.c_str(),
                         s.facts.reason.c_str());
            ++refused;
            continue;
        }
        s.title = s.facts.title.empty() ? TitleFromFileName(s.source) : s.facts.title;
        s.artist = s.facts.artist;
        songs.push_back(s);
    }
    for (const std::string* extra : {&o.introSong, &o.endSong}) {
        if (extra->empty()) continue;
        SongFacts f = ProbeSong(*extra, false);
        if (f.kind == SongKind::None) {
            std::fprintf(stderr, "mivola-make: %s: cannot be played: %s\n", extra->c_str(), f.reason.c_str());
            ++refused;
        }
    }
    if (refused) {
        std::fprintf(stderr, "mivola-make: %d file(s) refused; nothing written\n", refused);
        return 1;
    }

    DiskResult result;
    SetRenderSettings(songs, !noLoudness, target, result.warnings);
    o.renderSettings = true;
    std::string error;
    const bool made = MakeDisk(o, songs, result, error, [](const std::string& line) {
        std::printf("%s\n", line.c_str());
        std::fflush(stdout);
    });
    for (const std::string& w : result.warnings)
        std::fprintf(stderr, "mivola-make: warning: %s\n", w.c_str());
    if (!made) {
        std::fprintf(stderr, "mivola-make: %s\n", error.c_str());
        return 1;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s: %zu songs, %zu files in %.1f s; check it with mivola-check %s\n", o.out.c_str(),
                songs.size(), result.files.size(), seconds, o.out.c_str());
    return 0;
}
