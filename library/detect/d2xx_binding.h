// FTDI's D2XX driver library, bound for the length of one detection run.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device_status.h"

namespace zmk {

using FtStatus = ULONG;
inline constexpr FtStatus kFtOk = 0;

// D2XX's FT_DEVICE_LIST_INFO_NODE.
struct FtDeviceListInfoNode {
    std::uint32_t flags;
    std::uint32_t type;
    std::uint32_t id;
    std::uint32_t locationId;
    char serialNumber[16];
    char description[64];
    void* handle;
};
static_assert(sizeof(FtDeviceListInfoNode) == 104, "D2XX record layout");

using FtCreateDeviceInfoListFunction = FtStatus(WINAPI*)(DWORD* deviceCount);
using FtGetDeviceInfoListFunction = FtStatus(WINAPI*)(FtDeviceListInfoNode* list, DWORD* deviceCount);
using FtListDevicesFunction = FtStatus(WINAPI*)(void* arg1, void* arg2, DWORD flags);

// Loads the driver from libraryPath, the system-directory file whose presence
// was just checked, and resolves its three entry points. false when the load
// fails or an entry point is missing; the library stays recorded either way.
bool BindD2xx(const char* libraryPath) noexcept;

// The driver library of the last BindD2xx, loaded or not (null when the load
// failed), for a caller that looks further into it.
HMODULE BoundD2xxLibrary() noexcept;

// Drops the binding (safe when nothing is bound) and passes status through.
DeviceStatus UnbindD2xx(DeviceStatus status = NoDevice) noexcept;

// The bound FT_CreateDeviceInfoList.
FtStatus CreateDeviceInfoList(DWORD* deviceCount) noexcept;

// The list call writes every record the driver holds at that moment, which
// can be more than was counted. A USB controller addresses at most 127
// devices: callers give room for this many records.
inline constexpr DWORD kDescriptionRoom = 128;

// The bound FT_GetDeviceInfoList, into room for kDescriptionRoom records;
// described is set to kDescriptionRoom before the call.
FtStatus GetDeviceInfoList(FtDeviceListInfoNode* records, DWORD* described) noexcept;

// The status of the one device D2XX counted, from what the list call gave.
DeviceStatus IdentifyDescribedDevice(FtStatus listed, DWORD described, const FtDeviceListInfoNode* records) noexcept;

// Classifies the one device D2XX reported; DriverError when it cannot describe it.
DeviceStatus IdentifyUsbDevice() noexcept;

}  // namespace zmk
