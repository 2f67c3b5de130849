// With --discover: a broadcast poll of the doctor's own on every interface,
// and every node that answers it, judged as the library would judge it.
#pragma once

#include "advice.h"
#include "findings.h"
#include "network_step.h"
#include "settings_step.h"

namespace zmk::doctor {

Step DiscoverNodes(const SettingsOutcome& settings, Findings& findings, NetworkOutcome& outcome);

}  // namespace zmk::doctor
