// One detection run: which single DMX interface is connected.
#pragma once

#include "device_status.h"

namespace zmk {

DeviceStatus DetectInterfaces() noexcept;

}  // namespace zmk
