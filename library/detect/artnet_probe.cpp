#include "artnet_probe.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "artnet_packets.h"
#include "bounded_text.h"
#include "host_settings.h"
#include "socket_resource.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

// Overwritten by every probe; nothing passes from one probe to the next.
std::uint8_t g_settingsBlock[kSettingsBlockSize];
char g_configuredAddress[kAddressTextSize];

sockaddr_in Ipv4SocketAddress(ULONG address) noexcept {
    sockaddr_in socketAddress = {};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = ::htons(kArtNetPort);
    socketAddress.sin_addr.s_addr = address;
    return socketAddress;
}

Ipv4Octets OctetsOf(const sockaddr_in& socketAddress) noexcept {
    Ipv4Octets octets;
    std::memcpy(octets.data(), &socketAddress.sin_addr, octets.size());
    return octets;
}

enum class Datagram { Accepted, Skipped, Failed };

// Takes one queued datagram off the socket and judges it. Wine and Windows
// both re-signal the event from recvfrom while more data is queued, so the
// event is reset first and the caller just waits again.
Datagram ReceiveReply(SOCKET socket, WSAEVENT event, const Ipv4Octets& configured) noexcept {
    ::WSAResetEvent(event);
    std::uint8_t reply[kReplyBufferSize] = {};
    sockaddr_in source = {};
    int sourceLength = sizeof source;
    int received = ::recvfrom(socket, reinterpret_cast<char*>(reply), sizeof reply, 0,
                              reinterpret_cast<sockaddr*>(&source), &sourceLength);
    if (received == SOCKET_ERROR) {
        int error = ::WSAGetLastError();
        // A datagram longer than the buffer is not the reply; nothing queued
        // is a wake-up that another reader already served.
        return error == WSAEMSGSIZE || error == WSAEWOULDBLOCK ? Datagram::Skipped : Datagram::Failed;
    }
    bool accepted = CheckArtPollReply(reply, static_cast<std::size_t>(received), configured, OctetsOf(source)) ==
                    ReplyVerdict::Accepted;
    return accepted ? Datagram::Accepted : Datagram::Skipped;
}

// Reads datagrams until an acceptable reply, an error, or the one deadline
// counted from the poll. Other traffic on the Art-Net port (another
// controller's poll, DMX, other nodes) is skipped rather than ending the probe.
bool AwaitReply(SOCKET socket, WSAEVENT event, ULONGLONG deadline, const Ipv4Octets& configured) noexcept {
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= deadline) return false;
        DWORD wait = ::WSAWaitForMultipleEvents(1, &event, FALSE, static_cast<DWORD>(deadline - now), FALSE);
        if (wait == WSA_WAIT_FAILED || wait == WSA_WAIT_TIMEOUT) return false;
        Datagram datagram = ReceiveReply(socket, event, configured);
        if (datagram == Datagram::Failed) return false;
        if (datagram == Datagram::Accepted) return true;
    }
}

}  // namespace

bool SettingsFilePath(char (&path)[kSettingsPathSize]) noexcept {
    // MAX_PATH as for every path of the library: a folder that leaves no room
    // for the settings file's name ends the probe before anything is sent.
    static_assert(kSettingsPathSize == MAX_PATH);
    path[0] = '\0';
    if (!ReadUserMainFolder(path, sizeof path)) return false;
    return AppendText(path, "\\System\\ApplData") && AppendText(path, "\\Pelvaro.bin");
}

bool ReadSettingsBlock(const char* path, std::uint8_t (&block)[kSettingsBlockSize]) noexcept {
    std::memset(block, 0, sizeof block);
    // No sharing: a file the host is writing at this moment is not read half-done.
    UniqueFile file(::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD read = 0;
    if (!::ReadFile(file.get(), block, sizeof block, &read, nullptr)) return false;
    return ::CloseHandle(file.release()) != FALSE;
}

int ProbeArtNetNode() noexcept {
    char path[kSettingsPathSize] = {};
    if (!SettingsFilePath(path)) return 0;
    if (!ReadSettingsBlock(path, g_settingsBlock)) return 0;
    FormatDottedAddress(NodeAddressFromSettings(g_settingsBlock, sizeof g_settingsBlock), g_configuredAddress);

    sockaddr_in local = Ipv4SocketAddress(INADDR_ANY);
    sockaddr_in destination = Ipv4SocketAddress(::inet_addr(g_configuredAddress));

    // Declared before the event so that it is destroyed after it: the event
    // is always released first.
    UniqueSocket socket;
    UniqueWsaEvent event(::WSACreateEvent());
    if (!event) return 0;
    socket.reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket) return 0;
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return 0;

    auto poll = BuildArtPoll();
    if (::sendto(socket.get(), reinterpret_cast<const char*>(poll.data()), static_cast<int>(poll.size()), 0,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination) == SOCKET_ERROR) {
        return 0;
    }
    ULONGLONG deadline = ::GetTickCount64() + kReplyWaitMs;
    if (::WSAEventSelect(socket.get(), event.get(), FD_READ) != 0) return 0;
    if (!AwaitReply(socket.get(), event.get(), deadline, OctetsOf(destination))) return 0;

    // Event first, then socket, and each close must succeed for the reply to count.
    if (!::WSACloseEvent(event.release())) return 0;
    if (::closesocket(socket.release()) != 0) return 0;
    return 1;
}

}  // namespace zmk
