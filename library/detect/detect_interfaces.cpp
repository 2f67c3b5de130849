#include "detect_interfaces.h"

#include <windows.h>

#include "artnet_probe.h"
#include "bounded_text.h"
#include "d2xx_binding.h"
#include "detection_decision.h"

namespace zmk {
namespace {

constexpr UINT kSystemPathSize = 512;

// True when name (with its leading backslash) is a file in the system
// directory; path then holds its full path. A system directory that leaves
// no room for the name counts as not having the file.
bool SystemFilePresent(char (&path)[kSystemPathSize], const char* name) noexcept {
    UINT length = ::GetSystemDirectoryA(path, kSystemPathSize);
    if (length == 0 || length >= kSystemPathSize) return false;
    if (!AppendText(path, name)) return false;
    DWORD attributes = ::GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

}  // namespace

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
