#include "app/Mpris.h"

#include "app/MediaControl.h"
#include "data/ArtshowData.h"
#include "data/SongPlayer.h"
#include "gfx/kpxD3D.h"
#include "platform/bass/bass.h"
#include "platform/win32/Log.h"

#include <systemd/sd-bus.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <vector>

namespace {

constexpr char kObjectPath[] = "/org/mpris/MediaPlayer2";
constexpr char kRootInterface[] = "org.mpris.MediaPlayer2";
constexpr char kPlayerInterface[] = "org.mpris.MediaPlayer2.Player";
constexpr char kNoTrack[] = "/org/mpris/MediaPlayer2/TrackList/NoTrack";

struct Announced {
    bool active = false;
    const MediaItem* song = nullptr;
    int32_t index = -1;
    std::string status;
    bool operator==(const Announced&) const = default;
};

struct Connection {
    bool enabled = false;
    bool tried = false;
    sd_bus* bus = nullptr;
    sd_bus_slot* rootSlot = nullptr;
    sd_bus_slot* playerSlot = nullptr;
    Announced announced;
};

Connection& State()
{
    static Connection connection;
    return connection;
}

std::string Utf8(const WCHAR* text)
{
    int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string out(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
    out.resize(static_cast<size_t>(size - 1));
    return out;
}

bool ChannelEnded(const MediaItem& song)
{
    if (song.kind != MediaModule && song.kind != MediaStream) return false;
    DWORD channel = song.handle.channel;
    QWORD length = BASS_ChannelGetLength(channel);
    return length != static_cast<QWORD>(-1) && BASS_ChannelGetPosition(channel) >= length;
}

const char* PlaybackStatus()
{
    if (!player.current) return "Stopped";
    if (player.paused) return "Paused";
    // After the last song the player keeps it current, silent.
    return ChannelEnded(*player.current) ? "Stopped" : "Playing";
}

int64_t PositionUs()
{
    const MediaItem* song = player.current;
    if (!song || (song->kind != MediaModule && song->kind != MediaStream)) return 0;
    DWORD channel = song->handle.channel;
    double seconds = BASS_ChannelBytes2Seconds(channel, BASS_ChannelGetPosition(channel));
    return seconds > 0 ? static_cast<int64_t>(seconds * 1e6) : 0;
}

Announced Snapshot()
{
    Announced now;
    now.active = MediaControlsActive();
    now.song = player.current;
    now.index = player.current ? player.currentIndex : -1;
    now.status = PlaybackStatus();
    return now;
}

// ---- message building --------------------------------------------------------------

template <typename T> int AppendEntry(sd_bus_message* reply, const char* key, const char* type, T value)
{
    int r = sd_bus_message_open_container(reply, 'e', "sv");
    if (r >= 0) r = sd_bus_message_append(reply, "s", key);
    if (r >= 0) r = sd_bus_message_open_container(reply, 'v', type);
    if (r >= 0) r = sd_bus_message_append(reply, type, value);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    if (r >= 0) r = sd_bus_message_close_container(reply);
    return r;
}

int AppendMetadata(sd_bus_message* reply)
{
    int r = sd_bus_message_open_container(reply, 'a', "{sv}");
    if (r < 0) return r;
    if (!player.current) {
        r = AppendEntry(reply, "mpris:trackid", "o", kNoTrack);
    } else {
        MprisTrack track = DescribeSong(player.currentIndex);
        r = AppendEntry(reply, "mpris:trackid", "o", track.trackId.c_str());
        if (r >= 0) r = AppendEntry(reply, "xesam:title", "s", track.title.c_str());
        if (r >= 0 && !track.artist.empty()) {
            // xesam:artist is a list of names.
            r = sd_bus_message_open_container(reply, 'e', "sv");
            if (r >= 0) r = sd_bus_message_append(reply, "s", "xesam:artist");
            if (r >= 0) r = sd_bus_message_open_container(reply, 'v', "as");
            if (r >= 0) r = sd_bus_message_append(reply, "as", 1, track.artist.c_str());
            if (r >= 0) r = sd_bus_message_close_container(reply);
            if (r >= 0) r = sd_bus_message_close_container(reply);
        }
        if (r >= 0) r = AppendEntry(reply, "mpris:length", "x", track.lengthUs);
        if (r >= 0 && !track.artUrl.empty())
            r = AppendEntry(reply, "mpris:artUrl", "s", track.artUrl.c_str());
    }
    if (r < 0) return r;
    return sd_bus_message_close_container(reply);
}

// ---- properties ----------------------------------------------------------------------

int GetProperty(sd_bus*, const char*, const char*, const char* property, sd_bus_message* reply, void*,
                sd_bus_error*)
{
    const bool active = MediaControlsActive();
    const bool haveSongs = data.songCount > 0;
    auto is = [property](const char* name) { return std::strcmp(property, name) == 0; };
    auto boolean = [reply](bool value) { return sd_bus_message_append(reply, "b", static_cast<int>(value)); };
    auto text = [reply](const char* value) { return sd_bus_message_append(reply, "s", value); };
    auto number = [reply](double value) { return sd_bus_message_append(reply, "d", value); };

    // Root interface.
    if (is("CanQuit")) return boolean(true);
    if (is("CanRaise") || is("HasTrackList")) return boolean(false);
    if (is("Identity")) return text("Mivola");
    if (is("DesktopEntry")) return text(kApplicationId);
    if (is("SupportedUriSchemes") || is("SupportedMimeTypes")) return sd_bus_message_append(reply, "as", 0);
    // Player interface.
    if (is("PlaybackStatus")) return text(PlaybackStatus());
    if (is("LoopStatus")) return text(player.repeat ? "Playlist" : "None");
    if (is("Shuffle")) return boolean(player.shuffle != 0);
    if (is("Rate") || is("MinimumRate") || is("MaximumRate")) return number(1.0);
    if (is("Volume")) return number(player.volume);
    if (is("Metadata")) return AppendMetadata(reply);
    if (is("Position")) return sd_bus_message_append(reply, "x", PositionUs());
    if (is("CanGoNext") || is("CanGoPrevious") || is("CanPlay")) return boolean(active && haveSongs);
    if (is("CanPause")) return boolean(active && player.current);
    if (is("CanSeek")) return boolean(false);
    if (is("CanControl")) return boolean(true);
    return -ENOENT;
}

// ---- methods -------------------------------------------------------------------------

int Reply(sd_bus_message* call)
{
    return sd_bus_reply_method_return(call, "");
}

int MethodRaise(sd_bus_message* call, void*, sd_bus_error*)
{
    return Reply(call);  // CanRaise is false: nothing to do
}

int MethodQuit(sd_bus_message* call, void*, sd_bus_error*)
{
    // The same message the window's close button sends.
    if (d3d.window) kpxD3D::WindowProc(d3d.window, WM_CLOSE, 0, 0);
    return Reply(call);
}

template <MediaAction action> int MethodAction(sd_bus_message* call, void*, sd_bus_error*)
{
    // Outside the interface screen the call has no effect, as Can* say.
    RunMediaAction(action);
    return Reply(call);
}

int MethodIgnored(sd_bus_message* call, void*, sd_bus_error*)
{
    return Reply(call);  // CanSeek is false
}

int MethodOpenUri(sd_bus_message*, void*, sd_bus_error* error)
{
    return sd_bus_error_set(error, SD_BUS_ERROR_NOT_SUPPORTED, "Mivola plays only the songs of its disk");
}

constexpr uint64_t kChanges = SD_BUS_VTABLE_PROPERTY_EMITS_CHANGE;
constexpr uint64_t kConst = SD_BUS_VTABLE_PROPERTY_CONST;

const sd_bus_vtable kRootVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Raise", "", "", MethodRaise, 0),
    SD_BUS_METHOD("Quit", "", "", MethodQuit, 0),
    SD_BUS_PROPERTY("CanQuit", "b", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("CanRaise", "b", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("HasTrackList", "b", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Identity", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("DesktopEntry", "s", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("SupportedUriSchemes", "as", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("SupportedMimeTypes", "as", GetProperty, 0, kConst),
    SD_BUS_VTABLE_END,
};

const sd_bus_vtable kPlayerVtable[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Next", "", "", MethodAction<MediaAction::Next>, 0),
    SD_BUS_METHOD("Previous", "", "", MethodAction<MediaAction::Previous>, 0),
    SD_BUS_METHOD("Pause", "", "", MethodAction<MediaAction::Pause>, 0),
    SD_BUS_METHOD("PlayPause", "", "", MethodAction<MediaAction::PlayPause>, 0),
    SD_BUS_METHOD("Stop", "", "", MethodAction<MediaAction::Stop>, 0),
    SD_BUS_METHOD("Play", "", "", MethodAction<MediaAction::Play>, 0),
    SD_BUS_METHOD("Seek", "x", "", MethodIgnored, 0),
    SD_BUS_METHOD("SetPosition", "ox", "", MethodIgnored, 0),
    SD_BUS_METHOD("OpenUri", "s", "", MethodOpenUri, 0),
    SD_BUS_SIGNAL("Seeked", "x", 0),
    SD_BUS_PROPERTY("PlaybackStatus", "s", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("LoopStatus", "s", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("Rate", "d", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("Shuffle", "b", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("Metadata", "a{sv}", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("Volume", "d", GetProperty, 0, kChanges),
    // The position moves all the time; clients read it when they need it.
    SD_BUS_PROPERTY("Position", "x", GetProperty, 0, 0),
    SD_BUS_PROPERTY("MinimumRate", "d", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("MaximumRate", "d", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("CanGoNext", "b", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanGoPrevious", "b", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPlay", "b", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanPause", "b", GetProperty, 0, kChanges),
    SD_BUS_PROPERTY("CanSeek", "b", GetProperty, 0, kConst),
    SD_BUS_PROPERTY("CanControl", "b", GetProperty, 0, kConst),
    SD_BUS_VTABLE_END,
};

// ---- connection ----------------------------------------------------------------------

void Close()
{
    Connection& c = State();
    c.rootSlot = sd_bus_slot_unref(c.rootSlot);
    c.playerSlot = sd_bus_slot_unref(c.playerSlot);
    c.bus = sd_bus_flush_close_unref(c.bus);
}

void Connect()
{
    Connection& c = State();
    int r = sd_bus_open_user(&c.bus);
    if (r < 0) {
        LogPrintf("[mpris] no session bus (%s): desktop media controls are off\n", std::strerror(-r));
        c.bus = nullptr;
        return;
    }
    r = sd_bus_add_object_vtable(c.bus, &c.rootSlot, kObjectPath, kRootInterface, kRootVtable, nullptr);
    if (r >= 0)
        r = sd_bus_add_object_vtable(c.bus, &c.playerSlot, kObjectPath, kPlayerInterface, kPlayerVtable,
                                     nullptr);
    std::string name = std::string("org.mpris.MediaPlayer2.") + kApplicationId;
    if (r >= 0) {
        r = sd_bus_request_name(c.bus, name.c_str(), 0);
        // A second show takes a name of its own, as MPRIS asks of more instances.
        if (r == -EEXIST) {
            name += ".instance" + std::to_string(getpid());
            r = sd_bus_request_name(c.bus, name.c_str(), 0);
        }
    }
    if (r < 0) {
        LogPrintf("[mpris] no session bus (%s): desktop media controls are off\n", std::strerror(-r));
        Close();
        return;
    }
    LogPrintf("[mpris] %s\n", name.c_str());
    c.announced = Snapshot();
}

// Sends PropertiesChanged for what moved since the last announcement.
void Announce()
{
    Connection& c = State();
    Announced now = Snapshot();
    if (now == c.announced) return;
    std::vector<const char*> names;
    if (now.song != c.announced.song || now.index != c.announced.index) names.push_back("Metadata");
    if (now.status != c.announced.status) names.push_back("PlaybackStatus");
    if (now.active != c.announced.active || now.song != c.announced.song) {
        for (const char* name : {"CanGoNext", "CanGoPrevious", "CanPlay", "CanPause"}) names.push_back(name);
    }
    c.announced = now;
    if (names.empty()) return;
    names.push_back(nullptr);
    sd_bus_emit_properties_changed_strv(c.bus, kObjectPath, kPlayerInterface,
                                        const_cast<char**>(names.data()));
}

}  // namespace

void MprisEnable()
{
    State().enabled = true;
}

void MprisPump()
{
    Connection& c = State();
    if (!c.enabled) return;
    if (!c.tried) {
        c.tried = true;
        Connect();
    }
    if (!c.bus) return;
    // Each call of sd_bus_process handles at most one message; never waits.
    for (int i = 0; i < 64; ++i) {
        int r = sd_bus_process(c.bus, nullptr);
        if (r < 0) {
            LogPrintf("[mpris] bus connection lost (%s)\n", std::strerror(-r));
            Close();
            return;
        }
        if (r == 0) break;
    }
    Announce();
}

void MprisStop()
{
    Connection& c = State();
    if (c.bus) Close();
    c.tried = false;
}

// ---- song descriptions --------------------------------------------------------------

std::string TitleFromPath(const std::string& path)
{
    size_t slash = path.find_last_of("/\\");
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    size_t dot = name.rfind('.');
    // A name that is all extension (".mod") keeps it.
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

std::string FileUri(const std::string& absolutePath)
{
    static const char kHex[] = "0123456789ABCDEF";
    std::string uri = "file://";
    for (unsigned char ch : absolutePath) {
        bool plain = (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z') || (ch >= '0' && ch <= '9') ||
                     ch == '-' || ch == '.' || ch == '_' || ch == '~' || ch == '/';
        if (plain) {
            uri += static_cast<char>(ch);
        } else {
            uri += '%';
            uri += kHex[ch >> 4];
            uri += kHex[ch & 15];
        }
    }
    return uri;
}

MprisTrack DescribeSong(int32_t n)
{
    MprisTrack track;
    track.trackId = "/org/mivola/Mivola/song/" + std::to_string(n);
    if (n < 0 || n >= data.songCount || !data.songs) return track;
    const MediaItem& song = data.songs[n];
    const SongLabel* label = n < data.songLabelCount && data.songLabels ? &data.songLabels[n] : nullptr;
    track.title = label && label->title[0] ? Utf8(label->title) : TitleFromPath(Utf8(song.path));
    if (label) track.artist = Utf8(label->artist);
    track.lengthUs = int64_t{song.lengthMs} * 1000;
    if (data.titlePics && data.titlePics[n].path[0]) {
        std::error_code error;
        // Catalogue paths may use Windows separators.
        std::string relative = Utf8(data.titlePics[n].path);
        for (char& ch : relative)
            if (ch == '\\') ch = '/';
        std::filesystem::path absolute = std::filesystem::absolute(relative, error);
        if (!error) track.artUrl = FileUri(absolute.lexically_normal().string());
    }
    return track;
}
