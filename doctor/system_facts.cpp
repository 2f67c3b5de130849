#include "system_facts.h"

#include <winsock2.h>
#include <iphlpapi.h>
#include <restartmanager.h>

#include <cstring>
#include <memory>

#include "findings.h"
#include "win32/entry_point.h"
#include "win32/error_text.h"
#include "win32/file_version.h"
#include "win32/system_library.h"
#include "win32/text_encoding.h"
#include "win32/unique_resource.h"

namespace zmk::doctor {
namespace {

using GetAdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
using GetExtendedUdpTableFunction = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, UDP_TABLE_CLASS, ULONG);
using GetBestInterfaceFunction = DWORD(WINAPI*)(IPAddr, PDWORD);
using RmStartSessionFunction = DWORD(WINAPI*)(DWORD*, DWORD, WCHAR*);
using RmEndSessionFunction = DWORD(WINAPI*)(DWORD);
using RmRegisterResourcesFunction = DWORD(WINAPI*)(DWORD, UINT, LPCWSTR*, UINT, RM_UNIQUE_PROCESS*, UINT, LPCWSTR*);
using RmGetListFunction = DWORD(WINAPI*)(DWORD, UINT*, UINT*, RM_PROCESS_INFO*, LPDWORD);
using WineGetVersionFunction = const char*(CDECL*)();

// A buffer whose size the call that fills it tells: asks once for the size,
// then fills, a few times over in case it grew meanwhile.
template <typename Fill>
std::unique_ptr<std::uint8_t[]> FilledBuffer(Fill fill, DWORD& result) {
    ULONG size = 16 * 1024;
    for (int attempt = 0; attempt < 4; ++attempt) {
        std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[size]);
        result = fill(buffer.get(), &size);
        if (result == NO_ERROR) return buffer;
        if (result != ERROR_BUFFER_OVERFLOW && result != ERROR_INSUFFICIENT_BUFFER) return nullptr;
    }
    return nullptr;
}

std::string ProcessImage(DWORD pid) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameW(process.get(), 0, path, &size)) return {};
    return Utf8FromWide(std::wstring_view(path, size));
}

bool ListIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error) {
    UniqueModule iphlpapi = LoadSystemLibrary(L"iphlpapi.dll");
    auto getAdapters = iphlpapi ? ResolveEntryPoint<GetAdaptersAddressesFunction>(iphlpapi.get(), "GetAdaptersAddresses")
                                : nullptr;
    if (!getAdapters) {
        error = "iphlpapi.dll could not be loaded from the system directory";
        return false;
    }
    DWORD result = 0;
    auto buffer = FilledBuffer(
        [&](std::uint8_t* data, ULONG* size) {
            return getAdapters(AF_INET, GAA_FLAG_SKIP_ANYCAST | GAA_FLAG_SKIP_MULTICAST | GAA_FLAG_SKIP_DNS_SERVER,
                               nullptr, reinterpret_cast<IP_ADAPTER_ADDRESSES*>(data), size);
        },
        result);
    if (!buffer) {
        error = ErrorText(result);
        return false;
    }
    for (auto* adapter = reinterpret_cast<IP_ADAPTER_ADDRESSES*>(buffer.get()); adapter; adapter = adapter->Next) {
        for (auto* unicast = adapter->FirstUnicastAddress; unicast; unicast = unicast->Next) {
            const sockaddr* address = unicast->Address.lpSockaddr;
            if (address == nullptr || address->sa_family != AF_INET) continue;
            Ipv4Interface face;
            face.name = Utf8FromWide(adapter->FriendlyName ? adapter->FriendlyName : L"");
            std::memcpy(face.address.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
            face.prefixLength = unicast->OnLinkPrefixLength;
            face.index = adapter->IfIndex;
            interfaces.push_back(face);
        }
    }
    return true;
}

}  // namespace

Ipv4Octets PrefixMask(unsigned prefixLength) noexcept {
    std::uint32_t mask = prefixLength == 0 ? 0 : prefixLength >= 32 ? 0xFFFFFFFFu : ~0u << (32 - prefixLength);
    return {static_cast<std::uint8_t>(mask >> 24), static_cast<std::uint8_t>(mask >> 16),
            static_cast<std::uint8_t>(mask >> 8), static_cast<std::uint8_t>(mask)};
}

bool OnSubnet(const Ipv4Interface& face, const Ipv4Octets& address) noexcept {
    Ipv4Octets mask = PrefixMask(face.prefixLength);
    for (int i = 0; i < 4; ++i) {
        if ((face.address[i] & mask[i]) != (address[i] & mask[i])) return false;
    }
    return true;
}

Ipv4Octets DirectedBroadcast(const Ipv4Interface& face) noexcept {
    Ipv4Octets mask = PrefixMask(face.prefixLength);
    Ipv4Octets broadcast;
    for (int i = 0; i < 4; ++i) broadcast[i] = static_cast<std::uint8_t>(face.address[i] | ~mask[i]);
    return broadcast;
}

bool HostIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error) {
    // Asked once a run: the list serves the route, the odd addresses, the
    // no-reply advice and the discovery, and asking costs milliseconds under Wine.
    static bool listed = false;
    static std::vector<Ipv4Interface> known;
    static std::string knownError;
    if (!listed) {
        listed = true;
        ListIpv4Interfaces(known, knownError);
    }
    interfaces = known;
    error = knownError;
    return knownError.empty();
}

std::vector<Ipv4Octets> HostDirectedBroadcasts() {
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    std::vector<Ipv4Octets> broadcasts;
    HostIpv4Interfaces(interfaces, error);
    for (const Ipv4Interface& face : interfaces) {
        if (face.address[0] != 127 && face.prefixLength < 31) broadcasts.push_back(DirectedBroadcast(face));
    }
    return broadcasts;
}

bool RouteTo(const Ipv4Octets& destination, Ipv4Interface& through, std::string& error) {
    UniqueModule iphlpapi = LoadSystemLibrary(L"iphlpapi.dll");
    auto getBest = iphlpapi ? ResolveEntryPoint<GetBestInterfaceFunction>(iphlpapi.get(), "GetBestInterface") : nullptr;
    if (!getBest) {
        error = "iphlpapi.dll could not be loaded from the system directory";
        return false;
    }
    IPAddr address;
    std::memcpy(&address, destination.data(), 4);
    DWORD index = 0;
    DWORD result = getBest(address, &index);
    if (result != NO_ERROR) {
        error = ErrorText(result);
        return false;
    }
    std::vector<Ipv4Interface> interfaces;
    HostIpv4Interfaces(interfaces, error);
    for (const Ipv4Interface& face : interfaces) {
        if (face.index != index) continue;
        through = face;
        if (OnSubnet(face, destination)) return true;
    }
    if (through.index == index) return true;
    error = Format("interface %lu, which has no IPv4 address", static_cast<unsigned long>(index));
    return false;
}

std::vector<std::string> UdpPortHolders(std::uint16_t port) {
    std::vector<std::string> holders;
    UniqueModule iphlpapi = LoadSystemLibrary(L"iphlpapi.dll");
    auto getTable = iphlpapi ? ResolveEntryPoint<GetExtendedUdpTableFunction>(iphlpapi.get(), "GetExtendedUdpTable")
                             : nullptr;
    if (!getTable) return holders;
    DWORD result = 0;
    auto buffer = FilledBuffer(
        [&](std::uint8_t* data, ULONG* size) {
            DWORD tableSize = *size;
            DWORD filled = getTable(data, &tableSize, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
            *size = tableSize;
            return filled;
        },
        result);
    if (!buffer) return holders;
    const DWORD self = ::GetCurrentProcessId();
    const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.get());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_UDPROW_OWNER_PID& row = table->table[i];
        // Owner 0 is no process: the system does not know who holds it. The
        // doctor itself is never the holder it looks for: a handle it was
        // given by whoever started it is not its socket.
        const DWORD owner = row.dwOwningPid;
        if (::ntohs(static_cast<u_short>(row.dwLocalPort)) != port || owner == 0 || owner == self) continue;
        std::string image = ProcessImage(owner);
        holders.push_back(Format("process %lu", static_cast<unsigned long>(owner)) +
                          (image.empty() ? "" : " (" + Given(image) + ")"));
    }
    return holders;
}

std::vector<std::string> FileHolders(const std::wstring& path) {
    std::vector<std::string> holders;
    UniqueModule manager = LoadSystemLibrary(L"rstrtmgr.dll");
    if (!manager) return holders;
    auto start = ResolveEntryPoint<RmStartSessionFunction>(manager.get(), "RmStartSession");
    auto end = ResolveEntryPoint<RmEndSessionFunction>(manager.get(), "RmEndSession");
    auto add = ResolveEntryPoint<RmRegisterResourcesFunction>(manager.get(), "RmRegisterResources");
    auto list = ResolveEntryPoint<RmGetListFunction>(manager.get(), "RmGetList");
    if (!start || !end || !add || !list) return holders;
    DWORD session = 0;
    WCHAR key[CCH_RM_SESSION_KEY + 1] = {};
    if (start(&session, 0, key) != ERROR_SUCCESS) return holders;
    LPCWSTR files[] = {path.c_str()};
    RM_PROCESS_INFO processes[8] = {};
    UINT needed = 0;
    UINT count = static_cast<UINT>(sizeof processes / sizeof processes[0]);
    DWORD reasons = 0;
    if (add(session, 1, files, 0, nullptr, 0, nullptr) == ERROR_SUCCESS &&
        list(session, &needed, &count, processes, &reasons) == ERROR_SUCCESS) {
        for (UINT i = 0; i < count; ++i) {
            holders.push_back(Given(Utf8FromWide(processes[i].strAppName)) +
                              Format(" (process %lu)", static_cast<unsigned long>(processes[i].Process.dwProcessId)));
        }
    }
    end(session);
    return holders;
}

std::string FileVersionOf(const char* path) {
    wchar_t widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) return {};
    VS_FIXEDFILEINFO fixed;
    if (!ReadFixedFileVersion(widePath, fixed)) return {};
    return VersionText(fixed.dwFileVersionMS, fixed.dwFileVersionLS);
}

std::string WindowsBuild() {
    // The doctor's manifest names every Windows it supports, so GetVersionExW
    // tells it the version it runs on; Wine keeps the same rule.
    OSVERSIONINFOW info = {};
    info.dwOSVersionInfoSize = sizeof info;
    if (!::GetVersionExW(&info)) return "unknown";
    return Format("%lu.%lu.%lu", info.dwMajorVersion, info.dwMinorVersion, info.dwBuildNumber);
}

std::string WineVersion() {
    HMODULE ntdll = ::GetModuleHandleW(L"ntdll.dll");
    auto getWine = ntdll ? ResolveEntryPoint<WineGetVersionFunction>(ntdll, "wine_get_version") : nullptr;
    return getWine ? getWine() : "";
}

}  // namespace zmk::doctor
