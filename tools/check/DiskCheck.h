// Checking a disk folder with the program's own loaders: the XML access, the
// picture loader, the audio library stand-in, the 3DS reader and the glyph atlas.
#pragma once

#include <string>
#include <vector>

enum class Severity { Note, Warning, Error };

struct Finding {
    std::string file;  // relative to the disk folder
    long line = 0;     // 0 when the finding belongs to the whole file
    Severity severity = Severity::Note;
    std::string text;
};

struct CheckReport {
    std::vector<Finding> findings;  // in the order they were found
    int errors = 0, warnings = 0;
};

// Checks the disk in `folder` (the working directory is changed while it runs and
// restored afterwards). Needs no window and no sound card. With `loudness`, every
// song is decoded whole and its loudness (EBU R 128) reported, before and after
// its gain.
CheckReport CheckDisk(const std::string& folder, bool loudness = false);

// "FILE:LINE: error: text" (or "FILE: ..." without a line).
std::string FormatFinding(const Finding& finding);
// The whole report as one JSON object.
std::string FormatJson(const CheckReport& report, const std::string& folder);
