// The shipped library as the host loads it: ZELMORK.dll from the path in
// ZMK_LIBRARY (a Unix path from ctest or a script), its four exports bound by
// name into the types its header publishes.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

#include "ZELMORK.h"
#include "windows_path.h"

namespace zmk::test {

struct LibraryExports {
    HMODULE module = nullptr;
    PFN_ZMK_INITIALIZE initialize = nullptr;
    PFN_ZMK_RELEASE release = nullptr;
    PFN_ZMK_GETDEVICESTATUS getDeviceStatus = nullptr;
    PFN_ZMK_DRIVERSERRORBOX driversErrorBox = nullptr;

    // Loads the library named by ZMK_LIBRARY; false unless all four bound.
    bool Load() {
        const char* unixPath = std::getenv("ZMK_LIBRARY");
        if (unixPath == nullptr) return false;
        module = ::LoadLibraryA(WindowsPath(unixPath).c_str());
        if (module == nullptr) return false;
        Bind(initialize, "ZMK_Initialize");
        Bind(release, "ZMK_Release");
        Bind(getDeviceStatus, "ZMK_GetDeviceStatus");
        Bind(driversErrorBox, "ZMK_DriversErrorBox");
        return initialize && release && getDeviceStatus && driversErrorBox;
    }

    void Unload() {
        if (module) ::FreeLibrary(module);
        module = nullptr;
    }

private:
    template <typename F>
    void Bind(F& function, const char* name) {
        function = reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
    }
};

}  // namespace zmk::test
