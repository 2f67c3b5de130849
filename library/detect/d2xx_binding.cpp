#include "d2xx_binding.h"

#include "usb_classification.h"
#include "win32/entry_point.h"
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

HMODULE BoundD2xxLibrary() noexcept {
    return g_d2xx.library.get();
}

DeviceStatus UnbindD2xx(DeviceStatus status) noexcept {
    g_d2xx = D2xxBinding{};
    return status;
}

FtStatus CreateDeviceInfoList(DWORD* deviceCount) noexcept {
    return g_d2xx.createDeviceInfoList(deviceCount);
}

FtStatus GetDeviceInfoList(FtDeviceListInfoNode* records, DWORD* described) noexcept {
    *described = kDescriptionRoom;
    return g_d2xx.getDeviceInfoList(records, described);
}

DeviceStatus IdentifyDescribedDevice(FtStatus listed, DWORD described, const FtDeviceListInfoNode* records) noexcept {
    if (listed != kFtOk) return DriverError;
    return ClassifyDescribedDevice(described, records[0].type, records[0].description);
}

DeviceStatus IdentifyUsbDevice() noexcept {
    // The room comes from the heap, for this call only, so that a driver
    // writing more than it counted can never reach a return address.
    UniqueHeapBlock room(::HeapAlloc(::GetProcessHeap(), HEAP_ZERO_MEMORY,
                                     kDescriptionRoom * sizeof(FtDeviceListInfoNode)));
    if (!room) return DriverError;
    auto* records = static_cast<FtDeviceListInfoNode*>(room.get());
    DWORD described = 0;
    FtStatus listed = GetDeviceInfoList(records, &described);
    return IdentifyDescribedDevice(listed, described, records);
}

}  // namespace zmk
