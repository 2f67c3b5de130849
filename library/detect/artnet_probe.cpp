#include "artnet_probe.h"

#include <winsock2.h>
#include <windows.h>

#include <cstring>

#include "artnet_packets.h"
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

// One probe: its socket and read event, its one deadline, the datagram last
// read, and who is told of its steps.
struct Probe {
    SOCKET socket;
    WSAEVENT event;
    ULONGLONG deadline;
    Ipv4Octets configured;
    const ProbeObserver* observer;
    std::uint8_t reply[kReplyBufferSize];
    sockaddr_in source;
    int received;
};

// Tells the observer, when there is one, of a step. Out of line, so that the
// library, which never has an observer, pays a call.
__attribute__((noinline)) void Tell(const Probe& probe, ProbeStep step, int value) noexcept {
    if (probe.observer == nullptr) return;
    // A receive that failed for a datagram too long still filled the buffer.
    const std::size_t length = probe.received < 0 ? sizeof probe.reply : static_cast<std::size_t>(probe.received);
    const ProbeEvent event{step, value, probe.reply, length, &probe.source, probe.socket, probe.event};
    probe.observer->notify(probe.observer->context, event);
}

enum class Datagram { Accepted, Skipped, Failed };

// Takes one queued datagram off the socket and judges it. Wine and Windows
// both re-signal the event from recvfrom while more data is queued, so the
// event is reset first and the caller just waits again.
Datagram ReceiveReply(Probe& probe) noexcept {
    ::WSAResetEvent(probe.event);
    std::memset(probe.reply, 0, sizeof probe.reply);
    int sourceLength = sizeof probe.source;
    probe.received = ::recvfrom(probe.socket, reinterpret_cast<char*>(probe.reply), sizeof probe.reply, 0,
                                reinterpret_cast<sockaddr*>(&probe.source), &sourceLength);
    if (probe.received == SOCKET_ERROR) {
        int error = ::WSAGetLastError();
        Tell(probe, ProbeStep::Unread, error);
        // A datagram longer than the buffer is not the reply; nothing queued
        // is a wake-up that another reader already served.
        return error == WSAEMSGSIZE || error == WSAEWOULDBLOCK ? Datagram::Skipped : Datagram::Failed;
    }
    ReplyVerdict verdict = CheckArtPollReply(probe.reply, static_cast<std::size_t>(probe.received), probe.configured,
                                             OctetsOf(probe.source));
    Tell(probe, ProbeStep::Datagram, static_cast<int>(verdict));
    return verdict == ReplyVerdict::Accepted ? Datagram::Accepted : Datagram::Skipped;
}

// Reads datagrams until an acceptable reply, an error, or the one deadline
// counted from the poll. Other traffic on the Art-Net port (another
// controller's poll, DMX, other nodes) is skipped rather than ending the probe.
bool AwaitReply(Probe& probe) noexcept {
    for (;;) {
        ULONGLONG now = ::GetTickCount64();
        if (now >= probe.deadline) return false;
        DWORD wait = ::WSAWaitForMultipleEvents(1, &probe.event, FALSE, static_cast<DWORD>(probe.deadline - now), FALSE);
        if (wait == WSA_WAIT_FAILED || wait == WSA_WAIT_TIMEOUT) return false;
        Datagram datagram = ReceiveReply(probe);
        if (datagram != Datagram::Skipped) return datagram == Datagram::Accepted;
    }
}

}  // namespace

int ProbeArtNetNode(const ProbeObserver* observer) noexcept {
    char path[kSettingsPathSize] = {};
    FolderLookup folder;
    if (!SettingsFilePath(path, folder)) return 0;
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
    Probe probe;
    probe.received = 0;
    probe.socket = socket.get();
    probe.event = event.get();
    probe.deadline = ::GetTickCount64() + kReplyWaitMs;
    probe.configured = OctetsOf(destination);
    probe.observer = observer;
    int bound = ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local);
    Tell(probe, ProbeStep::Bound, bound == 0 ? 0 : ::WSAGetLastError());
    if (bound != 0) return 0;

    auto poll = BuildArtPoll();
    int sent = ::sendto(socket.get(), reinterpret_cast<const char*>(poll.data()), static_cast<int>(poll.size()), 0,
                        reinterpret_cast<const sockaddr*>(&destination), sizeof destination);
    probe.deadline = ::GetTickCount64() + kReplyWaitMs;
    Tell(probe, ProbeStep::Sent, sent == SOCKET_ERROR ? ::WSAGetLastError() : 0);
    if (sent == SOCKET_ERROR) return 0;
    if (::WSAEventSelect(socket.get(), event.get(), FD_READ) != 0) return 0;
    bool accepted = AwaitReply(probe);
    // A listener may read on, on this socket, until the deadline.
    Tell(probe, ProbeStep::Decided, accepted ? 0 : 1);
    if (!accepted) return 0;

    // Event first, then socket, and each close must succeed for the reply to count.
    if (!::WSACloseEvent(event.release())) return 0;
    if (::closesocket(socket.release()) != 0) return 0;
    return 1;
}

}  // namespace zmk
