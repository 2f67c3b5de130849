// Stand-in for FTDI's D2XX driver library: just the three entry points the
// detection binds, answering from a small text file read afresh on every call
// so that a test can plug and unplug devices while the library is loaded.
//
// It also plays what a real driver does in the field: its device list is
// process-wide, so when something else in the process refreshes it between
// the detection's count and its list call, the list call describes more
// devices than were counted, or fewer, or none (describe=, report=); and the
// devices can change from one detection run to the next (lists separated by
// "next" lines).
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

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

constexpr int kMaxDevices = 16;
constexpr int kMaxLists = 8;

struct Device {
    ULONG type;
    char description[64];
    bool opened;  // by another program: the driver withholds what it could not read
};

struct DeviceList {
    int count = 0;
    Device devices[kMaxDevices] = {};
};

struct Config {
    FtStatus createStatus = 0;
    FtStatus listStatus = 0;
    long describe = -1;  // records the list call writes; -1: the devices counted
    long report = -1;    // count the list call reports; -1: the records written
    DWORD countMs = 0;   // how long the count call takes (INFINITE: it never returns)
    DWORD listMs = 0;    // how long the list call takes (INFINITE: it never returns)
    int lists = 1;
    DeviceList list[kMaxLists];
};

// The list of the last FT_CreateDeviceInfoList and how many it counted: like
// the real driver, the list call describes what was counted unless the
// configuration says the list moved.
int g_listIndex = 0;
DWORD g_counted = 0;

void ConfigPath(char* path, DWORD size) {
    DWORD length = GetEnvironmentVariableA("ZMK_FTD2XX_INI", path, size);
    if (length == 0 || length >= size) lstrcpynA(path, "C:\\zmk-standins\\ftd2xx.ini", static_cast<int>(size));
}

// A time in milliseconds, or "forever": a driver that holds the bus for good.
DWORD ParseMilliseconds(const char* text) {
    return std::strcmp(text, "forever") == 0 ? INFINITE : std::strtoul(text, nullptr, 0);
}

void ParseLine(char* line, Config& config) {
    if (std::strcmp(line, "next") == 0 && config.lists < kMaxLists) ++config.lists;
    if (std::strncmp(line, "create=", 7) == 0) config.createStatus = std::strtoul(line + 7, nullptr, 0);
    if (std::strncmp(line, "list=", 5) == 0) config.listStatus = std::strtoul(line + 5, nullptr, 0);
    if (std::strncmp(line, "describe=", 9) == 0) config.describe = std::strtol(line + 9, nullptr, 0);
    if (std::strncmp(line, "report=", 7) == 0) config.report = std::strtol(line + 7, nullptr, 0);
    if (std::strncmp(line, "count_ms=", 9) == 0) config.countMs = ParseMilliseconds(line + 9);
    if (std::strncmp(line, "list_ms=", 8) == 0) config.listMs = ParseMilliseconds(line + 8);
    DeviceList& list = config.list[config.lists - 1];
    if (std::strncmp(line, "opened=", 7) == 0) {
        long which = std::strtol(line + 7, nullptr, 0);
        if (which >= 1 && which <= list.count) list.devices[which - 1].opened = true;
    }
    if (std::strncmp(line, "device=", 7) == 0 && list.count < kMaxDevices) {
        char* rest = nullptr;
        Device& device = list.devices[list.count++];
        device.type = std::strtoul(line + 7, &rest, 0);
        if (*rest == ' ') ++rest;
        lstrcpynA(device.description, rest, sizeof device.description);
    }
}

// The whole file, or as much as fits; empty when it cannot be read.
void ReadFileText(const char* path, char (&text)[8192]) {
    text[0] = '\0';
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    DWORD read = 0;
    if (!ReadFile(file, text, sizeof text - 1, &read, nullptr)) read = 0;
    text[read] = '\0';
    CloseHandle(file);
}

Config ReadConfig() {
    Config config;
#ifdef ZMK_FTD2XX_PLANTED
    // A planted copy describes devices of its own, so a test can tell it apart.
    for (DeviceList& list : config.list) {
        list.count = 3;
        for (Device& device : list.devices) lstrcpynA(device.description, "PLANTED", 64);
    }
    return config;
#endif
    char path[MAX_PATH];
    ConfigPath(path, sizeof path);
    static char text[8192];
    ReadFileText(path, text);
    for (char* line = text; *line != '\0';) {
        char* end = line + std::strcspn(line, "\r\n");
        char next = *end;
        *end = '\0';
        ParseLine(line, config);
        line = next != '\0' ? end + 1 : end;
    }
    return config;
}

// Replaces the file <configuration><suffix> with text.
void WriteBesideConfig(const char* suffix, const char* text, int length) {
    char path[MAX_PATH + 16];
    ConfigPath(path, MAX_PATH);
    lstrcatA(path, suffix);
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file != INVALID_HANDLE_VALUE) {
        DWORD done = 0;
        WriteFile(file, text, static_cast<DWORD>(length), &done, nullptr);
        CloseHandle(file);
    }
}

// Which list this count call sees: one further on each call, the last one
// staying. Kept in a file beside the configuration, because the detection
// unloads the driver after every run.
int NextListIndex(int lists) {
    char path[MAX_PATH + 16];
    ConfigPath(path, MAX_PATH);
    lstrcatA(path, ".position");
    char text[8192];
    ReadFileText(path, text);
    unsigned long calls = std::strtoul(text, nullptr, 10);
    char written[16];
    int length = 0;
    for (unsigned long next = calls + 1; next != 0 || length == 0; next /= 10) written[length++] = '0' + next % 10;
    for (int i = 0; i < length / 2; ++i) std::swap(written[i], written[length - 1 - i]);
    WriteBesideConfig(".position", written, length);
    return calls < static_cast<unsigned long>(lists) ? static_cast<int>(calls) : lists - 1;
}

// The address the last list call was given, in hex, in <configuration>.list:
// from it a test tells where a write past the caller's room lands.
void NoteListAddress(const void* list) {
    char text[16];
    auto value = reinterpret_cast<std::uintptr_t>(list);
    for (int i = 15; i >= 0; --i, value >>= 4) text[i] = "0123456789abcdef"[value & 15];
    WriteBesideConfig(".list", text, 16);
}

}  // namespace

extern "C" {

FtStatus WINAPI FT_CreateDeviceInfoList(DWORD* deviceCount) {
    Config config = ReadConfig();
    // A driver slow to count: long enough for another caller to come in meanwhile.
    ::Sleep(config.countMs);
    if (config.createStatus != 0) return config.createStatus;
    g_listIndex = config.lists > 1 ? NextListIndex(config.lists) : 0;
    g_counted = static_cast<DWORD>(config.list[g_listIndex].count);
    *deviceCount = g_counted;
    return 0;
}

FtStatus WINAPI FT_GetDeviceInfoList(FtDeviceListInfoNode* list, DWORD* deviceCount) {
    Config config = ReadConfig();
    ::Sleep(config.listMs);
    if (config.listStatus != 0) return config.listStatus;
    const DeviceList& devices = config.list[g_listIndex];
    if (config.describe >= 0) NoteListAddress(list);
    long written = config.describe >= 0 ? config.describe : static_cast<long>(g_counted);
    if (config.describe < 0 && devices.count < written) written = devices.count;
    // Like the real driver, every record it holds, whatever room the caller has.
    for (long i = 0; i < written; ++i) {
        // Past the listed devices, more of the last one (or of an FT232R).
        Device device = {5, "FT232R USB UART", false};
        if (devices.count > 0) device = devices.devices[i < devices.count ? i : devices.count - 1];
        FtDeviceListInfoNode node = {};
        node.type = device.type;
        // Hub 1, port 1 onwards: a location of its own for each device, as on a real bus.
        node.locationId = 0x11 + static_cast<ULONG>(i);
        // A device open in another program: flagged, its serial number and
        // description withheld, as the real driver gives it.
        node.flags = device.opened ? 1 : 0;
        if (!device.opened) {
            lstrcpynA(node.serialNumber, "ZMK0001", sizeof node.serialNumber);
            std::memcpy(node.description, device.description, sizeof node.description);
        }
        list[i] = node;
    }
    *deviceCount = static_cast<DWORD>(config.report >= 0 ? config.report : written);
    return 0;
}

#ifndef ZMK_FTD2XX_WITHOUT_LIST_DEVICES
FtStatus WINAPI FT_ListDevices(void*, void*, DWORD) {
    return 0;
}

// Driver 3.02.15, in the driver's own 0x00MMmmbb form.
FtStatus WINAPI FT_GetLibraryVersion(DWORD* version) {
    *version = 0x00030215;
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
