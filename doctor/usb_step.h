// Step 2: the D2XX driver as the library binds it, and every device record it gives.
#pragma once

#include <cstdint>

#include "device_status.h"
#include "findings.h"

namespace zmk::doctor {

struct UsbOutcome {
    // The driver is there but cannot be bound: DriverError, whatever else was found.
    bool bindFailed = false;
    // What the library counts: 0 without a driver or when the count call fails.
    std::uint32_t count = 0;
    // What the library makes of the one device it would identify.
    DeviceStatus identified = DriverError;
    Json candidates = Json::array();  // "Open DMX USB: ..." for the dialog's list
};

Step CheckD2xx(UsbOutcome& outcome);

}  // namespace zmk::doctor
