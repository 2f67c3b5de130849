// Step 3: the ArtPoll the library sends, and everything that comes back on
// the Art-Net port while it listens; with --discover, a broadcast poll on
// every interface.
#pragma once

#include <windows.h>

#include "findings.h"
#include "settings_step.h"

namespace zmk::doctor {

// How the 3-second waits behave: a countdown on a console, and an event
// that Ctrl+C sets to end them at once.
struct WaitControl {
    bool countdown = false;
    HANDLE cancel = nullptr;
};

struct NetworkOutcome {
    // 1 when the library would take a reply from the configured node.
    int count = 0;
    bool cancelled = false;
    // How long it listened after its polls (the report's 3-second windows).
    double listenedMs = 0;
};

Step ProbeConfiguredNode(const SettingsOutcome& settings, const WaitControl& wait, NetworkOutcome& outcome);
Step DiscoverNodes(const SettingsOutcome& settings, const WaitControl& wait, NetworkOutcome& outcome);

}  // namespace zmk::doctor
