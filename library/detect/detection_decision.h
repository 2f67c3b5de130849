// One detection run's verdict from the number of interfaces of each kind.
#pragma once

#include <cstdint>

#include "device_status.h"

namespace zmk {

struct DetectionDecision {
    // When set, the single USB device decides: IdentifyUsbDevice gives the status.
    bool identifyUsbDevice;
    DeviceStatus status;
};

// What the D2XX driver gave a run.
struct UsbCandidates {
    // The driver is in the system folder but does not load or lacks an entry
    // point: a driver error, whatever else is found.
    bool driverUnusable = false;
    // What it counted: 0 without a driver or when the count call failed.
    std::uint32_t count = 0;
};

// networkCount is the probe's 0 or 1.
DetectionDecision DecideDeviceStatus(int networkCount, UsbCandidates usb) noexcept;

}  // namespace zmk
