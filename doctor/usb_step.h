// Step 2: the D2XX driver as the library binds it, and every device record it gives.
#pragma once

#include <cstdint>

#include "advice.h"
#include "detection_decision.h"
#include "device_status.h"
#include "findings.h"

namespace zmk::doctor {

struct UsbOutcome {
    // What the library's decision takes from the driver.
    UsbCandidates candidates;
    // What the library makes of the one device it would identify.
    DeviceStatus identified = DriverError;
    Json dialogList = Json::array();  // "USB device 1: ..." for the re-plug dialog's candidates
};

Step CheckD2xx(UsbOutcome& outcome, Findings& findings);

}  // namespace zmk::doctor
