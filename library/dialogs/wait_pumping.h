// Lets time pass on the user-interface thread while its windows keep painting
// and answering: every message that arrives meanwhile is dispatched.
#pragma once

#include <windows.h>

namespace zmk {

// Returns after the given time, or at once when no timer can be set up or the
// wait itself fails.
void WaitPumpingMessages(int milliseconds) noexcept;

// Seam for tests: a timer that cannot be made, a wait call that fails.
struct WaitFunctions {
    decltype(&::CreateWaitableTimerA) createTimer;
    decltype(&::MsgWaitForMultipleObjectsEx) waitForMessages;
};
WaitFunctions ReplaceWaitFunctions(WaitFunctions functions) noexcept;

}  // namespace zmk
