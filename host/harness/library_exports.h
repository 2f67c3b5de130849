// The shipped library as a host loads it: ZELMORK.dll, its four exports bound
// by name into the types its header publishes. Used by every program that
// plays the host: zmk-host, the tests, the benchmarks.
#pragma once

#include <windows.h>

#include "ZELMORK.h"
#include "device_status.h"
#include "win32/entry_point.h"

namespace zmk::host {

struct LibraryExports {
    HMODULE module = nullptr;
    PFN_ZMK_INITIALIZE initialize = nullptr;
    PFN_ZMK_RELEASE release = nullptr;
    PFN_ZMK_GETDEVICESTATUS getDeviceStatus = nullptr;
    PFN_ZMK_DRIVERSERRORBOX driversErrorBox = nullptr;

    // Takes a loaded library and binds its exports; the name of the first
    // that is missing, or null when all four bound.
    const char* Bind(HMODULE loaded) {
        module = loaded;
        initialize = ResolveEntryPoint<PFN_ZMK_INITIALIZE>(module, "ZMK_Initialize");
        release = ResolveEntryPoint<PFN_ZMK_RELEASE>(module, "ZMK_Release");
        getDeviceStatus = ResolveEntryPoint<PFN_ZMK_GETDEVICESTATUS>(module, "ZMK_GetDeviceStatus");
        driversErrorBox = ResolveEntryPoint<PFN_ZMK_DRIVERSERRORBOX>(module, "ZMK_DriversErrorBox");
        if (!initialize) return "ZMK_Initialize";
        if (!release) return "ZMK_Release";
        if (!getDeviceStatus) return "ZMK_GetDeviceStatus";
        if (!driversErrorBox) return "ZMK_DriversErrorBox";
        return nullptr;
    }

    // Loads the library at path; false unless all four exports bound.
    bool Load(const char* path) {
        HMODULE loaded = ::LoadLibraryA(path);
        return loaded != nullptr && Bind(loaded) == nullptr;
    }

    void Unload() {
        if (module) ::FreeLibrary(module);
        *this = LibraryExports{};
    }
};

// "ZMK_GetDeviceStatus: 11 OpenDmxUsb" and the like.
inline const char* StatusName(int status) { return DeviceStatusName(status); }

}  // namespace zmk::host
