#include "tools/check/DiskCheck.h"

#include "core/DiskLayout.h"
#include "data/XmlAccess.h"
#include "layers/TextAtlas.h"
#include "platform/bass/bass.h"
#include "platform/d3dx9/d3dx9.h"
#include "platform/gdi/gdi.h"
#include "platform/host/ContentFile.h"
#include "platform/host/Host.h"
#include "platform/win32/Log.h"
#include "platform/xmldom/XmlDom.h"
#include "scene3ds/C3ds.h"
#include "tools/make/SongProbe.h"
#include "tools/make/SongRender.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>

namespace fs = std::filesystem;

namespace {

constexpr int kValueCapacity = 260;
constexpr int kMaxPictures = 512;
constexpr int kMaxLayers = 256;
constexpr unsigned kFullWidth = 1280, kFullHeight = 720;
constexpr unsigned kLargePicture = 4096;
// A stream whose header and audio disagree by more than this is worth a word.
constexpr double kLengthSlack = 0.5;
// Songs further apart in loudness than this make a listener reach for the volume.
constexpr double kLoudnessSpread = 2.0;

std::wstring Wide(const std::string& utf8)
{
    int size = MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, nullptr, 0);
    if (size <= 1) return {};
    std::wstring out(size_t(size), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, out.data(), size);
    out.pop_back();
    return out;
}

std::string Narrow(const std::wstring& wide)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(size_t(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, wide.c_str(), -1, out.data(), size, nullptr, nullptr);
    out.pop_back();
    return out;
}

std::string Lower(std::string s)
{
    for (char& c : s) c = char(std::tolower(static_cast<unsigned char>(c)));
    return s;
}

std::string Seconds(double s)
{
    char b[32];
    std::snprintf(b, sizeof b, "%.1f s", s);
    return b;
}

// Where a value came from: a file and a line.
struct Place {
    std::string file;
    long line = 0;
};

// Attribute text and whether it was there at all (XmlGetAttribute leaves the
// buffer as it was when the attribute is absent); a value longer than the
// program's buffer is reported through `cut`.
struct Attr {
    bool present = false;
    bool cut = false;
    std::string value;
};

Attr ReadAttr(XmlNode element, const WCHAR* name)
{
    Attr a;
    // A sentinel first character tells "absent" from "empty".
    WCHAR buffer[kValueCapacity] = {L'\x1'};
    XmlGetAttribute(element, name, buffer, kValueCapacity);
    if (buffer[0] == L'\x1' && buffer[1] == 0) return a;
    a.present = true;
    a.value = Narrow(buffer);
    a.cut = std::wcslen(buffer) == size_t(kValueCapacity - 1);
    return a;
}

long LineOf(XmlNode node)
{
    return node ? node->line : 0;
}

class Checker {
public:
    CheckReport report;
    bool loudness = false;  // measure every song

    void Run()
    {
        CheckArt();
        CheckInterface();
        CheckShell();
        if (pictureCount > kMaxPictures)
            Add({"interface.xml", 0}, Severity::Error,
                std::to_string(pictureCount) +
                    " pictures are registered (title pictures and layer pictures); the program holds " +
                    std::to_string(kMaxPictures));
        else
            Add({"interface.xml", 0}, Severity::Note,
                std::to_string(pictureCount) + " of " + std::to_string(kMaxPictures) + " picture slots used");
    }

private:
    int pictureCount = 0;
    std::map<std::string, bool> checkedPictures;  // path -> decodes
    std::map<std::string, double> checkedSongs;   // path -> seconds (negative: does not play)

    void Add(const Place& at, Severity s, const std::string& text)
    {
        report.findings.push_back({at.file, at.line, s, text});
        if (s == Severity::Error) ++report.errors;
        if (s == Severity::Warning) ++report.warnings;
    }

    // Loads a catalogue file with the program's XML loader; reports why it failed.
    IXMLDOMDocument* LoadXml(const std::string& file)
    {
        IXMLDOMDocument* doc = nullptr;
        if (CreateXMLDOMDocument(&doc) != S_OK || !doc) return nullptr;
        doc->put_async(VARIANT_FALSE);
        VARIANT_BOOL ok = VARIANT_FALSE;
        if (doc->load(Wide(file).c_str(), &ok) == S_OK && ok == VARIANT_TRUE) return doc;
        IXMLDOMParseError* error = nullptr;
        doc->get_parseError(&error);
        std::error_code ec;
        if (!fs::exists(file, ec)) {
            Add({file, 0}, Severity::Error, "missing: the program cannot start without it");
        } else if (error && error->line > 0) {
            Add({file, error->line}, Severity::Error,
                "not well-formed XML at column " + std::to_string(error->linepos) + ": " +
                    Narrow(error->reason));
        } else {
            Add({file, 0}, Severity::Error,
                "cannot be loaded: " + (error ? Narrow(error->reason) : std::string("unknown reason")));
        }
        doc->Release();
        return nullptr;
    }

    // Resolves a path as written, reporting Windows-style separators and case
    // mismatches (the program reads both, but other players and file systems may not).
    // Returns the path of the file on disk, or empty when there is none.
    std::string Resolve(const Place& at, const std::string& written, const std::string& what,
                        Severity missing = Severity::Error, const std::string& consequence = "")
    {
        std::string path = written;
        if (path.find('\\') != std::string::npos) {
            std::replace(path.begin(), path.end(), '\\', '/');
            Add(at, Severity::Warning,
                what + " '" + written + "' uses '\\' between folders; write '" + path + "'");
        }
        std::error_code ec;
        CheckInside(at, written, path, what);
        // A link that leads nowhere, or round in a circle, is named as what it is.
        const fs::file_status link = fs::symlink_status(path, ec);
        if (!ec && fs::is_symlink(link)) {
            std::error_code broken;
            (void)fs::status(path, broken);
            if (broken == std::errc::too_many_symbolic_link_levels) {
                Add(at, missing, what + " '" + written + "' is a symbolic link that loops" + consequence);
                return {};
            }
            if (broken == std::errc::no_such_file_or_directory) {
                Add(at, missing,
                    what + " '" + written + "' is a symbolic link to '" +
                        fs::read_symlink(path, ec).string() + "', which does not exist" + consequence);
                return {};
            }
        }
        if (fs::is_regular_file(path, ec)) return path;
        if (fs::exists(path, ec)) {
            Add(at, Severity::Error, what + " '" + path + "' is not a regular file");
            return {};
        }
        // Look for the one file that matches when letter case is ignored.
        fs::path found;
        bool unique = true;
        for (const fs::path& part : fs::path(path)) {
            if (part.empty() || part == ".") continue;
            const fs::path dir = found.empty() ? fs::path(".") : found;
            fs::path match;
            int matches = 0;
            for (const auto& e : fs::directory_iterator(dir, ec))
                if (Lower(e.path().filename().string()) == Lower(part.string())) {
                    match = e.path().filename();
                    ++matches;
                }
            if (matches == 0) {
                Add(at, missing, what + " '" + written + "' is missing" + consequence);
                return {};
            }
            unique = unique && matches == 1;
            found = found.empty() ? match : found / match;
        }
        const std::string actual = found.generic_string();
        if (!unique || !fs::is_regular_file(actual, ec)) {
            Add(at, Severity::Error,
                what + " '" + written + "' is missing (several files differ from it only in case)");
            return {};
        }
        Add(at, Severity::Warning,
            what + " '" + written + "' differs in letter case from the file on disk; write '" + actual + "'");
        return actual;
    }

    // A disk that people pass around must hold its own files: a path that is
    // absolute, climbs out with "..", or passes a link to outside the disk works
    // only on its maker's machine.
    void CheckInside(const Place& at, const std::string& written, const std::string& path,
                     const std::string& what)
    {
        std::error_code ec;
        const fs::path root = fs::weakly_canonical(fs::current_path(ec), ec);
        const std::string fix = ": copy the file into the disk folder and name it relative to it";
        if (fs::path(path).is_absolute()) {
            Add(at, Severity::Error, what + " '" + written + "' is an absolute path, outside the disk" + fix);
            return;
        }
        const fs::path lexical = fs::path(path).lexically_normal();
        if (!lexical.empty() && *lexical.begin() == "..") {
            Add(at, Severity::Error, what + " '" + written + "' climbs out of the disk with '..'" + fix);
            return;
        }
        const fs::path real = fs::weakly_canonical(root / path, ec);
        if (ec) return;
        const fs::path inside = real.lexically_relative(root);
        if (inside.empty() || *inside.begin() == "..")
            Add(at, Severity::Error,
                what + " '" + written + "' passes a symbolic link to '" + real.string() +
                    "', outside the disk" + fix);
    }

    // A picture through the program's picture loader. `full` asks for 1280 x 720.
    void CheckPicture(const Place& at, const std::string& written, const std::string& what, bool full,
                      bool registered)
    {
        if (registered) ++pictureCount;
        if (written.empty()) {
            Add(at, Severity::Error, what + " has no path");
            return;
        }
        const std::string path = Resolve(at, written, what);
        if (path.empty() || checkedPictures.count(path)) return;
        D3DXIMAGE_INFO info{};
        const bool decodes = D3DXGetImageInfoFromFileW(Wide(path).c_str(), &info) == D3D_OK;
        checkedPictures[path] = decodes;
        if (!decodes) {
            Add(at, Severity::Error,
                what + " '" + path + "' does not load: " + host::LastFileError() +
                    " (pictures are PNG, JPEG, BMP or TGA, at most 8192 pixels a side)");
            return;
        }
        const std::string size = std::to_string(info.Width) + " x " + std::to_string(info.Height);
        Add({path, 0}, Severity::Note, "picture " + size);
        if (full && (info.Width != kFullWidth || info.Height != kFullHeight))
            Add(at, Severity::Warning,
                what + " '" + path + "' is " + size + "; the screen shows it at 1280 x 720 pixels, unscaled");
        if (info.Width > kLargePicture || info.Height > kLargePicture)
            Add(at, Severity::Warning,
                what + " '" + path + "' is " + size + ": over 4096 a side, its texture is " +
                    "large and may not load on small graphics cards (low video RAM mode helps)");
    }

    // A song through the audio library stand-in, as the media cache opens it:
    // a module first, then a stream. Returns the length in seconds, negative when
    // it does not play.
    double CheckSong(const Place& at, const std::string& written, const std::string& what)
    {
        if (written.empty()) {
            Add(at, Severity::Error, what + " has no path");
            return -1;
        }
        const std::string path = Resolve(at, written, what);
        if (path.empty()) return -1;
        if (auto known = checkedSongs.find(path); known != checkedSongs.end()) return known->second;
        const std::wstring wide = Wide(path);
        const DWORD flags = BASS_MUSIC_PRESCAN | BASS_UNICODE;
        DWORD handle = BASS_MusicLoad(FALSE, wide.c_str(), 0, 0, flags, 0);
        bool module = handle != 0;
        if (!module && BASS_ErrorGetCode() == BASS_ERROR_FILEFORM)
            handle = BASS_StreamCreateFile(FALSE, wide.c_str(), 0, 0, BASS_STREAM_PRESCAN | BASS_UNICODE);
        const SongFacts facts = ProbeSong(path, !module);
        if (!handle) {
            Add(at, Severity::Error,
                what + " '" + path + "' does not play: " +
                    (facts.reason.empty() ? "the audio library refuses it" : facts.reason));
            checkedSongs[path] = -1;
            return -1;
        }
        const double seconds = BASS_ChannelBytes2Seconds(handle, BASS_ChannelGetLength(handle));
        if (module) BASS_MusicFree(handle);
        else BASS_StreamFree(handle);
        checkedSongs[path] = seconds;
        Add({path, 0}, Severity::Note,
            std::string(module ? "module" : "stream") + (facts.format.empty() ? "" : " " + facts.format) +
                ", " + Seconds(seconds));
        if (!module && facts.kind == SongKind::Stream &&
            std::fabs(facts.seconds - facts.headerSeconds) > kLengthSlack)
            Add(at, Severity::Warning,
                what + " '" + path + "': its header says " + Seconds(facts.headerSeconds) + " but " +
                    Seconds(facts.seconds) + " decode (a damaged or cut file?)");
        if (seconds <= 0) Add(at, Severity::Warning, what + " '" + path + "' is silent: it has no length");
        return seconds;
    }

    void CheckArt()
    {
        IXMLDOMDocument* doc = LoadXml("art.xml");
        if (!doc) return;
        XmlNode bits = nullptr;
        XmlFirstChild(XmlDocumentNode(doc), bits, L"bits");
        if (!bits) {
            Add({"art.xml", 1}, Severity::Error, "no <bits> root element");
            XmlRelease(doc);
            return;
        }
        const Attr url = ReadAttr(bits, L"url");
        if (url.present && url.value.rfind("http://", 0) != 0 && url.value.rfind("https://", 0) != 0)
            Add({"art.xml", LineOf(bits)}, Severity::Warning,
                "url '" + url.value +
                    "' is not an http:// or https:// address: the web-site button opens the README instead");
        if (XmlCountChildren(bits, L"songs") == 0) {
            Add({"art.xml", LineOf(bits)}, Severity::Error, "no <songs> section: the disk has no songs");
            XmlRelease(doc);
            return;
        }
        XmlNode songs = nullptr;
        XmlFirstChild(bits, songs, L"songs");
        const int count = XmlCountChildren(songs, L"song");
        if (count == 0) Add({"art.xml", LineOf(songs)}, Severity::Error, "<songs> holds no <song>");
        if (count > kMaxPictures) {
            Add({"art.xml", LineOf(songs)}, Severity::Error,
                std::to_string(count) + " songs: the program refuses a disk of more than " +
                    std::to_string(kMaxPictures) + " (each title picture takes one of its picture slots)");
            pictureCount += count;
            XmlRelease(doc);
            return;
        }
        SongSettings defaults;
        bool settingsRead = ReadSettings(songs, defaults);
        std::vector<double> heard;  // loudness after gain, song by song
        XmlNode song = nullptr;
        XmlFirstChild(songs, song, L"song");
        for (int i = 0; i < count; ++i, XmlNextChild(song, song, L"song")) {
            const Place at{"art.xml", LineOf(song)};
            const std::string label = "song " + std::to_string(i + 1);
            const Attr path = ReadAttr(song, L"path"), pic = ReadAttr(song, L"titlepic");
            for (const Attr* a : {&path, &pic})
                if (a->cut)
                    Add(at, Severity::Error, label + ": a path longer than 259 characters is cut short");
            const double seconds = CheckSong(at, path.value, label);
            SongSettings settings = defaults;
            if (settingsRead && ReadSettings(song, settings) && seconds >= 0)
                ReportSettings(at, label, path.value, song, settings, heard);
            if (!pic.present) {
                ++pictureCount;
                Add(at, Severity::Error, label + " has no titlepic");
            } else {
                CheckPicture(at, pic.value, label + "'s title picture", false, true);
            }
        }
        if (heard.size() > 1) {
            const auto [low, high] = std::minmax_element(heard.begin(), heard.end());
            char text[200];
            std::snprintf(text, sizeof text,
                          "the songs' loudness after their gains spreads over %.1f LU (%.1f to %.1f LUFS)",
                          *high - *low, *low, *high);
            if (*high - *low > kLoudnessSpread)
                Add({"art.xml", LineOf(songs)}, Severity::Warning,
                    std::string(text) +
                        ": listeners will reach for the volume; mivola-make sets gains that match them");
            else Add({"art.xml", LineOf(songs)}, Severity::Note, text);
        }
        XmlRelease(doc);
    }

    // The render settings on "songs" or "song" over `settings`; an error at a
    // value the player refuses (it would not start).
    bool ReadSettings(XmlNode element, SongSettings& settings)
    {
        SongSettingsError e;
        if (ReadSongSettings(element, settings, e)) return true;
        Add({"art.xml", e.line}, Severity::Error,
            "attribute " + Narrow(e.attribute) + "=\"" + Narrow(e.value) + "\" is not allowed: it takes " +
                Narrow(e.expected) + "; the player will not start");
        return false;
    }

    // What the song plays with and, with `loudness`, how loud it is heard.
    void ReportSettings(const Place& at, const std::string& label, std::string path, XmlNode song,
                        const SongSettings& settings, std::vector<double>& heard)
    {
        std::replace(path.begin(), path.end(), '\\', '/');
        const bool module = IsModule(path);
        SongSettings applied = settings;
        if (!module) {
            applied = SongSettings{};
            applied.gainDb = settings.gainDb;
            SongSettings own;
            SongSettingsError e;
            ReadSongSettings(song, own, e);
            own.gainDb = 0;
            if (!own.IsDefault())
                Add(at, Severity::Note,
                    label + " is a stream: its module settings (" + own.Describe() + ") do not apply");
        }
        Add(at, Severity::Note, label + " plays with " + applied.Describe());
        if (!loudness) return;
        SongSettings unchanged = applied;
        unchanged.gainDb = 0;
        Loudness l;
        std::string error;
        if (!MeasureLoudness(path, unchanged, l, error)) return;  // its own finding says why
        if (!std::isfinite(l.integrated)) {
            Add(at, Severity::Note, label + " is silent: no loudness to measure");
            return;
        }
        const double after = l.integrated + applied.gainDb;
        char text[200];
        std::snprintf(text, sizeof text, "%s: %.1f LUFS measured, %.1f LUFS after its gain of %+.2f dB",
                      label.c_str(), l.integrated, after, static_cast<double>(applied.gainDb));
        Add(at, Severity::Note, text);
        heard.push_back(after);
    }

    bool IsModule(const std::string& path)
    {
        const HMUSIC music = BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_DECODE, 0);
        if (music) BASS_MusicFree(music);
        return music != 0;
    }

    void CheckInterface()
    {
        IXMLDOMDocument* doc = LoadXml("interface.xml");
        if (!doc) return;
        XmlNode bits = nullptr, iface = nullptr, layers = nullptr;
        XmlFirstChild(XmlDocumentNode(doc), bits, L"bits");
        if (!bits) {
            Add({"interface.xml", 1}, Severity::Error, "no <bits> root element");
            XmlRelease(doc);
            return;
        }
        if (XmlCountChildren(bits, L"interface") == 0) {
            Add({"interface.xml", LineOf(bits)}, Severity::Warning,
                "no <interface> section: the interface screen draws nothing");
            XmlRelease(doc);
            return;
        }
        XmlFirstChild(bits, iface, L"interface");
        XmlFirstChild(iface, layers, L"layers");
        if (!layers) {
            Add({"interface.xml", LineOf(iface)}, Severity::Error, "<interface> without <layers>");
            XmlRelease(doc);
            return;
        }
        int count = XmlCountChildren(layers, L"element");
        if (count > kMaxLayers) {
            Add({"interface.xml", LineOf(layers)}, Severity::Warning,
                std::to_string(count) + " elements: only the first " + std::to_string(kMaxLayers) +
                    " are read");
            count = kMaxLayers;
        }
        int monitors = 0;
        XmlNode element = nullptr;
        XmlFirstChild(layers, element, L"element");
        for (int c = 0; c < count; ++c, XmlNextChild(element, element, L"element")) {
            const Place at{"interface.xml", LineOf(element)};
            const std::string type = ReadAttr(element, L"type").value;
            const disk::LayerType kind = disk::LayerTypeOf(type.c_str());
            if (kind == disk::LayerSimple || kind == disk::LayerControl || kind == disk::LayerVu) {
                XmlNode image = nullptr;
                XmlFirstChild(element, image, L"image");
                if (!image) {
                    Add(at, Severity::Warning, "'" + type + "' element without <image>: nothing is drawn");
                } else {
                    CheckPicture({"interface.xml", LineOf(image)}, ReadAttr(image, L"path").value, "picture",
                                 false, true);
                }
                if (kind == disk::LayerControl) {
                    XmlNode control = nullptr;
                    XmlFirstChild(element, control, L"control");
                    WCHAR number[10] = {};
                    XmlGetAttribute(control, L"direction", number, 10);
                    int direction = 0;
                    if (std::swscanf(number, L"%d", &direction) != 1 || (direction != 1 && direction != -1))
                        Add(at, Severity::Warning,
                            "control direction '" + Narrow(number) +
                                "' is neither 1 (next) nor -1 (previous)");
                }
            } else if (kind == disk::LayerScroller) {
                CheckScroller(element, at);
            } else if (kind == disk::LayerMonitor) {
                ++monitors;
                CheckMonitor(element, at);
            } else {
                Add(at, Severity::Warning,
                    "unknown layer type '" + type +
                        "' (known: " + disk::LayerTypeList() + "): the element is skipped");
            }
        }
        if (monitors == 0)
            Add({"interface.xml", LineOf(layers)}, Severity::Warning,
                "no monitor element: the carousel is not shown");
        XmlRelease(doc);
    }

    void CheckScroller(XmlNode element, const Place& at)
    {
        XmlNode font = nullptr, text = nullptr;
        XmlFirstChild(element, font, L"font");
        XmlFirstChild(element, text, L"text");
        const Place fontAt{"interface.xml", font ? LineOf(font) : at.line};
        const std::string fontPath = ReadAttr(font, L"path").value;
        if (!fontPath.empty())
            Resolve(fontAt, fontPath, "font file", Severity::Warning, ": a system font stands in");
        const std::wstring face = Wide(ReadAttr(font, L"name").value);
        WCHAR number[10] = {};
        XmlGetAttribute(font, L"size", number, 10);
        int size = 0;
        if (std::swscanf(number, L"%d", &size) != 1) size = 0;
        if (size < 8) {
            Add(fontAt, Severity::Warning,
                "scroller font size " + std::to_string(size) + " is too small to read (8 or more)");
        } else {
            const int fits = LargestFittingSize(fontPath, face, size);
            if (fits < size)
                Add(fontAt, Severity::Warning,
                    "scroller font size " + std::to_string(size) +
                        " does not fit all 256 characters into the 512 x 512 glyph atlas: the scroller "
                        "uses " +
                        std::to_string(fits) + "; size " + std::to_string(fits) + " fits");
        }
        if (!text) {
            Add(at, Severity::Warning, "scroller without <text>: nothing scrolls");
        } else {
            WCHAR* buffer = new WCHAR[kXmlTextCapacity + 1]();
            XmlGetText(text, buffer);
            bool wide = false;
            for (const WCHAR* p = buffer; *p; ++p) wide = wide || static_cast<uint32_t>(*p) > 0xFF;
            if (wide)
                Add({"interface.xml", LineOf(text)}, Severity::Warning,
                    "scroller text has characters beyond Latin-1 (above U+00FF), which the scroller cannot "
                    "draw");
            delete[] buffer;
        }
    }

    // The size the scroller's own atlas code builds the glyphs with: the size asked
    // for when all 256 cells fit the atlas, else the largest that does.
    int LargestFittingSize(const std::string& fontPath, const std::wstring& face, int size)
    {
        if (!fontPath.empty()) AddFontResourceW(Wide(fontPath).c_str());
        std::vector<uint32_t> coverage(size_t(TextAtlas::kSize) * TextAtlas::kSize);
        auto atlas = std::make_unique<TextAtlas>();
        RasterizeTextAtlas(*atlas, face.c_str(), size, coverage.data());
        return atlas->fontSize;
    }

    void CheckMonitor(XmlNode element, const Place& at)
    {
        XmlNode monitor = nullptr;
        XmlFirstChild(element, monitor, L"monitor");
        const Place sceneAt{"interface.xml", monitor ? LineOf(monitor) : at.line};
        std::string names[4];
        bool named[4] = {};
        XmlNode d = nullptr;
        XmlFirstChild(element, d, L"dummytexture");
        for (; d; XmlNextChild(d, d, L"dummytexture")) {
            WCHAR number[10] = {};
            XmlGetAttribute(d, L"id", number, 10);
            int id = -1;
            if (std::swscanf(number, L"%d", &id) != 1 || id < 0 || id > 3) {
                Add({"interface.xml", LineOf(d)}, Severity::Warning,
                    "dummytexture id '" + Narrow(number) + "' is not 0 to 3: ignored");
                continue;
            }
            names[id] = ReadAttr(d, L"file").value;
            named[id] = true;
        }
        for (int id = 0; id < 4; ++id)
            if (!named[id] || names[id].empty())
                Add(at, Severity::Error,
                    "no dummytexture with id " + std::to_string(id) +
                        ": the carousel needs four placeholders");

        const std::string written = ReadAttr(monitor, L"path").value;
        if (written.empty()) {
            Add(sceneAt, Severity::Error, "monitor without a scene path");
            return;
        }
        const std::string path = Resolve(sceneAt, written, "scene");
        if (path.empty()) return;
        C3ds reader;
        Scene3ds* scene = nullptr;
        const int loaded = reader.Load3ds(path.c_str(), &scene);
        if (!loaded || !scene) {
            Add(sceneAt, Severity::Error, "scene '" + path + "' does not read as a 3DS file");
            Free3ds(scene);
            return;
        }
        // Each mesh shows the texture of its first face's material, matched without case.
        std::set<std::string> meshTextures;
        std::set<std::string> files;
        int meshes = 0;
        for (int i = 0; i < scene->meshCount; ++i) {
            const Mesh3ds* mesh = scene->meshIndex[i];
            if (!mesh->faceCount) continue;
            ++meshes;
            int m = mesh->faces[0].materialIndex;
            if (m < 0 || m >= scene->materialCount || !scene->materialIndex[m]->textureFile) continue;
            meshTextures.insert(Lower(scene->materialIndex[m]->textureFile));
            files.insert(scene->materialIndex[m]->textureFile);
        }
        Add({path, 0}, Severity::Note,
            "scene with " + std::to_string(meshes) + " mesh(es) and " + std::to_string(files.size()) +
                " texture(s)");
        for (int id = 0; id < 4; ++id)
            if (named[id] && !names[id].empty() && !meshTextures.count(Lower(names[id])))
                Add(sceneAt, Severity::Error,
                    "scene '" + path + "' has no mesh with the placeholder texture '" + names[id] +
                        "' (dummytexture " + std::to_string(id) + "): that face cannot show title pictures");
        const std::string dir = fs::path(path).parent_path().generic_string();
        for (const std::string& f : files) {
            bool placeholder = false;
            for (int id = 0; id < 4; ++id) placeholder = placeholder || Lower(names[id]) == Lower(f);
            const std::string texture = dir.empty() ? f : dir + "/" + f;
            std::error_code ec;
            if (!fs::is_regular_file(texture, ec) && placeholder) continue;  // covered by title pictures
            if (!fs::is_regular_file(texture, ec)) {
                Add({path, 0}, Severity::Warning,
                    "texture '" + texture + "' is missing: its meshes are drawn untextured");
                continue;
            }
            CheckPicture({path, 0}, texture, "scene texture", false, false);
        }
        Free3ds(scene);
    }

    void CheckShell()
    {
        for (int f = 0; f < disk::kShellFileCount; ++f) {
            const disk::ShellFileInfo& file = disk::Shell(static_cast<disk::ShellFile>(f));
            if (file.song) continue;
            CheckShellFile(file.path, file.role, [&](const Place& at) {
                CheckPicture(at, file.path, file.role, file.fullScreen, false);
            });
        }
        auto song = [&](disk::ShellFile f, double least, const char* why) {
            const disk::ShellFileInfo& file = disk::Shell(f);
            CheckShellFile(file.path, file.role, [&](const Place& at) {
                const double s = CheckSong(at, file.path, file.role);
                if (s >= 0 && s < least)
                    Add({file.path, 0}, Severity::Warning,
                        std::string(file.role) + " lasts " + Seconds(s) + ", less than the " +
                            std::to_string(int(least)) + " s " + why);
            });
        };
        song(disk::IntroSong, disk::kIntroSeconds, "the intro runs on its clock");
        song(disk::EndSong, disk::kEndSeconds, "the end screen lasts");
    }

    template <typename F> void CheckShellFile(const char* path, const char* what, F check)
    {
        std::error_code ec;
        if (!fs::exists(path, ec)) {
            // A file that differs only in case is reported by the check itself.
            const fs::path p(path);
            bool nearly = false;
            for (const auto& e : fs::directory_iterator(p.parent_path(), ec))
                nearly = nearly || Lower(e.path().filename().string()) == Lower(p.filename().string());
            if (!nearly) {
                Add({path, 0}, Severity::Error, std::string(what) + " is missing: the program needs it");
                return;
            }
        }
        check(Place{path, 0});
    }
};

std::string JsonString(const std::string& s)
{
    std::string o = "\"";
    for (unsigned char c : s) {
        if (c == '"' || c == '\\') o += '\\', o += char(c);
        else if (c == '\n') o += "\\n";
        else if (c < 0x20) {
            char b[8];
            std::snprintf(b, sizeof b, "\\u%04x", c);
            o += b;
        } else o += char(c);
    }
    return o + "\"";
}

const char* SeverityName(Severity s)
{
    return s == Severity::Error ? "error" : s == Severity::Warning ? "warning" : "note";
}

}  // namespace

CheckReport CheckDisk(const std::string& folder, bool loudness)
{
    CheckReport report;
    std::error_code ec;
    const fs::path before = fs::current_path(ec);
    if (!fs::is_directory(folder, ec)) {
        report.findings.push_back({folder, 0, Severity::Error, "not a folder"});
        report.errors = 1;
        return report;
    }
    fs::current_path(folder, ec);
    // The loaders' own log lines are not findings.
    SetLogSink([](const std::string&) {}, false);
    host::SetRunMode(host::RunMode::Virtual);
    BASS_Init(1, 44100, 0, nullptr, nullptr);
    Checker checker;
    checker.loudness = loudness;
    checker.Run();
    BASS_Free();
    SetLogSink({}, true);
    fs::current_path(before, ec);
    return checker.report;
}

std::string FormatFinding(const Finding& f)
{
    std::string s = f.file;
    if (f.line > 0) s += ":" + std::to_string(f.line);
    return s + ": " + SeverityName(f.severity) + ": " + f.text;
}

std::string FormatJson(const CheckReport& r, const std::string& folder)
{
    std::ostringstream j;
    j << "{\n  \"disk\": " << JsonString(folder) << ",\n  \"errors\": " << r.errors
      << ",\n  \"warnings\": " << r.warnings << ",\n  \"findings\": [";
    for (size_t i = 0; i < r.findings.size(); ++i) {
        const Finding& f = r.findings[i];
        j << (i ? ",\n" : "\n") << "    {\"file\": " << JsonString(f.file) << ", \"line\": " << f.line
          << ", \"severity\": \"" << SeverityName(f.severity) << "\", \"text\": " << JsonString(f.text)
          << "}";
    }
    j << "\n  ]\n}\n";
    return j.str();
}
