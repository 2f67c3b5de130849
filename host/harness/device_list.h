// The D2XX stand-in's devices, plugged and unplugged as a user would: the
// text file the stand-in reads on every call (%ZMK_FTD2XX_INI%, by default
// C:\zmk-standins\ftd2xx.ini; its format is in standins/ftd2xx/README.md).
#pragma once

#include <string>

namespace zmk::host {

std::string DeviceListPath();

// Replaces the whole file. A list that moves starts again at its first list.
bool WriteDeviceList(const std::string& text);

// Takes the n-th "device=" line (from 1) out of the file, or every one for 0.
// Returns what was taken out ("TYPE DESCRIPTION" lines), empty when nothing was.
std::string UnplugDevices(int n);

}  // namespace zmk::host
