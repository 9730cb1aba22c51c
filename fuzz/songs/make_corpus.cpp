// Writes the song fuzzer's seed corpus into the folder given: a short XM and a
// MOD, and a little tone as WAV (16-bit and float), FLAC, OGG and MP3.
#include "tests/support/Audio.h"
#include "tools/writers/ModuleWriter.h"

#include <sndfile.h>

#include <cmath>
#include <cstdio>
#include <string>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_corpus_songs FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    bool ok = support::WriteModuleXm(folder + "/tone.xm", 4, nullptr);

    ModuleSong mod;
    mod.channels = 4;
    ModuleInstrument square;
    square.sample.data.assign(32, 12000);
    for (size_t i = 16; i < 32; ++i) square.sample.data[i] = -12000;
    square.sample.loopLength = 32;
    mod.instruments.push_back(square);
    mod.patterns.push_back(ModulePattern(64, 4));
    mod.patterns[0].At(0, 0) = {49, 1, 64, 0, 0};
    mod.order = {0};
    std::vector<uint8_t> bytes;
    std::string error;
    if (!WriteMod(mod, bytes, error) || !SaveBytes(folder + "/square.mod", bytes)) {
        std::fprintf(stderr, "MOD: %s\n", error.c_str());
        ok = false;
    }

    support::Tone tone;
    tone.frames = 1000;
    tone.rate = 22050;
    ok = support::WriteTone(folder + "/tone.wav", SF_FORMAT_WAV, tone) && ok;
    ok = support::WriteTone(folder + "/tone.flac", SF_FORMAT_FLAC, tone) && ok;
    ok = support::WriteTone(folder + "/tone.ogg", SF_FORMAT_OGG, tone) && ok;
    ok = support::WriteTone(folder + "/tone.mp3", SF_FORMAT_MPEG, tone) && ok;

    // Float samples, one of them not a number.
    SF_INFO info{};
    info.samplerate = 8000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    SNDFILE* file = sf_open((folder + "/float-nan.wav").c_str(), SFM_WRITE, &info);
    float samples[64];
    for (int i = 0; i < 64; ++i) samples[i] = std::sin(i * 0.3f);
    samples[10] = std::nanf("");
    ok = file && sf_writef_float(file, samples, 64) == 64 && ok;
    if (file) sf_close(file);
    return ok ? 0 : 1;
}
