// The pictures' shared texture budget: filled exactly it holds, a share comes
// back when a picture is unloaded, and the picture that would break it ends
// the run naming the file and the budget.
#include "data/MediaCache.h"
#include "tests/support/Files.h"
#include "tests/support/Headless.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cwchar>
#include <string>

namespace {

class MediaCacheTest : public support::HeadlessTest {
protected:
    void TearDown() override
    {
        SetTextureBudget(kDefaultBudget);
        support::HeadlessTest::TearDown();
    }
    void Load(MediaItem& item, const std::string& path)
    {
        item = MediaItem{};
        std::wcsncpy(item.path, support::Wide(path).c_str(), 259);
        item.kind = MediaImage;
        LoadImage(item, device);
    }
    const uint64_t kDefaultBudget = TextureBudget();
};

TEST_F(MediaCacheTest, PicturesBeyondTheTextureBudgetAreRefused)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EQ(kDefaultBudget, uint64_t(1) << 30);
    ASSERT_TRUE(StartEngine());
    const std::string path = support::TempPath("budget.bmp");
    ASSERT_TRUE(support::WriteFile(path, support::BmpBytes(512, 512, 10, 20, 30)));  // 1 MiB of texture
    SetTextureBudget(uint64_t(3) << 20);
    MediaItem a, b, c, d;
    Load(a, path);
    Load(b, path);
    Load(c, path);  // the budget exactly
    UnloadMedia(b);
    Load(b, path);  // its share came back
    auto loadLogged = [&] {
        SetLogSink([](const std::string& line) { std::fputs(line.c_str(), stderr); }, false);
        Load(d, path);
    };
    EXPECT_EXIT(loadLogged(), ::testing::ExitedWithCode(1),
                "budget.bmp\": the disk's pictures need more than 3 MiB of textures together");
    for (MediaItem* item : {&a, &b, &c}) UnloadMedia(*item);
}

}  // namespace
