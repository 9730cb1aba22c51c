// MPRIS: the live show as a media player on the session bus, so that desktop
// media controls (panel applets, the global media keys) can change and pause
// songs. Everything runs on the main thread, once per frame-loop pass.
#pragma once

#include <cstdint>
#include <string>

constexpr char kApplicationId[] = "org.mivola.Mivola";

// Turns MPRIS on for this run (the live program); without it the other calls
// do nothing.
void MprisEnable();

// Once a frame-loop pass: connects and takes the bus name on the first call
// (without a session bus: one log line, and nothing more), answers the calls
// that arrived, and announces song, pause and control changes.
void MprisPump();

// Gives the name back and closes the connection.
void MprisStop();

// What the Metadata property says about one song.
struct MprisTrack {
    std::string trackId;  // object path
    std::string title;
    std::string artist;  // empty: none given
    int64_t lengthUs = 0;
    std::string artUrl;  // file:// of the title picture, empty without one
};

// Song n of the catalogue: title and artist from art.xml when it gives them,
// else the title is the song's file name without its extension; the picture
// path is taken from the working directory.
MprisTrack DescribeSong(int32_t n);

// "file://" and the absolute path with every byte outside the unreserved set
// and "/" percent-encoded.
std::string FileUri(const std::string& absolutePath);

// The file name of a path without its folders and its extension.
std::string TitleFromPath(const std::string& path);
