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

}  // namespace zmk
