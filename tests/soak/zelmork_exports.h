// The shipped library as the host loads it: ZELMORK.dll from the path in
// ZMK_LIBRARY (a Unix path from ctest, seen by Wine on drive Z:), with its
// four exports bound by name.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <string>

namespace zmk::test {

struct ZelmorkExports {
    HMODULE module = nullptr;
    int (*initialize)() = nullptr;
    void (*release)() = nullptr;
    int (*getDeviceStatus)() = nullptr;
    INT_PTR (*driversErrorBox)(HWND) = nullptr;

    bool Load() {
        const char* unixPath = std::getenv("ZMK_LIBRARY");
        if (unixPath == nullptr) return false;
        std::string path = unixPath[0] == '/' ? "Z:" : "";
        for (const char* p = unixPath; *p; ++p) path += *p == '/' ? '\\' : *p;
        module = ::LoadLibraryA(path.c_str());
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
