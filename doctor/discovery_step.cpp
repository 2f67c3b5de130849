#include "discovery_step.h"

#include <winsock2.h>

#include <map>
#include <vector>

#include "activity.h"
#include "art_net_reading.h"
#include "artnet_probe.h"
#include "socket_resource.h"
#include "system_facts.h"
#include "win32/clock.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

// Every node that answers a discovery is counted and judged; this many are
// reported in full, and at most this many kept at all (a /20 full of nodes).
constexpr std::size_t kNodesShown = 32;
constexpr std::size_t kNodesKept = 4096;

// One node that answered the discovery: its first reply judged, and, for the
// first few, kept for the report.
struct Node {
    ReplyFaults faults;
    std::vector<std::uint8_t> reply;
};

}  // namespace

Step DiscoverNodes(const SettingsOutcome& settings, Findings& findings, NetworkOutcome& outcome) {
    Step step{"discovery", "0 nodes, 0 acceptable"};
    step.facts["nodes"] = Json::array();
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    if (!HostIpv4Interfaces(interfaces, error)) {
        step.verdict = "no interfaces";
        Say(step, "This computer's IPv4 interfaces cannot be listed (%s).", error.c_str());
        return step;
    }
    // Port 6454 on every address, as nodes answer to it; the doctor's own
    // socket, for a poll the library never sends.
    UniqueSocket socket(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    sockaddr_in local = ArtNetAddress({0, 0, 0, 0});
    if (!socket || ::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) {
        int bindError = ::WSAGetLastError();
        step.verdict = "port busy";
        step.facts["bindError"] = bindError;
        Say(step, "No broadcast poll is sent: UDP port 6454 cannot be taken (%s).", ErrorWords(bindError).c_str());
        SayPortHolders(step, findings);
        return step;
    }
    BOOL broadcast = TRUE;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&broadcast), sizeof broadcast);
    UniqueWsaEvent event(::WSACreateEvent());
    if (!event || ::WSAEventSelect(socket.get(), event.get(), FD_READ) != 0) {
        step.verdict = "socket failed";
        Say(step, "The socket cannot wait for replies (%s).", ErrorWords(::WSAGetLastError()).c_str());
        return step;
    }
    findings.discovered = true;
    auto poll = BuildArtPoll();
    LARGE_INTEGER polled = Now();
    for (const Ipv4Interface& face : interfaces) {
        if (face.address[0] == 127) continue;
        sockaddr_in destination = ArtNetAddress(DirectedBroadcast(face));
        bool sent = ::sendto(socket.get(), reinterpret_cast<const char*>(poll.data()), static_cast<int>(poll.size()),
                             0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR;
        step.facts["polls"].push_back({{"to", DottedText(DirectedBroadcast(face))}, {"interface", Given(face.name)},
                                       {"sent", sent}});
        if (sent) {
            Say(step, "ArtPoll broadcast to %s on %s", DottedText(DirectedBroadcast(face)).c_str(),
                InterfaceName(face).c_str());
        } else {
            Say(step, "ArtPoll broadcast to %s on %s could not be sent (%s)", DottedText(DirectedBroadcast(face)).c_str(),
                InterfaceName(face).c_str(), ErrorWords(::WSAGetLastError()).c_str());
        }
    }

    // The first reply of each node, by the address it came from.
    std::map<Ipv4Octets, Node> nodes;
    std::size_t beyondKept = 0;
    std::size_t kept = 0;
    {
        Listening listening("listening for nodes", kReplyWaitMs);
        ListenUntil(socket.get(), event.get(), polled, kReplyWaitMs, [&](const Received& datagram) {
            if (ArtNetOpCode(datagram.bytes, datagram.length) != kOpPollReply) return;
            auto known = nodes.find(datagram.source);
            if (known != nodes.end()) return;
            if (nodes.size() == kNodesKept) {
                ++beyondKept;
                return;
            }
            // Would the library accept this node if Pelvaro.bin named it?
            Node& node = nodes[datagram.source];
            node.faults = CheckEveryReplyField(datagram.bytes, datagram.length, datagram.source, datagram.source);
            if (kept < kNodesShown) {
                node.reply.assign(datagram.bytes, datagram.bytes + datagram.length);
                ++kept;
            }
        });
    }
    bool atLeast = false;
    int unread = CountUnread(socket.get(), atLeast);
    event.reset();
    socket.reset();
    outcome.listenedMs += MillisecondsSince(polled);

    std::size_t acceptable = 0;
    std::size_t hiddenAcceptable = 0;
    std::size_t hidden = 0;
    std::string hiddenAcceptableList;
    for (const auto& [address, node] : nodes) {
        const bool accepted = node.faults.None();
        const bool configured = settings.addressRead && address == settings.configured;
        if (accepted) {
            ++acceptable;
            findings.acceptableNode = address;
        }
        if (node.reply.empty()) {
            ++hidden;
            if (accepted) {
                ++hiddenAcceptable;
                if (hiddenAcceptable <= 8) hiddenAcceptableList += (hiddenAcceptable == 1 ? "" : ", ") + DottedText(address);
            }
            step.facts["nodes"].push_back({{"address", DottedText(address)}, {"acceptable", accepted},
                                           {"configured", configured}});
            continue;
        }
        std::string words = ReplyVerdictText(node.faults, node.reply.data(), node.reply.size(), address, address);
        std::size_t skipped = words.rfind(" (skipped)");
        if (skipped != std::string::npos) words.erase(skipped);
        Say(step, "Node %s%s: %s", DottedText(address).c_str(), configured ? " (the configured address)" : "",
            accepted ? "the library would accept it at this address" : ("refused: " + words).c_str());
        Json facts = {{"address", DottedText(address)}, {"acceptable", accepted}, {"configured", configured}};
        SayReplyFields(step, DecodeArtPollReply(node.reply.data(), node.reply.size()), facts["reply"]);
        step.facts["nodes"].push_back(facts);
    }
    if (hidden > 0) {
        Say(step, "... and %zu more node%s, %zu of them acceptable%s%s", hidden, hidden == 1 ? "" : "s",
            hiddenAcceptable, hiddenAcceptable == 0 ? "" : ": ", hiddenAcceptableList.c_str());
    }
    if (beyondKept > 0) Say(step, "... and more nodes beyond the %zu this report keeps", kNodesKept);
    SayUnread(step, unread, atLeast, "");
    if (nodes.empty()) Say(step, "No node answered within %u ms.", kReplyWaitMs);
    findings.acceptableNodes = static_cast<int>(acceptable);
    step.verdict = Format("%zu node%s, %zu acceptable", nodes.size(), nodes.size() == 1 ? "" : "s", acceptable);
    step.facts["count"] = nodes.size();
    step.facts["acceptable"] = acceptable;
    if (acceptable == 1 && (!settings.addressRead || findings.acceptableNode != settings.configured)) {
        const std::string address = DottedText(findings.acceptableNode);
        Say(step, "Exactly one acceptable node answers, at %s, but Pelvaro.bin names %s: the address to enter in "
                  "Borvanect is %s (bytes 20 to 23 of Pelvaro.bin: %s).", address.c_str(),
            settings.addressRead ? DottedText(settings.configured).c_str() : "no address", address.c_str(),
            HexBytes(findings.acceptableNode.data(), 4).c_str());
        step.facts["suggestedAddress"] = address;
        step.facts["suggestedAddressBytes"] = HexBytes(findings.acceptableNode.data(), 4);
    }
    return step;
}

}  // namespace zmk::doctor
