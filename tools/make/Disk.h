// Building a complete disk folder from a list of songs: the songs copied under safe
// names, a title picture for each, the shell's pictures and songs, the interface
// pictures, the carousel scene, the font, both catalogue files and a README.
// mivola-make and the demo content generator both build their disks here.
#pragma once

#include "data/SongSettings.h"
#include "tools/contentart/Pictures.h"
#include "tools/make/SongProbe.h"

#include <functional>
#include <string>
#include <vector>

struct DiskSong {
    std::string source;         // the file to copy
    std::string title, artist;  // shown on the title picture, in the credits and in art.xml
    SongFacts facts;            // from ProbeSong
    SongSettings settings;      // written into art.xml with DiskOptions::renderSettings
};

struct DiskOptions {
    std::string out;  // the folder to fill
    std::string title = "Mivola";
    std::string subtitle;  // under the title; empty: "a music disk by AUTHOR" or "a music disk"
    std::string author;
    std::string text;                    // scroller text; empty: made from the titles and artists
    std::string introSong;               // file for the intro; empty: the generated radio song
    std::string endSong;                 // file for the end screen; empty: a generated song
    std::string url;                     // web address for the options dialog's button; may be empty
    std::string badge;                   // label in the top-left corner; empty: "N SONGS"
    std::vector<CreditSection> credits;  // end scroller sections after the songs; empty: made up
    std::string readmeNote;              // an extra paragraph for the README
    bool force = false;                  // write into a folder that is not empty
    bool quick = false;                  // small title pictures, cheap encodings, a short end song (tests)
    bool renderSettings = false;         // write each song's render settings and gain into art.xml
};

enum class DiskFileKind { Picture, Module, Stream, Scene, Other };

struct DiskFile {
    std::string path;  // relative to the disk folder, with '/'
    DiskFileKind kind = DiskFileKind::Other;
    int width = 0, height = 0;  // pictures
    double seconds = 0;         // songs
    int channels = 0;           // modules
};

struct DiskResult {
    std::vector<DiskFile> files;         // every file written, in writing order
    std::vector<std::string> warnings;   // things that work but that the author should know
    std::vector<std::string> songPaths;  // where each song went, in playing order
};

// Whether the output folder may be written: a folder that does not exist yet, an
// empty one, or any folder with `force`. Otherwise false with a message in `error`.
bool CanWriteDisk(const DiskOptions& options, std::string& error);

// Writes the disk. Returns false with a message in `error` when nothing or only part
// of it could be written. `progress` receives one line per song as it is done.
bool MakeDisk(const DiskOptions& options, const std::vector<DiskSong>& songs, DiskResult& result,
              std::string& error, const std::function<void(const std::string&)>& progress = {});

// "Paper Lanterns (1).OGG" -> "paper_lanterns_1": lower-case ASCII letters, digits and
// single underscores; accented Latin letters lose their accents; never empty.
std::string SafeName(const std::string& name);

// The scroller text made from the disk's title, author and songs, in Latin-1-safe
// characters (the scroller draws codes 0 to 255 only).
std::string ScrollerText(const DiskOptions& options, const std::vector<DiskSong>& songs);

// UTF-8 text with every character above U+00FF replaced by '?'; returns how many were.
int KeepLatin1(std::string& utf8);
