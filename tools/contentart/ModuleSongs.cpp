#include "tools/contentart/ModuleSongs.h"

#include "tools/contentart/Synth.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Harmonic amplitude of a waveform (sine series).
double Harmonic(Wave w, int k)
{
    switch (w) {
    case WaveSaw:
        return 1.0 / k;
    case WaveSquare:
        return k % 2 ? 1.0 / k : 0.0;
    case WavePulse:
        return std::sin(kPi * k * 0.25) / k;  // 25 % duty
    case WaveTriangle:
        return k % 2 ? ((k / 2) % 2 ? -1.0 : 1.0) / (double(k) * k) : 0.0;
    case WaveOrgan:
        return k == 1 ? 1.0 : k == 2 ? 0.5 : k == 3 ? 0.3 : k == 4 ? 0.25 : k == 6 ? 0.12 : 0.0;
    case WaveSine:
        return k == 1 ? 1.0 : 0.0;
    }
    return 0;
}

// `length` samples holding `cycles` periods of the wave (and optionally a second voice with
// one more period, for a chorus that still loops seamlessly), scaled to `peak`.
std::vector<int16_t> Loop(Wave w, int length, int cycles, bool chorus, double peak)
{
    std::vector<double> v(size_t(length), 0.0);
    const int maxK = std::max(1, length / cycles / 4);
    for (int voice = 0; voice < (chorus ? 2 : 1); ++voice) {
        int c = cycles + voice;
        for (int k = 1; k <= maxK; ++k) {
            double a = Harmonic(w, k);
            if (a == 0) continue;
            for (int i = 0; i < length; ++i) v[size_t(i)] += a * std::sin(2 * kPi * k * c * i / length);
        }
    }
    double m = 0;
    for (double x : v) m = std::max(m, std::fabs(x));
    std::vector<int16_t> out(static_cast<size_t>(length));
    for (size_t i = 0; i < out.size(); ++i) out[i] = int16_t(std::lround(v[i] / m * peak * 32767));
    return out;
}

std::vector<int16_t> ToPcm(const std::vector<float>& f, double peak)
{
    float m = 0;
    for (float x : f) m = std::max(m, std::fabs(x));
    std::vector<int16_t> out(f.size());
    for (size_t i = 0; i < f.size(); ++i)
        out[i] = int16_t(std::lround(f[i] / std::max(m, 1e-6f) * peak * 32767));
    return out;
}

ModuleInstrument Drum(const char* name, int part, int rate)
{
    ModuleInstrument in;
    in.name = name;
    in.sample.data = ToPcm(RenderDrum(part, rate), 0.95);
    return in;
}

// A looped tone: period `period` samples; at note 49 it plays 8363 / period Hz.
ModuleInstrument Tone(const char* name, Wave w, int period, bool chorus, int bits)
{
    ModuleInstrument in;
    in.name = name;
    in.sample.bits = bits;
    int cycles = chorus ? 32 : 4;
    in.sample.data = Loop(w, period * cycles, cycles, chorus, 0.9);
    in.sample.loopStart = 0;
    in.sample.loopLength = uint32_t(in.sample.data.size());
    return in;
}

// The same tone with its attack and decay baked in before the loop (for MOD, which has no
// envelopes): decays from full level to `sustain` over `decayCycles` periods.
ModuleInstrument BakedTone(const char* name, Wave w, int period, int decayCycles, double sustain)
{
    ModuleInstrument in = Tone(name, w, period, false, 8);
    std::vector<int16_t> cycle(in.sample.data.begin(), in.sample.data.begin() + period);
    std::vector<int16_t> data;
    for (int c = 0; c < decayCycles; ++c)
        for (int i = 0; i < period; ++i) {
            double t = (double(c) * period + i) / (double(decayCycles) * period);
            double g = sustain + (1 - sustain) * std::pow(1 - t, 2.0);
            data.push_back(int16_t(std::lround(cycle[size_t(i)] * g)));
        }
    uint32_t loopStart = uint32_t(data.size());
    for (int c = 0; c < 4; ++c)
        for (int i = 0; i < period; ++i) data.push_back(int16_t(std::lround(cycle[size_t(i)] * sustain)));
    in.sample.data = data;
    in.sample.loopStart = loopStart;
    in.sample.loopLength = uint32_t(4 * period);
    return in;
}

void Envelope(ModuleInstrument& in, std::vector<EnvelopePoint> pts, int sustain, int fadeout)
{
    in.volumeEnvelope = std::move(pts);
    in.sustainPoint = sustain;
    in.fadeout = fadeout;
}

// XM note number that sounds MIDI `midi` on a tone of the given period.
int NoteFor(int midi, int period)
{
    int shift = 0;
    for (int p = 32; p < period; p *= 2) shift += 12;
    return midi - 11 + shift;
}

// Grid of cells over the whole song, sliced into 64-row patterns afterwards.
struct Grid {
    Grid(int rowCount, int channelCount)
        : rows(rowCount), channels(channelCount), cells(size_t(rowCount) * size_t(channelCount))
    {
    }
    ModuleCell& At(int r, int c) { return cells[size_t(r) * size_t(channels) + size_t(c)]; }
    bool Free(int r, int c) { return r < rows && At(r, c).note == 0; }
    int rows, channels;
    std::vector<ModuleCell> cells;
};

// Octave shifts into the three ProTracker octaves (notes 37..72).
int FoldMod(int note)
{
    while (note < 37) note += 12;
    while (note > 72) note -= 12;
    return note;
}

uint8_t Vol(float v)
{
    return uint8_t(std::clamp(int(std::lround(v * 64)), 1, 64));
}

// Cuts the grid into patterns of up to 64 rows, sharing repeated ones. The last pattern is
// shorter in XM; in MOD (always 64 rows) a pattern break ends the song after the grid's end.
void Slice(const Grid& g, ModuleSong& song, bool xm)
{
    const int patternRows = 64;
    std::map<std::vector<uint8_t>, int> seen;
    for (int start = 0; start < g.rows; start += patternRows) {
        const int used = std::min(patternRows, g.rows - start);
        ModulePattern p(xm ? used : patternRows, g.channels);
        for (int r = 0; r < used; ++r)
            for (int c = 0; c < g.channels; ++c)
                p.At(r, c) = g.cells[size_t(start + r) * size_t(g.channels) + size_t(c)];
        if (!xm && used < patternRows) {
            for (int c = g.channels - 1; c >= 0; --c) {
                ModuleCell& cell = p.At(used - 1, c);
                if (!cell.effect && !cell.param && cell.volume < 0) {
                    cell.effect = 0xD;
                    break;
                }
            }
        }
        std::vector<uint8_t> key;
        for (const ModuleCell& c : p.cells) {
            key.push_back(c.note);
            key.push_back(c.instrument);
            key.push_back(uint8_t(c.volume));
            key.push_back(c.effect);
            key.push_back(c.param);
        }
        auto it = seen.find(key);
        if (it == seen.end()) {
            it = seen.emplace(key, int(song.patterns.size())).first;
            song.patterns.push_back(p);
        }
        song.order.push_back(uint8_t(it->second));
    }
}

// Places a note with its end marker: key-off in XM, a volume cut in MOD.
void Place(Grid& g, int row, int ch, int note, int inst, float vel, int length, bool xm, bool endMark)
{
    if (row >= g.rows) return;
    ModuleCell& c = g.At(row, ch);
    c = {uint8_t(note), uint8_t(inst), int8_t(Vol(vel)), 0, 0};
    if (!xm && c.volume == 64) c.volume = -1;  // a new note starts at full volume anyway
    int end = row + std::max(1, length);
    if (!endMark || end >= g.rows) return;
    ModuleCell& e = g.At(end, ch);
    if (e.note || e.effect || e.volume >= 0) return;
    if (xm) e.note = 97;
    else e.volume = 0;
}

}  // namespace

ModuleSong BuildXm(const SongPlan& plan, const ModuleTimbre& t)
{
    ModuleSong s;
    s.title = plan.style.title;
    s.channels = 10;
    s.speed = 6;
    s.tempo = plan.style.bpm;
    const int rate = 16726;                                        // note 61 plays drum samples at this rate
    s.instruments.push_back(Drum("kick", PartKick, rate));         // 1
    s.instruments.push_back(Drum("snare", PartSnare, rate));       // 2
    s.instruments.push_back(Drum("hat", PartHat, rate));           // 3
    s.instruments.push_back(Drum("open hat", PartOpenHat, rate));  // 4
    ModuleInstrument bass = Tone("bass", t.bass, 128, false, 16);
    Envelope(bass, {{0, 64}, {6, 50}, {30, 40}, {40, 40}}, 3, 2000);
    ModuleInstrument lead = Tone("lead", t.lead, 64, true, 16);
    if (t.pluckyLead) Envelope(lead, {{0, 64}, {8, 36}, {40, 10}, {80, 0}}, -1, 800);
    else Envelope(lead, {{0, 40}, {3, 64}, {12, 48}, {20, 48}}, 3, 900);
    ModuleInstrument pad = Tone("pad", t.pad, 128, true, 16);
    Envelope(pad, {{0, 0}, {24, 40}, {48, 34}, {60, 34}}, 3, 300);
    ModuleInstrument arp = Tone("arp", t.arp, 64, false, 16);
    Envelope(arp, {{0, 64}, {4, 30}, {16, 8}, {30, 0}}, -1, 1200);
    // Spread the band across the stereo field.
    s.instruments[2].sample.panning = 168;
    s.instruments[3].sample.panning = 96;
    lead.sample.panning = 112;
    pad.sample.panning = 140;
    arp.sample.panning = 176;
    s.instruments.push_back(bass);  // 5
    s.instruments.push_back(lead);  // 6
    s.instruments.push_back(pad);   // 7
    s.instruments.push_back(arp);   // 8

    Grid g(plan.bars * 16 + 8, s.channels);  // half a bar of room for the last notes to ring
    int padVoice = 0, lastPadStep = -1;
    for (const NoteEvent& e : plan.notes) {
        switch (e.part) {
        case PartKick:
            Place(g, e.step, 0, 61, 1, e.velocity, 0, true, false);
            break;
        case PartSnare:
            Place(g, e.step, 1, 61, 2, e.velocity, 0, true, false);
            break;
        case PartHat:
            if (g.Free(e.step, 2)) Place(g, e.step, 2, 61, 3, e.velocity, 0, true, false);
            break;
        case PartOpenHat:
            Place(g, e.step, 2, 61, 4, e.velocity, 0, true, false);
            break;
        case PartBass:
            Place(g, e.step, 3, NoteFor(e.pitch, 128), 5, e.velocity, e.length, true, true);
            break;
        case PartLead:
            Place(g, e.step, 4, NoteFor(e.pitch, 64), 6, e.velocity, e.length, true, true);
            if (t.echo)
                Place(g, e.step + 3, 9, NoteFor(e.pitch, 64), 6, e.velocity * 0.35f, e.length, true, true);
            break;
        case PartPad:
            if (e.step != lastPadStep) {
                padVoice = 0;
                lastPadStep = e.step;
            }
            if (padVoice < 3)
                Place(g, e.step, 5 + padVoice++, NoteFor(e.pitch, 128), 7, e.velocity * 0.8f, e.length, true,
                      true);
            break;
        case PartArp:
            Place(g, e.step, 8, NoteFor(e.pitch, 64), 8, e.velocity, e.length, true, false);
            break;
        }
    }
    Slice(g, s, true);
    return s;
}

ModuleSong BuildMod(const SongPlan& plan, const ModuleTimbre& t)
{
    ModuleSong s;
    s.title = plan.style.title;
    s.channels = 4;
    s.speed = 6;
    s.tempo = plan.style.bpm;
    const int rate = 16574;                                   // period 214 (note 61) on a PAL machine
    s.instruments.push_back(Drum("kick", PartKick, rate));    // 1
    s.instruments.push_back(Drum("snare", PartSnare, rate));  // 2
    s.instruments.push_back(Drum("hat", PartHat, rate));      // 3
    s.instruments.push_back(BakedTone("bass", t.bass, 128, 12, 0.55));  // 4
    s.instruments.push_back(BakedTone("lead", t.lead, 32, 60, 0.6));    // 5
    s.instruments.push_back(BakedTone("arp", t.arp, 32, 40, 0.25));     // 6
    for (ModuleInstrument& in : s.instruments) in.sample.bits = 8;

    Grid g(plan.bars * 16 + 8, 4);
    // Arpeggio first, so hats only fill the steps it leaves free.
    for (const NoteEvent& e : plan.notes)
        if (e.part == PartArp)
            Place(g, e.step, 3, FoldMod(NoteFor(e.pitch, 32)), 6, e.velocity, e.length, false, false);
    for (const NoteEvent& e : plan.notes) {
        switch (e.part) {
        case PartKick:
            Place(g, e.step, 0, 61, 1, e.velocity, 0, false, false);
            break;
        case PartSnare:
            if (g.Free(e.step, 0)) Place(g, e.step, 0, 61, 2, e.velocity, 0, false, false);
            break;
        case PartHat:
        case PartOpenHat:
            if (g.Free(e.step, 3) && g.At(e.step, 3).volume < 0)
                Place(g, e.step, 3, 61, 3, e.velocity * 0.8f, 0, false, false);
            break;
        case PartBass:
            Place(g, e.step, 1, FoldMod(NoteFor(e.pitch, 128)), 4, e.velocity, e.length, false, true);
            break;
        case PartLead:
            Place(g, e.step, 2, FoldMod(NoteFor(e.pitch, 32)), 5, e.velocity * 0.8f, e.length, false, true);
            break;
        default:
            break;
        }
    }
    Slice(g, s, false);
    return s;
}
