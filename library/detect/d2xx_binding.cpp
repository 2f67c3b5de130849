#include "d2xx_binding.h"

#include "usb_classification.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

struct D2xxBinding {
    UniqueModule library;
    FtCreateDeviceInfoListFunction createDeviceInfoList = nullptr;
    FtGetDeviceInfoListFunction getDeviceInfoList = nullptr;
    FtListDevicesFunction listDevices = nullptr;
};

D2xxBinding g_d2xx;

}  // namespace

bool BindD2xx(const char* libraryPath) noexcept {
    // Loaded by the full path that was checked, never by bare name: a copy
    // planted in the host's folder or the current directory would otherwise
    // win the search. The altered search path lets the driver find its own
    // dependencies beside it.
    g_d2xx.library.reset(::LoadLibraryExA(libraryPath, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH));
    if (!g_d2xx.library) return false;
    HMODULE module = g_d2xx.library.get();
    g_d2xx.createDeviceInfoList = ResolveEntryPoint<FtCreateDeviceInfoListFunction>(module, "FT_CreateDeviceInfoList");
    g_d2xx.getDeviceInfoList = ResolveEntryPoint<FtGetDeviceInfoListFunction>(module, "FT_GetDeviceInfoList");
    // Never called, but a driver without it is not the published one.
    g_d2xx.listDevices = ResolveEntryPoint<FtListDevicesFunction>(module, "FT_ListDevices");
    return g_d2xx.createDeviceInfoList && g_d2xx.getDeviceInfoList && g_d2xx.listDevices;
}

DeviceStatus UnbindD2xx(DeviceStatus status) noexcept {
    g_d2xx = D2xxBinding{};
    return status;
}

FtStatus CreateDeviceInfoList(DWORD* deviceCount) noexcept {
    return g_d2xx.createDeviceInfoList(deviceCount);
}

DeviceStatus IdentifyUsbDevice() noexcept {
    FtDeviceListInfoNode device = {};
    DWORD deviceCount = 1;
    if (g_d2xx.getDeviceInfoList(&device, &deviceCount) != kFtOk) return DriverError;
    return ClassifyUsbDevice(device.type, device.description);
}

}  // namespace zmk
