// Does the Art-Net node the host is configured to use answer as an Open DMX
// Ethernet node? The host must have started Winsock.
#pragma once

#include <cstddef>
#include <cstdint>

#include "artnet_packets.h"

namespace zmk {

// How long the probe waits for a reply after its poll.
inline constexpr unsigned kReplyWaitMs = 3000;

// What the probe does and sees, told as it happens to a caller that explains
// it (the technician's tool); the library's own detection tells no one.
enum class ProbeStep {
    Bound,       // the socket took port 6454, or not: value is bind's error (0 when it succeeded)
    Sent,        // the ArtPoll: value is sendto's error; the 3000 ms count from here
    Datagram,    // one datagram read: value is the ReplyVerdict the probe gave it
    Unread,      // a receive that failed: value is its error; WSAEMSGSIZE is a datagram over
                 // 240 bytes, skipped, whose first 240 bytes and sender the event holds
    Decided,     // the probe stops listening: value is 1 when it took a reply
};

struct ProbeEvent {
    ProbeStep step;
    int value;
    // Datagram (and Unread): what was read, as the probe holds it, and its
    // sender (a sockaddr_in).
    const std::uint8_t* datagram;
    std::size_t length;
    const void* source;
    // Decided: the probe's socket and read event, still open, for a listener
    // that reads on after the decision until the deadline; the probe closes
    // both once the observer returns.
    std::uintptr_t socket;
    void* readEvent;
};

struct ProbeObserver {
    void (*notify)(void* context, const ProbeEvent& event);
    void* context;
};

// 1 when the configured node gave an acceptable ArtPollReply within 3000 ms of
// the poll, 0 otherwise. observer, when given, is told each step.
int ProbeArtNetNode(const ProbeObserver* observer = nullptr) noexcept;

}  // namespace zmk
