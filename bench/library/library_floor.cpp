// The library's floor: what loading, initialising, releasing and a
// nothing-configured status would cost a DLL that imports what ZELMORK.dll
// imports and does nothing but the platform calls the library must make.
#define ZELMORK_BUILDING_LIBRARY
#include "ZELMORK.h"

#include "bounded_text.h"
#include "palette_table.h"

extern "C" const void* const kFloorImports[];

namespace {

HBRUSH g_brushes[zmk::kPaletteBrushCount];

// A file of the system directory, looked for as the detection does.
bool SystemFilePresent(const char* name) {
    char path[512];
    const UINT length = GetSystemDirectoryA(path, sizeof path);
    if (length == 0 || length >= sizeof path || !zmk::AppendText(path, name)) return false;
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

// Reads the table of imports, which keeps it, and every import with it, in
// the image.
extern "C" BOOL WINAPI LibraryEntryPoint(HINSTANCE, DWORD, LPVOID) { return kFloorImports[0] != nullptr; }

extern "C" {

int ZELMORK_CALL ZMK_Initialize(void) {
    for (HBRUSH& brush : g_brushes) brush = CreateSolidBrush(RGB(32, 32, 32));
    return 1;
}

void ZELMORK_CALL ZMK_Release(void) {
    for (HBRUSH& brush : g_brushes) {
        if (brush) DeleteObject(brush);
        brush = nullptr;
    }
}

// With nothing configured: Winsock is there, the host's key is not, and no
// D2XX driver is installed.
int ZELMORK_CALL ZMK_GetDeviceStatus(void) {
    if (SystemFilePresent("\\ws2_32.dll")) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Quenford\\Borvanect\\CurrentVersion", 0, KEY_QUERY_VALUE,
                          &key) == ERROR_SUCCESS) {
            RegCloseKey(key);
        }
    }
    SystemFilePresent("\\ftd2xx.dll");
    return ZMK_NO_DEVICE;
}

INT_PTR ZELMORK_CALL ZMK_DriversErrorBox(HWND) { return -1; }

}  // extern "C"
