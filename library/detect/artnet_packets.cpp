#include "artnet_packets.h"

#include <cstring>

namespace zmk {
namespace {

constexpr char kArtNetId[8] = "Art-Net";
constexpr std::uint8_t kProtocolVersion = 14;

constexpr std::size_t kNodeAddressOffset = 20;

// True when the zero-terminated text at the start of field equals text.
bool FieldHoldsText(const std::uint8_t* field, const char* text) noexcept {
    std::size_t size = std::strlen(text) + 1;
    return std::memcmp(field, text, size) == 0;
}

}  // namespace

std::array<std::uint8_t, kArtPollSize> BuildArtPoll() noexcept {
    std::array<std::uint8_t, kArtPollSize> poll{};
    std::memcpy(poll.data(), kArtNetId, sizeof kArtNetId);
    poll[reply_offset::kOpCode] = kOpPoll & 0xFF;
    poll[reply_offset::kOpCode + 1] = kOpPoll >> 8;
    poll[10] = 0;  // ProtVerHi
    poll[11] = kProtocolVersion;
    return poll;  // Flags and DiagPriority stay 0.
}

Ipv4Octets NodeAddressFromSettings(const std::uint8_t* bytes, std::size_t length) noexcept {
    Ipv4Octets address{};
    for (std::size_t i = 0; i < address.size(); ++i) {
        std::size_t offset = kNodeAddressOffset + i;
        if (offset < length && offset < kSettingsBlockSize) address[i] = bytes[offset];
    }
    return address;
}

void FormatDottedAddress(const Ipv4Octets& address, char* text) noexcept {
    char* out = text;
    for (std::size_t i = 0; i < address.size(); ++i) {
        unsigned value = address[i];
        if (i != 0) *out++ = '.';
        if (value >= 100) *out++ = static_cast<char>('0' + value / 100);
        if (value >= 10) *out++ = static_cast<char>('0' + value / 10 % 10);
        *out++ = static_cast<char>('0' + value % 10);
    }
    *out = '\0';
}

ReplyVerdict ReplyFaults::First() const noexcept {
    // TooLong, NotArtNet and NotPollReply come alone; the field tests are
    // numbered in the order they are made.
    return bits_ == 0 ? ReplyVerdict::Accepted : static_cast<ReplyVerdict>(__builtin_ctz(bits_));
}

ReplyFaults CheckEveryReplyField(const std::uint8_t* datagram, std::size_t length, const Ipv4Octets& configured,
                                 const Ipv4Octets& source) noexcept {
    ReplyFaults faults;
    if (length > kReplyBufferSize) {
        faults.Add(ReplyVerdict::TooLong);
        return faults;
    }
    const ReceivedReply buffer(datagram, length);
    const std::uint8_t* reply = buffer.bytes;
    if (!FieldHoldsText(reply, kArtNetId)) {
        faults.Add(ReplyVerdict::NotArtNet);
        return faults;
    }
    if ((reply[reply_offset::kOpCode] | reply[reply_offset::kOpCode + 1] << 8) != kOpPollReply) {
        faults.Add(ReplyVerdict::NotPollReply);
        return faults;
    }
    // The addresses are compared as octets: their dotted texts come from the
    // same decimal form, so equal texts and equal octets are the same test.
    Ipv4Octets replyAddress;
    std::memcpy(replyAddress.data(), reply + reply_offset::kIpAddress, replyAddress.size());
    if (replyAddress != configured) faults.Add(ReplyVerdict::NotConfiguredNode);
    if (replyAddress != source) faults.Add(ReplyVerdict::NotFromNode);
    if ((reply[reply_offset::kPortTypes] & kPortOutputs) == 0) faults.Add(ReplyVerdict::PortCannotOutput);
    if (reply[reply_offset::kSwOut] != 0) faults.Add(ReplyVerdict::OutputSwitched);
    if (!FieldHoldsText(reply + reply_offset::kLongName, kOpenDmxEthernetName)) faults.Add(ReplyVerdict::NotOpenDmxEthernet);
    return faults;
}

ReplyVerdict CheckArtPollReply(const std::uint8_t* datagram, std::size_t length,
                               const Ipv4Octets& configured, const Ipv4Octets& source) noexcept {
    return CheckEveryReplyField(datagram, length, configured, source).First();
}

}  // namespace zmk
