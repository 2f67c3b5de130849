#include "artnet_packets.h"

#include <cstring>

namespace zmk {
namespace {

constexpr char kArtNetId[8] = "Art-Net";
constexpr char kOpenDmxEthernet[] = "Open DMX Ethernet";
constexpr std::uint16_t kOpPoll = 0x2000;
constexpr std::uint16_t kOpPollReply = 0x2100;
constexpr std::uint8_t kProtocolVersion = 14;

constexpr std::size_t kOpCodeOffset = 8;
constexpr std::size_t kIpAddressOffset = 10;
constexpr std::size_t kLongNameOffset = 44;
constexpr std::size_t kPortTypesOffset = 174;
constexpr std::size_t kSwOutOffset = 190;
constexpr std::uint8_t kPortOutputsDmx = 0x80;
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
    poll[kOpCodeOffset] = kOpPoll & 0xFF;
    poll[kOpCodeOffset + 1] = kOpPoll >> 8;
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

ReplyVerdict CheckArtPollReply(const std::uint8_t* datagram, std::size_t length,
                               const Ipv4Octets& configured, const Ipv4Octets& source) noexcept {
    if (length > kReplyBufferSize) return ReplyVerdict::TooLong;
    std::uint8_t reply[kReplyBufferSize] = {};
    if (length != 0) std::memcpy(reply, datagram, length);

    Ipv4Octets replyAddress;
    std::memcpy(replyAddress.data(), reply + kIpAddressOffset, replyAddress.size());
    unsigned opCode = reply[kOpCodeOffset] | reply[kOpCodeOffset + 1] << 8;

    if (!FieldHoldsText(reply, kArtNetId)) return ReplyVerdict::NotArtNet;
    if (opCode != kOpPollReply) return ReplyVerdict::NotPollReply;
    // The addresses are compared as octets: their dotted texts come from the
    // same decimal form, so equal texts and equal octets are the same test.
    if (replyAddress != configured) return ReplyVerdict::NotConfiguredNode;
    if (replyAddress != source) return ReplyVerdict::NotFromNode;
    if ((reply[kPortTypesOffset] & kPortOutputsDmx) == 0) return ReplyVerdict::PortCannotOutput;
    if (reply[kSwOutOffset] != 0) return ReplyVerdict::OutputSwitched;
    if (!FieldHoldsText(reply + kLongNameOffset, kOpenDmxEthernet)) return ReplyVerdict::NotOpenDmxEthernet;
    return ReplyVerdict::Accepted;
}

}  // namespace zmk
