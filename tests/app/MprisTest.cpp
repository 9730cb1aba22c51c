// What the MPRIS metadata says about a song: the catalogue's title and artist,
// else the title from the file name; the picture as a file:// address that
// survives any characters in the path.
#include "app/Mpris.h"
#include "data/ArtshowData.h"
#include "tests/support/Show.h"

#include <gtest/gtest.h>

#include <cwchar>
#include <filesystem>

TEST(Mpris, FileUriEncodesEverythingButPathCharacters)
{
    EXPECT_EQ(FileUri("/usr/share/mivola/demo/titles/a_b-c.1~.png"),
              "file:///usr/share/mivola/demo/titles/a_b-c.1~.png");
    // Spaces, the URI's own delimiters, percent signs and UTF-8 bytes.
    EXPECT_EQ(FileUri("/home/jo/My Disk/#1 100%?.png"), "file:///home/jo/My%20Disk/%231%20100%25%3F.png");
    EXPECT_EQ(FileUri("/d/\xC3\xA9t\xC3\xA9.png"), "file:///d/%C3%A9t%C3%A9.png");
}

TEST(Mpris, TitleIsTheFileNameWithoutFoldersAndExtension)
{
    EXPECT_EQ(TitleFromPath("songs/neon_harbour.xm"), "neon_harbour");
    EXPECT_EQ(TitleFromPath("songs\\old\\dance.mod"), "dance");
    EXPECT_EQ(TitleFromPath("songs/v1.2 final.ogg"), "v1.2 final");
    EXPECT_EQ(TitleFromPath("song"), "song");
    EXPECT_EQ(TitleFromPath("songs/.mod"), ".mod");
    EXPECT_EQ(TitleFromPath("folder.d/tune"), "tune");
}

TEST(Mpris, DescribesTheCatalogueSong)
{
    MediaItem songs[2]{};
    MediaItem pictures[2]{};
    std::wcscpy(songs[1].path, L"songs/pixel pilot.mod");
    songs[1].lengthMs = 61500;
    std::wcscpy(pictures[1].path, L"titles\\pixel pilot.png");
    SongLabel labels[2]{};
    std::wcscpy(labels[0].title, L"Neon Harbour");
    std::wcscpy(labels[0].artist, L"Ria \u00D6z");
    std::wcscpy(songs[0].path, L"songs/neon_harbour.xm");
    data.songs = songs;
    data.titlePics = pictures;
    data.songCount = 2;
    data.songLabels = labels;
    data.songLabelCount = 2;

    MprisTrack track = DescribeSong(1);
    EXPECT_EQ(track.title, "pixel pilot");
    EXPECT_EQ(track.lengthUs, 61500000);
    std::string expected = FileUri((std::filesystem::current_path() / "titles/pixel pilot.png").string());
    EXPECT_EQ(track.artUrl, expected);
    EXPECT_EQ(track.artist, "");
    // The catalogue's own title and artist win over the file name (as UTF-8).
    EXPECT_EQ(DescribeSong(0).title, "Neon Harbour");
    EXPECT_EQ(DescribeSong(0).artist, "Ria \xC3\x96z");
    // Song ids differ, so a client sees the change of song.
    EXPECT_NE(track.trackId, DescribeSong(0).trackId);
    // A song without a picture has no address; one outside the catalogue is empty.
    EXPECT_EQ(DescribeSong(0).artUrl, "");
    EXPECT_EQ(DescribeSong(2).title, "");

    support::ResetShow();
}
