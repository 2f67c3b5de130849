// Settings files of any length give an address and its dotted text.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "artnet_packets.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::uint8_t> block(data, data + size);
    zmk::Ipv4Octets address = zmk::NodeAddressFromSettings(block.data(), block.size());
    for (std::size_t i = 0; i < 4; ++i) {
        if (address[i] != (20 + i < size ? data[20 + i] : 0)) std::abort();
    }
    char text[zmk::kAddressTextSize];
    std::memset(text, 'x', sizeof text);
    zmk::FormatDottedAddress(address, text);
    char expected[zmk::kAddressTextSize];
    std::snprintf(expected, sizeof expected, "%u.%u.%u.%u", address[0], address[1], address[2], address[3]);
    if (std::strcmp(text, expected) != 0) std::abort();
    return 0;
}
