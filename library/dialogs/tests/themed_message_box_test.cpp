#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "dialog_user.h"
#include "host_window.h"
#include "screen_pixels.h"
#include "dialog_ids.h"
#include "themed_message_box.h"

namespace zmk {
namespace {

using namespace zmk::host;
using namespace zmk::test;

TEST(ThemedMessageBox, SystemErrorBoxShowsItsCaptionTextAndRedBadge) {
    HostWindow host;
    std::string caption, text, ok;
    BITMAP badge{};
    const INT_PTR result = RunWithUser([&] { return ShowSystemErrorBox(host.get()); },
                                     [&](DWORD ui) {
                                         HWND box = WaitForDialog(ui, kSystemErrorCaption);
                                         if (!box) return;
                                         caption = WindowText(box);
                                         text = ItemText(box, IDC_MESSAGE_TEXT);
                                         ok = ItemText(box, IDOK);
                                         auto image = reinterpret_cast<HGDIOBJ>(::SendMessageA(
                                             ::GetDlgItem(box, IDC_MESSAGE_BADGE), STM_GETIMAGE, IMAGE_BITMAP, 0));
                                         ::GetObjectA(image, sizeof(badge), &badge);
                                         Perform(box, UserAction::ClickOk);
                                     });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(caption, "ZELMORK");
    EXPECT_EQ(text, "\nErreur  Kernel / Syst\xE8me");
    EXPECT_EQ(ok, "OK");
    EXPECT_EQ(badge.bmWidth, 48);
    EXPECT_EQ(badge.bmHeight, 48);
}

TEST(ThemedMessageBox, EnterGives1AndEscapeOrCloseBoxGive2) {
    HostWindow host;
    const struct {
        UserAction action;
        INT_PTR result;
    } cases[] = {{UserAction::Enter, 1}, {UserAction::Escape, 2}, {UserAction::CloseBox, 2}};
    for (const auto& c : cases) {
        const INT_PTR result = RunWithUser([&] { return ShowSystemErrorBox(host.get()); },
                                         [&](DWORD ui) {
                                             HWND box = WaitForDialog(ui, kSystemErrorCaption);
                                             if (box) Perform(box, c.action);
                                         });
        EXPECT_EQ(result, c.result) << static_cast<int>(c.action);
    }
}

TEST(ThemedMessageBox, TextIsRedOnBlackAndTheBoxIsCentredModalToItsOwner) {
    HostWindow host;
    std::uint32_t face = 0xFFFFFFFF;
    int redPixels = -1;
    RECT frame{}, work{};
    bool ownerDisabled = false;
    HWND owner = nullptr;
    RunWithUser([&] { return ShowSystemErrorBox(host.get()); },
              [&](DWORD ui) {
                  HWND box = WaitForDialog(ui, kSystemErrorCaption);
                  if (!box) return;
                  const Pixels pixels = CaptureClient(box);
                  face = pixels.At(pixels.width - 2, pixels.height - 2);
                  redPixels = pixels.Count(ItemRect(box, IDC_MESSAGE_TEXT), Rgb(232, 0, 0));
                  ::GetWindowRect(box, &frame);
                  MONITORINFO monitor{};
                  monitor.cbSize = sizeof(monitor);
                  ::GetMonitorInfoA(::MonitorFromWindow(host.get(), MONITOR_DEFAULTTONEAREST), &monitor);
                  work = monitor.rcWork;
                  ownerDisabled = !::IsWindowEnabled(host.get());
                  owner = ::GetWindow(box, GW_OWNER);
                  Perform(box, UserAction::Escape);
              });
    EXPECT_EQ(face, Rgb(0, 0, 0));
    EXPECT_GT(redPixels, 20);
    EXPECT_NEAR((frame.left + frame.right) / 2, (work.left + work.right) / 2, 2);
    EXPECT_NEAR((frame.top + frame.bottom) / 2, (work.top + work.bottom) / 2, 2);
    EXPECT_TRUE(ownerDisabled);
    EXPECT_EQ(owner, host.get());
}

// Sees what STM_SETIMAGE hands back: the badge the template loaded.
HBITMAP g_replacedBadge = nullptr;
LRESULT CALLBACK WatchSetImage(int code, WPARAM wParam, LPARAM lParam) {
    const auto* call = reinterpret_cast<const CWPRETSTRUCT*>(lParam);
    if (code == HC_ACTION && call->message == STM_SETIMAGE && ::GetDlgCtrlID(call->hwnd) == IDC_MESSAGE_BADGE)
        g_replacedBadge = reinterpret_cast<HBITMAP>(call->lResult);
    return ::CallNextHookEx(nullptr, code, wParam, lParam);
}

TEST(ThemedMessageBox, NoBadgeBitmapOutlivesTheBox) {
    HostWindow host;
    HHOOK hook = ::SetWindowsHookExA(WH_CALLWNDPROCRET, WatchSetImage, nullptr, ::GetCurrentThreadId());
    ASSERT_NE(hook, nullptr);
    for (int showing = 0; showing < 2; ++showing) {
        SCOPED_TRACE(showing);
        g_replacedBadge = nullptr;
        HGDIOBJ shownBadge = nullptr;
        RunWithUser([&] { return ShowSystemErrorBox(host.get()); },
                  [&](DWORD ui) {
                      HWND box = WaitForDialog(ui, kSystemErrorCaption);
                      if (!box) return;
                      shownBadge = reinterpret_cast<HGDIOBJ>(
                          ::SendMessageA(::GetDlgItem(box, IDC_MESSAGE_BADGE), STM_GETIMAGE, IMAGE_BITMAP, 0));
                      Perform(box, UserAction::Enter);
                  });
        ASSERT_NE(g_replacedBadge, nullptr);
        ASSERT_NE(shownBadge, nullptr);
        EXPECT_EQ(::GetObjectType(g_replacedBadge), 0u);
        EXPECT_EQ(::GetObjectType(shownBadge), 0u);
    }
    ::UnhookWindowsHookEx(hook);
}

}  // namespace
}  // namespace zmk
