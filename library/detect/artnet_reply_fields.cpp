// The ArtPollReply's fields as a person reads them. Apart from the checks so
// that the library, which never decodes more than it tests, does not carry it.
#include <cstring>

#include "artnet_packets.h"

namespace zmk {
namespace {

template <typename Byte, std::size_t Size>
void CopyField(std::array<Byte, Size>& field, const std::uint8_t* at) noexcept {
    std::memcpy(field.data(), at, Size);
}

}  // namespace

int ArtNetOpCode(const std::uint8_t* datagram, std::size_t length) noexcept {
    if (length < reply_offset::kOpCode + 2 || std::memcmp(datagram, "Art-Net", 8) != 0) return -1;
    return datagram[reply_offset::kOpCode] | datagram[reply_offset::kOpCode + 1] << 8;
}

ArtPollReplyFields DecodeArtPollReply(const std::uint8_t* datagram, std::size_t length) noexcept {
    const ReceivedReply reply(datagram, length);
    const std::uint8_t* b = reply.bytes;
    ArtPollReplyFields fields;
    CopyField(fields.ipAddress, b + reply_offset::kIpAddress);
    fields.port = static_cast<std::uint16_t>(b[reply_offset::kPort] | b[reply_offset::kPort + 1] << 8);
    fields.netSwitch = b[reply_offset::kNetSwitch];
    fields.subSwitch = b[reply_offset::kSubSwitch];
    CopyField(fields.shortName, b + reply_offset::kShortName);
    CopyField(fields.longName, b + reply_offset::kLongName);
    CopyField(fields.nodeReport, b + reply_offset::kNodeReport);
    fields.numPorts = static_cast<std::uint16_t>(b[reply_offset::kNumPorts] << 8 | b[reply_offset::kNumPorts + 1]);
    CopyField(fields.portTypes, b + reply_offset::kPortTypes);
    CopyField(fields.goodOutput, b + reply_offset::kGoodOutput);
    CopyField(fields.swOut, b + reply_offset::kSwOut);
    CopyField(fields.mac, b + reply_offset::kMac);
    CopyField(fields.bindIp, b + reply_offset::kBindIp);
    fields.bindIndex = b[reply_offset::kBindIndex];
    return fields;
}

}  // namespace zmk
