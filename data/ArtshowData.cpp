#include "data/ArtshowData.h"

#include "data/ArtshowLayer.h"
#include "data/Catalogue.h"
#include "data/MediaCache.h"
#include "data/XmlAccess.h"

#include <cstring>
#include <cwchar>
#include <new>

ArtshowData data;

namespace {

constexpr size_t kValueCapacity = 260;

bool Equals(const WCHAR* a, const WCHAR* b)
{
    return std::wcscmp(a, b) == 0;
}

const WCHAR* const kAnchorNames[8] = {
    L"background", L"panel", L"orbtop", L"orbmiddle", L"orbbottom", L"amp", L"foreground", L"foreforeground",
};

// "%d" on a cleared buffer: a value without a number reads as 0.
float ReadCoordinate(XmlNode element, const WCHAR* name)
{
    int32_t value = 0;
    XmlGetNumber(element, name, value);
    return static_cast<float>(value);
}

bool ReadSongs(ArtshowData& catalogue, XmlNode bits, const WCHAR* fileName)
{
    if (XmlCountChildren(bits, L"songs") <= 0) return true;
    // The songs are read once; a later section would leave title pictures of
    // the first one registered for songs that no longer exist.
    if (catalogue.songs) {
        LogPrintf("Ignoring a second songs section in %ls\n", fileName);
        return true;
    }
    XmlNode songsNode = nullptr;
    XmlFirstChild(bits, songsNode, L"songs");
    int count = XmlCountChildren(songsNode, L"song");
    // Every song takes a slot of the image list for its title picture: a disk
    // with more songs than slots cannot be shown, and is refused before any
    // song is allocated or loaded.
    if (count > kMaxSongs) {
        LogPrintf("%ls has %d songs; a disk holds at most %d\n", fileName, count, kMaxSongs);
        return false;
    }
    catalogue.songs = new MediaItem[static_cast<size_t>(count)]();
    catalogue.titlePics = new MediaItem[static_cast<size_t>(count)]();
    catalogue.songCount = count;
    catalogue.songLabels = new SongLabel[static_cast<size_t>(count)]();
    catalogue.songLabelCount = count;
    XmlNode song = nullptr;
    XmlFirstChild(songsNode, song, L"song");
    for (int i = 0; i < count; ++i, XmlNextChild(song, song, L"song")) {
        XmlGetAttribute(song, L"path", catalogue.songs[i].path, kValueCapacity);
        XmlGetAttribute(song, L"titlepic", catalogue.titlePics[i].path, kValueCapacity);
        XmlGetAttribute(song, L"title", catalogue.songLabels[i].title, kValueCapacity);
        XmlGetAttribute(song, L"artist", catalogue.songLabels[i].artist, kValueCapacity);
        // A song without a title picture keeps an empty path; loading it then
        // fails with the media cache's message.
        if (catalogue.titlePics[i].path[0] == 0)
            LogPrintf("Song %d in %ls has no title picture\n", i, fileName);
        catalogue.titlePics[i].kind = MediaImageUnfiltered;
        RegisterImage(&catalogue.titlePics[i]);
    }
    return true;
}

void ReadInterface(ArtshowData& catalogue, XmlNode bits, const WCHAR* fileName, LayerFactory createLayer)
{
    if (XmlCountChildren(bits, L"interface") <= 0) return;
    if (catalogue.layerCount > 0) {
        LogPrintf("Ignoring a second interface section in %ls\n", fileName);
        return;
    }
    XmlNode interfaceNode = nullptr;
    XmlNode layersNode = nullptr;
    XmlFirstChild(bits, interfaceNode, L"interface");
    XmlFirstChild(interfaceNode, layersNode, L"layers");
    int count = XmlCountChildren(layersNode, L"element");
    if (count > kMaxLayers) {
        LogPrintf("%ls has %d elements; the first %d are used\n", fileName, count, kMaxLayers);
        count = kMaxLayers;
    }
    catalogue.layerCount = count;
    XmlNode element = nullptr;
    XmlFirstChild(layersNode, element, L"element");
    for (int c = 0; c < count; ++c, XmlNextChild(element, element, L"element")) {
        catalogue.layers[c] = nullptr;

        // Every element names its own class: nothing carries over from the one before.
        WCHAR type[kValueCapacity] = {};
        XmlGetAttribute(element, L"type", type, kValueCapacity);
        ArtshowLayer* layer = createLayer(type);
        if (!layer) {
            LogPrintf("Skipping element %d of %ls: unknown type \"%ls\"\n", c, fileName, type);
            continue;
        }
        catalogue.layers[c] = layer;
        wcsncpy_s(layer->typeName, kValueCapacity, type, _TRUNCATE);

        WCHAR relative[kValueCapacity] = {};
        XmlGetAttribute(element, L"relativepos", relative, kValueCapacity);
        for (int anchor = 0; anchor < 8; ++anchor)
            if (Equals(relative, kAnchorNames[anchor])) layer->relativePos = catalogue.anchors[anchor];

        WCHAR react[kValueCapacity] = {};
        XmlGetAttribute(element, L"react", react, kValueCapacity);
        layer->react = ReactNone;
        if (Equals(react, L"opacity")) layer->react = ReactOpacity;
        if (Equals(react, L"scaling")) layer->react = ReactScaling;

        layer->x = ReadCoordinate(element, L"x");
        layer->y = ReadCoordinate(element, L"y");
        layer->Load(element);
    }
}

}  // namespace

bool ReadCatalogue(ArtshowData& catalogue, XmlNode documentNode, const WCHAR* fileName,
                   LayerFactory createLayer)
{
    XmlNode bits = nullptr;
    XmlFirstChild(documentNode, bits, L"bits");
    if (!ReadSongs(catalogue, bits, fileName)) return false;
    ReadInterface(catalogue, bits, fileName, createLayer);
    return true;
}

bool ReadRenderSettings(ArtshowData& catalogue, XmlNode documentNode, const WCHAR* fileName,
                        std::wstring& error)
{
    if (catalogue.songSettings || !catalogue.songs) return true;
    XmlNode bits = nullptr, songsNode = nullptr;
    XmlFirstChild(documentNode, bits, L"bits");
    XmlFirstChild(bits, songsNode, L"songs");
    const int count = XmlCountChildren(songsNode, L"song");
    if (!songsNode || count != catalogue.songCount) return true;  // the songs came from another document
    catalogue.songSettings = new SongSettings[static_cast<size_t>(count)]();
    SongSettings defaults;
    SongSettingsError e;
    bool ok = ReadSongSettings(songsNode, defaults, e);
    XmlNode song = nullptr;
    XmlFirstChild(songsNode, song, L"song");
    for (int i = 0; ok && i < count; ++i, XmlNextChild(song, song, L"song")) {
        catalogue.songSettings[i] = defaults;
        ok = ReadSongSettings(song, catalogue.songSettings[i], e);
    }
    if (ok) return true;
    error = std::wstring(fileName) + L":" + std::to_wstring(e.line) + L": attribute \"" + e.attribute +
            L"\" is \"" + e.value + L"\"; it takes " + e.expected;
    return false;
}

void ClearCatalogue(ArtshowData& catalogue)
{
    for (int i = 0; i < catalogue.layerCount && i < kMaxLayers; ++i) {
        ArtshowLayer* layer = catalogue.layers[i];
        if (layer && !layer->persistent) delete layer;
    }
    delete[] catalogue.songs;
    delete[] catalogue.titlePics;
    delete[] catalogue.songLabels;
    delete[] catalogue.songSettings;
    std::memset(static_cast<void*>(&catalogue), 0, sizeof catalogue);
}

void ArtshowData::LoadXML(const WCHAR* file, LayerFactory createLayer)
{
    LogPrintf("Gathering data from %ls...\n", file);
    IXMLDOMDocument* document = nullptr;
    // XmlLoadDocument logs why a file failed; the run then fails too.
    if (!XmlLoadDocument(document, file)) {
        MessageBoxW(MainWindow(), L"ERROR LOADING XML", nullptr, MB_ICONERROR);
        ExitProcess(1);
    }
    const bool read = ReadCatalogue(*this, XmlDocumentNode(document), file, createLayer);
    std::wstring settingsError;
    if (read && !ReadRenderSettings(*this, XmlDocumentNode(document), file, settingsError)) {
        LogPrintf("%ls\n", settingsError.c_str());
        MessageBoxW(MainWindow(), settingsError.c_str(), L"ERROR LOADING XML", MB_ICONERROR);
        ExitProcess(1);
    }
    XmlRelease(document);
    if (!read) {
        MessageBoxW(MainWindow(), L"TOO MANY SONGS", nullptr, MB_ICONERROR);
        ExitProcess(1);
    }
}
