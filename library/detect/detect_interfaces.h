// One detection run: which single DMX interface is connected.
#pragma once

#include "device_status.h"

namespace zmk {

inline constexpr unsigned kSystemPathSize = 512;

// True when name (with its leading backslash) is a file in the system
// directory; path then holds its full path. A system directory that leaves
// no room for the name counts as not having the file.
bool SystemFilePresent(char (&path)[kSystemPathSize], const char* name) noexcept;

DeviceStatus DetectInterfaces() noexcept;

}  // namespace zmk
