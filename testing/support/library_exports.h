// The shipped library as a host loads it: ZELMORK.dll, its four exports bound
// by name into the types its header publishes. Used by the tests (which name
// the library in ZMK_LIBRARY) and by the host stand-in zmk-host.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "ZELMORK.h"
#include "win32/entry_point.h"
#include "windows_path.h"

namespace zmk::test {

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

    // Loads the library named by ZMK_LIBRARY (a Unix path from ctest or a
    // script); false unless all four exports bound.
    bool Load() {
        const char* unixPath = std::getenv("ZMK_LIBRARY");
        if (unixPath == nullptr) return false;
        HMODULE loaded = ::LoadLibraryA(WindowsPath(unixPath).c_str());
        return loaded != nullptr && Bind(loaded) == nullptr;
    }

    void Unload() {
        if (module) ::FreeLibrary(module);
        *this = LibraryExports{};
    }
};

}  // namespace zmk::test
