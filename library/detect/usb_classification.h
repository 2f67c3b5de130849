// Which kind of ENTTEC interface a single FTDI device is, from its D2XX chip
// type and USB description.
#pragma once

#include <cstddef>
#include <cstdint>

#include "device_status.h"

namespace zmk {

inline constexpr std::uint32_t kFtDeviceBm = 0;
inline constexpr std::uint32_t kFtDevice232R = 5;
inline constexpr std::size_t kFtDescriptionSize = 64;

// Stands for every chip type in the last row of the table.
inline constexpr std::uint32_t kAnyFtDevice = 0xFFFFFFFF;

// One row of the identification table: a row without a description takes
// any description of its type.
struct IdentificationRow {
    const char* description;
    std::uint32_t type;
    DeviceStatus status;
};

// Tried in this order (steps 1 to 8); the first row that takes the device decides.
inline constexpr IdentificationRow kIdentificationTable[] = {
    {"USB <-> Serial", kFtDeviceBm, OpenDmxUsb},
    {"OPEN DMX USB", kFtDeviceBm, OpenDmxUsb},
    {nullptr, kFtDeviceBm, OpenDmxUsb},
    {"FT232R USB UART", kFtDevice232R, OpenDmxUsb},
    {"FT245R USB FIFO", kFtDevice232R, DmxUsbPro},
    {"DMX USB PRO", kFtDevice232R, DmxUsbPro},
    {nullptr, kFtDevice232R, DmxUsbPro},
    {nullptr, kAnyFtDevice, UnrecognizedUsbDevice},
};

// The first row of the table that takes this device. description is the
// driver's fixed 64-character field; a field the driver left without a
// terminator matches no listed text.
const IdentificationRow& MatchIdentificationRow(std::uint32_t type, const char* description) noexcept;

// The kind the first matching row gives.
DeviceStatus ClassifyUsbDevice(std::uint32_t type, const char* description) noexcept;

// The device D2XX counted, as its list call described it. The driver's list is
// process-wide: when anything else in the process refreshes it between our
// count and our list call, it describes more devices or none. Any count but
// the one device counted is the driver failing to describe it (DriverError),
// and a record is only read when the count says it was written.
DeviceStatus ClassifyDescribedDevice(std::uint32_t describedCount, std::uint32_t type,
                                     const char* description) noexcept;

}  // namespace zmk
