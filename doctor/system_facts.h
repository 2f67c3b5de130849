// What the doctor asks Windows beyond the detection itself: the network
// interfaces and the route to a node, who holds a UDP port or a file, a
// file's version, the Windows build. iphlpapi.dll, rstrtmgr.dll and
// version.dll are not among the DLLs every process shares, so they are
// loaded at run time from the system directory only.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "artnet_packets.h"

namespace zmk::doctor {

struct Ipv4Interface {
    std::string name;  // the adapter's friendly name, UTF-8
    Ipv4Octets address{};
    unsigned prefixLength = 0;
    unsigned long index = 0;
};
Ipv4Octets PrefixMask(unsigned prefixLength) noexcept;
bool OnSubnet(const Ipv4Interface& face, const Ipv4Octets& address) noexcept;
Ipv4Octets DirectedBroadcast(const Ipv4Interface& face) noexcept;

// The host's IPv4 addresses with their prefixes; false when the system
// could not list them (the reason in error). Asked once a run.
bool HostIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error);
// The directed broadcast addresses of the host's subnets (not loopback's).
std::vector<Ipv4Octets> HostDirectedBroadcasts();

// The interface the system sends to destination through, as the routing
// table says (nothing is sent); false when it has no route.
bool RouteTo(const Ipv4Octets& destination, Ipv4Interface& through, std::string& error);

// The processes other than this one that hold UDP port on any IPv4 address:
// "process 1234 (C:\...\x.exe)", UTF-8. Empty when the system does not tell.
std::vector<std::string> UdpPortHolders(std::uint16_t port);

// The programs that have a file open, as the Restart Manager tells:
// "Borvanect (process 1234)". Empty when it does not tell.
std::vector<std::string> FileHolders(const std::wstring& path);

// "2.12.36.4" from the file's version resource, or empty.
std::string FileVersionOf(const char* path);

// "10.0.19045"; the Wine version when running under Wine, else empty.
std::string WindowsBuild();
std::string WineVersion();

}  // namespace zmk::doctor
