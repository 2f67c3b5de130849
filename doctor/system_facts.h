// What the doctor asks Windows beyond the detection itself: the network
// interfaces, who holds a UDP port, a file's version, the Windows build.
// iphlpapi.dll and version.dll are not among the DLLs every process shares,
// so they are loaded at run time from the system directory only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "artnet_packets.h"

namespace zmk::doctor {

// "error 32: The process cannot access the file because ..."
std::string ErrorText(DWORD error);
// Text in the system's single-byte code page as UTF-8, for JSON.
std::string AnsiToUtf8(const std::string& text);

struct Ipv4Interface {
    std::string name;  // the adapter's friendly name, UTF-8
    Ipv4Octets address{};
    unsigned prefixLength = 0;
};
Ipv4Octets PrefixMask(unsigned prefixLength) noexcept;
bool OnSubnet(const Ipv4Interface& face, const Ipv4Octets& address) noexcept;
Ipv4Octets DirectedBroadcast(const Ipv4Interface& face) noexcept;

// The host's IPv4 addresses with their prefixes; false when the system
// could not list them (the reason in error).
bool HostIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error);

// The processes that hold UDP port on any IPv4 address: "1234 (C:\...\x.exe)".
// Empty when the system does not tell.
std::vector<std::string> UdpPortOwners(std::uint16_t port);

// Milliseconds since a QueryPerformanceCounter reading.
double MillisecondsSince(const LARGE_INTEGER& start);

// "2.12.36.4" from the file's version resource, or empty.
std::string FileVersionOf(const char* path);

// "10.0.19045"; the Wine version when running under Wine, else empty.
std::string WindowsBuild();
std::string WineVersion();

}  // namespace zmk::doctor
