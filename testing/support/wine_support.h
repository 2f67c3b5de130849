// What the Windows tests and benchmarks set up around the detection: the
// host's registry value and settings file, the D2XX stand-in in the system
// directory, and the simulated Art-Net node's control port.
#pragma once

#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "library_exports.h"

namespace zmk::test {

// Loads the library named by ZMK_LIBRARY (a Unix path from ctest or a
// script); false unless all four exports bound.
bool LoadLibraryUnderTest(host::LibraryExports& library);

// The folder the tests give the host; its settings file lives below it.
inline constexpr char kHostFolder[] = "C:\\zmk-tests\\host";

// HKCU\Software\Quenford\Borvanect\CurrentVersion "UserMainFolder".
void SetUserMainFolderValue(DWORD type, const void* data, DWORD size, HKEY root = HKEY_CURRENT_USER);
void SetUserMainFolder(const std::string& folder);
void RemoveHostKeys();

std::string SettingsFilePath(const std::string& folder);
// Writes <folder>\System\ApplData\Pelvaro.bin with bytes 20-23 = address.
void WriteSettingsFile(const std::string& folder, const std::uint8_t (&address)[4], DWORD size = 128);
void RemoveSettingsFile(const std::string& folder);

// Copies standins/ftd2xx/<variant>.dll to the system directory as ftd2xx.dll.
void InstallFtd2xx(const char* variant);
void RemoveFtd2xx();
std::string Ftd2xxStandinPath(const char* variant);
std::string SystemFtd2xxPath();
// Replaces the stand-in's device list and failures (see its README).
void WriteFtd2xxConfig(const std::string& text);

// The process that holds UDP port on an IPv4 address, as the system's table
// of UDP owners says: 0 when it says none (Wine 8, before the holder reads).
DWORD UdpPortOwner(std::uint16_t port);

// The node simulator's control port, at ZMK_NODE_ADDRESS:ZMK_NODE_CONTROL_PORT.
class NodeControl {
public:
    NodeControl();
    ~NodeControl();
    std::string Command(const std::string& command);
    void Scenario(const std::string& settings) { Command("scenario " + settings); }
    // From the last report: how many datagrams reached the node's port 6454,
    // and the first one in hex.
    int Datagrams();
    std::string FirstDatagram();
    static std::uint32_t NodeAddress();

private:
    std::string Field(const std::string& name);
    SOCKET socket_ = INVALID_SOCKET;
    sockaddr_in control_ = {};
};

}  // namespace zmk::test
