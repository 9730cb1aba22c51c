#include "tools/contentgen/Content.h"

#include "tools/contentgen/CarouselScene.h"
#include "tools/contentgen/Composer.h"
#include "tools/contentgen/Encoders.h"
#include "tools/contentgen/ModuleSongs.h"
#include "tools/contentgen/Pictures.h"
#include "tools/contentgen/Radio.h"
#include "tools/contentgen/Synth.h"
#include "tools/writers/ModuleWriter.h"

#include <libopenmpt/libopenmpt.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

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
                std::vector<int> prog, DrumStyle drums, BassStyle bass, float density) {
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

std::vector<SongSpec> Songs(bool test) {
    std::vector<SongSpec> v;
    auto add = [&](const char* title, const char* file, Format f, SongStyle st, SongSound snd, ModuleTimbre tb, int look) {
        v.push_back({title, file, f, std::move(st), snd, tb, look});
    };
    SongSound s1; s1.lead = LeadSaw; s1.pad = PadWarm; s1.arp = LeadPluck; s1.brightness = 0.6f;
    SongSound s2; s2.lead = LeadPluck; s2.bass = BassSub; s2.pad = PadGlass; s2.arp = LeadBell; s2.echo = 0.35f; s2.reverb = 0.3f; s2.leadGain = 0.4f;
    SongSound s4; s4.lead = LeadSquare; s4.bass = BassPluck; s4.pad = PadOrgan; s4.arp = LeadPluck; s4.brightness = 0.7f;
    SongSound s6; s6.lead = LeadSaw; s6.bass = BassSaw; s6.pad = PadWarm; s6.arp = LeadSquare; s6.brightness = 0.85f; s6.echo = 0.3f;
    ModuleTimbre t1; t1.lead = WaveSaw; t1.bass = WavePulse; t1.pad = WaveSaw; t1.arp = WaveSquare;
    ModuleTimbre t3; t3.lead = WavePulse; t3.bass = WaveTriangle; t3.arp = WaveSquare;
    ModuleTimbre t5; t5.lead = WaveTriangle; t5.bass = WaveSine; t5.pad = WaveOrgan; t5.arp = WaveSine; t5.pluckyLead = true;
    if (test) {
        auto shortStyle = [](SongStyle st) { st.shortForm = true; return st; };
        add("Neon Harbour", "songs/neon_harbour.xm", Format::Xm,
            shortStyle(Style("Neon Harbour", 101, 120, 57, true, 4, {0, 5, 2, 6}, DrumsFourOnFloor, BassEighths, 0.6f)), s1, t1, 0);
        add("Paper Lanterns", "songs/paper_lanterns.ogg", Format::Ogg,
            shortStyle(Style("Paper Lanterns", 102, 120, 50, false, 4, {0, 4, 5, 3}, DrumsHalfTime, BassWalking, 0.45f)), s2, t1, 1);
        add("Pixel Pilot", "songs/pixel_pilot.mod", Format::Mod,
            shortStyle(Style("Pixel Pilot", 103, 120, 52, true, 4, {0, 3, 4, 5}, DrumsChip, BassOctaves, 0.75f)), s1, t3, 2);
        add("Copper Sunrise", "songs/copper_sunrise.mp3", Format::Mp3,
            shortStyle(Style("Copper Sunrise", 104, 120, 53, false, 4, {0, 3, 4, 0}, DrumsBreakbeat, BassSyncopated, 0.6f)), s4, t1, 3);
        return v;
    }
    add("Neon Harbour", "songs/neon_harbour.xm", Format::Xm,
        Style("Neon Harbour", 11, 124, 57, true, 100, {0, 5, 2, 6}, DrumsFourOnFloor, BassEighths, 0.6f), s1, t1, 0);
    add("Paper Lanterns", "songs/paper_lanterns.ogg", Format::Ogg,
        Style("Paper Lanterns", 12, 88, 50, false, 96, {0, 4, 5, 3}, DrumsHalfTime, BassWalking, 0.45f), s2, t1, 1);
    add("Pixel Pilot", "songs/pixel_pilot.mod", Format::Mod,
        Style("Pixel Pilot", 13, 140, 52, true, 75, {0, 3, 4, 5}, DrumsChip, BassOctaves, 0.75f), s1, t3, 2);
    add("Copper Sunrise", "songs/copper_sunrise.mp3", Format::Mp3,
        Style("Copper Sunrise", 14, 108, 53, false, 88, {0, 3, 4, 0}, DrumsBreakbeat, BassSyncopated, 0.6f), s4, t1, 3);
    add("Glass Orbit", "songs/glass_orbit.xm", Format::Xm,
        Style("Glass Orbit", 15, 100, 49, true, 115, {0, 5, 3, 4}, DrumsHalfTime, BassSyncopated, 0.5f), s2, t5, 4);
    add("Midnight Arcade", "songs/midnight_arcade.ogg", Format::Ogg,
        Style("Midnight Arcade", 16, 132, 55, true, 84, {0, 6, 5, 6}, DrumsFourOnFloor, BassOctaves, 0.7f), s6, t1, 5);
    return v;
}

bool Fail(const std::string& what) {
    std::fprintf(stderr, "mivola-contentgen: cannot write %s\n", what.c_str());
    return false;
}

std::string Ext(Format f) { return f == Format::Xm ? "XM" : f == Format::Mod ? "MOD" : f == Format::Ogg ? "OGG" : "MP3"; }

Stereo RenderModule(const std::vector<uint8_t>& bytes, int rate) {
    std::istringstream in(std::string(bytes.begin(), bytes.end()));
    openmpt::module mod(in);
    Stereo s;
    std::vector<float> buf(2 * 4096);
    for (;;) {
        size_t n = mod.read_interleaved_stereo(rate, 4096, buf.data());
        if (n == 0) break;
        for (size_t i = 0; i < n; ++i) { s.l.push_back(buf[2 * i]); s.r.push_back(buf[2 * i + 1]); }
    }
    return s;
}

std::string Escape(const std::string& s) {
    std::string o;
    for (char c : s) {
        if (c == '&') o += "&amp;";
        else if (c == '<') o += "&lt;";
        else if (c == '>') o += "&gt;";
        else if (c == '"') o += "&quot;";
        else o += c;
    }
    return o;
}

bool WriteText(const fs::path& p, const std::string& text) {
    std::ofstream f(p, std::ios::binary);
    f << text;
    return bool(f);
}

const char* kGreeting =
    "Welcome aboard the Mivola music disk, rmx 001!\n"
    "    Six songs made of numbers: two tracker modules in the extended format, one for the\n"
    "    four-channel machines of old, and a handful of streams, all composed and synthesised\n"
    "    by a small program of ours. Click the arrows on the amplifier to move between songs\n"
    "    and watch the carousel turn; press Escape when you have heard enough.\n"
    "    Greetings fly out to every tracker, pixel pusher and coder who still makes music disks,\n"
    "    to the people behind free fonts and free codecs, and to you for listening. Stay tuned!";

std::string ArtXml(const std::vector<SongSpec>& songs, const std::string& titleDir) {
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- Mivola song catalogue: the songs in playing order, each with its title picture. -->\n"
         "<bits>\n  <songs>\n";
    for (size_t i = 0; i < songs.size(); ++i) {
        std::string pic = titleDir + "/" + fs::path(songs[i].file).stem().string() + ".png";
        // Attribute order does not matter to the reader; both orders appear.
        if (i % 2 == 0) x << "    <song path=\"" << Escape(songs[i].file) << "\" titlepic=\"" << Escape(pic) << "\"/>\n";
        else x << "    <song titlepic=\"" << Escape(pic) << "\"\n          path=\"" << Escape(songs[i].file) << "\" />\n";
        if (i == 2) x << "    <!-- the second half of the disk -->\n";
    }
    x << "  </songs>\n</bits>\n";
    return x.str();
}

std::string InterfaceXml() {
    const AmpLayout a;
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- Mivola interface: layers from the bottom up. -->\n"
         "<bits>\n<interface>\n<layers>\n"
         "  <element type=\"layer\" relativepos=\"background\" x=\"0\" y=\"0\">\n"
         "    <image path=\"interface/background.png\"/>\n  </element>\n"
         "  <!-- a glow behind the carousel that breathes with the music -->\n"
         "  <element type=\"layer\" react=\"opacity\" x=\"526\" y=\"210\">\n"
         "    <image path=\"interface/orb_big.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"panel\" x=\"36\" y=\"96\">\n"
         "    <image path=\"interface/panel_left.png\" blend=\"normal\"/>\n  </element>\n"
         "  <element x=\"1044\" y=\"96\" type=\"layer\" relativepos=\"panel\">\n"
         "    <image blend=\"normal\" path=\"interface/panel_right.png\"/>\n  </element>\n"
         "  <element type=\"monitor\" x=\"0\" y=\"0\">\n"
         "    <monitor path=\"scene/carousel.3ds\"/>\n";
    for (int id = 0; id < 4; ++id)
        x << "    <dummytexture id=\"" << id << "\" file=\"" << ScreenTextureName(id) << "\"/>\n";
    x << "  </element>\n"
         "  <!-- orbs pulse with the music -->\n"
         "  <element type=\"layer\" relativepos=\"orbtop\" react=\"opacity\" x=\"76\" y=\"120\">\n"
         "    <image path=\"interface/orb_pink.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"orbmiddle\" react=\"opacity\" x=\"76\" y=\"272\">\n"
         "    <image path=\"interface/orb_cyan.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"orbbottom\" react=\"opacity\" x=\"76\" y=\"424\">\n"
         "    <image path=\"interface/orb_gold.png\"/>\n  </element>\n"
         "  <element type=\"layer\" react=\"opacity\" x=\"1084\" y=\"126\">\n"
         "    <image path=\"interface/orb_cyan.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" react=\"opacity\" x=\"1084\" y=\"256\">\n"
         "    <image path=\"interface/orb_pink.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"amp\" x=\"" << a.x << "\" y=\"" << a.y << "\">\n"
         "    <image path=\"interface/amplifier.png\"/>\n  </element>\n"
         "  <element type=\"vu\" relativepos=\"amp\" x=\"" << a.vuX << "\" y=\"" << a.vuY << "\">\n"
         "    <image path=\"interface/vu_block.png\" blend=\"normal\"/>\n  </element>\n"
         "  <element type=\"ampcontrol\" relativepos=\"amp\" x=\"" << a.prevX << "\" y=\"" << a.buttonY << "\">\n"
         "    <image path=\"interface/button_prev.png\"/>\n    <control direction=\"-1\"/>\n  </element>\n"
         "  <element type=\"ampcontrol\" relativepos=\"amp\" x=\"" << a.nextX << "\" y=\"" << a.buttonY << "\">\n"
         "    <control direction=\"1\"/>\n    <image path=\"interface/button_next.png\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"panel\" x=\"40\" y=\"620\">\n"
         "    <image path=\"interface/scroller_panel.png\"/>\n  </element>\n"
         "  <element type=\"tinyscroll\" x=\"60\" y=\"630\">\n"
         "    <font path=\"fonts/DejaVuSans.ttf\" name=\"DejaVu Sans\" size=\"16\"/>\n"
         "    <text>\n    " << Escape(kGreeting) << "\n    </text>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"foreground\" x=\"0\" y=\"0\">\n"
         "    <image path=\"interface/foreground.png\"/>\n  </element>\n"
         "  <element\n      type=\"layer\"\n      relativepos=\"foreforeground\"\n      x=\"24\" y=\"24\">\n"
         "    <image path=\"interface/badge.png\"/>\n  </element>\n"
         "</layers>\n</interface>\n</bits>\n";
    return x.str();
}

}  // namespace

bool GenerateContent(const GenerateOptions& o, Manifest& m) {
    const fs::path root(o.out);
    std::error_code ec;
    for (const char* dir : {"", "interface", "intro", "endscreen", "songs", "titles", "scene", "fonts"})
        fs::create_directories(root / dir, ec);
    if (!o.wavDir.empty()) fs::create_directories(o.wavDir, ec);
    const int rate = 44100;

    auto picture = [&](const std::string& rel, const Image& img, bool alpha = true) {
        if (!img.SavePng((root / rel).string(), alpha)) return Fail(rel);
        m.files.push_back({rel, FileKind::Picture, img.Width(), img.Height(), 0, 0});
        return true;
    };
    auto stream = [&](const std::string& rel, const Stereo& pcm, int r, bool ogg, float quality, int serial,
                      int kbps, const std::string& title) {
        bool ok = ogg ? WriteOgg((root / rel).string(), pcm, r, quality, serial, title)
                      : WriteMp3((root / rel).string(), pcm, r, kbps);
        if (!ok) return Fail(rel);
        m.files.push_back({rel, FileKind::Stream, 0, 0, double(pcm.Frames()) / r, 0});
        if (!o.wavDir.empty()) WriteWav((fs::path(o.wavDir) / (fs::path(rel).stem().string() + ".wav")).string(), pcm, r);
        return true;
    };

    // Songs and their title pictures.
    const std::vector<SongSpec> songs = Songs(o.test);
    const int titleSize = o.test ? 64 : 256;
    int serial = 0x4D560001;
    for (const SongSpec& s : songs) {
        SongPlan plan = Compose(s.style);
        m.songTitles.push_back(s.title);
        if (s.format == Format::Xm || s.format == Format::Mod) {
            ModuleSong song = s.format == Format::Xm ? BuildXm(plan, s.timbre) : BuildMod(plan, s.timbre);
            std::vector<uint8_t> bytes;
            std::string error;
            bool ok = s.format == Format::Xm ? WriteXm(song, bytes, error) : WriteMod(song, bytes, error);
            if (!ok) { std::fprintf(stderr, "mivola-contentgen: %s: %s\n", s.file.c_str(), error.c_str()); return false; }
            if (!SaveBytes((root / s.file).string(), bytes)) return Fail(s.file);
            m.files.push_back({s.file, FileKind::Module, 0, 0, ModuleSongSeconds(song), song.channels});
            if (!o.wavDir.empty()) WriteWav((fs::path(o.wavDir) / (fs::path(s.file).stem().string() + ".wav")).string(), RenderModule(bytes, rate), rate);
        } else {
            Stereo pcm = RenderSong(plan, s.sound, rate, 2.0);
            Normalize(pcm, s.format == Format::Mp3 ? 0.8f : 0.85f);
            if (!stream(s.file, pcm, rate, s.format == Format::Ogg, o.test ? 0.0f : 0.3f, serial++, o.test ? 96 : 160, s.title)) return false;
        }
        std::string pic = "titles/" + fs::path(s.file).stem().string() + ".png";
        if (!picture(pic, TitlePicture(s.look, s.title, Ext(s.format), titleSize))) return false;
    }

    // Shell media.
    if (!picture("interface/loadingscreen.png", LoadingScreen(), false)) return false;
    if (!picture("intro/background.png", IntroBackground(), false)) return false;
    if (!picture("intro/dial.png", IntroDial())) return false;
    if (!picture("intro/foreground.png", IntroForeground())) return false;
    if (!picture("intro/button.png", IntroKnob())) return false;
    if (!picture("intro/startscreen.png", StartScreen(), false)) return false;
    const char* invaders[3] = {"intro/invader2c.png", "intro/invader2d.png", "intro/invader2e.png"};
    for (int i = 0; i < 3; ++i)
        if (!picture(invaders[i], Invader(i))) return false;
    if (!picture("endscreen/background.png", EndBackground(), false)) return false;
    if (!picture("endscreen/scroller.png", EndScroller(m.songTitles))) return false;
    if (!picture("endscreen/letterbox.png", EndLetterbox())) return false;
    {
        // The intro song: the test folder keeps its length (the intro runs on its clock) but
        // takes a cheap encoding.
        const int r = rate;
        Stereo radio = RenderRadio(r);
        Normalize(radio, 0.8f);
        if (!stream("intro/Radio_Mivola.mp3", radio, r, false, 0, 0, o.test ? 64 : 128, "Radio Mivola")) return false;
    }
    {
        SongStyle st = Style("Sundrelle", 77, 84, 51, false, o.test ? 4 : 54, {0, 5, 3, 4}, DrumsHalfTime, BassWalking, 0.4f);
        st.shortForm = o.test;
        SongSound snd;
        snd.lead = LeadBell; snd.bass = BassSub; snd.pad = PadWarm; snd.arp = LeadPluck; snd.reverb = 0.35f; snd.echo = 0.3f;
        Stereo end = RenderSong(Compose(st), snd, rate, o.test ? 1.0 : 4.0);
        Normalize(end, 0.85f);
        if (!stream("endscreen/sundrelle.ogg", end, rate, true, o.test ? 0.0f : 0.3f, serial++, 0, "Sundrelle")) return false;
    }

    // Interface pictures.
    if (!picture("interface/background.png", InterfaceBackground(), false)) return false;
    if (!picture("interface/foreground.png", InterfaceForeground())) return false;
    if (!picture("interface/panel_left.png", Panel(200, 470, 0x2a1a4a))) return false;
    if (!picture("interface/panel_right.png", Panel(200, 280, 0x1a2a4a))) return false;
    if (!picture("interface/orb_pink.png", Orb(120, 0xff3fa4))) return false;
    if (!picture("interface/orb_cyan.png", Orb(120, 0x3fd0ff))) return false;
    if (!picture("interface/orb_gold.png", Orb(120, 0xffb347))) return false;
    if (!picture("interface/orb_big.png", Orb(256, 0x7f3fff))) return false;
    if (!picture("interface/amplifier.png", Amplifier())) return false;
    if (!picture("interface/button_prev.png", AmpButton(-1))) return false;
    if (!picture("interface/button_next.png", AmpButton(1))) return false;
    if (!picture("interface/vu_block.png", VuBlock())) return false;
    if (!picture("interface/scroller_panel.png", ScrollerPanel())) return false;
    if (!picture("interface/badge.png", Badge())) return false;

    // The carousel and its textures.
    for (int slot = 0; slot < 4; ++slot) {
        if (!picture("scene/" + ScreenTextureName(slot), ScreenPlaceholder(slot))) return false;
        m.placeholderNames.push_back(ScreenTextureName(slot));
    }
    if (!picture(std::string("scene/") + kBodyTexture, CarouselBody(), false)) return false;
    if (!WriteCarousel((root / "scene/carousel.3ds").string())) return Fail("scene/carousel.3ds");
    m.files.push_back({"scene/carousel.3ds", FileKind::Scene, 0, 0, 0, 0});

    // Font and its licence.
    fs::copy_file("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", root / "fonts/DejaVuSans.ttf", fs::copy_options::overwrite_existing, ec);
    if (ec) return Fail("fonts/DejaVuSans.ttf");
    m.files.push_back({"fonts/DejaVuSans.ttf", FileKind::Other});
    fs::copy_file("/usr/share/doc/fonts-dejavu-core/copyright", root / "fonts/FONT-LICENSE", fs::copy_options::overwrite_existing, ec);
    if (ec) return Fail("fonts/FONT-LICENSE");
    if (!WriteText(root / "fonts/README",
                   "DejaVuSans.ttf is copied unchanged from Debian's fonts-dejavu-core package.\n"
                   "Its licence (a free font licence that allows redistribution) is in FONT-LICENSE.\n"))
        return Fail("fonts/README");

    // Catalogue files.
    if (!WriteText(root / "art.xml", ArtXml(songs, "titles"))) return Fail("art.xml");
    if (!WriteText(root / "interface.xml", InterfaceXml())) return Fail("interface.xml");
    if (!WriteText(root / "README",
                   "Mivola content folder, generated by mivola-contentgen: every picture, song and\n"
                   "the 3D scene are made by its code; only the font is copied (see fonts/README).\n"
                   "Run the program with this folder as its working directory.\n"))
        return Fail("README");
    return true;
}
