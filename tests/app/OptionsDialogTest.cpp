// The options dialog procedure driven through the modal dialog stand-in, as a
// user would click and type.
#include "app/OptionsDialog.h"
#include "platform/host/Host.h"
#include "platform/win32/DialogScript.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>
#include <map>
#include <string>

namespace {

using dialog::Action;

std::map<int, LRESULT> initialChecks;

// The real procedure, with the check states right after WM_INITDIALOG recorded.
INT_PTR RecordingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    INT_PTR result = OptionsDialogProc(window, message, wParam, lParam);
    if (message == WM_INITDIALOG)
        for (int id : {1000, 1001, 1002, 1003})
            initialChecks[id] = SendDlgItemMessageW(window, id, BM_GETCHECK, 0, 0);
    return result;
}

class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        host::Reset();
        host::SetRunMode(host::RunMode::Virtual);
        RegisterProgramResources();
        settings = EngineSettings{};
        dialogSettings = &settings;
        initialChecks.clear();
        SetLogSink([this](const std::string& line) { log_ += line; }, false);
    }
    void TearDown() override
    {
        dialog::SetScript({});
        SetLogSink({});
        host::Reset();
    }

    INT_PTR Run(std::vector<Action> script)
    {
        dialog::SetScript(std::move(script));
        return DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kOptionsDialogId), nullptr, RecordingProc, 0);
    }

    std::string log_;
};

TEST_F(OptionsDialogTest, OpensWithFullscreenAndMultisamplingCheckedAndAcceptsThem)
{
    EXPECT_EQ(Run({{Action::Click, kIdRun}}), 1);
    EXPECT_EQ(initialChecks[kIdMultisample], BST_CHECKED);
    EXPECT_EQ(initialChecks[kIdFullscreen], BST_CHECKED);
    EXPECT_EQ(initialChecks[kIdLowVideoRam], BST_UNCHECKED);
    EXPECT_EQ(initialChecks[kIdObscure], BST_UNCHECKED);
    EXPECT_EQ(settings.windowed, 0);
    EXPECT_EQ(settings.multisample, 1);
    EXPECT_EQ(settings.lowVideoRam, 0);
}

TEST_F(OptionsDialogTest, CheckBoxesSetTheOptionsAndBox1003ChangesNothing)
{
    EXPECT_EQ(Run({{Action::Click, kIdFullscreen},
                   {Action::Click, kIdMultisample},
                   {Action::Click, kIdLowVideoRam},
                   {Action::Click, kIdRun}}),
              1);
    EXPECT_EQ(settings.windowed, 1);
    EXPECT_EQ(settings.multisample, 0);
    EXPECT_EQ(settings.lowVideoRam, 1);

    settings = EngineSettings{};
    EngineSettings plain = settings;
    Run({{Action::Click, kIdRun}});
    plain = settings;
    settings = EngineSettings{};
    EXPECT_EQ(Run({{Action::Click, kIdObscure}, {Action::Click, kIdRun}}), 1);
    EXPECT_EQ(std::memcmp(&plain, &settings, sizeof settings), 0);
}

TEST_F(OptionsDialogTest, QuitButtonEscapeAndCloseEndWithZeroAndLeaveSettings)
{
    const std::vector<Action> ways[] = {
        {{Action::Click, kIdFullscreen}, {Action::Click, kIdQuit}},
        {{Action::Click, kIdFullscreen}, {Action::Key, VK_ESCAPE}},
        {{Action::Click, kIdFullscreen}, {Action::Close, 0}},
    };
    for (const auto& way : ways) {
        settings = EngineSettings{};
        EXPECT_EQ(Run(way), 0);
        EXPECT_EQ(settings.windowed, 0);
    }
    // The host's answer "cancel" is the same press of "0".
    dialog::SetScript({});
    host::DialogAnswer answer;
    answer.accept = false;
    host::SetDialogAnswer(answer);
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(kOptionsDialogId), nullptr, OptionsDialogProc, 0), 0);
}

TEST_F(OptionsDialogTest, KeyboardMovesFocusInTabOrderAndEnterPressesTheDefaultButton)
{
    // Tab order: 1, 2, (picture skipped), 1000, 1001, 3, 1002, 1003.
    EXPECT_EQ(Run({{Action::Key, VK_TAB},
                   {Action::Key, VK_TAB},
                   {Action::Key, VK_TAB},
                   {Action::Key, VK_SPACE},
                   {Action::Key, VK_RETURN}}),
              1);
    EXPECT_EQ(settings.windowed, 1);
    // Shift+Tab from the first control wraps to box 1003; Enter on "0" presses "0".
    settings = EngineSettings{};
    EXPECT_EQ(Run({{Action::Key, -VK_TAB},
                   {Action::Key, VK_SPACE},
                   {Action::Key, -VK_TAB},
                   {Action::Key, -VK_TAB},
                   {Action::Key, -VK_TAB},
                   {Action::Key, -VK_TAB},
                   {Action::Key, -VK_TAB},
                   {Action::Key, VK_RETURN}}),
              0);
}

TEST_F(OptionsDialogTest, WebSiteButtonOpensTheDisksAddressOrItsReadmeAndKeepsTheDialogOpen)
{
    // The dialog reads the disk in the working directory.
    namespace fs = std::filesystem;
    const fs::path before = fs::current_path();
    const fs::path disk =
        fs::temp_directory_path() / ("mivola-dialog-" + std::to_string(::getpid())) / "my disk";
    fs::create_directories(disk);
    fs::current_path(disk);
    auto write = [](const char* name, const std::string& text) { std::ofstream(name) << text; };

    write("art.xml", "<bits url=\"https://disk.example.net/x?a=1\"><songs/></bits>");
    EXPECT_EQ(Run({{Action::Click, kIdWebSite}, {Action::Click, kIdWebSite}, {Action::Click, kIdRun}}), 1);
    const std::string line = "[shell] open https://disk.example.net/x?a=1\n";
    EXPECT_EQ(log_, line + line);

    // Without a web address (or with one of another kind) the README opens, its
    // path percent-encoded; with neither, nothing opens.
    write("art.xml", "<bits url=\"javascript:alert(1)\"><songs/></bits>");
    write("README", "about this disk\n");
    log_.clear();
    Run({{Action::Click, kIdWebSite}, {Action::Click, kIdRun}});
    EXPECT_EQ(
        log_,
        "[shell] open file://" +
            (disk / "README").string().replace((disk / "README").string().find("my disk"), 7, "my%20disk") +
            "\n");
    fs::remove("README");
    log_.clear();
    Run({{Action::Click, kIdWebSite}, {Action::Click, kIdRun}});
    EXPECT_EQ(log_.find("[shell]"), std::string::npos) << log_;

    fs::current_path(before);
    fs::remove_all(disk.parent_path());
    // Only web and file:// addresses are opened.
    EXPECT_LE(reinterpret_cast<intptr_t>(
                  ShellExecuteW(nullptr, nullptr, L"/etc/passwd", nullptr, nullptr, SW_SHOW)),
              32);
    EXPECT_LE(reinterpret_cast<intptr_t>(ShellExecuteW(nullptr, nullptr, L"-h", nullptr, nullptr, SW_SHOW)),
              32);
}

TEST_F(OptionsDialogTest, UnknownTemplateCannotBeCreated)
{
    EXPECT_EQ(DialogBoxParamW(nullptr, MAKEINTRESOURCEW(999), nullptr, OptionsDialogProc, 0), -1);
    EXPECT_EQ(SendDlgItemMessageW(nullptr, kIdFullscreen, BM_GETCHECK, 0, 0), 0);
    EXPECT_FALSE(EndDialog(nullptr, 1));
}

}  // namespace
