#include "d2xx_binding.h"

#include "usb_classification.h"
#include "win32/entry_point.h"
#include "win32/system_library.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

struct D2xxBinding {
    UniqueModule library;
    FtCreateDeviceInfoListFunction createDeviceInfoList = nullptr;
    FtGetDeviceInfoListFunction getDeviceInfoList = nullptr;
    FtListDevicesFunction listDevices = nullptr;
};

// Process-wide, as the library keeps it: bound by a detection run for that
// run only, and dropped on every path before the run returns.
D2xxBinding g_d2xx;

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
    g_d2xx.library.reset(LoadSystemLibraryFile(libraryPath, Dependencies::BesideTheLibrary));
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

DeviceListRoom::DeviceListRoom(DWORD counted) noexcept : counted_(counted) {
    const SIZE_T records = counted + kRoomMargin;
    const SIZE_T bytes = records * sizeof(FtDeviceListInfoNode);
    const SIZE_T committed = (bytes + kPageSize - 1) / kPageSize * kPageSize;
    region_.reset(::VirtualAlloc(nullptr, committed + kPageSize, MEM_RESERVE, PAGE_NOACCESS));
    if (!region_ || !::VirtualAlloc(region_.get(), committed, MEM_COMMIT, PAGE_READWRITE)) return;
    records_ = reinterpret_cast<FtDeviceListInfoNode*>(static_cast<char*>(region_.get()) + committed - bytes);
}

SIZE_T DeviceListRoom::capacity() const noexcept {
    return records_ ? counted_ + kRoomMargin : 0;
}

FtStatus GetDeviceInfoList(const DeviceListRoom& room, DWORD* described) noexcept {
    *described = 0;
    FtDeviceListInfoNode* records = room.records();
    if (records == nullptr) return ~kFtOk;
    // The one record counted must be written, and no second one.
    records[0].type = records[1].type = kUnwrittenType;
    *described = room.counted();
    return g_d2xx.getDeviceInfoList(records, described);
}

ListedRecords CheckListedRecords(FtStatus listed, DWORD described, const DeviceListRoom& room) noexcept {
    const FtDeviceListInfoNode* records = room.records();
    if (records == nullptr) return ListedRecords::CallFailed;
    return CheckListedRecords(listed == kFtOk, described, records[0].type != kUnwrittenType,
                              records[1].type != kUnwrittenType);
}

DeviceStatus IdentifyListedDevice(FtStatus listed, DWORD described, const DeviceListRoom& room) noexcept {
    if (CheckListedRecords(listed, described, room) != ListedRecords::OneWritten) return DriverError;
    return FindIdentificationRow(room.records()[0].type, room.records()[0].description).status;
}

DeviceStatus IdentifyUsbDevice(DWORD counted) noexcept {
    const DeviceListRoom room(counted);
    DWORD described = 0;
    const FtStatus listed = GetDeviceInfoList(room, &described);
    return IdentifyListedDevice(listed, described, room);
}

}  // namespace zmk
