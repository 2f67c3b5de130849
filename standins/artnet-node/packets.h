// The Art-Net datagrams the simulated node sends: its ArtPollReply and the
// other traffic a probe meets on a real network.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace artnet_node {

inline constexpr std::uint16_t kArtNetPort = 6454;

using Bytes = std::vector<std::uint8_t>;

// An Art-Net packet of size bytes, zeros after its ID and OpCode.
Bytes ArtNetHeader(std::uint16_t opCode, std::size_t size);
// A good reply of an Open DMX Ethernet node at address, cut or padded to length.
Bytes PollReply(in_addr address, std::size_t length);
// What a scenario's before= sends first: poll, dmx, othernode, big; anything else is garbage.
Bytes OtherTraffic(in_addr address, const std::string& kind);

Bytes Hex(const std::string& text);
std::string HexText(const Bytes& bytes);

}  // namespace artnet_node
