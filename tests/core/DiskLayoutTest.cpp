// The disk layout table: layer type names read back both ways and exactly, and
// the shell's paths agree between their narrow and wide spellings.
#include "core/DiskLayout.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

TEST(DiskLayout, LayerTypeNamesReadBackExactly)
{
    for (int i = 0; i < disk::kLayerTypeCount; ++i) {
        const auto type = static_cast<disk::LayerType>(i);
        const std::string name = disk::LayerTypeName(type);
        EXPECT_EQ(disk::LayerTypeOf(name.c_str()), type);
        EXPECT_EQ(disk::LayerTypeOf(std::wstring(name.begin(), name.end()).c_str()), type);
        EXPECT_NE(std::string(disk::LayerTypeList()).find(name), std::string::npos);
    }
    EXPECT_EQ(disk::LayerTypeOf("Layer"), disk::LayerUnknown);
    EXPECT_EQ(disk::LayerTypeOf(L"vux"), disk::LayerUnknown);
    EXPECT_EQ(disk::LayerTypeOf(L"v"), disk::LayerUnknown);
    EXPECT_EQ(disk::LayerTypeOf(static_cast<const char*>(nullptr)), disk::LayerUnknown);
}

TEST(DiskLayout, ShellPathsAreDistinctRelativeAndSpelledTheSameBothWays)
{
    std::set<std::string> seen;
    for (int f = 0; f < disk::kShellFileCount; ++f) {
        const disk::ShellFileInfo& file = disk::Shell(static_cast<disk::ShellFile>(f));
        const std::string path = file.path;
        EXPECT_TRUE(seen.insert(path).second) << path;
        EXPECT_NE(path.front(), '/');
        EXPECT_EQ(path.find('\\'), std::string::npos);
        EXPECT_EQ(std::wstring(path.begin(), path.end()), file.widePath);
    }
}
