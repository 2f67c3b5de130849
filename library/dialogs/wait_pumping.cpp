#include "wait_pumping.h"

#include "win32/unique_resource.h"

namespace zmk {
namespace {

WaitFunctions g_waitFunctions{::CreateWaitableTimerA, ::MsgWaitForMultipleObjectsEx};

void DispatchQueuedMessages() noexcept {
    // No TranslateMessage and no IsDialogMessage: the messages go out as they came.
    MSG message;
    while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
}

}  // namespace

WaitFunctions ReplaceWaitFunctions(WaitFunctions functions) noexcept {
    const WaitFunctions previous = g_waitFunctions;
    g_waitFunctions = functions;
    return previous;
}

void WaitPumpingMessages(int milliseconds) noexcept {
    UniqueHandle timer(g_waitFunctions.createTimer(nullptr, TRUE, nullptr));
    if (!timer) return;

    // Negative means relative, in 100 ns units. Formed in 64 bits so that no
    // duration can overflow into a positive (absolute, long past) due time.
    LARGE_INTEGER dueTime;
    dueTime.QuadPart = -10000LL * milliseconds;
    if (!::SetWaitableTimer(timer.get(), &dueTime, 0, nullptr, nullptr, FALSE)) return;

    const HANDLE handles[1] = {timer.get()};
    for (;;) {
        const DWORD result =
            g_waitFunctions.waitForMessages(1, handles, INFINITE, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
        if (result == WAIT_OBJECT_0) return;
        // A failing wait would otherwise spin here for good.
        if (result == WAIT_FAILED) return;
        DispatchQueuedMessages();
    }
}

}  // namespace zmk
