// The generator's parts: what the screens rely on in the pictures, seamless sample loops,
// note ranges of the tracker formats, exact stream lengths, and the carousel's geometry as
// the scene reader sees it.
#include "scene3ds/C3ds.h"
#include "tests/support/Run.h"
#include "tools/contentart/CarouselScene.h"
#include "tools/contentart/Composer.h"
#include "tools/contentart/Encoders.h"
#include "tools/contentart/ModuleSongs.h"
#include "tools/contentart/Pictures.h"
#include "tools/contentart/Synth.h"

#include <gtest/gtest.h>
#include <sndfile.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace fs = std::filesystem;

namespace {

SongStyle ShortStyle(uint64_t seed)
{
    SongStyle s;
    s.title = "test";
    s.seed = seed;
    s.bpm = 120;
    s.root = 52;
    s.minor = true;
    s.seconds = 16;
    s.progression = {0, 3, 4, 5};
    return s;
}

TEST(Composer, NotesStayInsideTheSongAndFollowTheSeed)
{
    SongPlan a = Compose(ShortStyle(7)), b = Compose(ShortStyle(7)), c = Compose(ShortStyle(8));
    ASSERT_GT(a.bars, 0);
    EXPECT_NEAR(a.Seconds(), a.bars * 2.0, 1e-9);  // 120 BPM: two seconds a bar
    int parts[PartCount] = {};
    for (const NoteEvent& e : a.notes) {
        EXPECT_GE(e.step, 0);
        EXPECT_LE(e.step + e.length, a.bars * 16) << "part " << e.part;
        EXPECT_GT(e.length, 0);
        EXPECT_GT(e.velocity, 0.0f);
        EXPECT_LE(e.velocity, 1.0f);
        ++parts[e.part];
    }
    // Melody, bass and drums are all there.
    EXPECT_GT(parts[PartLead], 8);
    EXPECT_GT(parts[PartBass], 8);
    EXPECT_GT(parts[PartKick], 8);
    ASSERT_EQ(a.notes.size(), b.notes.size());
    for (size_t i = 0; i < a.notes.size(); ++i) EXPECT_EQ(a.notes[i].pitch, b.notes[i].pitch);
    bool differs = a.notes.size() != c.notes.size();
    for (size_t i = 0; !differs && i < a.notes.size(); ++i) differs = a.notes[i].pitch != c.notes[i].pitch;
    EXPECT_TRUE(differs) << "another seed gives another melody";
}

TEST(ModuleSongs, NotesFitTheFormatsAndLoopsAreSeamless)
{
    SongPlan plan = Compose(ShortStyle(3));
    ModuleTimbre timbre;
    for (bool xm : {true, false}) {
        SCOPED_TRACE(xm ? "xm" : "mod");
        ModuleSong song = xm ? BuildXm(plan, timbre) : BuildMod(plan, timbre);
        for (const ModulePattern& p : song.patterns)
            for (const ModuleCell& c : p.cells) {
                if (!c.note || c.note == 97) continue;
                EXPECT_GE(c.note, xm ? 1 : 37);
                EXPECT_LE(c.note, xm ? 96 : 72);
            }
        // Half a bar after the music for the last notes to ring.
        EXPECT_NEAR(ModuleSongSeconds(song), (plan.bars * 16 + 8) * 0.125, 1e-9);
        for (const ModuleInstrument& in : song.instruments) {
            const ModuleSample& s = in.sample;
            if (!s.loopLength) continue;
            // The sample continues across the loop's end as it does inside the loop: the
            // step from the last looped frame back to the first is an ordinary step.
            int maxStep = 0;
            for (uint32_t i = s.loopStart + 1; i < s.loopStart + s.loopLength; ++i)
                maxStep = std::max(maxStep, std::abs(s.data[i] - s.data[i - 1]));
            int wrap = std::abs(s.data[s.loopStart] - s.data[s.loopStart + s.loopLength - 1]);
            EXPECT_LE(wrap, maxStep + 64) << in.name;
        }
    }
}

TEST(Synth, RenderedSongsHaveTheirLengthAndEndInSilence)
{
    SongPlan plan = Compose(ShortStyle(5));
    Stereo s = RenderSong(plan, SongSound{}, 22050, 1.0);
    EXPECT_EQ(s.Frames(), size_t((plan.Seconds() + 1.0) * 22050));
    Normalize(s, 0.8f);
    float peak = 0;
    for (size_t i = 0; i < s.Frames(); ++i) {
        ASSERT_TRUE(std::isfinite(s.l[i]) && std::isfinite(s.r[i]));
        peak = std::max({peak, std::fabs(s.l[i]), std::fabs(s.r[i])});
    }
    EXPECT_NEAR(peak, 0.8f, 1e-4);
    EXPECT_LT(std::fabs(s.l.back()) + std::fabs(s.r.back()), 1e-3f);
}

TEST(Encoders, StreamsDecodeToTheirExactLengthAndRepeatByteForByte)
{
    const fs::path dir = support::FreshDir("enc");
    Stereo pcm;
    pcm.Resize(44100 * 2 + 123);
    for (size_t i = 0; i < pcm.Frames(); ++i) pcm.l[i] = pcm.r[i] = 0.5f * float(std::sin(i * 0.05));
    auto bytes = [](const fs::path& p) {
        std::ifstream in(p, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    for (bool ogg : {true, false}) {
        SCOPED_TRACE(ogg ? "ogg" : "mp3");
        fs::path a = dir / (ogg ? "a.ogg" : "a.mp3"), b = dir / (ogg ? "b.ogg" : "b.mp3");
        ASSERT_TRUE(ogg ? WriteOgg(a.string(), pcm, 44100, 0.1f, 1234, "t")
                        : WriteMp3(a.string(), pcm, 44100, 128));
        ASSERT_TRUE(ogg ? WriteOgg(b.string(), pcm, 44100, 0.1f, 1234, "t")
                        : WriteMp3(b.string(), pcm, 44100, 128));
        EXPECT_TRUE(bytes(a) == bytes(b));
        SF_INFO info{};
        SNDFILE* f = sf_open(a.string().c_str(), SFM_READ, &info);
        ASSERT_NE(f, nullptr);
        sf_close(f);
        EXPECT_EQ(info.frames, sf_count_t(pcm.Frames()));
        EXPECT_EQ(info.channels, 2);
    }
    fs::remove_all(dir);
}

// Alpha of a picture pixel.
float A(const Image& img, int x, int y)
{
    return img.At(x, y).a;
}

TEST(Pictures, ShapesTheScreensRelyOn)
{
    // The dial strip repeats seamlessly: its copies are drawn 2048 pixels apart.
    Image dial = IntroDial();
    ASSERT_EQ(dial.Width(), 2048);
    int leftInk = 0, rightInk = 0;
    for (int y = 0; y < dial.Height(); ++y) {
        leftInk += A(dial, 0, y) > 0.1f;
        rightInk += A(dial, 2047, y) > 0.1f;
    }
    // Only the full-width rules cross the seam: no label or tick is cut in half.
    EXPECT_EQ(leftInk, rightInk);
    EXPECT_LE(leftInk, 6);

    // The radio front is see-through over the dial and solid around it.
    Image front = IntroForeground();
    EXPECT_LT(A(front, 300, 220), 0.2f);
    EXPECT_GT(A(front, 300, 100), 0.99f);
    EXPECT_GT(A(front, 300, 500), 0.99f);

    // The knob is square with clear corners, so it turns without showing its edges.
    Image knob = IntroKnob();
    EXPECT_EQ(knob.Width(), knob.Height());
    EXPECT_EQ(A(knob, 0, 0), 0.0f);

    // The letterbox fades the window's top and bottom and leaves its middle open.
    Image box = EndLetterbox();
    EXPECT_LT(A(box, 200, 0), 0.01f);
    EXPECT_LT(A(box, 200, 243), 0.05f);
    EXPECT_GT(A(box, 200, 122), 0.99f);

    // The loading screen's bar track is dark where the light grey bar grows.
    Image loading = LoadingScreen();
    for (int x : {194, 640, 1083}) {
        const Rgba& p = loading.At(x, 670);
        EXPECT_LT(p.r + p.g + p.b, 0.4f) << x;
    }

    // Six meter columns of the block's width fit the amplifier's display.
    Image block = VuBlock();
    const AmpLayout a;
    EXPECT_GE(a.vuX + block.Width(), a.x + a.displayX0);
    EXPECT_LE(a.vuX + 7 * block.Width(), a.x + a.displayX1);
    EXPECT_GE(a.vuY - 20 * block.Height(), a.y + a.displayY0);
    EXPECT_LE(a.vuY, a.y + a.displayY1);
}

TEST(CarouselScene, ScreensFaceOutwardAndNodesMatchMeshes)
{
    const fs::path file =
        fs::temp_directory_path() / ("mivola-carousel-" + std::to_string(::getpid()) + ".3ds");
    ASSERT_TRUE(WriteCarousel(file.string()));
    C3ds reader;
    Scene3ds* root = nullptr;
    ASSERT_EQ(reader.Load3ds(file.string().c_str(), &root), 1);
    const float outward[4][3] = {{0, 0, -1}, {1, 0, 0}, {0, 0, 1}, {-1, 0, 0}};
    int screens = 0;
    for (int i = 0; i < root->meshCount; ++i) {
        const Mesh3ds* m = root->meshIndex[i];
        EXPECT_STREQ(root->nodeIndex[m->nodeIndex]->name, m->name);
        const char* tex = root->materialIndex[m->faces[0].materialIndex]->textureFile;
        ASSERT_NE(tex, nullptr);
        for (int slot = 0; slot < 4; ++slot) {
            if (ScreenTextureName(slot) != tex) continue;
            ++screens;
            // The builder's face normal, (A - C) x (A - B), points away from the axis.
            for (int f = 0; f < m->faceCount; ++f) {
                const Vertex3ds &A = m->vertices[m->faces[f].a], &B = m->vertices[m->faces[f].b],
                                &C = m->vertices[m->faces[f].c];
                float ux = A.x - C.x, uy = A.y - C.y, uz = A.z - C.z, vx = A.x - B.x, vy = A.y - B.y,
                      vz = A.z - B.z;
                float n[3] = {uy * vz - uz * vy, uz * vx - ux * vz, ux * vy - uy * vx};
                EXPECT_GT(n[0] * outward[slot][0] + n[1] * outward[slot][1] + n[2] * outward[slot][2], 0.0f)
                    << tex;
            }
            // The picture reads left to right: u grows along the face's right-hand side.
            const float right[3] = {-outward[slot][2], 0, outward[slot][0]};
            for (int v = 1; v < m->vertexCount; ++v) {
                float du = m->vertices[v].u - m->vertices[0].u;
                float dx = (m->vertices[v].x - m->vertices[0].x) * right[0] +
                           (m->vertices[v].z - m->vertices[0].z) * right[2];
                if (std::fabs(dx) > 1) { EXPECT_GT(du * dx, 0.0f) << tex; }
            }
        }
    }
    EXPECT_EQ(screens, 4);
    Free3ds(root);
    fs::remove(file);
}

}  // namespace
