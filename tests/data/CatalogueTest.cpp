// Reading "art.xml" and "interface.xml" into the catalogue: songs, title
// pictures, layers with their common attributes, and the limits.
#include "data/ArtshowData.h"
#include "data/ArtshowLayer.h"
#include "data/Catalogue.h"
#include "data/MediaCache.h"
#include "data/XmlAccess.h"
#include "layers/ArtshowMonitor.h"
#include "layers/LayerTypes.h"
#include "platform/host/Host.h"
#include "tests/support/Run.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::Reset();
        host::SetRunMode(host::RunMode::Virtual);
        ClearCatalogue(data);
        dir_ = support::FreshDir("catalogue");
        SetLogSink([this](const std::string& line) { log_ += line; }, false);
    }
    void TearDown() override
    {
        SetLogSink({});
        ClearCatalogue(data);
        fs::remove_all(dir_);
        host::Reset();
    }

    void Load(const std::string& xml)
    {
        fs::path file = dir_ / "file.xml";
        std::ofstream(file) << xml;
        data.LoadXML(file.wstring().c_str(), CreateLayer);
    }

    static std::string Interface(const std::string& elements)
    {
        return "<bits><interface><layers>" + elements + "</layers></interface></bits>";
    }

    fs::path dir_;
    std::string log_;
};

TEST_F(CatalogueTest, SongsAreReadInOrderAndTheirTitlePicturesRegisteredFirst)
{
    Load("<bits><songs>"
         "<song path=\"songs/a.xm\" titlepic=\"titles/a.png\">ignored <x/></song>"
         "<Song path=\"no.xm\" titlepic=\"no.png\"/><!-- c -->"
         "<song titlepic=\"titles/b.png\" path=\"songs/b.ogg\"/>"
         "<song path=\"songs/c.mp3\"/>"
         "</songs><songs><song path=\"second.xm\" titlepic=\"second.png\"/></songs></bits>");
    ASSERT_EQ(data.songCount, 3);
    EXPECT_STREQ(data.songs[0].path, L"songs/a.xm");
    EXPECT_STREQ(data.songs[1].path, L"songs/b.ogg");
    EXPECT_EQ(data.songs[1].kind, MediaNone);
    EXPECT_STREQ(data.titlePics[1].path, L"titles/b.png");
    EXPECT_EQ(data.titlePics[1].kind, MediaImageUnfiltered);
    // A song without a title picture gets an empty path, which fails to load later.
    EXPECT_STREQ(data.titlePics[2].path, L"");
    EXPECT_NE(log_.find("Song 2 in"), std::string::npos);
    ASSERT_EQ(data.imageCount, 3);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(data.imageList[i], &data.titlePics[i]);

    // Layer pictures follow the title pictures; a second songs section is refused.
    log_.clear();
    Load("<bits><songs><song path=\"x\" titlepic=\"y\"/></songs>" +
         Interface("<element type=\"layer\"><image path=\"p.png\"/></element>").substr(6));
    EXPECT_EQ(data.songCount, 3);
    EXPECT_STREQ(data.songs[0].path, L"songs/a.xm");
    EXPECT_NE(log_.find("Ignoring a second songs section"), std::string::npos);
    ASSERT_EQ(data.layerCount, 1);
    ASSERT_EQ(data.imageCount, 4);
    EXPECT_STREQ(data.imageList[3]->path, L"p.png");
}

TEST_F(CatalogueTest, RenderSettingsOnSongsApplyToEverySongAndOnSongOverrideThem)
{
    Load("<bits><songs stereoseparation=\"50\" gain=\"-3\" volumeramping=\"4\">"
         "<song path=\"a.mod\" titlepic=\"a.png\"/>"
         "<song path=\"b.xm\" titlepic=\"b.png\" stereoseparation=\" 0 \" interpolation=\"2\" amiga=\"on\""
         " volumeramping=\"-1\" gain=\"+1.5\"/></songs></bits>");
    ASSERT_EQ(data.songCount, 2);
    ASSERT_NE(data.songSettings, nullptr);
    const SongSettings& a = data.songSettings[0];
    EXPECT_EQ(a.stereoSeparation, 50);
    EXPECT_EQ(a.volumeRamping, 4);
    EXPECT_EQ(a.interpolation, 0);
    EXPECT_EQ(a.amiga, -1);
    EXPECT_FLOAT_EQ(a.gainDb, -3.0f);
    const SongSettings& b = data.songSettings[1];
    EXPECT_EQ(b.stereoSeparation, 0);
    EXPECT_EQ(b.interpolation, 2);
    EXPECT_EQ(b.amiga, 1);
    EXPECT_EQ(b.volumeRamping, -1);
    EXPECT_FLOAT_EQ(b.gainDb, 1.5f);
    EXPECT_EQ(b.Describe(), "stereoseparation 0, interpolation 2, amiga on, gain +1.50 dB");

    // Without the attributes, nothing differs from the decoder's defaults.
    ClearCatalogue(data);
    Load("<bits><songs><song path=\"a.mod\" titlepic=\"a.png\"/></songs></bits>");
    EXPECT_TRUE(data.songSettings[0].IsDefault());
}

TEST_F(CatalogueTest, AValueOutOfRangeNamesFileLineAndAttributeAndEndsTheProgram)
{
    const fs::path file = dir_ / "art.xml";
    auto refusal = [&](const std::string& where, const std::string& attribute) {
        ClearCatalogue(data);
        std::ofstream(file)
            << "<bits>\n<songs" << (where == "songs" ? " " + attribute : "")
            << ">\n<song path=\"a.mod\" titlepic=\"a.png\"/>\n<song path=\"b.mod\" titlepic=\"b.png\" "
            << (where == "song" ? attribute : "") << "/>\n</songs></bits>\n";
        IXMLDOMDocument* document = nullptr;
        EXPECT_TRUE(XmlLoadDocument(document, file.wstring().c_str()));
        ReadCatalogue(data, XmlDocumentNode(document), file.wstring().c_str(), CreateLayer);
        std::wstring error;
        bool read = ReadRenderSettings(data, XmlDocumentNode(document), file.wstring().c_str(), error);
        XmlRelease(document);
        return read ? std::string("accepted") : std::string(error.begin(), error.end());
    };
    const std::string at2 = file.string() + ":2: attribute ", at4 = file.string() + ":4: attribute ";
    EXPECT_EQ(refusal("songs", "stereoseparation=\"201\""),
              at2 + "\"stereoseparation\" is \"201\"; it takes a whole number from 0 to 200");
    EXPECT_EQ(refusal("song", "interpolation=\"3\""),
              at4 + "\"interpolation\" is \"3\"; it takes 1, 2, 4 or 8");
    EXPECT_EQ(refusal("song", "amiga=\"On\""), at4 + "\"amiga\" is \"On\"; it takes \"on\" or \"off\"");
    for (const char* bad : {"volumeramping=\"11\"", "volumeramping=\"-2\"", "stereoseparation=\"\"",
                            "stereoseparation=\"50%\"", "gain=\"12.5\"", "gain=\"-30.01\"", "gain=\"nan\"",
                            "gain=\"1e1\"", "gain=\"0x1\"", "gain=\"3 dB\""})
        EXPECT_EQ(refusal("song", bad).rfind(at4, 0), 0u) << bad;
    for (const char* good : {"volumeramping=\"10\"", "gain=\"12\"", "gain=\"-30\"", "gain=\".5\"",
                             "stereoseparation=\"200\"", "amiga=\"off\""})
        EXPECT_EQ(refusal("song", good), "accepted") << good;

    // Through LoadXML the program ends with status 1 and says why.
    ClearCatalogue(data);
    std::ofstream(file)
        << "<bits><songs>\n\n<song path=\"a.mod\" titlepic=\"a.png\" gain=\"20\"/></songs></bits>\n";
    EXPECT_EXIT(
        {
            SetLogSink([](const std::string& line) { std::fputs(line.c_str(), stderr); }, false);
            data.LoadXML(file.wstring().c_str(), CreateLayer);
        },
        ::testing::ExitedWithCode(1), "art.xml:3: attribute \"gain\" is \"20\"");
}

TEST_F(CatalogueTest, CommonAttributesOfElements)
{
    Load(Interface("<element type=\"layer\" x=\"-20\" y=\"12.7\" react=\"opacity\" relativepos=\"panel\"/>"
                   "<element type=\"layer\" x=\"+5\" y=\"abc\" react=\"Opacity\"/>"
                   "<element type=\"layer\" x=\"1234567890123\" react=\"scaling\"/>"
                   "<element type=\"ampcontrol\"/><element type=\"vu\"/><element type=\"tinyscroll\"/>"));
    ASSERT_EQ(data.layerCount, 6);
    ArtshowLayer* const* l = data.layers;
    for (int i = 0; i < 6; ++i) ASSERT_NE(l[i], nullptr) << i;
    EXPECT_EQ(l[0]->x, -20.0f);
    EXPECT_EQ(l[0]->y, 12.0f);
    EXPECT_EQ(l[0]->react, ReactOpacity);
    EXPECT_EQ(l[0]->relativePos, data.anchors[1]);
    EXPECT_EQ(l[1]->x, 5.0f);
    EXPECT_EQ(l[1]->y, 0.0f);
    EXPECT_EQ(l[1]->react, ReactNone);
    EXPECT_EQ(l[1]->relativePos, nullptr);
    EXPECT_EQ(l[2]->x, 123456789.0f);
    EXPECT_EQ(l[2]->y, 0.0f);
    EXPECT_EQ(l[2]->react, ReactScaling);
    EXPECT_STREQ(l[3]->typeName, L"ampcontrol");
    EXPECT_STREQ(l[4]->typeName, L"vu");
    EXPECT_STREQ(l[5]->typeName, L"tinyscroll");
}

TEST_F(CatalogueTest, ElementsWithoutAKnownTypeAreSkippedAndNeverInheritOne)
{
    Load(Interface("<element x=\"1\"/><element type=\"monitor\"/><element x=\"2\"/>"
                   "<element type=\"Layer\"/><element type=\"layer\" x=\"3\"/>"));
    ASSERT_EQ(data.layerCount, 5);
    EXPECT_EQ(data.layers[0], nullptr);
    EXPECT_EQ(data.layers[1], &monitor);
    EXPECT_EQ(monitor.persistent, 1);
    EXPECT_EQ(data.layers[2], nullptr);
    EXPECT_EQ(data.layers[3], nullptr);
    ASSERT_NE(data.layers[4], nullptr);
    EXPECT_EQ(data.layers[4]->x, 3.0f);
    EXPECT_NE(log_.find("Skipping element 3 of"), std::string::npos);
    EXPECT_NE(log_.find("unknown type \"Layer\""), std::string::npos);

    // UnloadAll destroys the owned layers but never the monitor.
    UnloadAll(data);
    EXPECT_EQ(data.layers[4], nullptr);
    EXPECT_EQ(data.layers[1], &monitor);
}

TEST_F(CatalogueTest, MissingSectionsReadAsEmptyAndTheLayerListHolds256)
{
    Load("<other/>");
    Load("<bits><interface/></bits>");
    Load("<bits><interface><layers/></interface></bits>");
    EXPECT_EQ(data.songCount, 0);
    EXPECT_EQ(data.layerCount, 0);
    EXPECT_EQ(data.songs, nullptr);

    std::string many;
    for (int i = 0; i < 300; ++i) many += "<element type=\"vu\"/>";
    Load(Interface(many));
    EXPECT_EQ(data.layerCount, 256);
    EXPECT_NE(log_.find("the first 256 are used"), std::string::npos);
}

TEST_F(CatalogueTest, ThePictureListRefusesA513thPicture)
{
    static MediaItem items[520];
    for (MediaItem& item : items) RegisterImage(&item);
    RegisterImage(&items[0]);  // already registered: ignored
    EXPECT_EQ(data.imageCount, 512);
    EXPECT_EQ(data.imageList[511], &items[511]);
    size_t boxes = 0;
    for (size_t at = log_.find("[messagebox]"); at != std::string::npos;
         at = log_.find("[messagebox]", at + 1))
        ++boxes;
    EXPECT_EQ(boxes, 1u);
}

TEST_F(CatalogueTest, AFileThatCannotBeLoadedEndsTheProgramWithStatusOne)
{
    EXPECT_EXIT(Load("<bits><songs></bits>"), ::testing::ExitedWithCode(1), "");
    EXPECT_EXIT(data.LoadXML((dir_ / "missing.xml").wstring().c_str(), CreateLayer),
                ::testing::ExitedWithCode(1), "");
}

}  // namespace

// Every song takes an image slot for its title picture: a document of more
// songs than slots is refused before any song is made, so that a disk of
// thousands of songs fails at once instead of loading them all. Children are
// walked once, in order, with other nodes between them.
TEST_F(CatalogueTest, MoreSongsThanImageSlotsAreRefusedBeforeAnyIsMade)
{
    auto songs = [](int count) {
        std::string xml = "<bits><songs>";
        for (int i = 0; i < count; ++i)
            xml += "<song path=\"s" + std::to_string(i) + ".xm\" titlepic=\"t.png\"/><!-- between --> <x/>";
        return xml + "</songs></bits>";
    };
    auto read = [&](int count) {
        ClearCatalogue(data);
        fs::path file = dir_ / "songs.xml";
        std::ofstream(file) << songs(count);
        IXMLDOMDocument* document = nullptr;
        EXPECT_TRUE(XmlLoadDocument(document, file.wstring().c_str()));
        const bool accepted = ReadCatalogue(data, XmlDocumentNode(document), L"art.xml", CreateLayer);
        XmlRelease(document);
        return accepted;
    };
    EXPECT_TRUE(read(kMaxSongs));
    EXPECT_EQ(data.songCount, kMaxSongs);
    EXPECT_STREQ(data.songs[kMaxSongs - 1].path, (L"s" + std::to_wstring(kMaxSongs - 1) + L".xm").c_str());
    EXPECT_FALSE(read(kMaxSongs + 1));
    EXPECT_EQ(data.songCount, 0);
    EXPECT_EQ(data.songs, nullptr);
    EXPECT_EQ(data.imageCount, 0);
    EXPECT_NE(log_.find("art.xml has 513 songs; a disk holds at most 512"), std::string::npos) << log_;
}

// A song's length in milliseconds saturates: a file can claim to last longer
// than an int32 of milliseconds (24.8 days), or claim nothing sensible at all.
TEST(SongLengthTest, MillisecondsSaturateInsteadOfOverflowing)
{
    EXPECT_EQ(SongLengthMs(12.3456), 12345);
    EXPECT_EQ(SongLengthMs(30.0 * 24 * 3600), INT32_MAX);
    EXPECT_EQ(SongLengthMs(1e300), INT32_MAX);
    EXPECT_EQ(SongLengthMs(-5), 0);
    EXPECT_EQ(SongLengthMs(std::nan("")), 0);
}
