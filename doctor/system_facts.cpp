#include "system_facts.h"

#include <winsock2.h>
#include <iphlpapi.h>

#include <cstring>
#include <memory>

#include "findings.h"
#include "win32/entry_point.h"
#include "win32/file_version.h"
#include "win32/system_library.h"
#include "win32/unique_resource.h"

namespace zmk::doctor {
namespace {

using GetAdaptersAddressesFunction = ULONG(WINAPI*)(ULONG, ULONG, PVOID, PIP_ADAPTER_ADDRESSES, PULONG);
using GetExtendedUdpTableFunction = DWORD(WINAPI*)(PVOID, PDWORD, BOOL, ULONG, UDP_TABLE_CLASS, ULONG);
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

std::string WideToUtf8(const wchar_t* text) {
    int size = ::WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (size <= 1) return {};
    std::string utf8(static_cast<std::size_t>(size), '\0');
    ::WideCharToMultiByte(CP_UTF8, 0, text, -1, utf8.data(), size, nullptr, nullptr);
    utf8.resize(static_cast<std::size_t>(size - 1));
    return utf8;
}

std::string ProcessImage(DWORD pid) {
    UniqueHandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
    if (!process) return {};
    char path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    if (!::QueryFullProcessImageNameA(process.get(), 0, path, &size)) return {};
    return path;
}

}  // namespace

std::string ErrorText(DWORD error) {
    char text[512] = {};
    DWORD length = ::FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                    text, sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) {
        text[--length] = '\0';
    }
    return Format("error %lu", static_cast<unsigned long>(error)) + (length > 0 ? std::string(": ") + text : "");
}

std::string AnsiToUtf8(const std::string& text) {
    if (text.empty()) return {};
    int wide = ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    if (wide <= 0) return {};
    std::wstring converted(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), converted.data(), wide);
    return WideToUtf8(converted.c_str());
}

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

static bool ListIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error);

bool HostIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error) {
    // Asked once a run: the list serves the poll's route, the no-reply
    // advice and the discovery, and asking costs milliseconds under Wine.
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

static bool ListIpv4Interfaces(std::vector<Ipv4Interface>& interfaces, std::string& error) {
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
            face.name = WideToUtf8(adapter->FriendlyName);
            std::memcpy(face.address.data(), &reinterpret_cast<const sockaddr_in*>(address)->sin_addr, 4);
            face.prefixLength = unicast->OnLinkPrefixLength;
            interfaces.push_back(face);
        }
    }
    return true;
}

std::vector<std::string> UdpPortOwners(std::uint16_t port) {
    std::vector<std::string> owners;
    UniqueModule iphlpapi = LoadSystemLibrary(L"iphlpapi.dll");
    auto getTable = iphlpapi ? ResolveEntryPoint<GetExtendedUdpTableFunction>(iphlpapi.get(), "GetExtendedUdpTable")
                             : nullptr;
    if (!getTable) return owners;
    DWORD result = 0;
    auto buffer = FilledBuffer(
        [&](std::uint8_t* data, ULONG* size) {
            DWORD tableSize = *size;
            DWORD filled = getTable(data, &tableSize, FALSE, AF_INET, UDP_TABLE_OWNER_PID, 0);
            *size = tableSize;
            return filled;
        },
        result);
    if (!buffer) return owners;
    const auto* table = reinterpret_cast<const MIB_UDPTABLE_OWNER_PID*>(buffer.get());
    for (DWORD i = 0; i < table->dwNumEntries; ++i) {
        const MIB_UDPROW_OWNER_PID& row = table->table[i];
        // Owner 0 is no process: the system does not know who holds it.
        if (::ntohs(static_cast<u_short>(row.dwLocalPort)) != port || row.dwOwningPid == 0) continue;
        std::string image = ProcessImage(row.dwOwningPid);
        owners.push_back(Format("process %lu", static_cast<unsigned long>(row.dwOwningPid)) +
                         (image.empty() ? "" : " (" + image + ")"));
    }
    return owners;
}

double MillisecondsSince(const LARGE_INTEGER& start) {
    LARGE_INTEGER now, frequency;
    ::QueryPerformanceCounter(&now);
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

std::string FileVersionOf(const char* path) {
    wchar_t widePath[MAX_PATH];
    if (::MultiByteToWideChar(CP_ACP, 0, path, -1, widePath, MAX_PATH) == 0) return {};
    VS_FIXEDFILEINFO fixed;
    if (!ReadFixedFileVersion(widePath, fixed)) return {};
    return Format("%lu.%lu.%lu.%lu", fixed.dwFileVersionMS >> 16, fixed.dwFileVersionMS & 0xFFFF,
                  fixed.dwFileVersionLS >> 16, fixed.dwFileVersionLS & 0xFFFF);
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
