#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "detection_problem_dialog.h"
#include "dialog_user.h"
#include "host_window.h"
#include "screen_pixels.h"
#include "dialog_ids.h"
#include "dialog_palette.h"

namespace zmk {
namespace {

using namespace zmk::host;
using namespace zmk::test;

constexpr char kScanCaption[] = "Borvanect  -  DMX Device Scan";

class DetectionProblemDialog : public ::testing::Test {
protected:
    void TearDown() override { TheDialogPalette().Release(); }
    HostWindow host_;
};

TEST_F(DetectionProblemDialog, ModeChoosesTheMessageAndAnyOtherModeActsAsMode2) {
    const struct {
        INT_PTR mode;
        const char* text;
    } cases[] = {{1, kUnrecognizedDeviceText}, {2, kMultipleDevicesText}, {0, kMultipleDevicesText},
                 {32, kMultipleDevicesText}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.mode);
        std::string message, progress, rescan, cancel;
        const INT_PTR result = RunWithUser([&] { return ShowDetectionProblemDialog(host_.get(), c.mode); },
                                         [&](DWORD ui) {
                                             HWND dialog = WaitForDialog(ui, kScanCaption);
                                             if (!dialog) return;
                                             message = ItemText(dialog, IDC_DETECTION_MESSAGE);
                                             progress = ItemText(dialog, IDC_DETECTION_PROGRESS);
                                             rescan = ItemText(dialog, IDOK);
                                             cancel = ItemText(dialog, IDCANCEL);
                                             Perform(dialog, UserAction::Escape);
                                         });
        EXPECT_EQ(result, 2);
        EXPECT_EQ(message, c.text);
        EXPECT_EQ(progress, "");
        EXPECT_EQ(rescan, "Rescan DMX");
        EXPECT_EQ(cancel, "Cancel");
    }
}

TEST_F(DetectionProblemDialog, CancelEscapeAndCloseBoxGive2AndRescanInMode2Gives1AtOnce) {
    const struct {
        INT_PTR mode;
        UserAction action;
        INT_PTR result;
    } cases[] = {
        {1, UserAction::ClickCancel, 2}, {1, UserAction::Escape, 2}, {1, UserAction::CloseBox, 2},
        {2, UserAction::ClickCancel, 2}, {2, UserAction::CloseBox, 2}, {2, UserAction::Enter, 1},
        {2, UserAction::ClickOk, 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.mode << " " << static_cast<int>(c.action));
        DWORD pressedAt = 0;
        const INT_PTR result = RunWithUser([&] { return ShowDetectionProblemDialog(host_.get(), c.mode); },
                                         [&](DWORD ui) {
                                             HWND dialog = WaitForDialog(ui, kScanCaption);
                                             if (!dialog) return;
                                             pressedAt = ::GetTickCount();
                                             Perform(dialog, c.action);
                                         });
        EXPECT_EQ(result, c.result);
        ASSERT_NE(pressedAt, 0u);
        EXPECT_LT(::GetTickCount() - pressedAt, 2000u);  // no progress sequence
    }
}

TEST_F(DetectionProblemDialog, OwnerIsTheHostAndTheDialogOpensAtItsClientOrigin) {
    HWND owner = nullptr;
    POINT origin{0, 0}, dialogAt{-1, -1};
    // The template's 0, 0 places the dialog's client area, not its frame.
    RunWithUser([&] { return ShowDetectionProblemDialog(host_.get(), 2); },
              [&](DWORD ui) {
                  HWND dialog = WaitForDialog(ui, kScanCaption);
                  if (!dialog) return;
                  owner = ::GetWindow(dialog, GW_OWNER);
                  dialogAt = {0, 0};
                  ::ClientToScreen(dialog, &dialogAt);
                  ::ClientToScreen(host_.get(), &origin);
                  Perform(dialog, UserAction::Escape);
              });
    EXPECT_EQ(owner, host_.get());
    EXPECT_EQ(dialogAt.x, origin.x);
    EXPECT_EQ(dialogAt.y, origin.y);
}

struct ProgressSample {
    DWORD at;
    std::string text;
    bool okEnabled, cancelEnabled;
};

TEST_F(DetectionProblemDialog, RescanInMode1ShowsSevenProgressStepsWithWaitCursorThenGives1) {
    std::vector<ProgressSample> samples;
    DWORD pressedAt = 0;
    HCURSOR cursorDuring = nullptr;
    HWND captureDuring = nullptr;
    HWND dialogWindow = nullptr;
    const INT_PTR result = RunWithUser(
        [&] { return ShowDetectionProblemDialog(host_.get(), kModeUnrecognizedDevice); },
        [&](DWORD ui) {
            HWND dialog = WaitForDialog(ui, kScanCaption);
            if (!dialog) return;
            dialogWindow = dialog;
            pressedAt = ::GetTickCount();
            Perform(dialog, UserAction::Enter);
            bool askedCursor = false;
            for (int i = 0; i < 800 && ::IsWindow(dialog); ++i) {
                // The host window is re-entered inside the pumping wait.
                if (!askedCursor && ::GetTickCount() - pressedAt > 1000) {
                    host_.Send([&] {
                        cursorDuring = ::GetCursor();
                        captureDuring = ::GetCapture();
                    });
                    askedCursor = true;
                }
                HWND progress = ::GetDlgItem(dialog, IDC_DETECTION_PROGRESS);
                if (!progress) break;
                samples.push_back({::GetTickCount(), ItemText(dialog, IDC_DETECTION_PROGRESS),
                                   ::IsWindowEnabled(::GetDlgItem(dialog, IDOK)) != FALSE,
                                   ::IsWindowEnabled(::GetDlgItem(dialog, IDCANCEL)) != FALSE});
                ::Sleep(25);
            }
        });
    const DWORD elapsed = ::GetTickCount() - pressedAt;
    EXPECT_EQ(result, 1);
    EXPECT_GE(elapsed, 5000u);
    EXPECT_LT(elapsed, 15000u);
    EXPECT_EQ(cursorDuring, ::LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_NE(::GetCursor(), ::LoadCursorA(nullptr, IDC_WAIT));
    EXPECT_EQ(captureDuring, dialogWindow);

    // When did each step first show? Step k should come about k * 750 ms in.
    std::string expected = kProgressStartText;
    int stepsSeen = 0;
    for (int step = 0; step <= kProgressSteps; ++step) {
        if (step > 0) expected += kProgressStepText;
        for (const ProgressSample& s : samples) {
            if (s.text != expected) continue;
            ++stepsSeen;
            const DWORD at = s.at - pressedAt;
            EXPECT_GE(at + 150, static_cast<DWORD>(step * kProgressStepMilliseconds)) << step;
            EXPECT_LE(at, static_cast<DWORD>(step * kProgressStepMilliseconds + 1500)) << step;
            break;
        }
    }
    EXPECT_GE(stepsSeen, kProgressSteps);  // one may slip between two samples
    EXPECT_EQ(expected.size(), 46u);
    int busySamples = 0;
    for (const ProgressSample& s : samples) {
        if (s.text.rfind(kProgressStartText, 0) != 0) continue;
        ++busySamples;
        EXPECT_FALSE(s.okEnabled);
        EXPECT_FALSE(s.cancelEnabled);
    }
    EXPECT_GT(busySamples, 50);
}

// Face and text colours, read back from the dialog's own pixels.
struct Look {
    std::uint32_t face;
    int textPixels160;
};

Look LookOfOpenDialog(HWND host) {
    Look look{0xFFFFFFFF, -1};
    RunWithUser([&] { return ShowDetectionProblemDialog(host, 1); },
              [&](DWORD ui) {
                  HWND dialog = WaitForDialog(ui, kScanCaption);
                  if (!dialog) return;
                  const Pixels pixels = CaptureClient(dialog);
                  const RECT progress = ItemRect(dialog, IDC_DETECTION_PROGRESS);
                  look.face = pixels.At(pixels.width - 3, progress.top - 2);
                  look.textPixels160 = pixels.Count(ItemRect(dialog, IDC_DETECTION_MESSAGE), Rgb(160, 160, 160));
                  Perform(dialog, UserAction::Escape);
              });
    return look;
}

TEST_F(DetectionProblemDialog, ThemeColoursShowOnlyWhileThePaletteIsCreated) {
    const DWORD face = ::GetSysColor(COLOR_BTNFACE);
    const std::uint32_t systemFace = Rgb(GetRValue(face), GetGValue(face), GetBValue(face));

    const Look before = LookOfOpenDialog(host_.get());
    EXPECT_EQ(before.face, systemFace);
    EXPECT_EQ(before.textPixels160, 0);

    ASSERT_EQ(TheDialogPalette().Create(), 1);
    const Look themed = LookOfOpenDialog(host_.get());
    EXPECT_EQ(themed.face, Rgb(0, 0, 0));
    EXPECT_GT(themed.textPixels160, 20);

    TheDialogPalette().Release();
    const Look after = LookOfOpenDialog(host_.get());
    EXPECT_EQ(after.face, systemFace);
    EXPECT_EQ(after.textPixels160, 0);
}

}  // namespace
}  // namespace zmk
