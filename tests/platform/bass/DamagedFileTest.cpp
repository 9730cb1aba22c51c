// Song files that are cut, damaged or not files at all: a stream ends where
// its audio really ends, and special files are refused without waiting.
#include "platform/bass/bass.h"
#include "platform/host/Host.h"
#include "tests/support/Audio.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

using namespace support;

namespace {

std::vector<char> Bytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

// Overwrites count bytes from the middle of a file's bytes with noise, as a bad sector would.
void DamageMiddle(std::vector<char>& bytes, size_t count, uint32_t seed)
{
    for (size_t i = bytes.size() / 2; i < bytes.size() / 2 + count; ++i) {
        seed = seed * 1103515245u + 12345u;
        bytes[i] = static_cast<char>(seed >> 16);
    }
}

void Save(const std::string& path, const std::vector<char>& bytes)
{
    std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// What a file descriptor's writes gave while `work` ran.
template <typename F> std::string Captured(int fd, F work)
{
    std::string path = TempPath("captured-" + std::to_string(fd));
    std::fflush(nullptr);
    int saved = ::dup(fd);
    int into = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    ::dup2(into, fd);
    ::close(into);
    work();
    std::fflush(nullptr);
    ::dup2(saved, fd);
    ::close(saved);
    std::vector<char> bytes = Bytes(path);
    return {bytes.begin(), bytes.end()};
}

struct Played {
    int64_t endFrame = -1;   // sample frame at which the END sync fired, -1 if never
    int64_t lastSound = -1;  // last sample frame that is not silence
};

// Plays h from the start in a virtual run until its END sync fires (at most `limit` seconds).
Played PlayToEnd(VirtualAudio& audio, HSTREAM h, double limit)
{
    static int64_t firedAt;
    firedAt = -1;
    size_t start = audio.sound.size() / 2;
    BASS_ChannelSetSync(
        h, BASS_SYNC_END | BASS_SYNC_ONETIME, 0,
        [](HSYNC, DWORD, DWORD, void*) { firedAt = static_cast<int64_t>(host::FrameIndex()); }, nullptr);
    uint64_t first = host::FrameIndex();
    BASS_ChannelPlay(h, TRUE);
    for (int i = 0; i < limit * 50 && firedAt < 0; ++i) audio.Frames(1);
    Played p;
    if (firedAt >= 0) p.endFrame = static_cast<int64_t>((firedAt - first) * 882);
    for (size_t i = start; i < audio.sound.size() / 2; ++i)
        if (audio.sound[i * 2] != 0 || audio.sound[i * 2 + 1] != 0)
            p.lastSound = static_cast<int64_t>(i - start);
    return p;
}

}  // namespace

TEST(BassDamaged, CutMp3EndsWhereItsAudioEnds)
{
    VirtualAudio audio;
    std::string whole = TempPath("whole.mp3");
    ASSERT_TRUE(WriteTone(whole, SF_FORMAT_MPEG, Tone{44100, 2, 44100 * 4, 440.0, 0.5}));
    std::vector<char> bytes = Bytes(whole);
    bytes.resize(bytes.size() * 4 / 10);
    std::string cut = TempPath("cut.mp3");
    Save(cut, bytes);

    HSTREAM h = 0;
    // The decoder's complaints about the cut stay off standard error.
    std::string errors =
        Captured(2, [&] { h = BASS_StreamCreateFile(FALSE, cut.c_str(), 0, 0, BASS_STREAM_PRESCAN); });
    ASSERT_NE(h, 0u);
    EXPECT_EQ(errors, "");
    // About 40% of four seconds really decodes, and the length says so.
    int64_t length = static_cast<int64_t>(BASS_ChannelGetLength(h) / 4);
    EXPECT_NEAR(length / 44100.0, 1.6, 0.15);

    Played p = PlayToEnd(audio, h, 6.0);
    ASSERT_GE(p.endFrame, 0) << "the end never came";
    // The end comes within the video frame after the last sample, and sound lasts up to it.
    EXPECT_GE(p.endFrame, length);
    EXPECT_LT(p.endFrame, length + 882);
    EXPECT_GT(p.lastSound, length - 4410);
}

TEST(BassDamaged, DamageInsideAnMp3IsSkipped)
{
    VirtualAudio audio;
    std::string whole = TempPath("whole2.mp3");
    ASSERT_TRUE(WriteTone(whole, SF_FORMAT_MPEG, Tone{44100, 2, 44100 * 4, 440.0, 0.5}));
    std::vector<char> bytes = Bytes(whole);
    DamageMiddle(bytes, 4096, 12345);
    std::string damaged = TempPath("damaged.mp3");
    Save(damaged, bytes);
    HSTREAM h = 0;
    std::string errors =
        Captured(2, [&] { h = BASS_StreamCreateFile(FALSE, damaged.c_str(), 0, 0, BASS_STREAM_PRESCAN); });
    ASSERT_NE(h, 0u);
    EXPECT_EQ(errors, "");
    int64_t length = static_cast<int64_t>(BASS_ChannelGetLength(h) / 4);
    EXPECT_LT(length, 44100 * 4);
    EXPECT_GT(length, 44100 * 3);

    // The song plays on after the damage, to its end.
    Played p = PlayToEnd(audio, h, 6.0);
    ASSERT_GE(p.endFrame, 0);
    EXPECT_LT(p.endFrame, length + 882);
    EXPECT_GT(p.lastSound, length - 4410);
}

TEST(BassDamaged, OggThatDecodesShortEndsAtItsLastFrame)
{
    VirtualAudio audio;
    std::string whole = TempPath("whole.ogg");
    ASSERT_TRUE(WriteTone(whole, SF_FORMAT_OGG, Tone{44100, 2, 44100 * 10, 440.0, 0.5}));
    std::vector<char> bytes = Bytes(whole);
    DamageMiddle(bytes, 2048, 99);
    std::string damaged = TempPath("damaged.ogg");
    Save(damaged, bytes);
    int rate = 0;
    int64_t decodes = static_cast<int64_t>(DecodeWithSndfile(damaged, &rate).size() / 2);
    ASSERT_LT(decodes, 44100 * 10 - 882) << "the damage did not shorten the stream";
    ASSERT_GT(decodes, 0);
    HSTREAM h = BASS_StreamCreateFile(FALSE, damaged.c_str(), 0, 0, BASS_STREAM_PRESCAN);
    ASSERT_NE(h, 0u);
    // No silence is played out to the length the file's pages promised.
    Played p = PlayToEnd(audio, h, 12.0);
    ASSERT_GE(p.endFrame, 0);
    EXPECT_LT(p.endFrame, decodes + 882);
    EXPECT_EQ(BASS_ChannelGetLength(h), QWORD(decodes) * 4);
}

TEST(BassDamaged, SpecialFilesAreRefusedWithoutWaiting)
{
    VirtualAudio audio;
    std::string fifo = TempPath("song.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // A FIFO with no writer would block an ordinary open for ever.
    for (const std::string& path : {fifo, std::string("/dev/zero")}) {
        EXPECT_EQ(BASS_MusicLoad(FALSE, path.c_str(), 0, 0, BASS_MUSIC_PRESCAN, 0), 0u) << path;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN) << path;
        EXPECT_EQ(BASS_StreamCreateFile(FALSE, path.c_str(), 0, 0, BASS_STREAM_PRESCAN), 0u) << path;
        EXPECT_EQ(BASS_ErrorGetCode(), BASS_ERROR_FILEOPEN) << path;
    }
}
