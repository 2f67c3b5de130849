// What both Art-Net steps share: reading a socket until a window closes,
// however busy it is, and the words for a reply's fields and for the port's
// holders.
#pragma once

#include <winsock2.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "advice.h"
#include "artnet_packets.h"
#include "findings.h"
#include "system_facts.h"
#include "win32/clock.h"

namespace zmk::doctor {

// Large enough for any UDP datagram, so that a long one is seen whole.
inline constexpr int kLargestDatagram = 65536;
// A window looks at the clock at least this often, however busy its socket.
inline constexpr int kReadsPerTurn = 64;

std::string ErrorWords(int error);
sockaddr_in ArtNetAddress(const Ipv4Octets& address);
Ipv4Octets OctetsOf(const sockaddr_in& socketAddress);
// "\"name\"", the adapter's name as the system gave it.
std::string InterfaceName(const Ipv4Interface& face);

void SayReplyFields(Step& step, const ArtPollReplyFields& fields, Json& facts);
// The UDP port's holders, or the usual cause when the system names none.
void SayPortHolders(Step& step, Findings& findings);

struct Received {
    const std::uint8_t* bytes;
    std::size_t length;
    Ipv4Octets source;
    unsigned port;
    double ms;
};

// Reads what reaches socket until the window ends, looking at the clock after
// every datagram and waiting again after a bounded number, so that no storm
// holds it past its end. Returns the error that ended it early, or 0.
template <typename OnDatagram>
int ListenUntil(SOCKET socket, WSAEVENT event, LARGE_INTEGER from, double windowMs, OnDatagram onDatagram) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kLargestDatagram]);
    for (;;) {
        double left = windowMs - MillisecondsSince(from);
        if (left <= 0) return 0;
        DWORD signalled = ::WSAWaitForMultipleEvents(1, &event, FALSE, static_cast<DWORD>(left) + 1, FALSE);
        if (signalled == WSA_WAIT_FAILED) return ::WSAGetLastError();
        if (signalled != WSA_WAIT_EVENT_0) continue;
        ::WSAResetEvent(event);
        for (int read = 0; read < kReadsPerTurn; ++read) {
            sockaddr_in source = {};
            int sourceLength = sizeof source;
            int received = ::recvfrom(socket, reinterpret_cast<char*>(buffer.get()), kLargestDatagram, 0,
                                      reinterpret_cast<sockaddr*>(&source), &sourceLength);
            if (received == SOCKET_ERROR) {
                int error = ::WSAGetLastError();
                if (error == WSAEWOULDBLOCK) break;
                // A port unreachable answered to a poll: the next datagram may be fine.
                if (error == WSAECONNRESET) continue;
                return error;
            }
            onDatagram(Received{buffer.get(), static_cast<std::size_t>(received), OctetsOf(source),
                                ::ntohs(source.sin_port), MillisecondsSince(from)});
            if (MillisecondsSince(from) >= windowMs) return 0;
        }
    }
}

// What is still queued on socket when its window closed: counted, not read
// as replies. At least the number returned when counting ran out of time.
int CountUnread(SOCKET socket, bool& atLeast);
// Says, when there were any, how many datagrams the window left unread.
void SayUnread(Step& step, int unread, bool atLeast, const char* indent);

}  // namespace zmk::doctor
