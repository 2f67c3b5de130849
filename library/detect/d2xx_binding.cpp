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

// The list call writes every record the driver holds at that moment and is
// told no room: another caller in the process can refresh the list after our
// count, and D2XX lists a record for each channel of every FTDI chip on every
// USB controller. The room is the count and a margin beyond any real
// machine's list, as address space whose pages stay untouched unless the
// driver writes them (3.25 MiB). It ends where a page that is never made
// accessible begins, so that a driver writing past even that faults at once,
// inside its own call, rather than corrupt whatever lies beyond.
constexpr SIZE_T kRoomMargin = 32768;
constexpr SIZE_T kPageSize = 4096;  // every x86-64 Windows

// The type of a record as we hand it to the driver: no chip's, so a record
// still of this type is one the driver did not write.
constexpr std::uint32_t kUnwrittenType = 0xA5A5A5A5;

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

DeviceStatus IdentifyUsbDevice(DWORD counted) noexcept {
    const SIZE_T roomRecords = counted + kRoomMargin;
    const SIZE_T roomBytes = roomRecords * sizeof(FtDeviceListInfoNode);
    const SIZE_T committed = (roomBytes + kPageSize - 1) / kPageSize * kPageSize;
    UniqueVirtualMemory region(::VirtualAlloc(nullptr, committed + kPageSize, MEM_RESERVE, PAGE_NOACCESS));
    if (!region || !::VirtualAlloc(region.get(), committed, MEM_COMMIT, PAGE_READWRITE)) return DriverError;
    auto* records = reinterpret_cast<FtDeviceListInfoNode*>(static_cast<char*>(region.get()) + committed - roomBytes);

    // The one record counted must be written, and no second one.
    records[0].type = records[1].type = kUnwrittenType;
    DWORD described = counted;
    if (g_d2xx.getDeviceInfoList(records, &described) != kFtOk) return DriverError;
    if (records[0].type == kUnwrittenType || records[1].type != kUnwrittenType) return DriverError;
    return ClassifyDescribedDevice(described, records[0].type, records[0].description);
}

}  // namespace zmk
