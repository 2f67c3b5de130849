// What the simulated node does when a poll arrives, as a test sets it with
// "scenario key=value ..." (or --scenario at the start):
//   reply=good|none         answer the poll or stay silent (good)
//   length=N                reply length in bytes, padded with zeros (239)
//   poke=OFFSET:HEX         overwrite reply bytes, e.g. poke=190:01 (repeatable)
//   delay=MS                wait before replying (0)
//   before=KIND,...         send these first: poll, dmx, othernode, big
//                           (a good reply padded to 1000 bytes), garbage
//   source=second           send the reply from the second address
//   flood=RATE              unrelated datagrams per second until the reply,
//                           counted from the poll, so that any rate holds
//   flood_ms=MS             how long a flood lasts when there is no reply (3500)
//   hostile=N,SEED          send N malformed replies first, then the reply;
//                           SEED picks the random ones (see hostile_sequence.h)
//   hostile_from=I          start at item I of the malformed sequence (0)
//   hostile_rate=RATE       malformed replies per second (4000)
//   then_good=MS            MS after the reply, send a good one (from A, 239
//                           bytes): a probe that skips the first ends on it
//   acceptable=WHICH        with --nodes, whose replies a probe accepts:
//                           all, none, first or last (all); the others
//                           answer with their output switched (SwOut[0]=0x10)
#pragma once

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "packets.h"

namespace artnet_node {

struct Scenario {
    bool reply = true;
    std::size_t length = 239;
    std::vector<std::pair<std::size_t, Bytes>> pokes;
    int delayMs = 0;
    std::vector<std::string> before;
    bool fromSecond = false;
    int floodRate = 0;
    int floodMs = 3500;
    long hostileCount = 0;
    unsigned long hostileSeed = 1;
    long hostileFrom = 0;
    int hostileRate = 4000;
    int thenGoodMs = -1;
    std::string acceptable = "all";
};

// The scenario of a control command "scenario key=value ...": unknown keys
// are ignored, values are kept within what the node can send.
Scenario ParseScenario(const std::string& command);

// Whether the reply of member (of members) is one a probe accepts.
bool IsAcceptable(const Scenario& scenario, std::size_t member, std::size_t members);

}  // namespace artnet_node
