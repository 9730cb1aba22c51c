// Generation of a whole content folder and the record of what it should hold, which the
// checks compare against what is on disk.
#pragma once

#include <string>
#include <vector>

enum class FileKind { Picture, Module, Stream, Scene, Other };

struct ExpectedFile {
    std::string path;  // relative to the folder
    FileKind kind = FileKind::Other;
    int width = 0, height = 0;  // pictures
    double seconds = 0;         // modules and streams
    int channels = 0;           // modules
};

struct Manifest {
    std::vector<ExpectedFile> files;
    std::vector<std::string> songTitles;
    std::vector<std::string> placeholderNames;  // dummytexture files, by id
    const ExpectedFile* Find(const std::string& path) const
    {
        for (const ExpectedFile& f : files)
            if (f.path == path) return &f;
        return nullptr;
    }
};

struct GenerateOptions {
    std::string out;     // folder to fill (created when missing)
    bool test = false;   // small folder for the end-to-end tests
    std::string wavDir;  // when set, every song is also written here as WAV (for listening)
};

// Writes every file; returns false (with a message on stderr) on the first failure.
bool GenerateContent(const GenerateOptions& options, Manifest& manifest);
// Checks the folder against the manifest and the two catalogue files; prints each
// problem on stderr and returns the number of problems.
// `test` selects the song-length rules of the small folder.
int CheckContent(const std::string& folder, const Manifest& manifest, bool test);

// Screen position of a scene point (Y-up) seen by the monitor's camera, before any turn.
struct ScreenPoint {
    double x, y, depth;
};
ScreenPoint ProjectScenePoint(double x, double y, double z);
