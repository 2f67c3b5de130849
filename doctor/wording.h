// Plain words for what the detection decides: the statuses, the Art-Net
// verdicts with the fields they found, the D2XX records and the
// identification table's rows. The decisions are the library's, and so are
// the decoded fields (artnet_packets.h); this only names them. No Windows
// header: the words are tested natively.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "artnet_packets.h"
#include "device_status.h"
#include "usb_classification.h"

namespace zmk::doctor {

inline const char* StatusName(std::int32_t status) noexcept { return DeviceStatusName(status); }
// One sentence: what Borvanect will do with the status.
const char* StatusConsequence(std::int32_t status) noexcept;

// "OpPoll", "OpDmx", ... or "OpCode 0x1234".
std::string OpCodeName(int opCode);
std::string DottedText(const Ipv4Octets& address);
// A fixed text field of a reply up to its first zero byte (all of it without one).
template <std::size_t Size>
std::string FieldText(const std::array<char, Size>& field) {
    std::size_t length = 0;
    while (length < Size && field[length] != '\0') ++length;
    return std::string(field.data(), length);
}
// "output DMX512", "input DMX512", "neither output nor input DMX512", ...
std::string PortTypeText(std::uint8_t portType);
// Net, Sub-Net and the switch of port 1 as the 15-bit Port-Address.
unsigned PortAddress(const ArtPollReplyFields& fields) noexcept;
// What SwOut[0] sets port 1 to output: "Sub-Net 1, universe 0 of that sub-net".
std::string OutputUniverseText(std::uint8_t swOut);

// What a datagram on the Art-Net port is, and every test it fails, as the
// library's check lists them. ownPoll: it came from this computer and holds
// the poll the doctor sent (a poll to an own or broadcast address comes back).
std::string ReplyVerdictText(const ReplyFaults& faults, const std::uint8_t* datagram, std::size_t length,
                             const Ipv4Octets& configured, const Ipv4Octets& source, bool ownPoll = false);
// One failed test in words, with the field found against what is expected.
std::string FaultText(ReplyVerdict fault, const ArtPollReplyFields& fields, const Ipv4Octets& configured,
                      const Ipv4Octets& source);

// Why an address in the settings can be no node's: 0.0.0.0, loopback, the
// limited broadcast, a directed broadcast of one of this computer's subnets
// (given), multicast, reserved; empty when it could be a node's.
std::string OddAddress(const Ipv4Octets& address, const std::vector<Ipv4Octets>& directedBroadcasts = {});

// D2XX record flags in words; the chip type's name ("232R", "2232H", "type 99").
inline constexpr std::uint32_t kFtFlagOpened = 1;
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
// What the list call's verdict means, for every verdict but OneWritten.
std::string ListedRecordsText(ListedRecords verdict, std::uint32_t counted, std::uint32_t described);

}  // namespace zmk::doctor
