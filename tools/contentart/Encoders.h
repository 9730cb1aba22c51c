// Stream encoders for the generated songs: Ogg Vorbis through libvorbisenc (fixed stream
// serial, so the bytes repeat) and MP3 through LAME (gapless info frame), each with the
// song's title and artist in its tags (Vorbis comments, ID3v2.4) when they are given.
#pragma once

#include "tools/contentart/Synth.h"

#include <string>

bool WriteOgg(const std::string& path, const Stereo& pcm, int rate, float quality, int serial,
              const std::string& title, const std::string& artist = "");
// Joint stereo at a constant bit rate.
bool WriteMp3(const std::string& path, const Stereo& pcm, int rate, int kbps, const std::string& title = "",
              const std::string& artist = "");
// 16-bit PCM WAV, for listening checks.
bool WriteWav(const std::string& path, const Stereo& pcm, int rate);
