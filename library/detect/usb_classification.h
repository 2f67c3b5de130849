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

// The first row of the table that takes this device, whose status is the
// device's kind. description is the driver's fixed 64-character field; a
// field the driver left without a terminator matches no listed text.
const IdentificationRow& FindIdentificationRow(std::uint32_t type, const char* description) noexcept;

// What the list call gave for the one device D2XX counted. The driver's list
// is process-wide: when anything else in the process refreshes it between our
// count and our list call, it describes more devices or none; a driver may
// also leave the record unwritten or write past it. Only a record that the
// call wrote, alone, is read.
enum class ListedRecords {
    OneWritten,          // the call succeeded, described one device and wrote exactly one record
    CallFailed,          // the call returned another status than FT_OK
    NotOne,              // it described another count than one
    NoRecordWritten,     // the record is still as it was handed to the driver
    SecondRecordWritten, // a record beyond the one counted was written too
};

ListedRecords CheckListedRecords(bool callSucceeded, std::uint32_t describedCount, bool firstWritten,
                                 bool secondWritten) noexcept;

}  // namespace zmk
