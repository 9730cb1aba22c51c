#include "tools/contentgen/Content.h"

#include "tools/contentart/CarouselScene.h"
#include "tools/contentart/Composer.h"
#include "tools/contentart/Encoders.h"
#include "tools/contentart/ModuleSongs.h"
#include "tools/contentart/Pictures.h"
#include "tools/contentart/Radio.h"
#include "tools/contentart/Synth.h"
#include "tools/make/Disk.h"
#include "tools/writers/ModuleWriter.h"

#include <libopenmpt/libopenmpt.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

enum class Format { Xm, Mod, Ogg, Mp3 };

struct SongSpec {
    std::string title, file;
    Format format;
    SongStyle style;
    SongSound sound;
    ModuleTimbre timbre;
    int look;
};

SongStyle Style(const char* title, uint64_t seed, int bpm, int root, bool minor, double seconds,
                std::vector<int> prog, DrumStyle drums, BassStyle bass, float density)
{
    SongStyle s;
    s.title = title;
    s.seed = seed;
    s.bpm = bpm;
    s.root = root;
    s.minor = minor;
    s.seconds = seconds;
    s.progression = std::move(prog);
    s.drums = drums;
    s.bass = bass;
    s.leadDensity = density;
    return s;
}

std::vector<SongSpec> Songs(bool test)
{
    std::vector<SongSpec> v;
    auto add = [&](const char* title, const char* file, Format f, SongStyle st, SongSound snd,
                   ModuleTimbre tb, int look) {
        v.push_back({title, file, f, std::move(st), snd, tb, look});
    };
    SongSound s1;
    s1.lead = LeadSaw;
    s1.pad = PadWarm;
    s1.arp = LeadPluck;
    s1.brightness = 0.6f;
    SongSound s2;
    s2.lead = LeadPluck;
    s2.bass = BassSub;
    s2.pad = PadGlass;
    s2.arp = LeadBell;
    s2.echo = 0.35f;
    s2.reverb = 0.3f;
    s2.leadGain = 0.4f;
    SongSound s4;
    s4.lead = LeadSquare;
    s4.bass = BassPluck;
    s4.pad = PadOrgan;
    s4.arp = LeadPluck;
    s4.brightness = 0.7f;
    SongSound s6;
    s6.lead = LeadSaw;
    s6.bass = BassSaw;
    s6.pad = PadWarm;
    s6.arp = LeadSquare;
    s6.brightness = 0.85f;
    s6.echo = 0.3f;
    ModuleTimbre t1;
    t1.lead = WaveSaw;
    t1.bass = WavePulse;
    t1.pad = WaveSaw;
    t1.arp = WaveSquare;
    ModuleTimbre t3;
    t3.lead = WavePulse;
    t3.bass = WaveTriangle;
    t3.arp = WaveSquare;
    ModuleTimbre t5;
    t5.lead = WaveTriangle;
    t5.bass = WaveSine;
    t5.pad = WaveOrgan;
    t5.arp = WaveSine;
    t5.pluckyLead = true;
    if (test) {
        auto shortStyle = [](SongStyle st) {
            st.shortForm = true;
            return st;
        };
        add("Neon Harbour", "songs/neon_harbour.xm", Format::Xm,
            shortStyle(Style("Neon Harbour", 101, 120, 57, true, 4, {0, 5, 2, 6}, DrumsFourOnFloor,
                             BassEighths, 0.6f)),
            s1, t1, 0);
        add("Paper Lanterns", "songs/paper_lanterns.ogg", Format::Ogg,
            shortStyle(Style("Paper Lanterns", 102, 120, 50, false, 4, {0, 4, 5, 3}, DrumsHalfTime,
                             BassWalking, 0.45f)),
            s2, t1, 1);
        add("Pixel Pilot", "songs/pixel_pilot.mod", Format::Mod,
            shortStyle(
                Style("Pixel Pilot", 103, 120, 52, true, 4, {0, 3, 4, 5}, DrumsChip, BassOctaves, 0.75f)),
            s1, t3, 2);
        add("Copper Sunrise", "songs/copper_sunrise.mp3", Format::Mp3,
            shortStyle(Style("Copper Sunrise", 104, 120, 53, false, 4, {0, 3, 4, 0}, DrumsBreakbeat,
                             BassSyncopated, 0.6f)),
            s4, t1, 3);
        return v;
    }
    add("Neon Harbour", "songs/neon_harbour.xm", Format::Xm,
        Style("Neon Harbour", 11, 124, 57, true, 100, {0, 5, 2, 6}, DrumsFourOnFloor, BassEighths, 0.6f), s1,
        t1, 0);
    add("Paper Lanterns", "songs/paper_lanterns.ogg", Format::Ogg,
        Style("Paper Lanterns", 12, 88, 50, false, 96, {0, 4, 5, 3}, DrumsHalfTime, BassWalking, 0.45f), s2,
        t1, 1);
    add("Pixel Pilot", "songs/pixel_pilot.mod", Format::Mod,
        Style("Pixel Pilot", 13, 140, 52, true, 75, {0, 3, 4, 5}, DrumsChip, BassOctaves, 0.75f), s1, t3, 2);
    add("Copper Sunrise", "songs/copper_sunrise.mp3", Format::Mp3,
        Style("Copper Sunrise", 14, 108, 53, false, 88, {0, 3, 4, 0}, DrumsBreakbeat, BassSyncopated, 0.6f),
        s4, t1, 3);
    add("Glass Orbit", "songs/glass_orbit.xm", Format::Xm,
        Style("Glass Orbit", 15, 100, 49, true, 115, {0, 5, 3, 4}, DrumsHalfTime, BassSyncopated, 0.5f), s2,
        t5, 4);
    add("Midnight Arcade", "songs/midnight_arcade.ogg", Format::Ogg,
        Style("Midnight Arcade", 16, 132, 55, true, 84, {0, 6, 5, 6}, DrumsFourOnFloor, BassOctaves, 0.7f),
        s6, t1, 5);
    return v;
}

bool Fail(const std::string& what)
{
    std::fprintf(stderr, "mivola-contentgen: cannot write %s\n", what.c_str());
    return false;
}

Stereo RenderModule(const std::vector<uint8_t>& bytes, int rate)
{
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    openmpt::module mod(in);
    Stereo s;
    std::vector<float> buf(2 * 4096);
    for (;;) {
        size_t n = mod.read_interleaved_stereo(rate, 4096, buf.data());
        if (n == 0) break;
        for (size_t i = 0; i < n; ++i) {
            s.l.push_back(buf[2 * i]);
            s.r.push_back(buf[2 * i + 1]);
        }
    }
    return s;
}

const char* kArtist = "Mivola crew";

const char* kGreeting =
    "Welcome aboard the Mivola music disk, rmx 001!    "
    "Six songs made of numbers: two tracker modules in the extended format, one for the "
    "four-channel machines of old, and a handful of streams, all composed and synthesised "
    "by a small program of ours. Click the arrows on the amplifier to move between songs "
    "and watch the carousel turn; press Escape when you have heard enough.    "
    "Greetings fly out to every tracker, pixel pusher and coder who still makes music disks, "
    "to the people behind free fonts and free codecs, and to you for listening. Stay tuned!";

// The staging folder for the composed songs, removed again when done.
struct Staging {
    fs::path dir;
    Staging()
    {
        dir = fs::temp_directory_path() / ("mivola-contentgen-" + std::to_string(::getpid()));
        std::error_code ec;
        fs::remove_all(dir, ec);
        fs::create_directories(dir, ec);
    }
    ~Staging()
    {
        std::error_code ec;
        fs::remove_all(dir, ec);
    }
};

}  // namespace

bool GenerateContent(const GenerateOptions& o, Manifest& m)
{
    std::error_code ec;
    if (!o.wavDir.empty()) fs::create_directories(o.wavDir, ec);
    const int rate = 44100;
    Staging staging;

    // The songs, composed and encoded with their titles in their tags (module names,
    // Vorbis comments, ID3), then handed to the disk maker like anyone's songs.
    const std::vector<SongSpec> songs = Songs(o.test);
    std::vector<DiskSong> disk;
    std::vector<double> expectedSeconds;
    int serial = 0x4D560001;
    for (const SongSpec& s : songs) {
        SongPlan plan = Compose(s.style);
        const std::string file = (staging.dir / fs::path(s.file).filename()).string();
        const std::string stem = fs::path(s.file).stem().string();
        double seconds = 0;
        if (s.format == Format::Xm || s.format == Format::Mod) {
            ModuleSong song = s.format == Format::Xm ? BuildXm(plan, s.timbre) : BuildMod(plan, s.timbre);
            std::vector<uint8_t> bytes;
            std::string error;
            bool ok = s.format == Format::Xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error);
            if (!ok) {
                std::fprintf(stderr, "mivola-contentgen: %s: %s\n", s.file.c_str(), error.c_str());
                return false;
            }
            if (!SaveBytes(file, bytes)) return Fail(file);
            seconds = ModuleSongSeconds(song);
            if (!o.wavDir.empty())
                WriteWav((fs::path(o.wavDir) / (stem + ".wav")).string(), RenderModule(bytes, rate), rate);
        } else {
            Stereo pcm = RenderSong(plan, s.sound, rate, 2.0);
            Normalize(pcm, s.format == Format::Mp3 ? 0.8f : 0.85f);
            bool ok = s.format == Format::Ogg
                          ? WriteOgg(file, pcm, rate, o.test ? 0.0f : 0.3f, serial++, s.title, kArtist)
                          : WriteMp3(file, pcm, rate, o.test ? 96 : 160, s.title, kArtist);
            if (!ok) return Fail(file);
            seconds = double(pcm.Frames()) / rate;
            if (!o.wavDir.empty()) WriteWav((fs::path(o.wavDir) / (stem + ".wav")).string(), pcm, rate);
        }
        DiskSong d;
        d.source = file;
        d.facts = ProbeSong(file);
        if (d.facts.kind == SongKind::None) {
            std::fprintf(stderr, "mivola-contentgen: %s: %s\n", s.file.c_str(), d.facts.reason.c_str());
            return false;
        }
        // Module formats keep no artist; the title comes from the module's name.
        d.title = d.facts.title.empty() ? s.title : d.facts.title;
        d.artist = d.facts.artist.empty() ? kArtist : d.facts.artist;
        disk.push_back(d);
        expectedSeconds.push_back(seconds);
        m.songTitles.push_back(d.title);
    }

    DiskOptions opt;
    opt.out = o.out;
    opt.force = true;
    opt.quick = o.test;
    opt.title = "Mivola";
    opt.subtitle = "music disk  \xc2\xb7  rmx 001";
    opt.author = "the Mivola crew";
    opt.text = kGreeting;
    opt.badge = "DISK 001";
    opt.credits = {
        {"MUSIC", {"composed and synthesised by code", "a tiny tracker writer, a tiny synth"}},
        {"GRAPHICS", {"every pixel drawn by routines", "no brushes were harmed"}},
        {"CODE", {"the Mivola crew", "C++20 on Linux"}},
        {"FONT", {"DejaVu Sans, by the DejaVu fonts team", "(free licence, see FONT-LICENSE)"}},
        {"GREETINGS", {"to everyone who still makes", "music disks and intros,", "and to you for listening"}},
    };
    opt.readmeNote = "Generated by mivola-contentgen: every picture, song and the 3D scene are made by\n"
                     "its code; only the font is copied (see fonts/README).";
    DiskResult made;
    std::string error;
    if (!MakeDisk(opt, disk, made, error)) {
        std::fprintf(stderr, "mivola-contentgen: %s\n", error.c_str());
        return false;
    }

    // The manifest: what the disk maker wrote, with the lengths the composer intended.
    for (const DiskFile& f : made.files) {
        ExpectedFile e{f.path, FileKind::Other, f.width, f.height, f.seconds, f.channels};
        switch (f.kind) {
        case DiskFileKind::Picture:
            e.kind = FileKind::Picture;
            break;
        case DiskFileKind::Module:
            e.kind = FileKind::Module;
            break;
        case DiskFileKind::Stream:
            e.kind = FileKind::Stream;
            break;
        case DiskFileKind::Scene:
            e.kind = FileKind::Scene;
            break;
        default:
            break;
        }
        for (size_t i = 0; i < made.songPaths.size(); ++i)
            if (f.path == made.songPaths[i]) e.seconds = expectedSeconds[i];
        m.files.push_back(e);
    }
    for (int slot = 0; slot < 4; ++slot) m.placeholderNames.push_back(ScreenTextureName(slot));
    return true;
}
