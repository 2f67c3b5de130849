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

// networkCount is the probe's 0 or 1; usbCount is what D2XX counted, 0 when
// the driver is absent or could not count.
DetectionDecision DecideDeviceStatus(int networkCount, std::uint32_t usbCount) noexcept;

}  // namespace zmk
