#include "detect_interfaces.h"

#include <windows.h>

#include "artnet_probe.h"
#include "bounded_text.h"
#include "d2xx_binding.h"
#include "detection_decision.h"

namespace zmk {

bool SystemFilePresent(char (&path)[kSystemPathSize], const char* name) noexcept {
    UINT length = ::GetSystemDirectoryA(path, kSystemPathSize);
    if (length == 0 || length >= kSystemPathSize) return false;
    if (!AppendText(path, name)) return false;
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

DeviceStatus DetectInterfaces() noexcept {
    char path[kSystemPathSize];

    int networkCount = 0;
    if (SystemFilePresent(path, "\\ws2_32.dll")) networkCount = ProbeArtNetNode();

    DWORD usbCount = 0;
    if (SystemFilePresent(path, "\\ftd2xx.dll")) {
        UnbindD2xx();
        if (!BindD2xx(path)) return UnbindD2xx(DriverError);
        if (CreateDeviceInfoList(&usbCount) != kFtOk) usbCount = 0;
    }

    DetectionDecision decision = DecideDeviceStatus(networkCount, usbCount);
    return UnbindD2xx(decision.identifyUsbDevice ? IdentifyUsbDevice(usbCount) : decision.status);
}

}  // namespace zmk
