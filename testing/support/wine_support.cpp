#include "wine_support.h"

#include <iphlpapi.h>

#include <vector>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "device_list.h"
#include "win32/unique_resource.h"
#include "windows_path.h"

namespace zmk::test {
namespace {

constexpr char kHostSubkey[] = "Software\\Quenford\\Borvanect\\CurrentVersion";

std::string Env(const char* name, const char* fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : fallback;
}

void CreateDirectories(const std::string& path) {
    for (std::size_t at = path.find('\\', 3); at != std::string::npos; at = path.find('\\', at + 1)) {
        CreateDirectoryA(path.substr(0, at).c_str(), nullptr);
    }
    CreateDirectoryA(path.c_str(), nullptr);
}

void WriteFileBytes(const std::string& path, const void* data, DWORD size) {
    UniqueFile file(CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_TRUE(file) << path;
    DWORD written = 0;
    EXPECT_TRUE(WriteFile(file.get(), data, size, &written, nullptr));
}

}  // namespace

bool LoadLibraryUnderTest(host::LibraryExports& library) {
    const char* unixPath = std::getenv("ZMK_LIBRARY");
    return unixPath != nullptr && library.Load(WindowsPath(unixPath).c_str());
}

void SetUserMainFolderValue(DWORD type, const void* data, DWORD size, HKEY root) {
    UniqueRegKey key;
    ASSERT_EQ(ERROR_SUCCESS,
              RegCreateKeyExA(root, kHostSubkey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, key.put(), nullptr));
    EXPECT_EQ(ERROR_SUCCESS, RegSetValueExA(key.get(), "UserMainFolder", 0, type, static_cast<const BYTE*>(data), size));
}

void SetUserMainFolder(const std::string& folder) {
    SetUserMainFolderValue(REG_SZ, folder.c_str(), static_cast<DWORD>(folder.size() + 1));
}

void RemoveHostKeys() {
    RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\Quenford");
    RegDeleteTreeA(HKEY_LOCAL_MACHINE, "Software\\Quenford");
}

std::string SettingsFilePath(const std::string& folder) {
    return folder + "\\System\\ApplData\\Pelvaro.bin";
}

void WriteSettingsFile(const std::string& folder, const std::uint8_t (&address)[4], DWORD size) {
    CreateDirectories(folder + "\\System\\ApplData");
    std::string bytes(size, '\0');
    for (DWORD i = 0; i < size; ++i) bytes[i] = static_cast<char>(0xA0 + i % 16);
    for (DWORD i = 0; i < 4 && 20 + i < size; ++i) bytes[20 + i] = static_cast<char>(address[i]);
    WriteFileBytes(SettingsFilePath(folder), bytes.data(), size);
}

void RemoveSettingsFile(const std::string& folder) {
    DeleteFileA(SettingsFilePath(folder).c_str());
}

std::string Ftd2xxStandinPath(const char* variant) {
    return WindowsPath(Env("ZMK_FTD2XX_STANDIN_DIR", ".")) + "\\" + variant + ".dll";
}

std::string SystemFtd2xxPath() {
    char system[MAX_PATH] = {};
    GetSystemDirectoryA(system, MAX_PATH);
    return std::string(system) + "\\ftd2xx.dll";
}

void InstallFtd2xx(const char* variant) {
    ASSERT_TRUE(CopyFileA(Ftd2xxStandinPath(variant).c_str(), SystemFtd2xxPath().c_str(), FALSE))
        << Ftd2xxStandinPath(variant);
}

void RemoveFtd2xx() {
    std::string path = SystemFtd2xxPath();
    DeleteFileA(path.c_str());
    RemoveDirectoryA(path.c_str());
}

void WriteFtd2xxConfig(const std::string& text) {
    ASSERT_TRUE(host::WriteDeviceList(text)) << host::DeviceListPath();
}

std::uint32_t NodeControl::NodeAddress() {
    return inet_addr(Env("ZMK_NODE_ADDRESS", "198.18.0.2").c_str());
}

NodeControl::NodeControl() {
    socket_ = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    control_.sin_family = AF_INET;
    control_.sin_addr.s_addr = NodeAddress();
    control_.sin_port = htons(static_cast<u_short>(std::atoi(Env("ZMK_NODE_CONTROL_PORT", "6999").c_str())));
}

NodeControl::~NodeControl() {
    closesocket(socket_);
}

std::string NodeControl::Command(const std::string& command) {
    // The control port is UDP: a lost command or answer is sent again.
    for (int attempt = 0; attempt < 3; ++attempt) {
        sendto(socket_, command.data(), static_cast<int>(command.size()), 0,
               reinterpret_cast<const sockaddr*>(&control_), sizeof control_);
        fd_set readable;
        FD_ZERO(&readable);
        FD_SET(socket_, &readable);
        timeval timeout = {2, 0};
        if (select(0, &readable, nullptr, nullptr, &timeout) != 1) continue;
        char answer[2048] = {};
        int size = recv(socket_, answer, sizeof answer - 1, 0);
        if (size > 0) return std::string(answer, static_cast<std::size_t>(size));
    }
    ADD_FAILURE() << "the node does not answer " << command;
    return {};
}

std::string NodeControl::Field(const std::string& name) {
    std::string report = Command("report");
    std::size_t at = report.find(name + "=");
    if (at == std::string::npos) return {};
    at += name.size() + 1;
    return report.substr(at, report.find(' ', at) - at);
}

int NodeControl::Datagrams() {
    return std::atoi(Field("datagrams").c_str());
}

std::string NodeControl::FirstDatagram() {
    return Field("first");
}

DWORD UdpPortOwner(std::uint16_t port) {
    std::vector<std::uint8_t> table(64 * 1024);
    DWORD size = static_cast<DWORD>(table.size());
    if (GetExtendedUdpTable(table.data(), &size, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0) != NO_ERROR) return 0;
    const auto* rows = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(table.data());
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
        if (ntohs(static_cast<u_short>(rows->table[i].dwLocalPort)) == port) return rows->table[i].dwOwningPid;
    }
    return 0;
}

}  // namespace zmk::test
