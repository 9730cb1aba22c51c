#include "tools/contentart/Radio.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kLength = 43.0;

double Ease(double x)
{
    return 1.0 - (std::cos(x * kPi) + 1.0) * 0.5;
}

// Smooth window: 0 outside [a, d], 1 inside [b, c], cosine ramps between.
double Window(double t, double a, double b, double c, double d)
{
    if (t <= a || t >= d) return 0;
    if (t < b) return Ease((t - a) / (b - a));
    if (t > c) return Ease((d - t) / (d - c));
    return 1;
}

// Band-limits a mono signal to a small radio's voice: high-pass then low-pass, a little drive.
void RadioVoice(std::vector<float>& x, int rate, double lowHz, double highHz)
{
    double hpA = std::exp(-2 * kPi * lowHz / rate), lpA = std::exp(-2 * kPi * highHz / rate);
    double hpPrevIn = 0, hpPrevOut = 0, lp1 = 0, lp2 = 0;
    for (float& v : x) {
        double hp = hpA * (hpPrevOut + v - hpPrevIn);
        hpPrevIn = v;
        hpPrevOut = hp;
        lp1 = (1 - lpA) * hp + lpA * lp1;
        lp2 = (1 - lpA) * lp1 + lpA * lp2;
        v = float(std::tanh(lp2 * 1.8) / 1.8);
    }
}

std::vector<float> Mono(const Stereo& s)
{
    std::vector<float> m(s.Frames());
    for (size_t i = 0; i < m.size(); ++i) m[i] = 0.5f * (s.l[i] + s.r[i]);
    return m;
}

// A short piece of another station, rendered from its own little composition.
std::vector<float> Station(int bpm, int root, bool minor, DrumStyle drums, BassStyle bass, LeadTone lead,
                           double seconds, int rate, uint64_t seed)
{
    SongStyle st;
    st.title = "station";
    st.seed = seed;
    st.bpm = bpm;
    st.root = root;
    st.minor = minor;
    st.seconds = seconds;
    st.progression = {0, 3, 4, 0};
    st.drums = drums;
    st.bass = bass;
    st.shortForm = true;
    SongSound snd;
    snd.lead = lead;
    snd.reverb = 0.05f;
    std::vector<float> m = Mono(RenderSong(Compose(st), snd, rate, 0.2));
    RadioVoice(m, rate, 300, 3200);
    // Level after the radio's band limits, which take most of the bass and drums away.
    float peak = 0;
    for (float v : m) peak = std::max(peak, std::fabs(v));
    for (float& v : m) v *= 0.55f / std::max(peak, 1e-6f);
    return m;
}

// A voice-like murmur for the news station: a buzz through moving vowel formants.
std::vector<float> Talk(double seconds, int rate)
{
    std::vector<float> out(size_t(seconds * rate));
    double phase = 0;
    double b1[2] = {0, 0}, b2[2] = {0, 0};
    for (size_t i = 0; i < out.size(); ++i) {
        double t = double(i) / rate;
        double syll = 0.5 + 0.5 * std::sin(2 * kPi * 4.3 * t + std::sin(2 * kPi * 0.7 * t) * 2);
        double f0 = 118 + 18 * std::sin(2 * kPi * 0.9 * t);
        phase += f0 / rate;
        if (phase >= 1) phase -= 1;
        double src = 2 * phase - 1;
        double f1 = 500 + 250 * std::sin(2 * kPi * 2.1 * t),
               f2 = 1500 + 600 * std::sin(2 * kPi * 1.3 * t + 1);
        // Two resonators.
        auto reson = [&](double x, double f, double* st) {
            double r = 0.97, c = 2 * r * std::cos(2 * kPi * f / rate);
            double y = x + c * st[0] - r * r * st[1];
            st[1] = st[0];
            st[0] = y;
            return y * (1 - r);
        };
        double v = reson(src, f1, b1) + 0.6 * reson(src, f2, b2);
        out[i] = float(v * syll * syll * 2.0);
    }
    RadioVoice(out, rate, 250, 3000);
    return out;
}

void MixIn(std::vector<float>& dst, const std::vector<float>& src, double at, int rate, double gain, double a,
           double b, double c, double d)
{
    size_t start = size_t(at * rate);
    for (size_t i = 0; i < src.size() && start + i < dst.size(); ++i) {
        double t = double(start + i) / rate;
        dst[start + i] += float(src[i] * gain * Window(t, a, b, c, d));
    }
}

}  // namespace

double DialPosition(double t)
{
    static const double keys[9][2] = {{0, -250}, {4, 215},  {5, 200},  {8, 300},  {11, 580},
                                      {12, 580}, {16, 700}, {20, 864}, {24, 1038}};
    for (int i = 0; i < 8; ++i)
        if (keys[i][0] < t && t <= keys[i + 1][0])
            return keys[i][1] +
                   Ease((t - keys[i][0]) / (keys[i + 1][0] - keys[i][0])) * (keys[i + 1][1] - keys[i][1]);
    return 1038;
}

Stereo RenderRadio(int rate)
{
    const size_t frames = size_t(kLength * rate);
    std::vector<float> air(frames, 0.0f);

    // Hiss and tuning whistles; both fall silent once the station is tuned in.
    uint32_t seed = 0xC0FFEEu;
    double lp = 0, whistlePhase = 0;
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        double speed = std::fabs(DialPosition(t + 0.01) - DialPosition(t)) * 100.0;  // pixels per second
        double tuned = Window(t, 19.5, 24.0, 100, 101);
        seed ^= seed << 13;
        seed ^= seed >> 17;
        seed ^= seed << 5;
        double n = double(seed) / 4294967296.0 * 2 - 1;
        lp += 0.25 * (n - lp);
        double hiss = (0.55 * lp + 0.08 * n) * (1 - tuned) * (0.25 + 0.25 * std::min(1.0, speed / 200.0));
        double whistleHz = 300 + 9 * speed + 400 * std::sin(t * 1.7);
        whistlePhase += whistleHz / rate;
        double whistle = std::sin(2 * kPi * whistlePhase) * 0.05 * std::min(1.0, speed / 60.0) * (1 - tuned);
        air[i] = float(hiss + whistle);
    }

    // Snatches of stations where the dial passes or rests.
    MixIn(air, Talk(2.2, rate), 3.6, rate, 0.9, 3.6, 4.1, 5.1, 5.8);
    MixIn(air, Station(96, 50, false, DrumsHalfTime, BassWalking, LeadBell, 2.6, rate, 71), 10.2, rate, 1.0,
          10.2, 10.9, 12.0, 12.8);
    MixIn(air, Station(150, 57, true, DrumsChip, BassOctaves, LeadSquare, 1.6, rate, 72), 14.0, rate, 0.6,
          14.0, 14.4, 15.0, 15.6);
    MixIn(air, Talk(1.6, rate), 17.6, rate, 0.5, 17.6, 18.0, 18.6, 19.2);

    // The disk's own station: muffled at first, opening up as the dial reaches it.
    SongStyle st;
    st.title = "Mivola FM";
    st.seed = 424242;
    st.bpm = 112;
    st.root = 55;
    st.minor = false;
    st.seconds = 24;
    st.progression = {0, 5, 3, 4};
    st.drums = DrumsFourOnFloor;
    st.bass = BassSyncopated;
    st.leadDensity = 0.55f;
    SongSound snd;
    snd.lead = LeadSquare;
    snd.arp = LeadPluck;
    snd.pad = PadWarm;
    snd.brightness = 0.6f;
    SongPlan plan = Compose(st);
    Stereo tune = RenderSong(plan, snd, rate, 1.0);
    const double tuneStart = 19.5;
    Stereo out;
    out.Resize(frames);
    double lp1l = 0, lp1r = 0;
    for (size_t i = 0; i < frames; ++i) {
        double t = double(i) / rate;
        double l = air[i], r = air[i];
        if (t >= tuneStart) {
            size_t k = size_t((t - tuneStart) * rate);
            if (k < tune.Frames()) {
                double open = Window(t, tuneStart, 24.0, 100, 101);
                double cutoff = 700 + open * open * 15000;
                double a = std::exp(-2 * kPi * cutoff / rate);
                lp1l = (1 - a) * tune.l[k] + a * lp1l;
                lp1r = (1 - a) * tune.r[k] + a * lp1r;
                double gain = 0.35 + 0.65 * open;
                l += lp1l * gain;
                r += lp1r * gain;
            }
        }
        out.l[i] = float(l);
        out.r[i] = float(r);
    }
    Fade(out, rate, 0.3, 4.5);
    return out;
}
