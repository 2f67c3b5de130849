// FTDI's D2XX driver library, bound for the length of one detection run.
#pragma once

#include <windows.h>

#include <cstdint>

#include "device_status.h"
#include "usb_classification.h"
#include "win32/unique_resource.h"

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

// Room for the list call's records. The list call writes every record the
// driver holds at that moment and is told no room: another caller in the
// process can refresh the list after our count, and D2XX lists a record for
// each channel of every FTDI chip on every USB controller. The room is the
// count and a margin beyond any real machine's list, as address space whose
// pages stay untouched unless the driver writes them (3.25 MiB). It ends
// where a page that is never made accessible begins, so that a driver
// writing past even that faults at once, inside its own call, rather than
// corrupt whatever lies beyond.
class DeviceListRoom {
public:
    explicit DeviceListRoom(DWORD counted) noexcept;
    // Null when the room could not be made.
    FtDeviceListInfoNode* records() const noexcept { return records_; }
    DWORD counted() const noexcept { return counted_; }
    // The records that fit before the page that is never accessible.
    SIZE_T capacity() const noexcept;

private:
    UniqueVirtualMemory region_;
    FtDeviceListInfoNode* records_ = nullptr;
    DWORD counted_ = 0;
};

// The bound FT_GetDeviceInfoList into room, told the count the room was made
// for; the first two records are marked unwritten before the call.
FtStatus GetDeviceInfoList(const DeviceListRoom& room, DWORD* described) noexcept;

// What the list call into room gave (listed, its status; described, its count).
ListedRecords CheckListedRecords(FtStatus listed, DWORD described, const DeviceListRoom& room) noexcept;

// The status of the one device D2XX counted, from what the list call gave:
// its kind when the call wrote its record alone, DriverError otherwise.
DeviceStatus IdentifyListedDevice(FtStatus listed, DWORD described, const DeviceListRoom& room) noexcept;

// Identifies the one device D2XX counted (counted, the count just taken):
// the list call into a room of its own, then IdentifyListedDevice.
DeviceStatus IdentifyUsbDevice(DWORD counted) noexcept;

}  // namespace zmk
