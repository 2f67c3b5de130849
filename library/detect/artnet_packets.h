// The two Art-Net packets the probe uses, and the settings bytes that name the
// node. Plain bytes in, plain values out: no Windows header here.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace zmk {

using Ipv4Octets = std::array<std::uint8_t, 4>;

inline constexpr std::uint16_t kArtNetPort = 6454;
inline constexpr std::size_t kArtPollSize = 14;
// The probe receives into a buffer of this size; a longer datagram is not a reply.
inline constexpr std::size_t kReplyBufferSize = 240;
inline constexpr std::size_t kSettingsBlockSize = 128;
// Room for "255.255.255.255" and then some, as the host's own buffers have.
inline constexpr std::size_t kAddressTextSize = 32;

// Where an ArtPollReply's fields lie, as the Art-Net standard places them.
namespace reply_offset {
inline constexpr std::size_t kOpCode = 8;  // low byte first
inline constexpr std::size_t kIpAddress = 10;
inline constexpr std::size_t kPort = 14;
inline constexpr std::size_t kNetSwitch = 18;
inline constexpr std::size_t kSubSwitch = 19;
inline constexpr std::size_t kShortName = 26;
inline constexpr std::size_t kLongName = 44;
inline constexpr std::size_t kNodeReport = 108;
inline constexpr std::size_t kNumPorts = 172;  // Hi, then Lo
inline constexpr std::size_t kPortTypes = 174;
inline constexpr std::size_t kGoodOutput = 182;
inline constexpr std::size_t kSwOut = 190;
inline constexpr std::size_t kMac = 201;
inline constexpr std::size_t kBindIp = 207;
inline constexpr std::size_t kBindIndex = 211;
}  // namespace reply_offset

inline constexpr std::uint16_t kOpPoll = 0x2000;
inline constexpr std::uint16_t kOpPollReply = 0x2100;
inline constexpr std::uint16_t kOpDmx = 0x5000;
// PortTypes bits: the port can output DMX from the network, or input to it.
inline constexpr std::uint8_t kPortOutputs = 0x80;
inline constexpr std::uint8_t kPortInputs = 0x40;
inline constexpr char kOpenDmxEthernetName[] = "Open DMX Ethernet";

std::array<std::uint8_t, kArtPollSize> BuildArtPoll() noexcept;

// The node address held in bytes 20 to 23 of the host's network settings.
// Only the first 128 bytes count; a shorter block reads as if zero-filled.
Ipv4Octets NodeAddressFromSettings(const std::uint8_t* bytes, std::size_t length) noexcept;

// "%d.%d.%d.%d" into a text buffer of kAddressTextSize.
void FormatDottedAddress(const Ipv4Octets& address, char* text) noexcept;

// The OpCode of an Art-Net packet (low byte first), or -1 for a datagram
// that does not start with the Art-Net ID.
int ArtNetOpCode(const std::uint8_t* datagram, std::size_t length) noexcept;

// A datagram as the probe holds it: a zeroed 240-byte buffer with as much of
// the datagram as fits.
struct ReceivedReply {
    std::uint8_t bytes[kReplyBufferSize] = {};
    ReceivedReply(const std::uint8_t* datagram, std::size_t length) noexcept {
        if (length > sizeof bytes) length = sizeof bytes;
        if (length != 0) std::memcpy(bytes, datagram, length);
    }
};

// An ArtPollReply's fields, read as the probe reads the datagram: copied into
// a zeroed 240-byte buffer, so fields a short datagram lacks are zero (and a
// longer one is cut). Names are the fixed fields as sent, zero-padded.
struct ArtPollReplyFields {
    Ipv4Octets ipAddress{};
    std::uint16_t port = 0;
    std::uint8_t netSwitch = 0;
    std::uint8_t subSwitch = 0;
    std::array<char, 18> shortName{};
    std::array<char, 64> longName{};
    std::array<char, 64> nodeReport{};
    std::uint16_t numPorts = 0;
    std::array<std::uint8_t, 4> portTypes{};
    std::array<std::uint8_t, 4> goodOutput{};
    std::array<std::uint8_t, 4> swOut{};
    std::array<std::uint8_t, 6> mac{};
    Ipv4Octets bindIp{};
    std::uint8_t bindIndex = 0;
};

ArtPollReplyFields DecodeArtPollReply(const std::uint8_t* datagram, std::size_t length) noexcept;

// The tests on a received datagram, in the order they are made.
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

// Every test a datagram fails. A datagram too long, not Art-Net or not an
// ArtPollReply fails that one test only; an ArtPollReply is tested on every
// field, so that each field at fault is known at once.
class ReplyFaults {
public:
    void Add(ReplyVerdict verdict) noexcept { bits_ |= Bit(verdict); }
    bool Has(ReplyVerdict verdict) const noexcept { return (bits_ & Bit(verdict)) != 0; }
    bool None() const noexcept { return bits_ == 0; }
    // The first in the order the tests are made, as the probe decides.
    ReplyVerdict First() const noexcept;

private:
    static constexpr unsigned Bit(ReplyVerdict verdict) noexcept { return 1u << static_cast<unsigned>(verdict); }
    unsigned bits_ = 0;
};

// The probe's order, for a caller that lists the faults: TooLong, which the
// probe finds on receipt, first.
inline constexpr ReplyVerdict kReplyTestOrder[] = {
    ReplyVerdict::TooLong,          ReplyVerdict::NotArtNet,        ReplyVerdict::NotPollReply,
    ReplyVerdict::NotConfiguredNode, ReplyVerdict::NotFromNode,     ReplyVerdict::PortCannotOutput,
    ReplyVerdict::OutputSwitched,   ReplyVerdict::NotOpenDmxEthernet,
};

ReplyFaults CheckEveryReplyField(const std::uint8_t* datagram, std::size_t length, const Ipv4Octets& configured,
                                 const Ipv4Octets& source) noexcept;

// A datagram is judged as if copied into a zeroed 240-byte buffer: missing
// fields read as zero, and anything longer does not fit and is refused. The
// first test that fails names the verdict.
ReplyVerdict CheckArtPollReply(const std::uint8_t* datagram, std::size_t length,
                               const Ipv4Octets& configured, const Ipv4Octets& source) noexcept;

}  // namespace zmk
