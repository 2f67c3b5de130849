// A simulated Art-Net node for the probe's tests. It listens on UDP 6454 of
// its address inside a test's network namespace, records every datagram it
// receives, and answers an ArtPoll the way the current scenario says. A test
// sets the scenario and reads the record over a UDP control port.
//
//   artnet-node --address A [--second B] [--broadcast C] [--control-port P]
//               [--lifetime S] [--scenario "key=value ..."]   (the scenario to start with)
//   artnet-node --nodes N --first A [--broadcast C] [--control-port P] ...
//
// With --broadcast, it also hears polls sent to the subnet's broadcast
// address C and answers them from A, as a node on that subnet does; several
// nodes in one namespace can share C.
// With --nodes, it plays N nodes at the N consecutive addresses from A, each
// with a reply of its own (its IpAddress its own address): a poll to one of
// them is answered by that one, a broadcast poll by each of them. The
// control port, the flood and the malformed replies are the first node's.
//
// Control commands (one datagram each; the answer goes back to the sender):
//   scenario [key=value ...]  forget the record and set a new scenario:
//     reply=good|none         answer the poll or stay silent (good)
//     length=N                reply length in bytes, padded with zeros (239)
//     poke=OFFSET:HEX         overwrite reply bytes, e.g. poke=190:01 (repeatable)
//     delay=MS                wait before replying (0)
//     before=KIND,...         send these first: poll, dmx, othernode, big
//                             (a good reply padded to 1000 bytes), garbage
//     source=second           send the reply from the second address
//     flood=RATE              unrelated datagrams per second until the reply
//                             (above 1000, several are sent each millisecond)
//     flood_ms=MS             how long a flood lasts when there is no reply (3500)
//     hostile=N,SEED          send N malformed replies first, then the reply;
//                             SEED picks the random ones (see HostileDatagram)
//     hostile_from=I          start at item I of the malformed sequence (0)
//     hostile_rate=RATE       malformed replies per second (4000)
//     then_good=MS            MS after the reply, send a good one (from A, 239
//                             bytes): a probe that skips the first ends on it
//     acceptable=WHICH        with --nodes, whose replies a probe accepts:
//                             all, none, first or last (all); the others
//                             answer with their output switched (SwOut[0]=0x10)
//   report                    "datagrams=N polls=N flood=N first=HEX from=IP:PORT
//                             hostile=N hostile_ms=MS" (hostile: sent in this scenario)
//   quit
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

constexpr std::uint16_t kArtNetPort = 6454;

using Bytes = std::vector<std::uint8_t>;

std::int64_t NowMs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1000 + now.tv_nsec / 1000000;
}

int BoundSocket(const char* address, std::uint16_t port, bool shared = false) {
    int fd = socket(AF_INET, SOCK_DGRAM, 0);
    int on = 1;
    if (shared) setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_port = htons(port);
    if (fd < 0 || inet_pton(AF_INET, address, &local.sin_addr) != 1 ||
        bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        std::fprintf(stderr, "artnet-node: cannot bind %s:%u: %s\n", address, port, std::strerror(errno));
        std::exit(1);
    }
    return fd;
}

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

Scenario ParseScenario(const std::string& command) {
    Scenario scenario;
    std::size_t at = command.find(' ');
    while (at != std::string::npos) {
        std::size_t end = command.find(' ', at + 1);
        std::string item = command.substr(at + 1, end == std::string::npos ? std::string::npos : end - at - 1);
        at = end;
        std::size_t eq = item.find('=');
        if (eq == std::string::npos) continue;
        std::string key = item.substr(0, eq);
        std::string value = item.substr(eq + 1);
        if (key == "reply") scenario.reply = value != "none";
        if (key == "length") scenario.length = std::strtoul(value.c_str(), nullptr, 10);
        if (key == "delay") scenario.delayMs = std::atoi(value.c_str());
        if (key == "source") scenario.fromSecond = value == "second";
        if (key == "flood") scenario.floodRate = std::atoi(value.c_str());
        if (key == "flood_ms") scenario.floodMs = std::atoi(value.c_str());
        if (key == "hostile") {
            scenario.hostileCount = std::strtol(value.c_str(), nullptr, 10);
            std::size_t comma = value.find(',');
            if (comma != std::string::npos) scenario.hostileSeed = std::strtoul(value.c_str() + comma + 1, nullptr, 10);
        }
        if (key == "hostile_from") scenario.hostileFrom = std::strtol(value.c_str(), nullptr, 10);
        if (key == "hostile_rate") scenario.hostileRate = std::atoi(value.c_str());
        if (key == "then_good") scenario.thenGoodMs = std::atoi(value.c_str());
        if (key == "acceptable") scenario.acceptable = value;
        if (key == "poke") {
            std::size_t colon = value.find(':');
            scenario.pokes.emplace_back(std::strtoul(value.c_str(), nullptr, 10), Hex(value.substr(colon + 1)));
        }
        if (key == "before") {
            for (std::size_t from = 0; from <= value.size();) {
                std::size_t comma = value.find(',', from);
                if (comma == std::string::npos) comma = value.size();
                scenario.before.push_back(value.substr(from, comma - from));
                from = comma + 1;
            }
        }
    }
    if (scenario.length > 2000) scenario.length = 2000;
    if (scenario.hostileCount < 0) scenario.hostileCount = 0;
    if (scenario.hostileCount > 1000000) scenario.hostileCount = 1000000;
    if (scenario.hostileFrom < 0) scenario.hostileFrom = 0;
    if (scenario.hostileRate < 1) scenario.hostileRate = 1;
    return scenario;
}

void SendTo(int fd, const Bytes& packet, const sockaddr_in& peer) {
    sendto(fd, packet.data(), packet.size(), 0, reinterpret_cast<const sockaddr*>(&peer), sizeof peer);
}

Bytes OtherTraffic(const Node& node, const std::string& kind) {
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
        in_addr other = node.address;
        reinterpret_cast<std::uint8_t*>(&other)[3] ^= 0x40;
        return PollReply(other, 239);
    }
    if (kind == "big") {
        Bytes big = PollReply(node.address, 1000);
        return big;
    }
    return Bytes{'n', 'o', 't', ' ', 'a', 'r', 't', '-', 'n', 'e', 't'};
}

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

constexpr std::size_t kCheckedBytes[] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 44, 45,
                                         46, 47, 48, 49, 50, 51, 52, 53, 54, 55, 56, 57, 58, 59, 60, 61};
constexpr std::size_t kTooLong[] = {241, 242, 243, 244, 245, 250, 255, 256, 300, 479, 480, 512, 1000, 1400, 1472, 2000};
constexpr long kFromSecond = 16;

std::uint64_t SplitMix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

Malformed HostileDatagram(const Node& node, long item) {
    const Bytes good = PollReply(node.address, 239);
    Malformed malformed{good, false};
    long at = item;
    constexpr long kByteChanges = static_cast<long>(std::size(kCheckedBytes)) * 255;
    if (at < kByteChanges) {
        malformed.bytes[kCheckedBytes[at / 255]] ^= static_cast<std::uint8_t>(at % 255 + 1);
        return malformed;
    }
    at -= kByteChanges;
    if (at < 128) {
        malformed.bytes[174] = static_cast<std::uint8_t>(at);
        return malformed;
    }
    at -= 128;
    if (at < 255) {
        malformed.bytes[190] = static_cast<std::uint8_t>(at + 1);
        return malformed;
    }
    at -= 255;
    if (at < 175) {
        malformed.bytes.resize(static_cast<std::size_t>(at));
        return malformed;
    }
    at -= 175;
    if (at < static_cast<long>(std::size(kTooLong))) {
        malformed.bytes.resize(kTooLong[at], 0);
        return malformed;
    }
    at -= static_cast<long>(std::size(kTooLong));
    if (at < kFromSecond && node.second >= 0) {
        malformed.fromSecond = true;
        return malformed;
    }
    std::uint64_t state = node.scenario.hostileSeed * 0x100000001B3ull + static_cast<std::uint64_t>(item);
    bool behindHeader = SplitMix(state) & 1;
    std::size_t length = behindHeader ? 10 + SplitMix(state) % 231 : SplitMix(state) % 301;
    malformed.bytes.assign(length, 0);
    for (std::uint8_t& byte : malformed.bytes) byte = static_cast<std::uint8_t>(SplitMix(state));
    if (behindHeader) std::memcpy(malformed.bytes.data(), good.data(), 10);
    return malformed;
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

void StartAnswer(Node& node, const sockaddr_in& peer, std::vector<std::size_t> answering) {
    node.peer = peer;
    node.answering = std::move(answering);
    std::int64_t now = NowMs();
    for (const std::string& kind : node.scenario.before) SendTo(node.art, OtherTraffic(node, kind), peer);
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

void SendHostileDue(Node& node, std::int64_t now) {
    if (node.nextHostile < 0) return;
    Pace pace = PaceOf(node.scenario.hostileRate);
    while (node.nextHostile >= 0 && node.nextHostile <= now) {
        for (int i = 0; i < pace.perTick && node.hostileSent < node.scenario.hostileCount; ++i) {
            Malformed malformed = HostileDatagram(node, node.scenario.hostileFrom + node.hostileSent);
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

bool IsAcceptable(const Scenario& scenario, std::size_t member, std::size_t members) {
    if (scenario.acceptable == "none") return false;
    if (scenario.acceptable == "first") return member == 0;
    if (scenario.acceptable == "last") return member + 1 == members;
    return true;
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

// A datagram on fd, the socket of the members listed in hearing.
void ReceiveArtNet(Node& node, int fd, std::vector<std::size_t> hearing) {
    std::uint8_t buffer[2048];
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    ssize_t size = recvfrom(fd, buffer, sizeof buffer, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (size < 0) return;
    if (node.datagrams++ == 0) {
        node.first.assign(buffer, buffer + size);
        char from[64];
        std::snprintf(from, sizeof from, "%s:%u", inet_ntoa(peer.sin_addr), ntohs(peer.sin_port));
        node.firstFrom = from;
    }
    bool isPoll = size >= 10 && std::memcmp(buffer, "Art-Net", 8) == 0 && buffer[8] == 0x00 && buffer[9] == 0x20;
    if (isPoll) {
        ++node.polls;
        StartAnswer(node, peer, std::move(hearing));
    }
}

bool ServeControl(Node& node) {
    char buffer[1024];
    sockaddr_in peer{};
    socklen_t peerLength = sizeof peer;
    ssize_t size = recvfrom(node.control, buffer, sizeof buffer - 1, 0, reinterpret_cast<sockaddr*>(&peer), &peerLength);
    if (size < 0) return true;
    buffer[size] = '\0';
    std::string command(buffer);
    std::string answer = "ok";
    bool keepRunning = true;
    if (command.rfind("scenario", 0) == 0) {
        node.scenario = ParseScenario(command);
        node.datagrams = node.polls = 0;
        node.first.clear();
        node.firstFrom.clear();
        node.replyAt = node.goodAt = node.floodUntil = node.nextFlood = node.nextHostile = -1;
        node.hostileSent = node.hostileMs = node.floodSentNow = 0;
    } else if (command == "report") {
        answer = "datagrams=" + std::to_string(node.datagrams) + " polls=" + std::to_string(node.polls) +
                 " flood=" + std::to_string(node.floodSent) + " first=" + HexText(node.first) + " from=" +
                 node.firstFrom + " hostile=" + std::to_string(node.hostileSent) +
                 " hostile_ms=" + std::to_string(node.hostileMs);
    } else if (command == "quit") {
        keepRunning = false;
    } else {
        answer = "unknown command";
    }
    sendto(node.control, answer.data(), answer.size(), 0, reinterpret_cast<sockaddr*>(&peer), peerLength);
    return keepRunning;
}

}  // namespace

int main(int argc, char** argv) {
    const char* address = nullptr;
    const char* second = nullptr;
    const char* broadcast = nullptr;
    int nodes = 1;
    int controlPort = 6999;
    int lifetimeS = 900;
    std::string initialScenario = "scenario";
    for (int i = 1; i + 1 < argc; i += 2) {
        std::string option = argv[i];
        if (option == "--address" || option == "--first") address = argv[i + 1];
        if (option == "--nodes") nodes = std::atoi(argv[i + 1]);
        if (option == "--second") second = argv[i + 1];
        if (option == "--broadcast") broadcast = argv[i + 1];
        if (option == "--control-port") controlPort = std::atoi(argv[i + 1]);
        if (option == "--lifetime") lifetimeS = std::atoi(argv[i + 1]);
        if (option == "--scenario") initialScenario = std::string("scenario ") + argv[i + 1];
    }
    if (address == nullptr || nodes < 1 || nodes > 254) {
        std::fprintf(stderr, "usage: artnet-node --address A [--second B] [--broadcast C] [--control-port P] "
                             "[--lifetime S]\n       artnet-node --nodes N --first A ...\n");
        return 2;
    }
    Node node;
    node.scenario = ParseScenario(initialScenario);
    inet_pton(AF_INET, address, &node.address);
    for (int i = 0; i < nodes; ++i) {
        in_addr member{htonl(ntohl(node.address.s_addr) + static_cast<std::uint32_t>(i))};
        char text[INET_ADDRSTRLEN];
        inet_ntop(AF_INET, &member, text, sizeof text);
        node.members.push_back({BoundSocket(text, kArtNetPort), member});
    }
    node.art = node.members[0].fd;
    if (second != nullptr) node.second = BoundSocket(second, kArtNetPort);
    if (broadcast != nullptr) node.broadcast = BoundSocket(broadcast, kArtNetPort, true);
    node.control = BoundSocket(address, static_cast<std::uint16_t>(controlPort));
    std::printf("artnet-node ready on %s\n", address);
    std::fflush(stdout);

    // Never outlives its test, whatever the test does.
    std::int64_t end = NowMs() + lifetimeS * 1000LL;
    for (std::int64_t now = NowMs(); now < end; now = NowMs()) {
        std::int64_t next = end;
        if (node.replyAt >= 0 && node.replyAt < next) next = node.replyAt;
        if (node.goodAt >= 0 && node.goodAt < next) next = node.goodAt;
        if (node.nextFlood >= 0 && node.nextFlood < next) next = node.nextFlood;
        if (node.nextHostile >= 0 && node.nextHostile < next) next = node.nextHostile;
        // The control port, the broadcast socket (poll skips it when -1), then each member's.
        std::vector<pollfd> fds = {{node.control, POLLIN, 0}, {node.broadcast, POLLIN, 0}};
        for (const Member& member : node.members) fds.push_back({member.fd, POLLIN, 0});
        int timeout = next > now ? static_cast<int>(next - now) : 0;
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return 1;
        now = NowMs();
        SendFloodDue(node, now);
        SendHostileDue(node, now);
        if (node.replyAt >= 0 && node.replyAt <= now) SendReply(node);
        if (node.goodAt >= 0 && node.goodAt <= now) SendGoodReply(node);
        for (std::size_t member = 0; member < node.members.size(); ++member) {
            if (fds[2 + member].revents & POLLIN) ReceiveArtNet(node, node.members[member].fd, {member});
        }
        if (node.broadcast >= 0 && (fds[1].revents & POLLIN)) {
            std::vector<std::size_t> everyone(node.members.size());
            for (std::size_t member = 0; member < everyone.size(); ++member) everyone[member] = member;
            ReceiveArtNet(node, node.broadcast, std::move(everyone));
        }
        if ((fds[0].revents & POLLIN) && !ServeControl(node)) return 0;
    }
    return 0;
}
