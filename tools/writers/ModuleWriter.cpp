#include "tools/writers/ModuleWriter.h"

#include <algorithm>
#include <cstdio>

namespace {

void PutU8(std::vector<uint8_t>& o, int v)
{
    o.push_back(uint8_t(v));
}
void PutU16LE(std::vector<uint8_t>& o, uint32_t v)
{
    o.push_back(uint8_t(v));
    o.push_back(uint8_t(v >> 8));
}
void PutU32LE(std::vector<uint8_t>& o, uint32_t v)
{
    for (int i = 0; i < 4; ++i) o.push_back(uint8_t(v >> (8 * i)));
}
void PutU16BE(std::vector<uint8_t>& o, uint32_t v)
{
    o.push_back(uint8_t(v >> 8));
    o.push_back(uint8_t(v));
}
void PutText(std::vector<uint8_t>& o, const std::string& s, size_t width, char pad = 0)
{
    for (size_t i = 0; i < width; ++i) o.push_back(i < s.size() ? uint8_t(s[i]) : uint8_t(pad));
}
void PatchU16LE(std::vector<uint8_t>& o, size_t at, uint32_t v)
{
    o[at] = uint8_t(v);
    o[at + 1] = uint8_t(v >> 8);
}

int8_t To8Bit(int16_t s)
{
    // Round to nearest and keep inside the 8-bit range.
    int v = (int(s) + 128) >> 8;
    return int8_t(std::clamp(v, -128, 127));
}

bool CheckCommon(const ModuleSong& song, std::string& error)
{
    if (song.order.empty()) {
        error = "empty order list";
        return false;
    }
    if (song.patterns.empty()) {
        error = "no patterns";
        return false;
    }
    for (uint8_t p : song.order)
        if (p >= song.patterns.size()) {
            error = "order names a missing pattern";
            return false;
        }
    for (const ModulePattern& p : song.patterns) {
        if (p.channels != song.channels) {
            error = "pattern channel count differs from the song's";
            return false;
        }
        if (p.cells.size() != size_t(p.rows) * size_t(p.channels)) {
            error = "pattern cell count does not match its size";
            return false;
        }
        for (const ModuleCell& c : p.cells) {
            if (c.instrument > song.instruments.size()) {
                error = "cell names a missing instrument";
                return false;
            }
            if (c.volume > 64) {
                error = "cell volume above 64";
                return false;
            }
        }
    }
    if (song.speed < 1 || song.speed > 31) {
        error = "speed out of range";
        return false;
    }
    if (song.tempo < 32 || song.tempo > 255) {
        error = "tempo out of range";
        return false;
    }
    for (const ModuleInstrument& in : song.instruments) {
        const ModuleSample& s = in.sample;
        if (s.loopLength && (uint64_t(s.loopStart) + s.loopLength > s.data.size())) {
            error = "sample loop beyond its end";
            return false;
        }
        if (s.volume < 0 || s.volume > 64) {
            error = "sample volume out of range";
            return false;
        }
    }
    return true;
}

}  // namespace

bool WriteXm(const ModuleSong& song, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    if (!CheckCommon(song, error)) return false;
    if (song.channels < 1 || song.channels > 32) {
        error = "XM channel count out of range";
        return false;
    }
    if (song.order.size() > 256) {
        error = "XM order list longer than 256";
        return false;
    }
    if (song.patterns.size() > 256) {
        error = "more than 256 patterns";
        return false;
    }
    if (song.instruments.size() > 128) {
        error = "more than 128 instruments";
        return false;
    }

    PutText(out, "Extended Module: ", 17);
    PutText(out, song.title, 20);
    PutU8(out, 0x1A);
    PutText(out, "Mivola contentgen", 20);
    PutU16LE(out, 0x0104);
    PutU32LE(out, 276);  // header size, counted from this field
    PutU16LE(out, uint32_t(song.order.size()));
    PutU16LE(out, uint32_t(std::clamp(song.restart, 0, int(song.order.size()) - 1)));
    PutU16LE(out, uint32_t(song.channels));
    PutU16LE(out, uint32_t(song.patterns.size()));
    PutU16LE(out, uint32_t(song.instruments.size()));
    PutU16LE(out, song.linearFrequencies ? 1 : 0);
    PutU16LE(out, uint32_t(song.speed));
    PutU16LE(out, uint32_t(song.tempo));
    for (size_t i = 0; i < 256; ++i) PutU8(out, i < song.order.size() ? song.order[i] : 0);

    for (const ModulePattern& p : song.patterns) {
        if (p.rows < 1 || p.rows > 256) {
            error = "XM pattern rows out of range";
            return false;
        }
        PutU32LE(out, 9);
        PutU8(out, 0);
        PutU16LE(out, uint32_t(p.rows));
        size_t sizeAt = out.size();
        PutU16LE(out, 0);
        size_t start = out.size();
        for (const ModuleCell& c : p.cells) {
            if (c.note > 97) {
                error = "XM note out of range";
                return false;
            }
            uint8_t vol = c.volume >= 0 ? uint8_t(0x10 + c.volume) : 0;
            uint8_t mask = (c.note ? 1 : 0) | (c.instrument ? 2 : 0) | (vol ? 4 : 0) | (c.effect ? 8 : 0) |
                           (c.param ? 16 : 0);
            if (mask == 31) {
                PutU8(out, c.note);
                PutU8(out, c.instrument);
                PutU8(out, vol);
                PutU8(out, c.effect);
                PutU8(out, c.param);
                continue;
            }
            PutU8(out, 0x80 | mask);
            if (mask & 1) PutU8(out, c.note);
            if (mask & 2) PutU8(out, c.instrument);
            if (mask & 4) PutU8(out, vol);
            if (mask & 8) PutU8(out, c.effect);
            if (mask & 16) PutU8(out, c.param);
        }
        size_t packed = out.size() - start;
        if (packed > 0xFFFF) {
            error = "XM pattern too large";
            return false;
        }
        PatchU16LE(out, sizeAt, uint32_t(packed));
    }

    for (const ModuleInstrument& in : song.instruments) {
        const ModuleSample& s = in.sample;
        if (in.volumeEnvelope.size() > 12) {
            error = "XM envelope with more than 12 points";
            return false;
        }
        PutU32LE(out, 263);
        PutText(out, in.name, 22);
        PutU8(out, 0);
        PutU16LE(out, 1);  // one sample
        PutU32LE(out, 40);
        for (int i = 0; i < 96; ++i) PutU8(out, 0);  // every note plays sample 0
        for (size_t i = 0; i < 12; ++i) {
            EnvelopePoint e = i < in.volumeEnvelope.size() ? in.volumeEnvelope[i] : EnvelopePoint{};
            PutU16LE(out, e.tick);
            PutU16LE(out, e.value);
        }
        for (int i = 0; i < 12; ++i) {
            PutU16LE(out, 0);
            PutU16LE(out, 32);
        }  // panning envelope (unused)
        PutU8(out, int(in.volumeEnvelope.size()));
        PutU8(out, 0);
        PutU8(out, std::max(in.sustainPoint, 0));
        PutU8(out, 0);
        PutU8(out, 0);  // volume loop start/end
        PutU8(out, 0);
        PutU8(out, 0);
        PutU8(out, 0);  // panning sustain/loop
        int volType = in.volumeEnvelope.empty() ? 0 : (1 | (in.sustainPoint >= 0 ? 2 : 0));
        PutU8(out, volType);
        PutU8(out, 0);
        PutU8(out, 0);
        PutU8(out, 0);
        PutU8(out, 0);
        PutU8(out, 0);  // vibrato
        PutU16LE(out, uint32_t(std::clamp(in.fadeout, 0, 4095)));
        for (int i = 0; i < 22; ++i) PutU8(out, 0);

        const bool wide = s.bits != 8;
        const uint32_t unit = wide ? 2 : 1;
        PutU32LE(out, uint32_t(s.data.size()) * unit);
        PutU32LE(out, s.loopLength ? s.loopStart * unit : 0);
        PutU32LE(out, s.loopLength * unit);
        PutU8(out, s.volume);
        PutU8(out, uint8_t(int8_t(std::clamp(s.finetune, -128, 127))));
        int type = s.loopLength ? (s.pingPong ? 2 : 1) : 0;
        PutU8(out, type | (wide ? 0x10 : 0));
        PutU8(out, std::clamp(s.panning, 0, 255));
        PutU8(out, uint8_t(int8_t(std::clamp(s.relativeNote, -96, 95))));
        PutU8(out, 0);
        PutText(out, in.name, 22);
        // Sample data is stored as differences between successive values.
        if (wide) {
            int16_t prev = 0;
            for (int16_t v : s.data) {
                PutU16LE(out, uint16_t(int16_t(v - prev)));
                prev = v;
            }
        } else {
            int8_t prev = 0;
            for (int16_t v : s.data) {
                int8_t b = To8Bit(v);
                PutU8(out, uint8_t(int8_t(b - prev)));
                prev = b;
            }
        }
    }
    return true;
}

namespace {

// ProTracker periods for finetune 0, C-1 to B-3 (written as C-3 to B-5 in XM numbering).
const uint16_t kPeriods[36] = {856, 808, 762, 720, 678, 640, 604, 570, 538, 508, 480, 453,
                               428, 404, 381, 360, 339, 320, 302, 285, 269, 254, 240, 226,
                               214, 202, 190, 180, 170, 160, 151, 143, 135, 127, 120, 113};

}  // namespace

bool WriteMod(const ModuleSong& song, std::vector<uint8_t>& out, std::string& error)
{
    out.clear();
    if (!CheckCommon(song, error)) return false;
    if (song.channels != 4) {
        error = "MOD needs exactly 4 channels";
        return false;
    }
    if (song.order.size() > 128) {
        error = "MOD order list longer than 128";
        return false;
    }
    if (song.instruments.size() > 31) {
        error = "MOD holds at most 31 samples";
        return false;
    }
    if (song.patterns.size() > 64) {
        error = "MOD holds at most 64 patterns";
        return false;
    }
    for (const ModulePattern& p : song.patterns)
        if (p.rows != 64) {
            error = "MOD patterns have 64 rows";
            return false;
        }

    // Cells as written: volumes become C effects, the first row gets speed/tempo.
    std::vector<ModulePattern> pats = song.patterns;
    for (ModulePattern& p : pats)
        for (ModuleCell& c : p.cells) {
            if (c.volume < 0) continue;
            if (c.effect || c.param) {
                error = "MOD cell with both a volume and an effect";
                return false;
            }
            c.effect = 0xC;
            c.param = uint8_t(c.volume);
            c.volume = -1;
        }
    ModulePattern& first = pats[song.order[0]];
    auto placeOnRow0 = [&](uint8_t effect, uint8_t param) {
        for (int ch = 0; ch < 4; ++ch) {
            ModuleCell& c = first.At(0, ch);
            if (!c.effect && !c.param) {
                c.effect = effect;
                c.param = param;
                return true;
            }
        }
        // A volume equal to the sample's default on a new note changes nothing: its slot is free.
        for (int ch = 0; ch < 4; ++ch) {
            ModuleCell& c = first.At(0, ch);
            if (c.note && c.instrument && c.effect == 0xC &&
                c.param == song.instruments[c.instrument - 1].sample.volume) {
                c.effect = effect;
                c.param = param;
                return true;
            }
        }
        return false;
    };
    if (song.speed != 6 && !placeOnRow0(0xF, uint8_t(song.speed))) {
        error = "no free effect for the speed";
        return false;
    }
    if (song.tempo != 125 && !placeOnRow0(0xF, uint8_t(song.tempo))) {
        error = "no free effect for the tempo";
        return false;
    }

    PutText(out, song.title, 20);
    std::vector<std::vector<int8_t>> data(song.instruments.size());
    for (size_t i = 0; i < 31; ++i) {
        if (i >= song.instruments.size()) {
            PutText(out, "", 22);
            PutU16BE(out, 0);
            PutU8(out, 0);
            PutU8(out, 0);
            PutU16BE(out, 0);
            PutU16BE(out, 1);
            continue;
        }
        const ModuleInstrument& in = song.instruments[i];
        const ModuleSample& s = in.sample;
        size_t frames = s.data.size() & ~size_t(1);
        if (frames > 2 * 65535) {
            error = "MOD sample longer than 131070 frames";
            return false;
        }
        data[i].resize(frames);
        for (size_t k = 0; k < frames; ++k) data[i][k] = To8Bit(s.data[k]);
        uint32_t loopStart = s.loopStart & ~1u, loopLength = s.loopLength & ~1u;
        if (loopStart + loopLength > frames) loopLength = uint32_t(frames) - loopStart;
        PutText(out, in.name, 22);
        PutU16BE(out, uint32_t(frames / 2));
        PutU8(out, std::clamp(s.finetune, -8, 7) & 0xF);
        PutU8(out, s.volume);
        PutU16BE(out, loopLength >= 2 ? loopStart / 2 : 0);
        PutU16BE(out, loopLength >= 2 ? loopLength / 2 : 1);
    }
    PutU8(out, int(song.order.size()));
    PutU8(out, 127);
    for (size_t i = 0; i < 128; ++i) PutU8(out, i < song.order.size() ? song.order[i] : 0);
    PutText(out, "M.K.", 4);
    for (const ModulePattern& p : pats)
        for (const ModuleCell& c : p.cells) {
            uint16_t period = 0;
            if (c.note) {
                if (c.note < 37 || c.note > 72) {
                    error = "MOD note outside C-3..B-5";
                    return false;
                }
                period = kPeriods[c.note - 37];
            }
            if (c.effect > 0xF) {
                error = "MOD effect above F";
                return false;
            }
            PutU8(out, (c.instrument & 0xF0) | (period >> 8));
            PutU8(out, period & 0xFF);
            PutU8(out, ((c.instrument & 0x0F) << 4) | c.effect);
            PutU8(out, c.param);
        }
    for (const std::vector<int8_t>& d : data)
        for (int8_t b : d) PutU8(out, uint8_t(b));
    return true;
}

double ModuleSongSeconds(const ModuleSong& song)
{
    double seconds = 0;
    int speed = song.speed, tempo = song.tempo;
    size_t ord = 0;
    int row = 0;
    // Guard against endless structures: a pass visits each (order, row) at most once.
    std::vector<std::vector<bool>> seen(song.order.size());
    for (size_t i = 0; i < song.order.size(); ++i)
        if (song.order[i] < song.patterns.size())
            seen[i].assign(size_t(song.patterns[song.order[i]].rows), false);
    while (ord < song.order.size()) {
        if (song.order[ord] >= song.patterns.size()) break;
        const ModulePattern& p = song.patterns[song.order[ord]];
        if (row >= p.rows) {
            ++ord;
            row = 0;
            continue;
        }
        if (seen[ord][size_t(row)]) break;
        seen[ord][size_t(row)] = true;
        int jumpOrder = -1, breakRow = -1, delay = 0;
        for (int ch = 0; ch < p.channels; ++ch) {
            const ModuleCell& c = p.At(row, ch);
            if (c.effect == 0xF && c.param) {
                if (c.param < 0x20) speed = c.param;
                else tempo = c.param;
            } else if (c.effect == 0xB) {
                jumpOrder = c.param;
            } else if (c.effect == 0xD) {
                breakRow = (c.param >> 4) * 10 + (c.param & 0xF);
            } else if (c.effect == 0xE && (c.param >> 4) == 0xE) {
                delay = c.param & 0xF;
            }
        }
        seconds += double(speed) * (1 + delay) * 2.5 / tempo;
        if (jumpOrder >= 0) {
            if (size_t(jumpOrder) <= ord) break;
            ord = size_t(jumpOrder);
            row = breakRow >= 0 ? breakRow : 0;
        } else if (breakRow >= 0) {
            ++ord;
            row = breakRow;
        } else {
            ++row;
        }
    }
    return seconds;
}

bool SaveBytes(const std::string& path, const std::vector<uint8_t>& bytes)
{
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    return std::fclose(f) == 0 && ok;
}
