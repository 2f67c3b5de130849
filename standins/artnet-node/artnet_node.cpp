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
//   scenario [key=value ...]  forget the record and set a new scenario (scenario.h)
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
#include <string>
#include <utility>
#include <vector>

#include "node.h"
#include "packets.h"
#include "scenario.h"

namespace artnet_node {
namespace {

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
}  // namespace artnet_node

int main(int argc, char** argv) {
    using namespace artnet_node;
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
        std::int64_t next = NextDue(node, end);
        // The control port, the broadcast socket (poll skips it when -1), then each member's.
        std::vector<pollfd> fds = {{node.control, POLLIN, 0}, {node.broadcast, POLLIN, 0}};
        for (const Member& member : node.members) fds.push_back({member.fd, POLLIN, 0});
        int timeout = next > now ? static_cast<int>(next - now) : 0;
        if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) return 1;
        SendDue(node, NowMs());
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
