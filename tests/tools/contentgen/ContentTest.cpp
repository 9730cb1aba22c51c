// The generated test content folder: it passes its own checks, it is the same bytes on
// every run, and the checks do notice a broken folder.
#include "tools/contentgen/Content.h"
#include "tools/contentart/CarouselScene.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>

namespace fs = std::filesystem;

namespace {

std::map<std::string, std::string> ReadTree(const fs::path& root)
{
    std::map<std::string, std::string> files;
    for (const auto& e : fs::recursive_directory_iterator(root)) {
        if (!e.is_regular_file()) continue;
        std::ifstream in(e.path(), std::ios::binary);
        files[fs::relative(e.path(), root).string()] = std::string(std::istreambuf_iterator<char>(in), {});
    }
    return files;
}

// One test generates twice (each generation takes seconds), then checks the result,
// compares the two runs byte for byte and breaks one copy on purpose.
TEST(GeneratedContent, PassesChecksIsDeterministicAndBreakageIsNoticed)
{
    const fs::path base = fs::temp_directory_path() / ("mivola-content-test-" + std::to_string(::getpid()));
    fs::remove_all(base);
    Manifest manifest[2];
    for (int run = 0; run < 2; ++run) {
        GenerateOptions o;
        o.out = (base / ("run" + std::to_string(run))).string();
        o.test = true;
        ASSERT_TRUE(GenerateContent(o, manifest[run]));
    }

    EXPECT_EQ(CheckContent((base / "run0").string(), manifest[0], true), 0);
    // The small folder keeps one song of each format.
    int xm = 0, mod = 0, ogg = 0, mp3 = 0;
    for (const ExpectedFile& f : manifest[0].files) {
        if (f.path.rfind("songs/", 0) != 0) continue;
        xm += f.path.ends_with(".xm");
        mod += f.path.ends_with(".mod");
        ogg += f.path.ends_with(".ogg");
        mp3 += f.path.ends_with(".mp3");
    }
    EXPECT_GE(xm, 1);
    EXPECT_GE(mod, 1);
    EXPECT_GE(ogg, 1);
    EXPECT_GE(mp3, 1);

    auto a = ReadTree(base / "run0"), b = ReadTree(base / "run1");
    EXPECT_EQ(a.size(), b.size());
    for (const auto& [path, bytes] : a) {
        ASSERT_TRUE(b.count(path)) << path;
        EXPECT_TRUE(bytes == b[path]) << path << " differs between runs";
    }

    // A missing picture named by the interface, a truncated module and a stream that lost
    // its data are each reported.
    const fs::path broken = base / "run1";
    fs::remove(broken / "interface/vu_block.png");
    fs::resize_file(broken / "songs/neon_harbour.xm", 200);
    fs::resize_file(broken / "songs/paper_lanterns.ogg", 4000);
    EXPECT_GE(CheckContent(broken.string(), manifest[1], true), 3);
    fs::remove_all(base);
}

TEST(CarouselFraming, FrontScreenSitsInTheMiddleOfThePicture)
{
    // The turn axis projects near the picture's centre column and the screens' centre
    // height near its middle, so the carousel stands between the side panels.
    using G = CarouselGeometry;
    ScreenPoint axis = ProjectScenePoint(G::pivotX, G::screenCentreY, G::pivotZ - G::half);
    EXPECT_NEAR(axis.x, 640, 40);
    EXPECT_NEAR(axis.y, 376, 60);
    ScreenPoint left = ProjectScenePoint(G::pivotX - G::half - 4, G::screenCentreY, G::pivotZ - G::half);
    ScreenPoint right = ProjectScenePoint(G::pivotX + G::half + 4, G::screenCentreY, G::pivotZ - G::half);
    EXPECT_GT(left.x, 260);   // clear of the left panel
    EXPECT_LT(right.x, 940);  // clear of the amplifier
}

}  // namespace
