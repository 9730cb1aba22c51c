// What a song file is, as the players the program uses see it: a module for
// libopenmpt or a stream for libsndfile (tried in that order, like the program),
// its playing time, and the title and artist its own metadata gives.
#pragma once

#include <string>

enum class SongKind { None, Module, Stream };

struct SongFacts {
    SongKind kind = SongKind::None;
    std::string format;         // "XM", "IT", "OGG", "MP3", "FLAC", "WAV"...
    double seconds = 0;         // playing time; for streams what really decodes
    double headerSeconds = 0;   // streams: the length the header states
    int channels = 0;           // modules: pattern channels; streams: audio channels
    std::string title, artist;  // from the file's metadata, trimmed; may be empty
    std::string reason;         // kind None: why neither player takes the file
};

// Streams are decoded to the end to measure them unless `decode` is false (then
// seconds is the header's length).
SongFacts ProbeSong(const std::string& path, bool decode = true);

// Title for a file without one in its metadata: its name without the extension,
// underscores read as spaces.
std::string TitleFromFileName(const std::string& path);
