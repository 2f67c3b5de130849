// Step 3: the library's own probe, watched: the ArtPoll it sends and every
// datagram it reads, with its verdict on each.
#pragma once

#include "advice.h"
#include "findings.h"
#include "settings_step.h"

namespace zmk::doctor {

struct NetworkOutcome {
    // 1 when the library took a reply from the configured node.
    int count = 0;
    // How long it listened after its polls (the report's 3-second windows).
    double listenedMs = 0;
};

Step ProbeConfiguredNode(const SettingsOutcome& settings, Findings& findings, NetworkOutcome& outcome);

}  // namespace zmk::doctor
