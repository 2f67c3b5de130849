#include "detection_decision.h"

namespace zmk {

DetectionDecision DecideDeviceStatus(int networkCount, UsbCandidates usb) noexcept {
    if (usb.driverUnusable) return {false, DriverError};
    std::uint64_t total = static_cast<std::uint64_t>(networkCount != 0) + usb.count;
    if (total == 0) return {false, NoDevice};
    if (total > 1) return {false, MultipleDevices};
    if (networkCount != 0) return {false, OpenDmxEthernet};
    return {true, UnrecognizedUsbDevice};
}

}  // namespace zmk
