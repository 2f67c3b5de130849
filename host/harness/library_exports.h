// The shipped library as a host loads it: ZELMORK.dll, its four exports bound
// by name into the types its header publishes. Used by every program that
// plays the host: zmk-host, the tests, the benchmarks.
#pragma once

#include <windows.h>

#include <type_traits>
#include <utility>

#include "ZELMORK.h"
#include "device_status.h"
#include "win32/entry_point.h"
#include "win32/unique_resource.h"

namespace zmk::host {

// Owns the module: move-only, so that no copy frees it a second time.
struct LibraryExports {
    UniqueModule module;
    PFN_ZMK_INITIALIZE initialize = nullptr;
    PFN_ZMK_RELEASE release = nullptr;
    PFN_ZMK_GETDEVICESTATUS getDeviceStatus = nullptr;
    PFN_ZMK_DRIVERSERRORBOX driversErrorBox = nullptr;

    LibraryExports() = default;
    LibraryExports(LibraryExports&& other) noexcept { *this = std::move(other); }
    // Takes the other's module and exports; the other is left unloaded.
    LibraryExports& operator=(LibraryExports&& other) noexcept {
        if (this == &other) return *this;
        module = std::move(other.module);
        initialize = std::exchange(other.initialize, nullptr);
        release = std::exchange(other.release, nullptr);
        getDeviceStatus = std::exchange(other.getDeviceStatus, nullptr);
        driversErrorBox = std::exchange(other.driversErrorBox, nullptr);
        return *this;
    }

    // Takes a loaded library and binds its exports; the name of the first
    // that is missing, or null when all four bound.
    const char* Bind(HMODULE loaded) {
        module.reset(loaded);
        initialize = ResolveEntryPoint<PFN_ZMK_INITIALIZE>(loaded, "ZMK_Initialize");
        release = ResolveEntryPoint<PFN_ZMK_RELEASE>(loaded, "ZMK_Release");
        getDeviceStatus = ResolveEntryPoint<PFN_ZMK_GETDEVICESTATUS>(loaded, "ZMK_GetDeviceStatus");
        driversErrorBox = ResolveEntryPoint<PFN_ZMK_DRIVERSERRORBOX>(loaded, "ZMK_DriversErrorBox");
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

    bool Loaded() const { return module.valid(); }

    void Unload() { *this = LibraryExports{}; }
};
static_assert(!std::is_copy_constructible_v<LibraryExports> && !std::is_copy_assignable_v<LibraryExports>);

// "ZMK_GetDeviceStatus: 11 OpenDmxUsb" and the like.
inline const char* StatusName(int status) { return DeviceStatusName(status); }

}  // namespace zmk::host
