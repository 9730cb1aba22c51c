#include "tools/make/Disk.h"

#include "core/DiskLayout.h"
#include "tools/contentart/CarouselScene.h"
#include "tools/contentart/Composer.h"
#include "tools/contentart/Encoders.h"
#include "tools/contentart/Radio.h"
#include "tools/contentart/Synth.h"
#include "tools/contentart/Text.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kRate = 44100;

// Decodes one UTF-8 character at s[i]; invalid bytes read as themselves (Latin-1).
uint32_t NextCodePoint(const std::string& s, size_t& i)
{
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const int extra = c >= 0xF0 && c < 0xF8 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
    if (c < 0x80 || !extra || i + size_t(extra) >= s.size()) {
        ++i;
        return c;
    }
    uint32_t v = c & (0x3Fu >> extra);
    for (int k = 1; k <= extra; ++k) {
        const unsigned char n = static_cast<unsigned char>(s[i + size_t(k)]);
        if ((n & 0xC0) != 0x80) {
            ++i;
            return c;
        }
        v = (v << 6) | (n & 0x3Fu);
    }
    i += size_t(extra) + 1;
    return v;
}

void AppendUtf8(std::string& out, uint32_t c)
{
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

// The base letter of an accented Latin-1 letter, or 0.
char Unaccented(uint32_t c)
{
    static const char* const table = "AAAAAAACEEEEIIIIDNOOOOOxOUUUUYTs"   // U+00C0..U+00DF
                                     "aaaaaaaceeeeiiiidnooooo/ouuuuyty";  // U+00E0..U+00FF
    if (c < 0xC0 || c > 0xFF) return 0;
    const char b = table[c - 0xC0];
    return (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ? b : 0;
}

std::string Escape(const std::string& s)
{
    std::string o;
    for (char c : s) {
        if (c == '&') o += "&amp;";
        else if (c == '<') o += "&lt;";
        else if (c == '>') o += "&gt;";
        else if (c == '"') o += "&quot;";
        else if (c == '\n' || c == '\t' || c == '\r') o += ' ';
        else if (static_cast<unsigned char>(c) < 0x20) continue;  // not allowed in XML 1.0
        else o += c;
    }
    return o;
}

bool WriteText(const fs::path& p, const std::string& text)
{
    std::ofstream f(p, std::ios::binary);
    f << text;
    return bool(f.flush());
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string ByLine(const DiskSong& s)
{
    return s.artist.empty() ? s.title : s.title + " by " + s.artist;
}

std::string Subtitle(const DiskOptions& o)
{
    if (!o.subtitle.empty()) return o.subtitle;
    return o.author.empty() ? "a music disk" : "a music disk by " + o.author;
}

// The settings that differ from "not set", as attributes (volume ramping is
// written whenever the module settings are, -1 included).
std::string RenderAttributes(const SongSettings& s)
{
    std::ostringstream x;
    if (s.stereoSeparation >= 0) x << " stereoseparation=\"" << s.stereoSeparation << "\"";
    if (s.interpolation > 0) x << " interpolation=\"" << s.interpolation << "\"";
    if (s.stereoSeparation >= 0 || s.volumeRamping >= 0) x << " volumeramping=\"" << s.volumeRamping << "\"";
    if (s.amiga >= 0) x << " amiga=\"" << (s.amiga ? "on" : "off") << "\"";
    if (s.gainDb != 0.0f) {
        char gain[32];
        std::snprintf(gain, sizeof gain, "%.2f", static_cast<double>(s.gainDb));
        x << " gain=\"" << gain << "\"";
    }
    return x.str();
}

std::string ArtXml(const DiskOptions& o, const std::vector<DiskSong>& songs,
                   const std::vector<std::string>& paths, const std::vector<std::string>& titlePics)
{
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- The songs in playing order, each with its title picture. -->\n";
    x << "<bits";
    if (!o.url.empty()) x << " url=\"" << Escape(o.url) << "\"";
    x << ">\n  <songs>\n";
    for (size_t i = 0; i < songs.size(); ++i) {
        x << "    <song path=\"" << Escape(paths[i]) << "\" titlepic=\"" << Escape(titlePics[i])
          << "\" title=\"" << Escape(songs[i].title) << "\"";
        if (!songs[i].artist.empty()) x << " artist=\"" << Escape(songs[i].artist) << "\"";
        if (o.renderSettings) x << RenderAttributes(songs[i].settings);
        x << "/>\n";
    }
    x << "  </songs>\n</bits>\n";
    return x.str();
}

std::string InterfaceXml(const std::string& scrollerText)
{
    const AmpLayout a;
    std::ostringstream x;
    x << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
         "<!-- The interface: layers from the bottom up. -->\n"
         "<bits>\n<interface>\n<layers>\n"
         "  <element type=\"layer\" relativepos=\"background\" x=\"0\" y=\"0\">\n"
         "    <image path=\"interface/background.png\"/>\n  </element>\n"
         "  <!-- a glow behind the carousel that breathes with the music -->\n"
         "  <element type=\"layer\" react=\"opacity\" x=\"526\" y=\"210\">\n"
         "    <image path=\"interface/orb_big.png\" blend=\"add\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"panel\" x=\"36\" y=\"96\">\n"
         "    <image path=\"interface/panel_left.png\" blend=\"normal\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"panel\" x=\"1044\" y=\"96\">\n"
         "    <image path=\"interface/panel_right.png\" blend=\"normal\"/>\n  </element>\n"
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
         "  <element type=\"layer\" relativepos=\"amp\" x=\""
      << a.x << "\" y=\"" << a.y
      << "\">\n"
         "    <image path=\"interface/amplifier.png\"/>\n  </element>\n"
         "  <element type=\"vu\" relativepos=\"amp\" x=\""
      << a.vuX << "\" y=\"" << a.vuY
      << "\">\n"
         "    <image path=\"interface/vu_block.png\" blend=\"normal\"/>\n  </element>\n"
         "  <element type=\"ampcontrol\" relativepos=\"amp\" x=\""
      << a.prevX << "\" y=\"" << a.buttonY
      << "\">\n"
         "    <image path=\"interface/button_prev.png\"/>\n    <control direction=\"-1\"/>\n  </element>\n"
         "  <element type=\"ampcontrol\" relativepos=\"amp\" x=\""
      << a.nextX << "\" y=\"" << a.buttonY
      << "\">\n"
         "    <image path=\"interface/button_next.png\"/>\n    <control direction=\"1\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"panel\" x=\"40\" y=\"620\">\n"
         "    <image path=\"interface/scroller_panel.png\"/>\n  </element>\n"
         "  <element type=\"tinyscroll\" x=\"60\" y=\"630\">\n"
         "    <font path=\"fonts/DejaVuSans.ttf\" name=\"DejaVu Sans\" size=\"16\"/>\n"
         "    <text>"
      << Escape(scrollerText)
      << "</text>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"foreground\" x=\"0\" y=\"0\">\n"
         "    <image path=\"interface/foreground.png\"/>\n  </element>\n"
         "  <element type=\"layer\" relativepos=\"foreforeground\" x=\"24\" y=\"24\">\n"
         "    <image path=\"interface/badge.png\"/>\n  </element>\n"
         "</layers>\n</interface>\n</bits>\n";
    return x.str();
}

std::string Readme(const DiskOptions& o, const std::vector<DiskSong>& songs)
{
    std::ostringstream r;
    r << o.title << "\n"
      << std::string(std::max<size_t>(3, o.title.size()), '=') << "\n\n"
      << Subtitle(o) << "\n\n";
    r << "Songs:\n";
    for (size_t i = 0; i < songs.size(); ++i) r << "  " << (i + 1) << ". " << ByLine(songs[i]) << "\n";
    if (!o.url.empty()) r << "\nMore: " << o.url << "\n";
    if (!o.readmeNote.empty()) r << "\n" << o.readmeNote << "\n";
    r << "\nPlay it with the Mivola player, run in this folder (or with this folder as its\n"
         "argument). The font in fonts/ is DejaVu Sans; its licence is fonts/FONT-LICENSE.\n";
    return r.str();
}

std::vector<CreditSection> Credits(const DiskOptions& o, const std::vector<DiskSong>& songs)
{
    std::vector<CreditSection> out;
    CreditSection list{"THE SONGS", {}};
    for (size_t i = 0; i < songs.size(); ++i)
        list.lines.push_back(std::to_string(i + 1) + ".  " + songs[i].title);
    out.push_back(list);
    if (!o.credits.empty()) {
        out.insert(out.end(), o.credits.begin(), o.credits.end());
        return out;
    }
    CreditSection music{"MUSIC", {}};
    std::set<std::string> seen;
    for (const DiskSong& s : songs)
        if (!s.artist.empty() && seen.insert(s.artist).second) music.lines.push_back(s.artist);
    if (!music.lines.empty()) out.push_back(music);
    if (!o.author.empty()) out.push_back({"DISK BY", {o.author}});
    out.push_back({"FONT", {"DejaVu Sans, by the DejaVu fonts team", "(free licence, see FONT-LICENSE)"}});
    out.push_back({"THANKS", {"to you for listening"}});
    return out;
}

}  // namespace

int KeepLatin1(std::string& utf8)
{
    std::string out;
    int replaced = 0;
    for (size_t i = 0; i < utf8.size();) {
        uint32_t c = NextCodePoint(utf8, i);
        if (c > 0xFF) {
            c = '?';
            ++replaced;
        }
        AppendUtf8(out, c);
    }
    utf8 = out;
    return replaced;
}

std::string SafeName(const std::string& name)
{
    std::string out;
    bool gap = false;
    for (size_t i = 0; i < name.size();) {
        uint32_t c = NextCodePoint(name, i);
        if (const char base = Unaccented(c)) c = uint32_t(base);
        if (c == 0xDF) c = 's';
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z')) {
            if (gap && !out.empty()) out += '_';
            out += char(std::tolower(int(c)));
            gap = false;
        } else {
            gap = true;
        }
    }
    if (out.size() > 48) out.resize(48);
    while (!out.empty() && out.back() == '_') out.pop_back();
    return out.empty() ? "song" : out;
}

std::string ScrollerText(const DiskOptions& o, const std::vector<DiskSong>& songs)
{
    std::ostringstream t;
    t << "Welcome to " << o.title;
    if (!o.author.empty()) t << ", a music disk by " << o.author;
    t << "!    ";
    t << songs.size() << (songs.size() == 1 ? " song:   " : " songs:   ");
    for (size_t i = 0; i < songs.size(); ++i) t << (i + 1) << ". " << ByLine(songs[i]) << "    ";
    t << "Click the arrows on the amplifier to move between songs and watch the carousel turn;"
         " press Escape when you have heard enough.    ";
    if (!o.url.empty()) t << "More at " << o.url << "    ";
    std::string text = t.str();
    while (!text.empty() && text.back() == ' ') text.pop_back();
    KeepLatin1(text);
    return text;
}

bool CanWriteDisk(const DiskOptions& o, std::string& error)
{
    std::error_code ec;
    if (fs::exists(o.out, ec) && !fs::is_directory(o.out, ec)) {
        error = o.out + " is not a folder";
        return false;
    }
    if (!o.force && fs::is_directory(o.out, ec) && !fs::is_empty(o.out, ec)) {
        error = o.out + " is not empty (--force writes into it anyway)";
        return false;
    }
    return true;
}

bool MakeDisk(const DiskOptions& o, const std::vector<DiskSong>& songs, DiskResult& result,
              std::string& error, const std::function<void(const std::string&)>& progress)
{
    const fs::path root(o.out);
    std::error_code ec;
    if (!CanWriteDisk(o, error)) return false;
    if (songs.empty()) {
        error = "no songs";
        return false;
    }
    for (const char* dir : {"", "interface", "intro", "endscreen", "songs", "titles", "scene", "fonts"}) {
        fs::create_directories(root / dir, ec);
        if (ec) {
            error = "cannot create " + (root / dir).string() + ": " + ec.message();
            return false;
        }
    }
    auto fail = [&](const std::string& what) {
        error = "cannot write " + (root / what).string();
        return false;
    };
    auto picture = [&](const std::string& rel, const Image& img, bool alpha = true) {
        if (!img.SavePng((root / rel).string(), alpha)) return fail(rel);
        result.files.push_back({rel, DiskFileKind::Picture, img.Width(), img.Height(), 0, 0});
        return true;
    };
    auto copySong = [&](const std::string& from, const std::string& rel, const SongFacts& facts) {
        fs::copy_file(from, root / rel, fs::copy_options::overwrite_existing, ec);
        if (ec) {
            error = "cannot copy " + from + " to " + (root / rel).string() + ": " + ec.message();
            return false;
        }
        const DiskFileKind kind =
            facts.kind == SongKind::Module ? DiskFileKind::Module : DiskFileKind::Stream;
        result.files.push_back(
            {rel, kind, 0, 0, facts.seconds, facts.kind == SongKind::Module ? facts.channels : 0});
        return true;
    };

    // Songs under safe names, each with its title picture.
    const int titleSize = o.quick ? 64 : 256;
    std::set<std::string> taken;
    std::vector<std::string> paths, titlePics;
    for (size_t i = 0; i < songs.size(); ++i) {
        const DiskSong& s = songs[i];
        std::string stem = SafeName(fs::path(s.source).stem().string());
        for (int n = 2; taken.count(stem); ++n)
            stem = SafeName(fs::path(s.source).stem().string()) + "_" + std::to_string(n);
        taken.insert(stem);
        std::string ext = SafeName(fs::path(s.source).extension().string());
        if (ext == "song" || ext.size() > 5) ext = Lower(s.facts.format.empty() ? "bin" : s.facts.format);
        const std::string rel = "songs/" + stem + "." + ext;
        if (!copySong(s.source, rel, s.facts)) return false;
        const std::string pic = "titles/" + stem + ".png";
        if (!picture(pic, TitlePicture(int(i), s.title, s.artist, s.facts.format, titleSize))) return false;
        paths.push_back(rel);
        titlePics.push_back(pic);
        if (progress) {
            char line[512];
            std::snprintf(line, sizeof line, "%2zu/%zu  %-28s %-5s %7.1f s  %s", i + 1, songs.size(),
                          rel.c_str(), s.facts.format.c_str(), s.facts.seconds, ByLine(s).c_str());
            progress(line);
        }
    }
    result.songPaths = paths;

    // Shell media.
    const std::string subtitle = Subtitle(o);
    auto at = [](disk::ShellFile f) { return disk::Shell(f).path; };
    if (!picture(at(disk::LoadingScreen), LoadingScreen(o.title, subtitle), false)) return false;
    if (!picture(at(disk::IntroBackground), IntroBackground(), false)) return false;
    if (!picture(at(disk::IntroDial), IntroDial(o.title + " FM"))) return false;
    if (!picture(at(disk::IntroForeground), IntroForeground(o.title))) return false;
    if (!picture(at(disk::IntroKnob), IntroKnob())) return false;
    if (!picture(at(disk::StartScreen), StartScreen(o.title, subtitle), false)) return false;
    const disk::ShellFile invaders[3] = {disk::Invader1, disk::Invader2, disk::Invader3};
    for (int i = 0; i < 3; ++i)
        if (!picture(at(invaders[i]), Invader(i))) return false;
    if (!picture(at(disk::EndBackground), EndBackground(), false)) return false;
    if (!picture(at(disk::EndScroller), EndScroller(o.title, subtitle, Credits(o, songs)))) return false;
    if (!picture(at(disk::EndLetterbox), EndLetterbox())) return false;

    // The shell's songs: given files, copied whatever their format (the player tries
    // every file as a module, then as a stream), or generated.
    const char* kIntroPath = at(disk::IntroSong);
    const char* kEndPath = at(disk::EndSong);
    auto shellSong = [&](const std::string& file, const char* rel, double least, const char* what) {
        SongFacts facts = ProbeSong(file);
        if (facts.kind == SongKind::None) {
            error = file + ": " + facts.reason;
            return false;
        }
        if (facts.seconds < least) {
            char w[512];
            std::snprintf(w, sizeof w, "%s: the %s song lasts %.1f s, less than the %.0f s its screen runs",
                          file.c_str(), what, facts.seconds, least);
            result.warnings.push_back(w);
        }
        return copySong(file, rel, facts);
    };
    if (!o.introSong.empty()) {
        if (!shellSong(o.introSong, kIntroPath, disk::kIntroSeconds, "intro")) return false;
    } else {
        Stereo radio = RenderRadio(kRate);
        Normalize(radio, 0.8f);
        if (!WriteMp3((root / kIntroPath).string(), radio, kRate, o.quick ? 64 : 128, o.title + " FM",
                      o.author))
            return fail(kIntroPath);
        result.files.push_back({kIntroPath, DiskFileKind::Stream, 0, 0, double(radio.Frames()) / kRate, 0});
    }
    if (!o.endSong.empty()) {
        if (!shellSong(o.endSong, kEndPath, disk::kEndSeconds, "end")) return false;
    } else {
        SongStyle st;
        st.title = "Sundrelle";
        st.seed = 77;
        st.bpm = 84;
        st.root = 51;
        st.minor = false;
        st.seconds = o.quick ? 4 : 54;
        st.progression = {0, 5, 3, 4};
        st.drums = DrumsHalfTime;
        st.bass = BassWalking;
        st.leadDensity = 0.4f;
        st.shortForm = o.quick;
        SongSound snd;
        snd.lead = LeadBell;
        snd.bass = BassSub;
        snd.pad = PadWarm;
        snd.arp = LeadPluck;
        snd.reverb = 0.35f;
        snd.echo = 0.3f;
        Stereo end = RenderSong(Compose(st), snd, kRate, o.quick ? 1.0 : 4.0);
        Normalize(end, 0.85f);
        if (!WriteOgg((root / kEndPath).string(), end, kRate, o.quick ? 0.0f : 0.3f, 0x4D56FFFF, "Sundrelle",
                      o.author))
            return fail(kEndPath);
        result.files.push_back({kEndPath, DiskFileKind::Stream, 0, 0, double(end.Frames()) / kRate, 0});
    }

    // Interface pictures.
    if (!picture("interface/background.png", InterfaceBackground(), false)) return false;
    if (!picture("interface/foreground.png", InterfaceForeground(o.title))) return false;
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
    const std::string badge =
        !o.badge.empty() ? o.badge : std::to_string(songs.size()) + (songs.size() == 1 ? " SONG" : " SONGS");
    if (!picture("interface/badge.png", Badge(badge))) return false;

    // The carousel and its textures.
    for (int slot = 0; slot < 4; ++slot)
        if (!picture("scene/" + ScreenTextureName(slot), ScreenPlaceholder(slot))) return false;
    if (!picture(std::string("scene/") + kBodyTexture, CarouselBody(), false)) return false;
    if (!WriteCarousel((root / "scene/carousel.3ds").string())) return fail("scene/carousel.3ds");
    result.files.push_back({"scene/carousel.3ds", DiskFileKind::Scene, 0, 0, 0, 0});

    // The font and its licence.
    fs::copy_file(FontPath("DejaVuSans.ttf"), root / "fonts/DejaVuSans.ttf",
                  fs::copy_options::overwrite_existing, ec);
    if (ec) return fail("fonts/DejaVuSans.ttf");
    result.files.push_back({"fonts/DejaVuSans.ttf", DiskFileKind::Other});
    fs::copy_file("/usr/share/doc/fonts-dejavu-core/copyright", root / "fonts/FONT-LICENSE",
                  fs::copy_options::overwrite_existing, ec);
    if (ec) return fail("fonts/FONT-LICENSE");
    if (!WriteText(root / "fonts/README",
                   "DejaVuSans.ttf is copied unchanged from Debian's fonts-dejavu-core package.\n"
                   "Its licence (a free font licence that allows redistribution) is in FONT-LICENSE.\n"))
        return fail("fonts/README");

    // The catalogue files and the README.
    std::string text = o.text.empty() ? ScrollerText(o, songs) : o.text;
    if (int lost = KeepLatin1(text))
        result.warnings.push_back(
            "the scroller text has " + std::to_string(lost) +
            " character(s) beyond Latin-1, which the scroller cannot draw: shown as '?'");
    if (!WriteText(root / "art.xml", ArtXml(o, songs, paths, titlePics))) return fail("art.xml");
    if (!WriteText(root / "interface.xml", InterfaceXml(text))) return fail("interface.xml");
    if (!WriteText(root / "README", Readme(o, songs))) return fail("README");
    for (const char* f : {"art.xml", "interface.xml", "README"})
        result.files.push_back({f, DiskFileKind::Other});
    return true;
}
