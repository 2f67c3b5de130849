// The driver-error dialog with the TRAVOLK.exe stand-in placed where the
// library looks for it, under the prefix's Program Files folder.
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "diagnostic_tool.h"
#include "dialog_user.h"
#include "host_window.h"
#include "screen_pixels.h"
#include "dialog_ids.h"
#include "dialog_palette.h"
#include "dialog_seams.h"
#include "driver_error_dialog.h"
#include "test_paths.h"
#include "themed_message_box.h"

namespace zmk {
namespace {

using namespace zmk::host;
using namespace zmk::test;

constexpr char kErrorCaption[] = "Borvanect  -  DMX Device Error";

std::string TempFile(const char* name) {
    char folder[MAX_PATH] = {};
    ::GetTempPathA(sizeof(folder), folder);
    return std::string(folder) + name;
}

int LinesIn(const std::string& path) {
    char text[256] = {};
    HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;
    DWORD read = 0;
    ::ReadFile(file, text, sizeof(text) - 1, &read, nullptr);
    ::CloseHandle(file);
    int lines = 0;
    for (DWORD i = 0; i < read; ++i) lines += text[i] == '\n';
    return lines;
}

class DriverErrorDialog : public ::testing::Test {
protected:
    void SetUp() override {
        toolPath_ = DiagnosticToolPath();
        logPath_ = TempFile("zmk_travolk_runs.txt");
        ::DeleteFileA(logPath_.c_str());
        ::SetEnvironmentVariableA("ZMK_TRAVOLK_LOG", logPath_.c_str());
        ::SetEnvironmentVariableA("ZMK_TRAVOLK_EXIT_CODE", "0");
        ::SetEnvironmentVariableA("ZMK_TRAVOLK_RUN_MS", "0");
    }
    void TearDown() override {
        ::DeleteFileA(toolPath_.c_str());
        ::DeleteFileA(logPath_.c_str());
        ReplaceDiagnosticFunctions({::SHGetFolderPathA, ::GetExitCodeProcess});
        TheDialogPalette().Release();
    }
    void PlaceTool(const char* exitCode) {
        ASSERT_FALSE(TravolkStandInPath().empty()) << "run with --travolk=PATH";
        ASSERT_TRUE(PlaceDiagnosticTool(TravolkStandInPath(), exitCode));
    }

    // The tool failed: only the system-error box comes up; the dialog itself
    // must not be on screen while it does.
    INT_PTR ShowExpectingSystemErrorBox(UserAction dismiss) {
        bool boxSeen = false, dialogVisible = true;
        const INT_PTR result = RunWithUser([&] { return ShowDriverErrorDialog(host_.get()); },
                                         [&](DWORD ui) {
                                             HWND box = WaitForDialog(ui, kSystemErrorCaption);
                                             if (!box) return;
                                             boxSeen = true;
                                             HWND dialog = FindThreadDialog(ui, kErrorCaption);
                                             dialogVisible = dialog && ::IsWindowVisible(dialog);
                                             Perform(box, dismiss);
                                         });
        EXPECT_TRUE(boxSeen);
        EXPECT_FALSE(dialogVisible);
        return result;
    }

    HostWindow host_;
    std::string toolPath_, logPath_;
};

TEST_F(DriverErrorDialog, MissingToolShowsOnlyTheSystemErrorBoxAndGives2HoweverDismissed) {
    for (UserAction dismiss : {UserAction::ClickOk, UserAction::Enter, UserAction::Escape, UserAction::CloseBox})
        EXPECT_EQ(ShowExpectingSystemErrorBox(dismiss), 2) << static_cast<int>(dismiss);
}

TEST_F(DriverErrorDialog, ToolEndingWith1ShowsTheSystemErrorBoxAndGives2) {
    PlaceTool("1");
    EXPECT_EQ(ShowExpectingSystemErrorBox(UserAction::Enter), 2);
    EXPECT_EQ(LinesIn(logPath_), 1);
}

BOOL WINAPI UnreadableExitCode(HANDLE, LPDWORD) {
    ::SetLastError(ERROR_ACCESS_DENIED);
    return FALSE;
}

TEST_F(DriverErrorDialog, UnreadableExitCodeCountsAsFailure) {
    PlaceTool("0");
    ReplaceDiagnosticFunctions({::SHGetFolderPathA, UnreadableExitCode});
    EXPECT_EQ(ShowExpectingSystemErrorBox(UserAction::Enter), 2);
    EXPECT_EQ(LinesIn(logPath_), 1);
}

HRESULT WINAPI DeepProgramFiles(HWND, int, HANDLE, DWORD, LPSTR path) {
    // 229 characters: with the 31-character suffix, one more than fits.
    std::string deep = "C:\\" + std::string(226, 'd');
    std::memcpy(path, deep.c_str(), deep.size() + 1);
    return S_OK;
}

HRESULT WINAPI FailingFolderLookup(HWND, int, HANDLE, DWORD, LPSTR) { return E_FAIL; }

TEST_F(DriverErrorDialog, ProgramFilesPathTooLongOrUnknownIsFailureWithoutRunningTheTool) {
    PlaceTool("0");
    for (auto lookup : {DeepProgramFiles, FailingFolderLookup}) {
        ReplaceDiagnosticFunctions({lookup, ::GetExitCodeProcess});
        EXPECT_EQ(ShowExpectingSystemErrorBox(UserAction::Escape), 2);
    }
    EXPECT_EQ(LinesIn(logPath_), 0);
}

TEST_F(DriverErrorDialog, ToolEndingWith0ShowsTheInstructionsEnterGives1EscapeAndCloseBoxGive2) {
    PlaceTool("0");
    const struct {
        UserAction action;
        INT_PTR result;
    } cases[] = {{UserAction::Enter, 1}, {UserAction::Escape, 2}, {UserAction::CloseBox, 2}};
    for (const auto& c : cases) {
        std::string text;
        HWND owner = nullptr;
        const INT_PTR result = RunWithUser([&] { return ShowDriverErrorDialog(host_.get()); },
                                         [&](DWORD ui) {
                                             HWND dialog = WaitForDialog(ui, kErrorCaption);
                                             if (!dialog) return;
                                             text = ItemText(dialog, IDC_DRIVER_INSTRUCTIONS);
                                             owner = ::GetWindow(dialog, GW_OWNER);
                                             Perform(dialog, c.action);
                                         });
        EXPECT_EQ(result, c.result) << static_cast<int>(c.action);
        EXPECT_EQ(text, kDriverInstructionsText);
        EXPECT_EQ(owner, host_.get());
    }
    // Every call runs the tool again.
    EXPECT_EQ(LinesIn(logPath_), 3);
}

TEST_F(DriverErrorDialog, DialogAppearsOnlyAfterTheToolEndsAndWearsTheTheme) {
    PlaceTool("0");
    ::SetEnvironmentVariableA("ZMK_TRAVOLK_RUN_MS", "1500");
    ASSERT_EQ(TheDialogPalette().Create(), 1);
    DWORD appearedAfter = 0;
    std::uint32_t face = 0xFFFFFFFF;
    int textPixels160 = -1;
    const DWORD start = ::GetTickCount();
    RunWithUser([&] { return ShowDriverErrorDialog(host_.get()); },
              [&](DWORD ui) {
                  HWND dialog = WaitForDialog(ui, kErrorCaption, 30000);
                  if (!dialog) return;
                  appearedAfter = ::GetTickCount() - start;
                  const Pixels pixels = CaptureClient(dialog);
                  face = pixels.At(pixels.width - 2, pixels.height - 2);
                  textPixels160 = pixels.Count(ItemRect(dialog, IDC_DRIVER_INSTRUCTIONS), Rgb(160, 160, 160));
                  Perform(dialog, UserAction::Escape);
              });
    EXPECT_GE(appearedAfter, 1400u);
    EXPECT_EQ(face, Rgb(0, 0, 0));
    EXPECT_GT(textPixels160, 50);
}

}  // namespace
}  // namespace zmk
