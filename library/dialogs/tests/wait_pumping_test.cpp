#include <windows.h>

#include <gtest/gtest.h>

#include <thread>

#include "dialog_seams.h"
#include "wait_pumping.h"

namespace zmk {
namespace {

constexpr UINT kProbe = WM_APP + 7;
DWORD g_probeHandledAt = 0;

LRESULT CALLBACK ProbeProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kProbe) {
        g_probeHandledAt = ::GetTickCount();
        return 0;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

class PumpingWait : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA windowClass{};
        windowClass.lpfnWndProc = ProbeProc;
        windowClass.hInstance = ::GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ZmkWaitProbe";
        ::RegisterClassA(&windowClass);
        probe_ = ::CreateWindowExA(0, "ZmkWaitProbe", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                   ::GetModuleHandleA(nullptr), nullptr);
        g_probeHandledAt = 0;
        MSG stale;
        while (::PeekMessageA(&stale, nullptr, 0, 0, PM_REMOVE)) {
        }
    }
    void TearDown() override {
        ::DestroyWindow(probe_);
        ReplaceWaitFunctions({::CreateWaitableTimerA, ::MsgWaitForMultipleObjectsEx});
    }
    HWND probe_ = nullptr;
};

TEST_F(PumpingWait, MessagePostedDuringTheWaitIsHandledBeforeItReturns) {
    const DWORD start = ::GetTickCount();
    std::thread poster([this] {
        ::Sleep(100);
        ::PostMessageA(probe_, kProbe, 0, 0);
    });
    WaitPumpingMessages(400);
    const DWORD end = ::GetTickCount();
    poster.join();
    ASSERT_NE(g_probeHandledAt, 0u);
    EXPECT_LT(g_probeHandledAt - start, 390u);  // during the wait, not after it
    EXPECT_GE(end - start, 380u);               // the full time still passes
    EXPECT_LT(end - start, 3000u);
}

TEST_F(PumpingWait, QuitArrivingDuringTheWaitIsRemovedThenGivenBackWithItsCode) {
    const DWORD uiThread = ::GetCurrentThreadId();
    const DWORD start = ::GetTickCount();
    MSG left;
    {
        const HostQuitKeeper hostQuit;
        std::thread poster([uiThread] {
            ::Sleep(100);
            ::PostThreadMessageA(uiThread, WM_QUIT, 7, 0);
        });
        WaitPumpingMessages(400);
        const DWORD elapsed = ::GetTickCount() - start;
        poster.join();
        EXPECT_FALSE(::PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
        EXPECT_GE(elapsed, 380u);
    }
    ASSERT_TRUE(::PeekMessageA(&left, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(left.wParam, 7u);
}

HANDLE WINAPI NoTimer(LPSECURITY_ATTRIBUTES, BOOL, LPCSTR) { return nullptr; }
DWORD WINAPI FailingWait(DWORD, const HANDLE*, DWORD, DWORD, DWORD) { return WAIT_FAILED; }

TEST_F(PumpingWait, WithoutATimerItReturnsAtOnceAndDispatchesNothing) {
    ReplaceWaitFunctions({NoTimer, ::MsgWaitForMultipleObjectsEx});
    ::PostMessageA(probe_, kProbe, 0, 0);
    const DWORD start = ::GetTickCount();
    WaitPumpingMessages(750);
    EXPECT_LT(::GetTickCount() - start, 200u);
    EXPECT_EQ(g_probeHandledAt, 0u);
}

TEST_F(PumpingWait, AFailingWaitCallEndsTheWaitInsteadOfSpinning) {
    ReplaceWaitFunctions({::CreateWaitableTimerA, FailingWait});
    const DWORD start = ::GetTickCount();
    WaitPumpingMessages(750);
    EXPECT_LT(::GetTickCount() - start, 200u);
}

}  // namespace
}  // namespace zmk
