// Stand-in for FTDI's D2XX driver library: just the three entry points the
// detection binds, answering from a small text file read afresh on every call
// so that a test can plug and unplug devices while the library is loaded.
#include <windows.h>

#include <cstdlib>
#include <cstring>

namespace {

using FtStatus = ULONG;

struct FtDeviceListInfoNode {
    ULONG flags;
    ULONG type;
    ULONG id;
    ULONG locationId;
    char serialNumber[16];
    char description[64];
    void* handle;
};

constexpr int kMaxDevices = 8;

struct Device {
    ULONG type;
    char description[64];
};

struct Config {
    FtStatus createStatus = 0;
    FtStatus listStatus = 0;
    int count = 0;
    Device devices[kMaxDevices] = {};
};

// The device count as of the last FT_CreateDeviceInfoList: like the real
// driver, the list call never describes more devices than were counted.
DWORD g_counted = 0;

void ConfigPath(char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA("ZMK_FTD2XX_INI", path, size);
    if (length == 0 || length >= size) lstrcpynA(path, "C:\\zmk-standins\\ftd2xx.ini", static_cast<int>(size));
}

void ParseLine(char* line, Config& config) {
    if (std::strncmp(line, "create=", 7) == 0) config.createStatus = std::strtoul(line + 7, nullptr, 0);
    if (std::strncmp(line, "list=", 5) == 0) config.listStatus = std::strtoul(line + 5, nullptr, 0);
    if (std::strncmp(line, "device=", 7) == 0 && config.count < kMaxDevices) {
        char* rest = nullptr;
        Device& device = config.devices[config.count++];
        device.type = std::strtoul(line + 7, &rest, 0);
        if (*rest == ' ') ++rest;
        lstrcpynA(device.description, rest, sizeof device.description);
    }
}

Config ReadConfig() {
    Config config;
#ifdef ZMK_FTD2XX_PLANTED
    // A planted copy describes devices of its own, so a test can tell it apart.
    config.count = 3;
    for (Device& device : config.devices) lstrcpynA(device.description, "PLANTED", 64);
    return config;
#endif
    char path[MAX_PATH];
    ConfigPath(path, sizeof path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return config;
    char text[4096] = {};
    DWORD read = 0;
    ReadFile(file, text, sizeof text - 1, &read, nullptr);
    CloseHandle(file);
    for (char* line = text; *line != '\0';) {
        char* end = line + std::strcspn(line, "\r\n");
        char next = *end;
        *end = '\0';
        ParseLine(line, config);
        line = next != '\0' ? end + 1 : end;
    }
    return config;
}

}  // namespace

extern "C" {

FtStatus WINAPI FT_CreateDeviceInfoList(DWORD* deviceCount) {
    Config config = ReadConfig();
    if (config.createStatus != 0) return config.createStatus;
    g_counted = static_cast<DWORD>(config.count);
    *deviceCount = g_counted;
    return 0;
}

FtStatus WINAPI FT_GetDeviceInfoList(FtDeviceListInfoNode* list, DWORD* deviceCount) {
    Config config = ReadConfig();
    if (config.listStatus != 0) return config.listStatus;
    DWORD count = static_cast<DWORD>(config.count) < g_counted ? static_cast<DWORD>(config.count) : g_counted;
    for (DWORD i = 0; i < count; ++i) {
        FtDeviceListInfoNode node = {};
        node.type = config.devices[i].type;
        node.locationId = 0x11 + i;
        lstrcpynA(node.serialNumber, "ZMK0001", sizeof node.serialNumber);
        std::memcpy(node.description, config.devices[i].description, sizeof node.description);
        list[i] = node;
    }
    *deviceCount = count;
    return 0;
}

#ifndef ZMK_FTD2XX_WITHOUT_LIST_DEVICES
FtStatus WINAPI FT_ListDevices(void*, void*, DWORD) {
    return 0;
}
#endif

BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
#ifdef ZMK_FTD2XX_UNLOADABLE
    // Refuses to load, as a damaged or mismatched driver does.
    if (reason == DLL_PROCESS_ATTACH) return FALSE;
#endif
    (void)reason;
    return TRUE;
}

}  // extern "C"
