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

// description is the driver's fixed 64-character field; a field the driver
// left without a terminator matches no listed text.
DeviceStatus ClassifyUsbDevice(std::uint32_t type, const char* description) noexcept;

// The device D2XX counted, as its list call described it. The driver's list is
// process-wide: when anything else in the process refreshes it between our
// count and our list call, it describes more devices or none. Any count but
// the one device counted is the driver failing to describe it (DriverError),
// and a record is only read when the count says it was written.
DeviceStatus ClassifyDescribedDevice(std::uint32_t describedCount, std::uint32_t type,
                                     const char* description) noexcept;

}  // namespace zmk
