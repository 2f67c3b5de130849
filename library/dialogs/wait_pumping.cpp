#include "wait_pumping.h"

#include "win32/unique_resource.h"

namespace zmk {
namespace {

// The host's quit, taken off the queue by a wait and not yet given back.
bool g_quitTaken = false;
WPARAM g_quitExitCode = 0;

bool TimerFired(HANDLE timer) noexcept { return ::WaitForSingleObject(timer, 0) == WAIT_OBJECT_0; }

// Dispatches what is queued until the queue is empty or the timer fires. The
// timer is looked at after every message: a host that keeps posting itself
// work, or whose timer handler outlasts its period, never lets the queue run
// dry, and the wait must not last as long as the host stays busy.
// No TranslateMessage and no IsDialogMessage: the messages go out as they came.
bool DispatchUntilTimerFires(HANDLE timer) noexcept {
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            g_quitTaken = true;
            g_quitExitCode = message.wParam;
        }
        ::DispatchMessageA(&message);
        if (TimerFired(timer)) return true;
    }
    return false;
}

}  // namespace

void WaitPumpingMessages(int milliseconds) noexcept {
    UniqueHandle timer(::CreateWaitableTimerA(nullptr, TRUE, nullptr));
    if (!timer) return;

    // Negative means relative, in 100 ns units. Formed in 64 bits so that no
    // duration can overflow into a positive (absolute, long past) due time.
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = -10000LL * milliseconds;
    if (!::SetWaitableTimer(timer.get(), &dueTime, 0, nullptr, nullptr, FALSE)) return;

    const HANDLE handles[1] = {timer.get()};
    for (;;) {
        const DWORD result =
            ::MsgWaitForMultipleObjectsEx(1, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0) return;
        // A failing wait would otherwise spin here for good.
        if (result == WAIT_FAILED) return;
        if (DispatchUntilTimerFires(timer.get())) return;
    }
}

bool HostAskedToQuit() noexcept {
    MSG waiting;
    return g_quitTaken || ::PeekMessageA(&waiting, nullptr, WM_QUIT, WM_QUIT, PM_NOREMOVE);
}

HostQuitKeeper::~HostQuitKeeper() {
    if (!g_quitTaken) return;
    g_quitTaken = false;
    ::PostQuitMessage(static_cast<int>(g_quitExitCode));
}

}  // namespace zmk
