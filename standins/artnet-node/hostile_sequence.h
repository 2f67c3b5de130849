// The malformed replies a hostile node sends, in a fixed sequence.
#pragma once

#include <netinet/in.h>

#include "packets.h"

namespace artnet_node {

// The malformed sequence: item I of it, the same for every run with the same
// seed, so that a burst can be split over several polls with hostile_from.
// In order: every other value of each byte that the probe checks (ID, OpCode,
// IpAddress, LongName with its terminator; PortTypes[0] without bit 0x80;
// SwOut[0] not 0), every cut that ends before PortTypes[0] (a longer cut
// leaves every checked field whole and is a fair reply), replies longer than
// the probe's 240 bytes, the good reply from the second address, and then
// random bytes, half of them behind a correct Art-Net reply header.
struct Malformed {
    Bytes bytes;
    bool fromSecond = false;
};

// Item item of the sequence for the node at address (the second-address
// items only when the node has a second address).
Malformed HostileDatagram(in_addr address, bool haveSecond, unsigned long seed, long item);

}  // namespace artnet_node
