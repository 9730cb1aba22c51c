// Writes tracker modules from an in-memory song: FastTracker 2 extended modules (XM)
// and four-channel ProTracker modules ("M.K." MOD).
//
// A song is a list of instruments (one synthesised sample each, with optional loop and,
// for XM, a volume envelope), a list of patterns (rows x channels of cells) and an order
// list. Note numbers follow the XM convention for both formats: 1 = C-0 ... 96 = B-7,
// 97 = key off; note 49 (C-4) plays a sample at its own rate (8363 Hz base in XM,
// period 428 in MOD). MOD keeps to the three ProTracker octaves, notes 37 (C-3) to 72 (B-5).
//
// Usage:
//   ModuleSong song; song.channels = 4; song.speed = 6; song.tempo = 125;
//   song.instruments.push_back(inst); song.patterns.push_back(ModulePattern(64, 4));
//   song.patterns[0].At(0, 0) = {49, 1, 64, 0, 0}; song.order = {0};
//   std::string error; std::vector<uint8_t> bytes;
//   if (!WriteXm(song, bytes, error)) ...; SaveBytes("song.xm", bytes);
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One sample: mono PCM kept at 16 bits; `bits` says how it is stored in the file
// (MOD always stores 8 bits).
struct ModuleSample {
    std::vector<int16_t> data;  // sample frames
    int bits = 16;              // 8 or 16 (XM)
    uint32_t loopStart = 0;     // in frames
    uint32_t loopLength = 0;    // in frames; 0 = no loop (MOD rounds both down to even)
    bool pingPong = false;      // XM only
    int volume = 64;            // default volume 0..64
    int finetune = 0;           // XM: -128..127 (1/128 semitone); MOD: -8..7
    int relativeNote = 0;       // XM only: semitones added to every note
    int panning = 128;          // XM only: 0..255
};

// Envelope point: tick and value (0..64).
struct EnvelopePoint {
    uint16_t tick = 0;
    uint16_t value = 0;
};

struct ModuleInstrument {
    std::string name;  // up to 22 characters are kept
    ModuleSample sample;
    std::vector<EnvelopePoint> volumeEnvelope;  // XM only; empty = no envelope; at most 12
    int sustainPoint = -1;                      // XM: index of the sustain point, -1 = none
    int fadeout = 0;                            // XM: volume fade-out speed after key off (0..4095)
};

// One cell of a pattern. Zero fields mean "empty".
struct ModuleCell {
    uint8_t note = 0;        // 0 none, 1..96 note, 97 key off (XM only)
    uint8_t instrument = 0;  // 0 none, else 1-based instrument number
    int8_t volume = -1;      // -1 none, 0..64 set volume (MOD: written as effect C)
    uint8_t effect = 0;      // effect number (MOD/XM: 0x0..0xF, XM also above)
    uint8_t param = 0;       // effect parameter
};

struct ModulePattern {
    ModulePattern() = default;
    ModulePattern(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(size_t(rowCount) * size_t(channelCount))
    {
    }
    ModuleCell& At(int row, int channel) { return cells[size_t(row) * size_t(channels) + size_t(channel)]; }
    const ModuleCell& At(int row, int channel) const
    {
        return cells[size_t(row) * size_t(channels) + size_t(channel)];
    }

    int rows = 64;                  // XM: 1..256; MOD: must be 64
    int channels = 4;               // must equal the song's channel count
    std::vector<ModuleCell> cells;  // row-major: row * channels + channel
};

struct ModuleSong {
    std::string title;                          // up to 20 characters are kept
    int channels = 4;                           // XM: 1..32 (even counts are customary); MOD: 4
    int speed = 6;                              // ticks per row (1..31)
    int tempo = 125;                            // beats per minute (32..255)
    int restart = 0;                            // order index to restart from (XM header)
    bool linearFrequencies = true;              // XM frequency table
    std::vector<ModuleInstrument> instruments;  // XM: up to 128; MOD: up to 31
    std::vector<ModulePattern> patterns;
    std::vector<uint8_t> order;  // pattern numbers in playing order (1..256 XM, 1..128 MOD)
};

// Serialise as XM. Returns false with a reason in `error` when the song cannot be written.
bool WriteXm(const ModuleSong& song, std::vector<uint8_t>& out, std::string& error);

// Serialise as a four-channel "M.K." MOD. Speed and tempo other than 6/125 are written as
// F effects on the first row played; cell volumes become C effects; both need a free
// effect slot (a volume equal to the sample's default on a new note gives its slot up).
// Returns false with a reason in `error` otherwise.
bool WriteMod(const ModuleSong& song, std::vector<uint8_t>& out, std::string& error);

// Playing time in seconds of one pass through the order list, following speed and tempo
// changes (Fxx), pattern breaks (Dxx), position jumps (Bxx, a backward jump ends the pass)
// and pattern delays (EEx). This is the length a player reports for the song.
double ModuleSongSeconds(const ModuleSong& song);

// Writes bytes to a file; false when it cannot be written completely.
bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes);
