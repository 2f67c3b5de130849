// The simulated node's state: its sockets, the scenario, the record of what
// arrived, and the answer to the last poll while it is being sent.
#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "packets.h"
#include "scenario.h"

namespace artnet_node {

inline std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

// One node of those that --nodes plays: its socket on UDP 6454 and its address.
struct Member {
    int fd;
    in_addr address;
};

struct Node {
    int art = -1;
    int second = -1;
    int broadcast = -1;
    int control = -1;
    in_addr address{};
    // Every node played, the first being this one (art, address).
    std::vector<Member> members;
    Scenario scenario;
    // The record of what arrived on the Art-Net port.
    int datagrams = 0;
    int polls = 0;
    Bytes first;
    std::string firstFrom;
    // A reply in progress, and which members give it.
    sockaddr_in peer{};
    std::vector<std::size_t> answering;
    std::int64_t replyAt = -1;
    std::int64_t goodAt = -1;
    std::int64_t floodStarted = -1;
    std::int64_t floodUntil = -1;
    std::int64_t nextFlood = -1;
    long floodSent = 0;     // in every scenario so far
    long floodSentNow = 0;  // in the flood in progress
    // A malformed burst in progress.
    std::int64_t nextHostile = -1;
    std::int64_t hostileStarted = -1;
    std::int64_t hostileMs = 0;
    long hostileSent = 0;
};

// A poll from peer, heard by the members listed in answering: sends what the
// scenario sends at once and schedules the rest.
void StartAnswer(Node& node, const sockaddr_in& peer, std::vector<std::size_t> answering);
// Sends what is due by now: flood, malformed replies, the reply, the good one after it.
void SendDue(Node& node, std::int64_t now);
// When something is next due; end when nothing is.
std::int64_t NextDue(const Node& node, std::int64_t end);

}  // namespace artnet_node
