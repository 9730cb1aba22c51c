// mivola-make: builds a complete disk folder from a list of songs.
//
//   mivola-make OUT SONG... [--title T] [--author A] [--text FILE] [--intro FILE]
//               [--end FILE] [--url URL] [--force]
//
// Every song is probed first; when any of them cannot be played, nothing is written
// and the exit status is 1.
#include "tools/make/Disk.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

namespace {

constexpr size_t kMaxSongs = 496;  // the picture list holds 512: 16 go to the interface

int Usage()
{
    std::fprintf(stderr,
                 "usage: mivola-make OUT SONG... [--title T] [--author A] [--text FILE] [--intro FILE]\n"
                 "                   [--end FILE] [--url URL] [--force]\n"
                 "Builds a disk folder OUT from the songs (modules, MP3, OGG, FLAC, WAV).\n");
    return 2;
}

bool IsWebAddress(const std::string& s)
{
    return s.rfind("https://", 0) == 0 || s.rfind("http://", 0) == 0;
}

}  // namespace

int main(int argc, char** argv)
{
    DiskOptions o;
    std::vector<std::string> positional;
    std::string textFile;
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
