// The two Art-Net packets the probe uses, and the settings bytes that name the
// node. Plain bytes in, plain values out: no Windows header here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace zmk {

using Ipv4Octets = std::array<std::uint8_t, 4>;

inline constexpr std::uint16_t kArtNetPort = 6454;
inline constexpr std::size_t kArtPollSize = 14;
// The probe receives into a buffer of this size; a longer datagram is not a reply.
inline constexpr std::size_t kReplyBufferSize = 240;
inline constexpr std::size_t kSettingsBlockSize = 128;
// Room for "255.255.255.255" and then some, as the host's own buffers have.
inline constexpr std::size_t kAddressTextSize = 32;

std::array<std::uint8_t, kArtPollSize> BuildArtPoll() noexcept;

// The node address held in bytes 20 to 23 of the host's network settings.
// Only the first 128 bytes count; a shorter block reads as if zero-filled.
Ipv4Octets NodeAddressFromSettings(const std::uint8_t* bytes, std::size_t length) noexcept;

// "%d.%d.%d.%d" into a text buffer of kAddressTextSize.
void FormatDottedAddress(const Ipv4Octets& address, char* text) noexcept;

// The tests on a received datagram, in the order they are made. The first
// that fails names the verdict.
enum class ReplyVerdict {
    Accepted,
    NotArtNet,
    NotPollReply,
    NotConfiguredNode,
    NotFromNode,
    PortCannotOutput,
    OutputSwitched,
    NotOpenDmxEthernet,
    TooLong,
};

// A datagram is judged as if copied into a zeroed 240-byte buffer: missing
// fields read as zero, and anything longer does not fit and is refused.
ReplyVerdict CheckArtPollReply(const std::uint8_t* datagram, std::size_t length,
                               const Ipv4Octets& configured, const Ipv4Octets& source) noexcept;

}  // namespace zmk
