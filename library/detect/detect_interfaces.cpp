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

    UsbCandidates usb;
    if (SystemFilePresent(path, "\\ftd2xx.dll")) {
        UnbindD2xx();
        usb.driverUnusable = !BindD2xx(path);
        DWORD counted = 0;
        if (!usb.driverUnusable && CreateDeviceInfoList(&counted) == kFtOk) usb.count = counted;
    }

    DetectionDecision decision = DecideDeviceStatus(networkCount, usb);
    return UnbindD2xx(decision.identifyUsbDevice ? IdentifyUsbDevice(usb.count) : decision.status);
}

}  // namespace zmk
