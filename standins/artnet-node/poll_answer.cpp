#include <sys/socket.h>

#include <cstdio>
#include <initializer_list>
#include <utility>

#include "hostile_sequence.h"
#include "node.h"

namespace artnet_node {
namespace {

void SendTo(int fd, const Bytes& packet, const sockaddr_in& peer) {
    sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

// How many of a paced stream are due at each millisecond tick, and how far
// apart the ticks are.
struct Pace {
    std::int64_t intervalMs;
    int perTick;
};

Pace PaceOf(int rate) {
    if (rate >= 1000) return {1, rate / 1000};
    return {1000 / rate, 1};
}

void SendHostileDue(Node& node, std::int64_t now) {
    if (node.nextHostile < 0) return;
    Pace pace = PaceOf(node.scenario.hostileRate);
    while (node.nextHostile >= 0 && node.nextHostile <= now) {
        for (int i = 0; i < pace.perTick && node.hostileSent < node.scenario.hostileCount; ++i) {
            Malformed malformed = HostileDatagram(node.address, node.second >= 0, node.scenario.hostileSeed,
                                                   node.scenario.hostileFrom + node.hostileSent);
            SendTo(malformed.fromSecond ? node.second : node.art, malformed.bytes, node.peer);
            ++node.hostileSent;
        }
        node.nextHostile += pace.intervalMs;
        if (node.hostileSent >= node.scenario.hostileCount) {
            node.nextHostile = -1;
            node.hostileMs = NowMs() - node.hostileStarted;
            if (node.scenario.reply) node.replyAt = NowMs() + node.scenario.delayMs;
        }
    }
}

void SendReply(Node& node) {
    for (std::size_t member : node.answering) {
        Bytes reply = PollReply(node.members[member].address, node.scenario.length);
        for (const auto& [offset, bytes] : node.scenario.pokes) {
            for (std::size_t i = 0; i < bytes.size() && offset + i < reply.size(); ++i) reply[offset + i] = bytes[i];
        }
        if (!IsAcceptable(node.scenario, member, node.members.size())) reply[190] = 0x10;  // SwOut[0]: output switched
        int from = member == 0 && node.scenario.fromSecond && node.second >= 0 ? node.second : node.members[member].fd;
        SendTo(from, reply, node.peer);
    }
    node.replyAt = -1;
    if (node.scenario.thenGoodMs >= 0) node.goodAt = NowMs() + node.scenario.thenGoodMs;
}

void SendGoodReply(Node& node) {
    SendTo(node.art, PollReply(node.address, 239), node.peer);
    node.goodAt = -1;
}

void SendFloodDue(Node& node, std::int64_t now) {
    if (node.nextFlood < 0 || node.nextFlood > now) return;
    // Counted from the start rather than so many a tick, so that any rate
    // holds (12,800 a second is not a whole number a millisecond) and a late
    // wake-up catches up.
    const std::int64_t rate = node.scenario.floodRate;
    std::int64_t until = now < node.floodUntil ? now : node.floodUntil;
    long due = static_cast<long>((until - node.floodStarted) * rate / 1000);
    while (node.floodSentNow < due) {
        char text[32];
        int length = std::snprintf(text, sizeof text, "flood %ld", node.floodSent++);
        SendTo(node.art, Bytes(text, text + length), node.peer);
        ++node.floodSentNow;
    }
    // The next one's time, to the millisecond above.
    node.nextFlood = node.floodStarted + ((node.floodSentNow + 1) * 1000 + rate - 1) / rate;
    if (now >= node.floodUntil) node.nextFlood = -1;
}

}  // namespace

void StartAnswer(Node& node, const sockaddr_in& peer, std::vector<std::size_t> answering) {
    node.peer = peer;
    node.answering = std::move(answering);
    std::int64_t now = NowMs();
    for (const std::string& kind : node.scenario.before) SendTo(node.art, OtherTraffic(node.address, kind), peer);
    bool hostile = node.scenario.hostileCount > 0;
    node.replyAt = node.scenario.reply && !hostile ? now + node.scenario.delayMs : -1;
    if (hostile) {
        node.nextHostile = node.hostileStarted = now;
        node.hostileSent = 0;
    }
    if (node.scenario.floodRate > 0) {
        node.nextFlood = node.floodStarted = now;
        node.floodUntil = node.replyAt >= 0 ? node.replyAt : now + node.scenario.floodMs;
        node.floodSentNow = 0;
    }
}

void SendDue(Node& node, std::int64_t now) {
    SendFloodDue(node, now);
    SendHostileDue(node, now);
    if (node.replyAt >= 0 && node.replyAt <= now) SendReply(node);
    if (node.goodAt >= 0 && node.goodAt <= now) SendGoodReply(node);
}

std::int64_t NextDue(const Node& node, std::int64_t end) {
    std::int64_t next = end;
    for (std::int64_t at : {node.replyAt, node.goodAt, node.nextFlood, node.nextHostile}) {
        if (at >= 0 && at < next) next = at;
    }
    return next;
}

}  // namespace artnet_node
