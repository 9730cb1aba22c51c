// Round trip of written modules through libopenmpt: what we write is what a player reads.
#include "tools/writers/ModuleWriter.h"

#include <gtest/gtest.h>
#include <libopenmpt/libopenmpt.hpp>

#include <cmath>
#include <sstream>

namespace {

ModuleInstrument SquareInstrument(int bits, bool loop)
{
    ModuleInstrument in;
    in.name = "square";
    in.sample.bits = bits;
    in.sample.data.resize(512);
    for (size_t i = 0; i < in.sample.data.size(); ++i) in.sample.data[i] = (i / 16) % 2 ? 12000 : -12000;
    if (loop) {
        in.sample.loopStart = 0;
        in.sample.loopLength = 512;
    }
    return in;
}

// Two patterns of `rows` rows with a note on every fourth row of channel 0.
ModuleSong SimpleSong(int channels, int rows)
{
    ModuleSong s;
    s.title = "round trip";
    s.channels = channels;
    s.instruments.push_back(SquareInstrument(16, true));
    s.instruments.push_back(SquareInstrument(8, false));
    for (int p = 0; p < 2; ++p) {
        ModulePattern pat(rows, channels);
        for (int r = 0; r < rows; r += 4)
            pat.At(r, 0) = {uint8_t(49 + (r / 4) % 12), uint8_t(1 + p), 48, 0, 0};
        s.patterns.push_back(pat);
    }
    s.order = {0, 1, 0};
    return s;
}

struct Loaded {
    double seconds = 0;
    int channels = 0, instruments = 0, samples = 0;
    float peak = 0;
};

Loaded Load(const std::vector<uint8_t>& bytes)
{
    Loaded l;
    std::string data(bytes.begin(), bytes.end());
    std::istringstream in(data);
    openmpt::module mod(in);
    l.seconds = mod.get_duration_seconds();
    l.channels = mod.get_num_channels();
    l.instruments = mod.get_num_instruments();
    l.samples = mod.get_num_samples();
    std::vector<float> buf(2 * 4800);
    for (int i = 0; i < 10; ++i) {
        size_t n = mod.read_interleaved_stereo(48000, 4800, buf.data());
        for (size_t k = 0; k < 2 * n; ++k) l.peak = std::max(l.peak, std::fabs(buf[k]));
    }
    return l;
}

TEST(ModuleWriter, XmAndModRoundTripThroughPlayer)
{
    struct Case {
        const char* name;
        bool xm;
        int channels;
        int rows;
        int speed;
        int tempo;
    };
    const Case cases[] = {
        {"xm default timing", true, 4, 64, 6, 125},
        {"xm eight channels, short patterns, fast", true, 8, 32, 3, 150},
        {"mod default timing", false, 4, 64, 6, 125},
        {"mod own speed and tempo", false, 4, 64, 4, 140},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModuleSong song = SimpleSong(c.channels, c.rows);
        song.speed = c.speed;
        song.tempo = c.tempo;
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(c.xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error)) << error;
        const double expected = 3.0 * c.rows * c.speed * 2.5 / c.tempo;
        EXPECT_NEAR(ModuleSongSeconds(song), expected, 1e-9);
        Loaded l = Load(bytes);
        EXPECT_NEAR(l.seconds, expected, 0.05);
        EXPECT_EQ(l.channels, c.channels);
        EXPECT_GE(l.samples, 2);
        if (c.xm) { EXPECT_EQ(l.instruments, 2); }
        EXPECT_GT(l.peak, 0.05f) << "written notes must sound";
        EXPECT_LT(l.peak, 1.0f);
    }
}

TEST(ModuleWriter, FlowEffectsGiveThePlayersLength)
{
    ModuleSong song = SimpleSong(4, 64);
    song.patterns[0].At(15, 1) = {0, 0, -1, 0xD, 0x00};  // break after 16 rows
    song.patterns[1].At(31, 2) = {0, 0, -1, 0xF, 0x03};  // speed 3 from row 31
    for (bool xm : {true, false}) {
        SCOPED_TRACE(xm ? "xm" : "mod");
        std::vector<uint8_t> bytes;
        std::string error;
        ASSERT_TRUE(xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error)) << error;
        // order 0,1,0: 16 rows at 6, then 31 rows at 6 and 33 at 3, then 16 rows at 3.
        const double expected = (16 * 6 + 31 * 6 + 33 * 3 + 16 * 3) * 2.5 / 125;
        EXPECT_NEAR(ModuleSongSeconds(song), expected, 1e-9);
        EXPECT_NEAR(Load(bytes).seconds, expected, 0.05);
    }
}

// Dominant frequency of the first second of a one-note song, by counting rising zero crossings.
double PlayedHz(const std::vector<uint8_t>& bytes)
{
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    openmpt::module mod(in);
    std::vector<float> mono(48000);
    mod.read(48000, mono.size(), mono.data());
    int rising = 0;
    for (size_t i = 1000; i < mono.size(); ++i) rising += mono[i - 1] < 0 && mono[i] >= 0;
    return rising / ((mono.size() - 1000) / 48000.0);
}

TEST(ModuleWriter, NoteNumbersPlayTheSamePitchInBothFormats)
{
    // A 32-frame square cycle at note 49 (C-4) sounds near middle C (261.6 Hz) in XM (8363 Hz
    // sample rate) and in MOD (period 428, about 8287 Hz); one octave up at note 61.
    for (bool xm : {true, false})
        for (int note : {49, 61}) {
            SCOPED_TRACE(std::string(xm ? "xm" : "mod") + " note " + std::to_string(note));
            ModuleSong song = SimpleSong(4, 64);
            for (ModulePattern& p : song.patterns) p = ModulePattern(64, 4);
            song.patterns[0].At(0, 0) = {uint8_t(note), 1, -1, 0, 0};
            song.instruments[0].sample.data.resize(32);
            for (size_t i = 0; i < 32; ++i) song.instruments[0].sample.data[i] = i < 16 ? 12000 : -12000;
            song.instruments[0].sample.loopLength = 32;
            std::vector<uint8_t> bytes;
            std::string error;
            ASSERT_TRUE(xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error)) << error;
            const double expected = (xm ? 8363.0 : 3546895.0 / 428) / 32 * (note == 61 ? 2 : 1);
            EXPECT_NEAR(PlayedHz(bytes), expected, expected * 0.02);
        }
}

TEST(ModuleWriter, RejectsWhatTheFormatCannotHold)
{
    struct Case {
        const char* name;
        bool xm;
        void (*edit)(ModuleSong&);
    };
    const Case cases[] = {
        {"mod with six channels", false, [](ModuleSong& s) { s = SimpleSong(6, 64); }},
        {"mod note below its range", false, [](ModuleSong& s) { s.patterns[0].At(1, 1).note = 13; }},
        {"mod short pattern", false, [](ModuleSong& s) { s = SimpleSong(4, 32); }},
        {"mod volume and effect in one cell", false,
         [](ModuleSong& s) {
             s.patterns[0].At(0, 0).effect = 0xA;
             s.patterns[0].At(0, 0).param = 1;
         }},
        {"missing pattern in order", true, [](ModuleSong& s) { s.order.push_back(7); }},
        {"missing instrument", true, [](ModuleSong& s) { s.patterns[1].At(2, 2).instrument = 9; }},
        {"loop past the sample end", true, [](ModuleSong& s) { s.instruments[0].sample.loopStart = 400; }},
        {"empty order", true, [](ModuleSong& s) { s.order.clear(); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ModuleSong song = SimpleSong(4, 64);
        c.edit(song);
        std::vector<uint8_t> bytes;
        std::string error;
        EXPECT_FALSE(c.xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error));
        EXPECT_FALSE(error.empty());
    }
}

}  // namespace
