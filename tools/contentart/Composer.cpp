#include "tools/contentart/Composer.h"

#include <algorithm>
#include <cmath>

namespace {

const int kMajor[7] = {0, 2, 4, 5, 7, 9, 11};
const int kMinor[7] = {0, 2, 3, 5, 7, 8, 10};

// Pitch of scale degree d (any integer, wraps into octaves) above the tonic.
int Degree(const SongStyle& s, int d)
{
    const int* scale = s.minor ? kMinor : kMajor;
    int oct = d >= 0 ? d / 7 : -((-d + 6) / 7);
    int idx = d - oct * 7;
    return s.root + oct * 12 + scale[idx];
}

bool IsChordTone(int degree, int chordRoot)
{
    int rel = ((degree - chordRoot) % 7 + 7) % 7;
    return rel == 0 || rel == 2 || rel == 4;
}

int NearestChordTone(int degree, int chordRoot)
{
    for (int off : {0, -1, 1, -2, 2})
        if (IsChordTone(degree + off, chordRoot)) return degree + off;
    return degree;
}

enum Section { SecIntro, SecA, SecB, SecBreak, SecOutro };

struct Motif {
    std::vector<int> steps;  // onset within two bars (0..31)
    std::vector<int> lengths;
    std::vector<int> degrees;  // relative scale degree movement from the phrase's start
};

Motif MakeMotif(Rng& rng, float density)
{
    Motif m;
    int step = 0;
    int degree = 0;
    while (step < 30) {
        // Longer notes on low density; rests now and then.
        int len;
        float r = rng.Uniform();
        if (r < density * 0.5f) len = 1 + (rng.Uniform() < 0.5f ? 1 : 0);
        else if (r < density) len = 2;
        else if (r < 0.85f) len = 4;
        else len = 6;
        if (step + len > 32) len = 32 - step;
        if (rng.Uniform() < 0.12f && step > 0) {
            step += 2;
            continue;
        }
        int move = rng.Range(-2, 2);
        if (rng.Uniform() < 0.15f) move = rng.Uniform() < 0.5f ? 4 : -3;
        degree = std::clamp(degree + move, -3, 7);
        m.steps.push_back(step);
        m.lengths.push_back(std::max(1, len - (len > 2 ? 1 : 0)));
        m.degrees.push_back(degree);
        step += len;
    }
    return m;
}

void Add(SongPlan& p, int part, int step, int len, int pitch, float vel)
{
    p.notes.push_back({part, step, len, pitch, vel});
}

void Drums(SongPlan& p, Rng& rng, int bar, Section sec, bool fill)
{
    const SongStyle& s = p.style;
    int base = bar * 16;
    bool light = sec == SecIntro || sec == SecOutro;
    for (int i = 0; i < 16; ++i) {
        int t = base + i;
        switch (s.drums) {
        case DrumsFourOnFloor:
            if (i % 4 == 0) Add(p, PartKick, t, 2, 36, 1.0f);
            if (!light && (i == 4 || i == 12)) Add(p, PartSnare, t, 2, 38, 0.9f);
            if (i % 4 == 2) Add(p, PartOpenHat, t, 2, 46, light ? 0.4f : 0.6f);
            else if (!light && i % 2 == 1) Add(p, PartHat, t, 1, 42, 0.35f + 0.1f * rng.Uniform());
            break;
        case DrumsBreakbeat:
            if (i == 0 || i == 10 || (i == 7 && bar % 2)) Add(p, PartKick, t, 2, 36, 1.0f);
            if (!light && (i == 4 || i == 12)) Add(p, PartSnare, t, 2, 38, 0.95f);
            if (!light && (i == 15 && rng.Uniform() < 0.4f)) Add(p, PartSnare, t, 1, 38, 0.4f);
            if (i % 2 == 0) Add(p, PartHat, t, 1, 42, (i % 4 == 0 ? 0.55f : 0.4f));
            break;
        case DrumsHalfTime:
            if (i == 0 || (i == 11 && bar % 2 == 0)) Add(p, PartKick, t, 2, 36, 0.9f);
            if (!light && i == 8) Add(p, PartSnare, t, 2, 38, 0.85f);
            if (i % 2 == 0) Add(p, PartHat, t, 1, 42, (i % 4 == 2 ? 0.45f : 0.3f));
            break;
        case DrumsChip:
            if (i == 0 || i == 6 || i == 8) Add(p, PartKick, t, 1, 36, 1.0f);
            if (!light && (i == 4 || i == 12)) Add(p, PartSnare, t, 1, 38, 0.9f);
            if (!light && i % 2 == 0 && i != 4 && i != 12) Add(p, PartHat, t, 1, 42, 0.4f);
            break;
        }
    }
    if (fill && sec != SecIntro) {
        for (int i = 12; i < 16; ++i) Add(p, PartSnare, base + i, 1, 38, 0.5f + 0.12f * float(i - 12));
    }
}

void Bass(SongPlan& p, Rng& rng, int bar, int chord, int nextChord)
{
    const SongStyle& s = p.style;
    int base = bar * 16;
    int root = Degree(s, chord) - 24;
    while (root > s.root - 12) root -= 12;
    while (root < s.root - 24) root += 12;
    switch (s.bass) {
    case BassEighths:
        for (int i = 0; i < 16; i += 2)
            Add(p, PartBass, base + i, 2, root + (i == 14 && rng.Uniform() < 0.5f ? 12 : 0),
                i % 4 ? 0.7f : 0.9f);
        break;
    case BassOctaves:
        for (int i = 0; i < 16; i += 2) Add(p, PartBass, base + i, 1, root + (i % 4 == 2 ? 12 : 0), 0.85f);
        break;
    case BassSyncopated: {
        const int on[] = {0, 3, 6, 10, 12};
        const int len[] = {3, 3, 3, 2, 3};
        for (int k = 0; k < 5; ++k)
            Add(p, PartBass, base + on[k], len[k], root + (k == 3 ? 7 : 0), k == 0 ? 0.95f : 0.75f);
        break;
    }
    case BassWalking: {
        int target = Degree(s, nextChord) - 24;
        while (target > s.root - 12) target -= 12;
        while (target < s.root - 24) target += 12;
        int notes[4] = {root, root + 7, root + 12, target + (target > root ? -1 : 1)};
        for (int k = 0; k < 4; ++k) Add(p, PartBass, base + 4 * k, 3, notes[k], k == 0 ? 0.9f : 0.7f);
        break;
    }
    }
}

}  // namespace

SongPlan Compose(const SongStyle& style)
{
    SongPlan p;
    p.style = style;
    Rng rng(style.seed);
    const double barSeconds = 240.0 / style.bpm;

    // Sections in bars.
    std::vector<std::pair<Section, int>> form;
    if (style.shortForm) {
        int bars = std::max(1, int(std::lround(style.seconds / barSeconds)));
        form = {{SecA, bars}};
    } else {
        int total = std::max(16, int(std::lround(style.seconds / barSeconds / 4.0)) * 4);
        int body = total - 8;  // intro and outro of 4 bars each
        form.push_back({SecIntro, 4});
        const Section cycle[] = {SecA, SecB, SecA, SecBreak, SecB, SecA};
        for (int i = 0; body > 0; ++i) {
            int len = std::min(body, 8);
            if (cycle[i % 6] == SecBreak) len = std::min(body, 4);
            form.push_back({cycle[i % 6], len});
            body -= len;
        }
        form.push_back({SecOutro, 4});
    }

    Motif motifA = MakeMotif(rng, style.leadDensity);
    Motif motifB = MakeMotif(rng, std::min(1.0f, style.leadDensity + 0.15f));
    const int prog = int(style.progression.size());
    int bar = 0;
    for (auto [sec, len] : form) {
        for (int b = 0; b < len; ++b, ++bar) {
            int chord = style.progression[size_t(bar % prog)];
            int next = style.progression[size_t((bar + 1) % prog)];
            bool lastOfSection = b == len - 1;
            // Drums and bass.
            if (sec != SecBreak) Drums(p, rng, bar, sec, lastOfSection && len >= 4 && sec != SecOutro);
            if (sec != SecIntro || b >= 2) Bass(p, rng, bar, chord, next);
            // Pad: the chord held for the bar.
            for (int k = 0; k < 3; ++k) {
                int d = chord + 2 * k;
                Add(p, PartPad, bar * 16, 16, Degree(style, d) - 12 + (k == 0 ? 0 : 0),
                    sec == SecBreak ? 0.8f : 0.6f);
            }
            // Arpeggio in the break and the B sections.
            if (style.arpeggio && (sec == SecBreak || sec == SecB || style.shortForm)) {
                const int shape[] = {0, 2, 4, 7, 4, 2, 0, 4};
                for (int i = 0; i < 16; i += 2)
                    Add(p, PartArp, bar * 16 + i, 2, Degree(style, chord + shape[(i / 2) % 8]) + 12, 0.5f);
            }
            // Melody: two-bar motifs, adapted to the chord under each note.
            if (sec == SecA || sec == SecB || (style.shortForm)) {
                const Motif& m = sec == SecB ? motifB : motifA;
                int half = (bar % 2) * 16;
                int startDegree = chord + (sec == SecB ? 2 : 0) + 7 * style.leadOctave;
                for (size_t k = 0; k < m.steps.size(); ++k) {
                    if (m.steps[k] < half || m.steps[k] >= half + 16) continue;
                    int step = m.steps[k] - half;
                    int deg = startDegree + m.degrees[k];
                    if (step % 8 == 0) deg = NearestChordTone(deg, chord);
                    // Every fourth bar ends the phrase on a chord tone, held.
                    int noteLen = m.lengths[k];
                    if (bar % 4 == 3 && step + noteLen >= 12) { deg = NearestChordTone(deg, chord); }
                    noteLen = std::min(noteLen, 16 - step);
                    Add(p, PartLead, bar * 16 + step, noteLen, Degree(style, deg) + 12,
                        step % 4 == 0 ? 0.9f : 0.75f);
                }
            }
        }
    }
    p.bars = bar;
    // The final chord rings: the last bar's notes keep their lengths; a closing kick and root.
    if (!style.shortForm) {
        int root = Degree(style, style.progression[0]);
        Add(p, PartKick, bar * 16 - 16, 2, 36, 0.8f);
        Add(p, PartLead, bar * 16 - 8, 8, root + 12, 0.6f);
    }
    std::stable_sort(p.notes.begin(), p.notes.end(),
                     [](const NoteEvent& a, const NoteEvent& b) { return a.step < b.step; });
    return p;
}
