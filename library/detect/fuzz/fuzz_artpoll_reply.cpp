// Any datagram, of any length, from any source, for any configured node: a
// verdict, never a read past the datagram. The input's first four bytes are
// the configured address, the next four the sender's, the rest the datagram.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "artnet_packets.h"

namespace {

constexpr std::size_t kAddresses = 8;

// The reply's own address field, as the check reads it: zero where the
// datagram is too short to hold it.
zmk::Ipv4Octets ReplyAddress(const std::uint8_t* datagram, std::size_t size) {
    zmk::Ipv4Octets address{};
    for (std::size_t i = 0; i < 4; ++i) address[i] = 10 + i < size ? datagram[10 + i] : 0;
    return address;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < kAddresses) return 0;
    zmk::Ipv4Octets configured, source;
    std::memcpy(configured.data(), data, 4);
    std::memcpy(source.data(), data + 4, 4);
    // An exact-size heap copy, so that ASan sees any read beyond the datagram.
    std::vector<std::uint8_t> datagram(data + kAddresses, data + size);
    const std::size_t length = datagram.size();
    const zmk::ReplyVerdict verdict = zmk::CheckArtPollReply(datagram.data(), length, configured, source);

    if ((verdict == zmk::ReplyVerdict::TooLong) != (length > zmk::kReplyBufferSize)) std::abort();
    // Every fault listed, the first of them the probe's verdict; the decoded
    // fields read nothing beyond the datagram.
    const zmk::ReplyFaults faults = zmk::CheckEveryReplyField(datagram.data(), length, configured, source);
    if (faults.First() != verdict || faults.None() != (verdict == zmk::ReplyVerdict::Accepted)) std::abort();
    const zmk::ArtPollReplyFields fields = zmk::DecodeArtPollReply(datagram.data(), length);
    if (length <= 10 && fields.ipAddress != zmk::Ipv4Octets{}) std::abort();
    const zmk::Ipv4Octets replyAddress = ReplyAddress(datagram.data(), length);
    if (verdict == zmk::ReplyVerdict::NotFromNode && (replyAddress != configured || replyAddress == source))
        std::abort();
    if (verdict == zmk::ReplyVerdict::Accepted) {
        const std::uint8_t* d = datagram.data();
        bool sound = length >= 175 && std::memcmp(d, "Art-Net", 8) == 0 && d[8] == 0x00 && d[9] == 0x21 &&
                     replyAddress == configured && replyAddress == source && (d[174] & 0x80) != 0 &&
                     (length <= 190 || d[190] == 0) && std::memcmp(d + 44, "Open DMX Ethernet", 18) == 0;
        if (!sound) std::abort();
    }
    return 0;
}
