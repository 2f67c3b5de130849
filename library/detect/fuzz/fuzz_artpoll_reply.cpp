// Any datagram, of any length, from any source: a verdict, never a read past it.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "artnet_packets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const zmk::Ipv4Octets node = {198, 18, 0, 2};
    // An exact-size heap copy, so that ASan sees any read beyond the datagram.
    std::vector<std::uint8_t> datagram(data, data + size);
    zmk::ReplyVerdict verdict = zmk::CheckArtPollReply(datagram.data(), datagram.size(), node, node);
    if (verdict == zmk::ReplyVerdict::Accepted) {
        bool sound = size >= 175 && size <= 240 && std::memcmp(data, "Art-Net", 8) == 0 && data[174] & 0x80;
        if (!sound) std::abort();
    }
    if ((verdict == zmk::ReplyVerdict::TooLong) != (size > 240)) std::abort();
    return 0;
}
