#include "next_step.h"

#include "device_status.h"

namespace zmk {

const char* StatusNextStep(std::int32_t status) noexcept {
    switch (status) {
        case DriverError: return "reinstall or repair the D2XX driver (ftd2xx.dll in the system folder)";
        case MultipleDevices: return "unplug all but one DMX interface and rescan";
        case NoDevice: return "check the cable, the driver and the node's address (zmk-doctor.exe says which)";
        case UnrecognizedUsbDevice:
            return "plug in an ENTTEC interface; zmk-doctor.exe shows the device's chip and description";
        default: return nullptr;
    }
}

}  // namespace zmk
