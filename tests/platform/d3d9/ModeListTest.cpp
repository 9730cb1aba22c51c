// The live mode list for desktops of each common shape: the fullscreen search
// (the last 1280-wide mode of at least 720 lines) lands on a mode that fills the
// screen, whatever other modes the display reports.
#include "platform/d3d9/ModeList.h"

#include <gtest/gtest.h>

namespace {

D3DDISPLAYMODE Mode(UINT w, UINT h, UINT hz = 60)
{
    return D3DDISPLAYMODE{w, h, hz, D3DFMT_X8R8G8B8};
}

// What the program's fullscreen search picks from a list.
UINT PickedHeight(const std::vector<D3DDISPLAYMODE>& modes)
{
    UINT height = 0;
    for (const D3DDISPLAYMODE& m : modes)
        if (m.Width == 1280 && m.Height >= 720) height = m.Height;
    return height;
}

// A monitor's usual list: every common size, many shapes.
const std::vector<D3DDISPLAYMODE> kMonitor = {Mode(640, 480),   Mode(800, 600),      Mode(1024, 768),
                                              Mode(1280, 720),  Mode(1280, 800),     Mode(1280, 960),
                                              Mode(1280, 1024), Mode(1600, 900),     Mode(1680, 1050),
                                              Mode(1920, 1080), Mode(1920, 1080, 50)};

}  // namespace

TEST(ModeList, TheScaledModeHasTheDesktopsShape)
{
    struct Case {
        UINT w, h;
        UINT picked;
    } cases[] = {
        {1920, 1080, 720},   // 16:9
        {2560, 1440, 720},   // 16:9
        {1920, 1200, 800},   // 16:10
        {1600, 1200, 960},   // 4:3
        {1280, 1024, 1024},  // 5:4
        {2560, 1080, 720},   // 21:9: no 1280-wide mode of its shape is 720 tall
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
        std::vector<D3DDISPLAYMODE> modes = d3d9::LiveModeList(Mode(c.w, c.h), kMonitor);
        EXPECT_EQ(PickedHeight(modes), c.picked);
        // Sorted by width, height and rate, each once; the desktop's own mode listed.
        for (size_t i = 1; i < modes.size(); ++i) {
            const D3DDISPLAYMODE &a = modes[i - 1], &b = modes[i];
            EXPECT_TRUE(a.Width < b.Width || (a.Width == b.Width && a.Height < b.Height) ||
                        (a.Width == b.Width && a.Height == b.Height && a.RefreshRate < b.RefreshRate));
        }
        bool desktop = false;
        for (const D3DDISPLAYMODE& m : modes) {
            desktop |= m.Width == c.w && m.Height == c.h;
            EXPECT_LE(m.Width, c.w);
            EXPECT_LE(m.Height, c.h);
            EXPECT_EQ(m.Format, D3DFMT_X8R8G8B8);
        }
        EXPECT_TRUE(desktop);
    }
}

TEST(ModeList, OnlyModesOfTheDesktopsShapeAreKept)
{
    // A 16:9 display that also reports 4:3 and 5:4 modes, at two rates.
    std::vector<D3DDISPLAYMODE> modes = d3d9::LiveModeList(Mode(1920, 1080, 60), kMonitor);
    std::vector<std::pair<UINT, UINT>> sizes;
    for (const D3DDISPLAYMODE& m : modes) sizes.emplace_back(m.Width, m.Height);
    std::vector<std::pair<UINT, UINT>> want = {{1280, 720}, {1600, 900}, {1920, 1080}, {1920, 1080}};
    EXPECT_EQ(sizes, want);
    EXPECT_EQ(modes[2].RefreshRate, 50u);

    // A desktop smaller than 1280 wide has no scaled mode: fullscreen fails
    // as the program says it does without a 1280-wide mode.
    EXPECT_EQ(PickedHeight(d3d9::LiveModeList(Mode(1024, 768), kMonitor)), 0u);
    EXPECT_TRUE(d3d9::LiveModeList(Mode(0, 0), kMonitor).empty());
}
