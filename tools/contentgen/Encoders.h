// Stream encoders for the generated songs: Ogg Vorbis through libvorbisenc (fixed stream
// serial, so the bytes repeat) and MP3 through LAME (no ID3 tags, gapless info frame).
#pragma once

#include "tools/contentgen/Synth.h"

#include <string>

bool WriteOgg(const std::string& path, const Stereo& pcm, int rate, float quality, int serial, const std::string& title);
// Joint stereo at a constant bit rate.
bool WriteMp3(const std::string& path, const Stereo& pcm, int rate, int kbps);
// 16-bit PCM WAV, for listening checks.
bool WriteWav(const std::string& path, const Stereo& pcm, int rate);
