// The live message box and options dialog as a user meets them: they wait for
// an answer, and a key tapped faster than a frame (press and release arriving
// together, as from xdotool) answers them.
#include "platform/d3d9/D3d9Stats.h"
#include "platform/dialogs/DialogWindow.h"
#include "platform/dialogs/MessageWindow.h"
#include "platform/gdi/gdi.h"
#include "platform/host/Host.h"
#include "platform/win32/Resources.h"
#include "platform/win32/WindowInternal.h"
#include "res/OptionsDialog.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <thread>

namespace {

class LiveDialogs : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (!std::getenv("DISPLAY")) GTEST_SKIP() << "no X display";
        host::Reset();
        host::SetRunMode(host::RunMode::Live);
        dialogs::Install();
        win32::ProgramResources resources;
        resources.findDialog = res::FindDialogTemplate;
        resources.loadBitmap = res::LoadBitmapResource;
        win32::SetProgramResources(resources);
        ASSERT_TRUE(EnsureSdlVideo());
    }
    void TearDown() override
    {
        if (tapper.joinable()) tapper.join();
        host::Reset();
    }

    // Taps the key after 400 ms, its press and release pushed together, then every 300 ms until
    // the window answers: a window reads the keys held as it opens as old, so a
    // tap that comes before it is up (a loaded machine) is not an answer. A
    // window still waiting after 10 s is closed, so a missed tap fails the test
    // instead of hanging it.
    void TapLater(SDL_Scancode key)
    {
        tapped = false;
        answered = false;
        rescued = false;
        tapper = std::thread([this, key] {
            for (int i = 0; i < 1000 && !answered; ++i) {
                if (i >= 40 && (i - 40) % 30 == 0) {
                    SDL_Event e{};
                    e.type = SDL_KEYDOWN;
                    e.key.state = SDL_PRESSED;
                    e.key.keysym.scancode = key;
                    SDL_PushEvent(&e);
                    e.type = SDL_KEYUP;
                    e.key.state = SDL_RELEASED;
                    SDL_PushEvent(&e);
                    tapped = true;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            if (!answered) {
                rescued = true;
                SDL_Event quit{};
                quit.type = SDL_QUIT;
                SDL_PushEvent(&quit);
            }
        });
    }

    std::thread tapper;
    std::atomic<bool> tapped{false}, answered{false}, rescued{false};
};

INT_PTR AcceptingProcedure(HWND dialog, UINT message, WPARAM wParam, LPARAM)
{
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL))
        EndDialog(dialog, LOWORD(wParam) == IDOK ? 1 : 0);
    return FALSE;
}

}  // namespace

TEST_F(LiveDialogs, MessageBoxAboveAFullscreenWindowWaitsForAQuickTap)
{
    WNDCLASSW c{};
    c.lpfnWndProc = DefWindowProcW;
    c.lpszClassName = L"owner";
    ASSERT_TRUE(RegisterClassW(&c));
    HWND owner = CreateWindowExW(0, L"owner", L"owner", WS_POPUP | WS_VISIBLE, 0, 0, 100, 100, nullptr,
                                 nullptr, nullptr, nullptr);
    ASSERT_NE(owner, nullptr);
    for (SDL_Scancode key : {SDL_SCANCODE_RETURN, SDL_SCANCODE_SPACE, SDL_SCANCODE_ESCAPE}) {
        SCOPED_TRACE(key);
        TapLater(key);
        EXPECT_EQ(MessageBoxA(owner, "songs/missing.mod", "ERROR LOADING MODULE", MB_ICONERROR), IDOK);
        answered = true;
        EXPECT_TRUE(tapped);  // it waited for the key
        EXPECT_FALSE(rescued);
        tapper.join();
    }
    DestroyWindow(owner);
    UnregisterClassW(L"owner", nullptr);
}

TEST_F(LiveDialogs, OptionsDialogTakesAQuickReturnAsItsDefaultButton)
{
    TapLater(SDL_SCANCODE_RETURN);
    const uint64_t presents = d3d9::GetStats().presents;
    EXPECT_EQ(
        DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(101), nullptr, AcceptingProcedure, 0), 1);
    answered = true;
    EXPECT_TRUE(tapped);
    EXPECT_FALSE(rescued);
    // Waiting unchanged, the dialog is drawn once (and again if the window was
    // exposed), not at every look at its messages.
    EXPECT_LE(d3d9::GetStats().presents - presents, 4u);
}

// Lines stay within the width, keep every word in order, break at line feeds,
// and cut only a word that is too wide on its own.
TEST(MessageText, WrapsAtSpacesAndLineFeedsWithinTheWidth)
{
    HFONT font = CreateFontW(-11, 0, 0, 0, FW_NORMAL, 0, 0, 0, DEFAULT_CHARSET, 0, 0, DEFAULT_QUALITY, 0,
                             L"MS Sans Serif");
    ASSERT_NE(font, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    auto width = [&](const std::wstring& s) {
        SIZE size{};
        GetTextExtentPoint32W(dc, s.c_str(), static_cast<int>(s.size()), &size);
        return static_cast<int>(size.cx);
    };
    const std::wstring text =
        L"Unable to initialize Direct3D - are you sure your display supports 1280x720?\nsecond paragraph";
    const int limit = width(L"Unable to initialize Direct3D");
    std::vector<std::wstring> lines = dialogs::WrapText(dc, text, limit);
    ASSERT_GE(lines.size(), 4u);
    std::wstring joined;
    for (const std::wstring& line : lines) {
        EXPECT_LE(width(line), limit) << std::string(line.begin(), line.end());
        EXPECT_FALSE(line.empty());
        joined += (joined.empty() ? L"" : L" ") + line;
    }
    EXPECT_EQ(lines.back(), L"second paragraph");
    std::wstring flat = text;
    for (wchar_t& ch : flat)
        if (ch == L'\n') ch = L' ';
    EXPECT_EQ(joined, flat);

    // A path with no spaces wider than the box is cut, not lost.
    const std::wstring path = L"songs/a_very_long_folder_name/and_an_even_longer_file_name.mod";
    lines = dialogs::WrapText(dc, path, width(L"songs/a_very_long"));
    ASSERT_GE(lines.size(), 2u);
    std::wstring rejoined;
    for (const std::wstring& line : lines) rejoined += line;
    EXPECT_EQ(rejoined, path);
    SelectObject(dc, old);
    DeleteDC(dc);
    DeleteObject(font);
}
