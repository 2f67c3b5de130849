// Step 1: where the library finds the node's address, and what it reads there.
#pragma once

#include "advice.h"
#include "artnet_packets.h"
#include "findings.h"

namespace zmk::doctor {

struct SettingsOutcome {
    // The library reads the address and goes on to poll it.
    bool addressRead = false;
    Ipv4Octets configured{};
};

Step CheckHostSettings(SettingsOutcome& outcome, Findings& findings);

}  // namespace zmk::doctor
