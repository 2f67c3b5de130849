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

// "MultipleDevices" and the like, for the tools that print a status;
// "unknown" for a value the library never returns.
inline const char* DeviceStatusName(std::int32_t status) noexcept {
    switch (status) {
        case DriverError: return "DriverError";
        case MultipleDevices: return "MultipleDevices";
        case NoDevice: return "NoDevice";
        case OpenDmxUsb: return "OpenDmxUsb";
        case DmxUsbPro: return "DmxUsbPro";
        case OpenDmxEthernet: return "OpenDmxEthernet";
        case UnrecognizedUsbDevice: return "UnrecognizedUsbDevice";
        default: return "unknown";
    }
}

}  // namespace zmk
