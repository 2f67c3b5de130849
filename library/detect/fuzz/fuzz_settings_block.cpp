// Settings files of any length give an address and its dotted text.
#include <cstdlib>
#include <cstring>
#include <vector>

#include "artnet_packets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block(data, data + size);
    zmk::Ipv4Octets address = zmk::NodeAddressFromSettings(block.data(), block.size());
    char text[zmk::kAddressTextSize];
    std::memset(text, 'x', sizeof text);
    zmk::FormatDottedAddress(address, text);
    if (std::strlen(text) > 15) std::abort();
    return 0;
}
