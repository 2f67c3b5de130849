// Lets time pass on the user-interface thread while its windows keep painting
// and answering: every message that arrives meanwhile is dispatched.
#pragma once

#include <windows.h>

namespace zmk {

// Returns after the given time, or at once when no timer can be set up or the
// wait itself fails. However busy the host keeps its queue, it returns within
// one message's handling of the time.
void WaitPumpingMessages(int milliseconds) noexcept;

// True once the host has asked to quit during the call: a wait took its
// WM_QUIT off the queue, or one is waiting there (a dialog's loop that met
// it posted it again). The call then ends at its next decision.
bool HostAskedToQuit() noexcept;

// A WM_QUIT that a wait took off the queue belongs to the host's own message
// loop: an export that may have waited posts it again just before it returns,
// with the exit code it carried. Declare one at the top of such an export.
class HostQuitKeeper {
public:
    HostQuitKeeper() noexcept = default;
    HostQuitKeeper(const HostQuitKeeper&) = delete;
    HostQuitKeeper& operator=(const HostQuitKeeper&) = delete;
    ~HostQuitKeeper();
};

}  // namespace zmk
