#include "d2xx_binding.h"

#include <algorithm>
#include <cstring>

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

// A record as we hand it to the driver: no record the driver writes has every
// byte at this value (its type would be no chip's, its description unended).
constexpr unsigned char kUnwritten = 0xA5;

bool Unwritten(const FtDeviceListInfoNode& record) noexcept {
    const auto* bytes = reinterpret_cast<const unsigned char*>(&record);
    return std::all_of(bytes, bytes + sizeof record, [](unsigned char byte) { return byte == kUnwritten; });
}

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
    std::memset(records, kUnwritten, 2 * sizeof *records);
    DWORD described = static_cast<DWORD>(roomRecords);
    if (g_d2xx.getDeviceInfoList(records, &described) != kFtOk) return DriverError;
    if (Unwritten(records[0]) || !Unwritten(records[1])) return DriverError;
    return ClassifyDescribedDevice(described, records[0].type, records[0].description);
}

}  // namespace zmk
