// Plain words for what the detection decides: the statuses, the Art-Net
// verdicts with the fields they looked at, the D2XX records and the
// identification table's rows. The decisions themselves are the library's;
// this only reads the same bytes again to name them. No Windows header.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "artnet_packets.h"
#include "device_status.h"

namespace zmk::doctor {

inline const char* StatusName(std::int32_t status) noexcept { return DeviceStatusName(status); }
// One sentence: what Borvanect will do with the status.
const char* StatusConsequence(std::int32_t status) noexcept;

// An ArtPollReply's fields a technician reads, from a datagram read as the
// probe reads it (missing bytes are zero).
struct PollReplyFields {
    Ipv4Octets ipAddress{};
    unsigned port = 0;
    unsigned net = 0;
    unsigned subNet = 0;
    std::string shortName;
    std::string longName;
    std::string nodeReport;
    unsigned numPorts = 0;
    std::uint8_t portTypes[4] = {};
    std::uint8_t goodOutput[4] = {};
    std::uint8_t swOut[4] = {};
    std::uint8_t mac[6] = {};
    Ipv4Octets bindIp{};
    unsigned bindIndex = 0;
};

PollReplyFields DecodePollReply(const std::uint8_t* datagram, std::size_t length);
// The OpCode, low byte first, or -1 for a datagram that is not Art-Net.
int ArtNetOpCode(const std::uint8_t* datagram, std::size_t length) noexcept;
// "OpPoll", "OpDmx", ... or "OpCode 0x1234".
std::string OpCodeName(int opCode);

// The verdict in plain words, with the field that failed against what is expected.
std::string ReplyVerdictText(ReplyVerdict verdict, const std::uint8_t* datagram, std::size_t length,
                             const Ipv4Octets& configured, const Ipv4Octets& source);
// "output", "input", "output+input" or "none", and the protocol of the low bits.
std::string PortTypeText(std::uint8_t portType);
// Net, Sub-Net and the switch of port 1 as the 15-bit Port-Address.
unsigned PortAddress(const PollReplyFields& fields) noexcept;
std::string DottedText(const Ipv4Octets& address);
// "loopback", "broadcast", ... or empty when the address could be a node's.
std::string OddAddress(const Ipv4Octets& address);

// D2XX record flags in words; the chip type's name ("232R", "2232H", "type 99").
std::string DeviceFlagsText(std::uint32_t flags);
std::string ChipTypeName(std::uint32_t type);
// Which row of the identification table takes the device, and why, with the
// first byte that differs from a listed description the device misses.
struct RowExplanation {
    int step = 0;
    DeviceStatus status = UnrecognizedUsbDevice;
    std::string why;
};
RowExplanation ExplainIdentification(std::uint32_t type, const char* description);

}  // namespace zmk::doctor
