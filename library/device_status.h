// Result of one detection run, as the host receives it. The values are the
// contract with the host application and must never change.
#pragma once

#include <cstdint>

namespace zmk {

enum DeviceStatus : std::int32_t {
    DriverError = 1,
    MultipleDevices = 2,
    NoDevice = 10,
    OpenDmxUsb = 11,
    DmxUsbPro = 12,
    OpenDmxEthernet = 13,
    UnrecognizedUsbDevice = 32,
};

}  // namespace zmk
