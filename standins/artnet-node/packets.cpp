#include "packets.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace artnet_node {

Bytes ArtNetHeader(std::uint16_t opCode, std::size_t size) {
    Bytes packet(size, 0);
    std::memcpy(packet.data(), "Art-Net", 8);
    packet[8] = opCode & 0xFF;
    packet[9] = opCode >> 8;
    return packet;
}

Bytes PollReply(in_addr address, std::size_t length) {
    Bytes reply = ArtNetHeader(0x2100, 239);
    std::memcpy(reply.data() + 10, &address, 4);
    reply[14] = kArtNetPort & 0xFF;
    reply[15] = kArtNetPort >> 8;
    std::memcpy(reply.data() + 26, "Open DMX", 8);
    std::memcpy(reply.data() + 44, "Open DMX Ethernet", 18);
    reply[173] = 1;     // NumPortsLo
    reply[174] = 0x80;  // PortTypes[0]: outputs DMX
    reply.resize(length, 0);
    return reply;
}

Bytes OtherTraffic(in_addr address, const std::string& kind) {
    if (kind == "poll") {
        Bytes poll = ArtNetHeader(0x2000, 14);
        poll[11] = 14;
        return poll;
    }
    if (kind == "dmx") {
        Bytes dmx = ArtNetHeader(0x5000, 530);
        dmx[11] = 14;
        dmx[16] = 0x02;  // LengthHi: 512 channels
        return dmx;
    }
    if (kind == "othernode") {
        in_addr other = address;
        reinterpret_cast<std::uint8_t*>(&other)[3] ^= 0x40;
        return PollReply(other, 239);
    }
    if (kind == "big") return PollReply(address, 1000);
    return Bytes{'n', 'o', 't', ' ', 'a', 'r', 't', '-', 'n', 'e', 't'};
}

Bytes Hex(const std::string& text) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < text.size(); i += 2) {
        bytes.push_back(static_cast<std::uint8_t>(std::strtoul(text.substr(i, 2).c_str(), nullptr, 16)));
    }
    return bytes;
}

std::string HexText(const Bytes& bytes) {
    std::string text;
    char pair[3];
    for (std::uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

}  // namespace artnet_node
