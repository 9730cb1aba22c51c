#include "tools/contentart/Synth.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;

// Band-limited step correction for saw and square oscillators.
double PolyBlep(double t, double dt)
{
    if (t < dt) {
        t /= dt;
        return t + t - t * t - 1.0;
    }
    if (t > 1.0 - dt) {
        t = (t - 1.0) / dt;
        return t * t + t + t + 1.0;
    }
    return 0.0;
}

struct Osc {
    double phase = 0;
    double Saw(double inc)
    {
        double v = 2.0 * phase - 1.0 - PolyBlep(phase, inc);
        phase += inc;
        if (phase >= 1) phase -= 1;
        return v;
    }
    double Square(double inc, double width = 0.5)
    {
        double v = phase < width ? 1.0 : -1.0;
        v += PolyBlep(phase, inc);
        double t2 = phase - width;
        if (t2 < 0) t2 += 1;
        v -= PolyBlep(t2, inc);
        phase += inc;
        if (phase >= 1) phase -= 1;
        return v;
    }
    double Sine(double inc)
    {
        double v = std::sin(2 * kPi * phase);
        phase += inc;
        if (phase >= 1) phase -= 1;
        return v;
    }
};

// Two-pole state-variable low-pass (trapezoidal form; stable at any cutoff).
struct Svf {
    double ic1 = 0, ic2 = 0;
    double Low(double x, double cutoffHz, double q, int rate)
    {
        double g = std::tan(kPi * std::min(cutoffHz, rate * 0.45) / rate);
        double k = 1.0 / q;
        double a1 = 1 / (1 + g * (g + k)), a2 = g * a1, a3 = g * a2;
        double v3 = x - ic2;
        double v1 = a1 * ic1 + a2 * v3;
        double v2 = ic2 + a2 * ic1 + a3 * v3;
        ic1 = 2 * v1 - ic1;
        ic2 = 2 * v2 - ic2;
        return v2;
    }
};

// Attack-decay-sustain-release envelope value at time t for a note held `hold` seconds.
double Adsr(double t, double hold, double a, double d, double s, double r)
{
    auto held = [&](double x) {
        if (x < a) return x / a;
        if (x < a + d) return 1.0 - (1.0 - s) * (x - a) / d;
        return s;
    };
    if (t < hold) return held(t);
    double level = held(hold);
    double x = (t - hold) / r;
    return x >= 1 ? 0.0 : level * (1 - x) * (1 - x);
}

uint32_t NoiseState(uint32_t& s)
{
    s ^= s << 13;
    s ^= s >> 17;
    s ^= s << 5;
    return s;
}
double Noise(uint32_t& s)
{
    return double(NoiseState(s)) / 2147483648.0 - 1.0;
}

void Lead(std::vector<float>& out, size_t at, LeadTone tone, double hz, float vel, double hold, float bright,
          int rate)
{
    double release = tone == LeadPluck ? 0.25 : tone == LeadBell ? 0.9 : 0.12;
    double dur = hold + release;
    if (tone == LeadPluck || tone == LeadBell) dur = std::max(dur, tone == LeadBell ? 1.4 : 0.8);
    size_t n = size_t(dur * rate);
    if (at + n > out.size()) n = out.size() > at ? out.size() - at : 0;
    Osc o1, o2, lfo;
    Svf f;
    double inc = hz / rate;
    if (tone == LeadPluck) {
        // Plucked string: a burst of filtered noise circulating in a tuned delay line.
        size_t period = std::max<size_t>(2, size_t(double(rate) / hz));
        std::vector<double> line(period);
        uint32_t seed = uint32_t(hz * 1000) | 1u;
        double prev = 0;
        for (double& v : line) {
            double x = Noise(seed);
            v = 0.5 * (x + prev);
            prev = x;
        }
        size_t idx = 0;
        double damp = 0.996 - 0.004 * (1 - bright);
        for (size_t i = 0; i < n; ++i) {
            double t = double(i) / rate;
            size_t nxt = (idx + 1) % period;
            double v = line[idx];
            line[idx] = damp * 0.5 * (line[idx] + line[nxt]);
            idx = nxt;
            double env = t < hold ? 1.0 : std::max(0.0, 1.0 - (t - hold) / release);
            out[at + i] += float(v * env * vel * 0.9);
        }
        return;
    }
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double vib = 1.0 + 0.004 * std::sin(2 * kPi * 5.5 * t) * std::min(1.0, t * 2);
        double v = 0;
        switch (tone) {
        case LeadSaw: {
            v = 0.6 * o1.Saw(inc * vib) + 0.4 * o2.Saw(inc * vib * 1.006);
            double env = Adsr(t, hold, 0.01, 0.25, 0.7, release);
            double cut = 600 + (1500 + 4000 * bright) * Adsr(t, hold, 0.005, 0.3, 0.4, release);
            v = f.Low(v, cut, 1.2, rate) * env;
            break;
        }
        case LeadSquare: {
            double width = 0.5 - 0.2 * std::sin(2 * kPi * 0.7 * t);
            v = o1.Square(inc * vib, width) * 0.7;
            v = f.Low(v, 2500 + 4000 * bright, 0.8, rate) * Adsr(t, hold, 0.005, 0.1, 0.8, release);
            break;
        }
        case LeadBell: {
            double idx = 2.5 * std::exp(-t * 3.0);
            double mod = std::sin(2 * kPi * hz * 3.5 * t) * idx;
            v = std::sin(2 * kPi * hz * t + mod) * std::exp(-t * 2.2) * 0.8;
            break;
        }
        case LeadSoftSine: {
            v = (o1.Sine(inc * vib) + 0.25 * o2.Sine(inc * 2 * vib)) * 0.7 *
                Adsr(t, hold, 0.03, 0.2, 0.8, 0.2);
            break;
        }
        default:
            break;
        }
        (void)lfo;
        out[at + i] += float(v * vel);
    }
}

void BassVoice(std::vector<float>& out, size_t at, BassTone tone, double hz, float vel, double hold,
               float bright, int rate)
{
    double release = 0.06;
    size_t n = size_t((hold + release) * rate);
    if (at + n > out.size()) n = out.size() > at ? out.size() - at : 0;
    Osc o1, o2;
    Svf f;
    double inc = hz / rate;
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double env = Adsr(t, hold, 0.004, 0.2, 0.75, release);
        double v = 0;
        switch (tone) {
        case BassSaw:
            v = f.Low(o1.Saw(inc) * 0.8 + o2.Sine(inc * 0.5) * 0.4,
                      200 + (500 + 900 * bright) * std::exp(-t * 9), 1.6, rate);
            break;
        case BassSub:
            v = o1.Sine(inc) * 0.9 + 0.2 * std::tanh(3 * o2.Sine(inc));
            break;
        case BassSquare:
            v = f.Low(o1.Square(inc, 0.25) * 0.6, 1800, 0.7, rate);
            break;
        case BassPluck:
            v = f.Low(o1.Saw(inc) * 0.8, 150 + 1600 * std::exp(-t * 14), 1.0, rate);
            env = Adsr(t, hold, 0.002, 0.35, 0.35, release);
            break;
        }
        out[at + i] += float(v * env * vel);
    }
}

void PadVoice(std::vector<float>& out, size_t at, PadTone tone, double hz, float vel, double hold,
              float bright, int rate)
{
    double release = 0.6;
    size_t n = size_t((hold + release) * rate);
    if (at + n > out.size()) n = out.size() > at ? out.size() - at : 0;
    Osc o[3];
    o[1].phase = 0.33;
    o[2].phase = 0.71;
    Svf f;
    double inc = hz / rate;
    for (size_t i = 0; i < n; ++i) {
        double t = double(i) / rate;
        double env = Adsr(t, hold, 0.35, 0.4, 0.8, release);
        double v = 0;
        switch (tone) {
        case PadWarm:
            v = (o[0].Saw(inc * 0.997) + o[1].Saw(inc * 1.003) + 0.5 * o[2].Saw(inc * 0.5)) * 0.35;
            v = f.Low(v, 700 + 1500 * bright + 300 * std::sin(2 * kPi * 0.3 * t), 0.9, rate);
            break;
        case PadGlass:
            v = (o[0].Sine(inc) + 0.5 * o[1].Sine(inc * 2.001) + 0.25 * o[2].Sine(inc * 3.002)) * 0.5;
            break;
        case PadOrgan:
            v = (o[0].Sine(inc) + 0.6 * o[1].Sine(inc * 2) + 0.3 * o[2].Sine(inc * 4)) * 0.45;
            break;
        }
        out[at + i] += float(v * env * vel);
    }
}

}  // namespace

double MidiToHz(double midi)
{
    return 440.0 * std::pow(2.0, (midi - 69.0) / 12.0);
}

std::vector<float> RenderDrum(int part, int rate)
{
    double dur = part == PartKick ? 0.45 : part == PartSnare ? 0.3 : part == PartOpenHat ? 0.3 : 0.07;
    std::vector<float> out(size_t(dur * rate));
    uint32_t seed = 0x1234567u + uint32_t(part);
    double phase = 0, hp = 0, prevNoise = 0, bp1 = 0, bp2 = 0;
    for (size_t i = 0; i < out.size(); ++i) {
        double t = double(i) / rate;
        double v = 0;
        if (part == PartKick) {
            double f = 45 + 110 * std::exp(-t * 28);
            phase += f / rate;
            v = std::sin(2 * kPi * phase) * std::exp(-t * 7.5);
            v += 0.3 * std::exp(-t * 300) * Noise(seed);
            v = std::tanh(1.6 * v) * 0.9;
        } else if (part == PartSnare) {
            double nz = Noise(seed);
            bp1 += 0.35 * (nz - bp1);
            bp2 += 0.35 * (bp1 - bp2);
            double body = std::sin(2 * kPi * 185 * t) * std::exp(-t * 22);
            v = (nz - bp2) * 0.8 * std::exp(-t * 13) + 0.6 * body;
        } else {
            double nz = Noise(seed);
            hp = nz - prevNoise;  // crude high-pass
            prevNoise = nz;
            double decay = part == PartOpenHat ? 10.0 : 55.0;
            v = hp * 0.5 * std::exp(-t * decay);
        }
        double edge = std::min(1.0, (dur - t) / 0.005);  // no click at the cut
        out[i] = float(v * edge);
    }
    return out;
}

void RenderNote(std::vector<float>& out, size_t at, int part, int pitch, float velocity, double seconds,
                const SongSound& s, int rate)
{
    double hz = MidiToHz(pitch);
    switch (part) {
    case PartLead:
        Lead(out, at, s.lead, hz, velocity, seconds, s.brightness, rate);
        break;
    case PartArp:
        Lead(out, at, s.arp, hz, velocity, seconds * 0.6, s.brightness, rate);
        break;
    case PartBass:
        BassVoice(out, at, s.bass, hz, velocity, seconds, s.brightness, rate);
        break;
    case PartPad:
        PadVoice(out, at, s.pad, hz, velocity, seconds, s.brightness, rate);
        break;
    default: {
        std::vector<float> d = RenderDrum(part, rate);
        for (size_t i = 0; i < d.size() && at + i < out.size(); ++i) out[at + i] += d[i] * velocity;
    }
    }
}

Stereo RenderSong(const SongPlan& plan, const SongSound& s, int rate, double tail)
{
    const size_t frames = size_t((plan.Seconds() + tail) * rate);
    const double step = plan.StepSeconds();
    std::vector<std::vector<float>> parts(PartCount, std::vector<float>(frames, 0.0f));
    for (const NoteEvent& e : plan.notes) {
        size_t at = size_t(e.step * step * rate);
        if (at >= frames) continue;
        RenderNote(parts[size_t(e.part)], at, e.part, e.pitch, e.velocity, e.length * step * 0.95, s, rate);
    }
    // Gain and pan per part: drums and bass centred, the rest spread.
    struct Place {
        float gain, pan;
    };
    const Place place[PartCount] = {
        {s.drumGain, 0.0f}, {s.drumGain * 0.8f, 0.05f}, {s.drumGain * 0.5f, 0.3f}, {s.drumGain * 0.4f, -0.3f},
        {s.bassGain, 0.0f}, {s.leadGain, -0.1f},        {s.padGain, 0.0f},         {s.arpGain, 0.35f}};
    Stereo mix;
    mix.Resize(frames);
    std::vector<float> echoSend(frames, 0.0f), reverbSend(frames, 0.0f);
    for (int p = 0; p < PartCount; ++p) {
        const float gl = place[p].gain * std::sqrt(0.5f * (1 - place[p].pan));
        const float gr = place[p].gain * std::sqrt(0.5f * (1 + place[p].pan));
        const float toEcho = (p == PartLead || p == PartArp) ? s.echo * place[p].gain : 0.0f;
        const float toVerb = (p == PartLead || p == PartPad || p == PartSnare || p == PartArp)
                                 ? s.reverb * place[p].gain
                                 : 0.0f;
        const std::vector<float>& src = parts[size_t(p)];
        for (size_t i = 0; i < frames; ++i) {
            float v = src[i];
            mix.l[i] += v * gl;
            mix.r[i] += v * gr;
            echoSend[i] += v * toEcho;
            reverbSend[i] += v * toVerb;
        }
    }
    AddEcho(echoSend, mix, rate, step * 3, 0.4f, 1.0f);
    AddReverb(reverbSend, mix, rate, 1.0f);
    Fade(mix, rate, 0.0, tail);
    return mix;
}

void AddEcho(const std::vector<float>& send, Stereo& mix, int rate, double delaySeconds, float feedback,
             float level)
{
    size_t d = std::max<size_t>(1, size_t(delaySeconds * rate));
    std::vector<float> a(send.size(), 0.0f), b(send.size(), 0.0f);
    // Ping-pong: left echoes feed the right and back.
    for (size_t i = 0; i < send.size(); ++i) {
        float inA = i >= d ? send[i - d] + b[i - d] * feedback : 0.0f;
        float inB = i >= d ? a[i - d] * feedback : 0.0f;
        a[i] = inA;
        b[i] = inB;
        mix.l[i] += a[i] * level;
        mix.r[i] += b[i] * level;
    }
}

void AddReverb(const std::vector<float>& send, Stereo& mix, int rate, float level)
{
    // Schroeder reverb: parallel damped combs into series all-passes, two decorrelated sides.
    const int combL[4] = {1557, 1617, 1491, 1422}, combR[4] = {1580, 1640, 1514, 1445};
    const int ap[2] = {225, 556};
    const double scale = rate / 44100.0;
    for (int side = 0; side < 2; ++side) {
        std::vector<float> wet(send.size(), 0.0f);
        for (int c = 0; c < 4; ++c) {
            size_t len = size_t((side ? combR[c] : combL[c]) * scale);
            std::vector<float> buf(len, 0.0f);
            float store = 0;
            size_t idx = 0;
            for (size_t i = 0; i < send.size(); ++i) {
                float out = buf[idx];
                store = out * 0.7f + store * 0.3f;
                buf[idx] = send[i] * 0.25f + store * 0.82f;
                idx = (idx + 1) % len;
                wet[i] += out;
            }
        }
        for (int k = 0; k < 2; ++k) {
            size_t len = size_t(ap[k] * scale) + size_t(side * 23);
            std::vector<float> buf(len, 0.0f);
            size_t idx = 0;
            for (size_t i = 0; i < wet.size(); ++i) {
                float b = buf[idx];
                float out = -wet[i] + b;
                buf[idx] = wet[i] + b * 0.5f;
                idx = (idx + 1) % len;
                wet[i] = out;
            }
        }
        std::vector<float>& dst = side ? mix.r : mix.l;
        for (size_t i = 0; i < wet.size(); ++i) dst[i] += wet[i] * level;
    }
}

void Normalize(Stereo& s, float peak)
{
    float m = 0;
    for (size_t i = 0; i < s.Frames(); ++i) m = std::max({m, std::fabs(s.l[i]), std::fabs(s.r[i])});
    if (m <= 0) return;
    float k = peak / m;
    for (size_t i = 0; i < s.Frames(); ++i) {
        s.l[i] *= k;
        s.r[i] *= k;
    }
}

void Fade(Stereo& s, int rate, double in, double out)
{
    size_t n = s.Frames();
    size_t fi = std::min(n, size_t(in * rate)), fo = std::min(n, size_t(out * rate));
    for (size_t i = 0; i < fi; ++i) {
        float g = float(i) / float(fi);
        s.l[i] *= g;
        s.r[i] *= g;
    }
    for (size_t i = 0; i < fo; ++i) {
        float g = float(i) / float(fo);
        g = g * g;
        s.l[n - 1 - i] *= g;
        s.r[n - 1 - i] *= g;
    }
}
