#include "network_step.h"

#include <winsock2.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "socket_resource.h"
#include "system_facts.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

// Every datagram is reported; this many in full, the rest counted.
constexpr int kDatagramsShown = 32;
// Large enough for any UDP datagram, so that a long one is seen whole.
constexpr int kLargestDatagram = 65536;
constexpr DWORD kCountdownStepMs = 100;

sockaddr_in ArtNetAddress(const Ipv4Octets& address) {
    sockaddr_in socketAddress = {};
    socketAddress.sin_family = AF_INET;
    socketAddress.sin_port = ::htons(kArtNetPort);
    std::memcpy(&socketAddress.sin_addr, address.data(), 4);
    return socketAddress;
}

Ipv4Octets OctetsOf(const sockaddr_in& socketAddress) {
    Ipv4Octets octets;
    std::memcpy(octets.data(), &socketAddress.sin_addr, 4);
    return octets;
}

// One console line, rewritten in place; an empty text clears it and leaves
// the cursor at its start.
void ShowCountdown(const WaitControl& wait, const std::string& text) {
    if (!wait.countdown) return;
    HANDLE console = ::GetStdHandle(STD_OUTPUT_HANDLE);
    std::string line = "\r" + text;
    line.resize(79, ' ');
    if (text.empty()) line += '\r';
    DWORD written = 0;
    ::WriteConsoleA(console, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
}

struct Datagram {
    const std::uint8_t* bytes;
    std::size_t length;
    sockaddr_in source;
    double ms;
};

// Reads everything that reaches the socket until the 3 seconds after the
// poll are over (or Ctrl+C). onDatagram gets each datagram, onError each
// failed receive; the event is reset before the queue is drained, as the
// library's probe does.
template <typename OnDatagram, typename OnError>
void ListenOut(SOCKET socket, WSAEVENT event, const LARGE_INTEGER& polled, const WaitControl& wait,
               const std::string& waitingFor, NetworkOutcome& outcome, OnDatagram onDatagram, OnError onError) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kLargestDatagram]);
    HANDLE events[2] = {event, wait.cancel};
    DWORD eventCount = wait.cancel ? 2 : 1;
    for (;;) {
        double elapsed = MillisecondsSince(polled);
        if (elapsed >= kReplyWaitMs) break;
        DWORD left = static_cast<DWORD>(kReplyWaitMs - elapsed) + 1;
        ShowCountdown(wait, Format("%s: %.1f s left (Ctrl+C stops)", waitingFor.c_str(), left / 1000.0));
        DWORD slice = wait.countdown && left > kCountdownStepMs ? kCountdownStepMs : left;
        DWORD signalled = ::WSAWaitForMultipleEvents(eventCount, events, FALSE, slice, FALSE);
        if (signalled == WSA_WAIT_EVENT_0 + 1) {
            outcome.cancelled = true;
            break;
        }
        if (signalled == WSA_WAIT_FAILED) {
            onError(::WSAGetLastError());
            break;
        }
        if (signalled != WSA_WAIT_EVENT_0) continue;
        ::WSAResetEvent(event);
        for (;;) {
            sockaddr_in source = {};
            int sourceLength = sizeof source;
            int received = ::recvfrom(socket, reinterpret_cast<char*>(buffer.get()), kLargestDatagram, 0,
                                      reinterpret_cast<sockaddr*>(&source), &sourceLength);
            if (received == SOCKET_ERROR) {
                int error = ::WSAGetLastError();
                if (error != WSAEWOULDBLOCK) onError(error);
                break;
            }
            onDatagram(Datagram{buffer.get(), static_cast<std::size_t>(received), source, MillisecondsSince(polled)});
        }
    }
    outcome.listenedMs += MillisecondsSince(polled);
    ShowCountdown(wait, "");
}

void SayReplyFields(Step& step, const PollReplyFields& fields, Json& facts) {
    std::string shortName = Quote(fields.shortName.data(), fields.shortName.size());
    std::string longName = Quote(fields.longName.data(), fields.longName.size());
    Say(step, "      ShortName %s, LongName %s", shortName.c_str(), longName.c_str());
    Say(step, "      NodeReport %s", Quote(fields.nodeReport.data(), fields.nodeReport.size()).c_str());
    Say(step, "      NumPorts %u, PortTypes %s (port 1: %s), GoodOutput %s", fields.numPorts,
        HexBytes(fields.portTypes, 4).c_str(), PortTypeText(fields.portTypes[0]).c_str(),
        HexBytes(fields.goodOutput, 4).c_str());
    unsigned portAddress = PortAddress(fields);
    Say(step, "      Net %u, Sub-Net %u, SwOut %s: port 1 has Port-Address %u (%u:%u:%u)", fields.net, fields.subNet,
        HexBytes(fields.swOut, 4).c_str(), portAddress, portAddress >> 8, portAddress >> 4 & 0x0F, portAddress & 0x0F);
    std::string mac = HexBytes(fields.mac, 6);
    for (char& c : mac) c = c == ' ' ? ':' : c;
    Say(step, "      IpAddress %s, MAC %s, BindIp %s, BindIndex %u", DottedText(fields.ipAddress).c_str(), mac.c_str(),
        DottedText(fields.bindIp).c_str(), fields.bindIndex);
    facts["ipAddress"] = DottedText(fields.ipAddress);
    facts["shortName"] = AnsiToUtf8(fields.shortName);
    facts["longName"] = AnsiToUtf8(fields.longName);
    facts["nodeReport"] = AnsiToUtf8(fields.nodeReport);
    facts["numPorts"] = fields.numPorts;
    facts["portTypes"] = HexBytes(fields.portTypes, 4);
    facts["goodOutput"] = HexBytes(fields.goodOutput, 4);
    facts["net"] = fields.net;
    facts["subNet"] = fields.subNet;
    facts["swOut"] = HexBytes(fields.swOut, 4);
    facts["portAddress"] = portAddress;
    facts["mac"] = mac;
    facts["bindIp"] = DottedText(fields.bindIp);
    facts["bindIndex"] = fields.bindIndex;
}

// Port 6454 on every address, as the library binds it: no reuse asked for,
// so another program holding the port makes the bind fail.
bool BindArtNetPort(Step& step, UniqueSocket& socket) {
    socket.reset(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!socket) {
        step.verdict = "no socket";
        Say(step, "No UDP socket could be made (%s).", ErrorText(static_cast<DWORD>(::WSAGetLastError())).c_str());
        return false;
    }
    sockaddr_in local = ArtNetAddress({0, 0, 0, 0});
    if (::bind(socket.get(), reinterpret_cast<const sockaddr*>(&local), sizeof local) == 0) return true;
    int error = ::WSAGetLastError();
    step.verdict = "port busy";
    step.facts["bindError"] = error;
    Say(step, "No ArtPoll is sent: UDP port 6454 cannot be taken (%s%s).", ErrorText(static_cast<DWORD>(error)).c_str(),
        error == WSAEADDRINUSE ? ", another socket holds it" : "");
    std::vector<std::string> owners = UdpPortOwners(kArtNetPort);
    for (const std::string& owner : owners) {
        step.facts["portHolders"].push_back(AnsiToUtf8(owner));
        Say(step, "  held by %s", owner.c_str());
    }
    if (owners.empty()) {
        Say(step, "  the system does not say which program holds it; usually another Art-Net program (a lighting "
                  "console, a visualiser, a node utility) is running: close it and try again.");
    }
    Say(step, "The library's probe fails the same way: the network counts no interface.");
    return false;
}

void SayHostInterfaces(Step& step, const Ipv4Octets* node) {
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    if (!HostIpv4Interfaces(interfaces, error)) {
        Say(step, "This computer's IPv4 addresses cannot be listed (%s).", error.c_str());
        return;
    }
    Say(step, "This computer's IPv4 addresses:");
    bool onSubnet = false;
    for (const Ipv4Interface& face : interfaces) {
        std::string mask = DottedText(PrefixMask(face.prefixLength));
        Say(step, "  %s/%u (mask %s) on \"%s\"", DottedText(face.address).c_str(), face.prefixLength, mask.c_str(),
            face.name.c_str());
        step.facts["hostAddresses"].push_back(
            {{"address", DottedText(face.address)}, {"mask", mask}, {"interface", face.name}});
        if (node && face.address[0] != 127 && OnSubnet(face, *node)) onSubnet = true;
    }
    if (node && !onSubnet) {
        step.facts["nodeOnHostSubnet"] = false;
        Say(step, "  %s is on none of these subnets: its reply, if any, has to come through a router.",
            DottedText(*node).c_str());
    }
}

// The address the system sends from toward destination: a UDP socket
// connected there (which sends nothing) tells it.
std::string RouteWords(const sockaddr_in& destination) {
    UniqueSocket route(::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP));
    if (!route) return "no route could be asked for";
    if (::connect(route.get(), reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != 0) {
        return "no route: " + ErrorText(static_cast<DWORD>(::WSAGetLastError()));
    }
    sockaddr_in local = {};
    int length = sizeof local;
    if (::getsockname(route.get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return "unknown";
    Ipv4Octets address = OctetsOf(local);
    std::string words = "through the local address " + DottedText(address);
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    if (HostIpv4Interfaces(interfaces, error)) {
        for (const Ipv4Interface& face : interfaces) {
            if (face.address == address) words += " (\"" + face.name + "\")";
        }
    }
    return words;
}

std::string DatagramHeading(int index, const Datagram& datagram) {
    return Format("  #%d from %s:%u, %zu bytes, %.1f ms after the poll: ", index,
                  DottedText(OctetsOf(datagram.source)).c_str(), ::ntohs(datagram.source.sin_port), datagram.length,
                  datagram.ms);
}

}  // namespace

Step ProbeConfiguredNode(const SettingsOutcome& settings, const WaitControl& wait, NetworkOutcome& outcome) {
    Step step{"art-net", "accepted"};
    char path[kSystemPathSize];
    if (!SystemFilePresent(path, "\\ws2_32.dll")) {
        step.verdict = "no winsock";
        Say(step, "No ws2_32.dll in the system folder: the library counts no network interface.");
        return step;
    }
    if (!settings.addressRead) {
        step.verdict = "not polled";
        Say(step, "No ArtPoll is sent: the host settings gave no node address (see above).");
        return step;
    }
    const Ipv4Octets& configured = settings.configured;
    sockaddr_in destination = ArtNetAddress(configured);
    auto poll = BuildArtPoll();
    std::string node = DottedText(configured);
    step.facts["pollTo"] = node;
    step.facts["poll"] = HexBytes(poll.data(), poll.size());
    UniqueSocket socket;
    if (!BindArtNetPort(step, socket)) return step;
    Say(step, "ArtPoll sent to %s port 6454 from port 6454 (all local addresses), %s", node.c_str(),
        RouteWords(destination).c_str());
    Say(step, "  the poll's 14 bytes: %s", HexBytes(poll.data(), poll.size()).c_str());
    UniqueWsaEvent event(::WSACreateEvent());
    if (!event || ::WSAEventSelect(socket.get(), event.get(), FD_READ) != 0) {
        step.verdict = "socket failed";
        Say(step, "The socket cannot wait for replies (%s).", ErrorText(static_cast<DWORD>(::WSAGetLastError())).c_str());
        return step;
    }
    LARGE_INTEGER polled;
    ::QueryPerformanceCounter(&polled);
    if (::sendto(socket.get(), reinterpret_cast<const char*>(poll.data()), static_cast<int>(poll.size()), 0,
                 reinterpret_cast<const sockaddr*>(&destination), sizeof destination) == SOCKET_ERROR) {
        step.verdict = "send failed";
        Say(step, "The ArtPoll cannot be sent (%s): the library's probe fails the same way.",
            ErrorText(static_cast<DWORD>(::WSAGetLastError())).c_str());
        return step;
    }

    int index = 0;
    bool decided = false;
    int shown = 0;
    int replies = 0;
    step.facts["datagrams"] = Json::array();
    Say(step, "Every datagram on port 6454 within %u ms of the poll:", kReplyWaitMs);
    ListenOut(
        socket.get(), event.get(), polled, wait, "waiting for replies from " + node, outcome,
        [&](const Datagram& datagram) {
            ++index;
            Ipv4Octets source = OctetsOf(datagram.source);
            ReplyVerdict verdict = CheckArtPollReply(datagram.bytes, datagram.length, configured, source);
            bool taken = !decided && verdict == ReplyVerdict::Accepted;
            if (taken) {
                decided = true;
                outcome.count = 1;
            }
            bool pollReply = ArtNetOpCode(datagram.bytes, datagram.length) == 0x2100;
            replies += pollReply ? 1 : 0;
            if (shown == kDatagramsShown) return;
            ++shown;
            std::string words =
                ReplyVerdictText(verdict, datagram.bytes, datagram.length, configured, source);
            Say(step, "%s%s%s", DatagramHeading(index, datagram).c_str(), words.c_str(),
                taken ? " <- the library takes this reply and stops listening" : "");
            Json facts = {{"from", DottedText(source)},
                          {"port", ::ntohs(datagram.source.sin_port)},
                          {"bytes", datagram.length},
                          {"ms", datagram.ms},
                          {"verdict", AnsiToUtf8(words)},
                          {"accepted", verdict == ReplyVerdict::Accepted},
                          {"takenByLibrary", taken}};
            if (pollReply) SayReplyFields(step, DecodePollReply(datagram.bytes, datagram.length), facts["reply"]);
            step.facts["datagrams"].push_back(facts);
        },
        [&](int error) {
            Say(step, "  the receive failed (%s)%s", ErrorText(static_cast<DWORD>(error)).c_str(),
                decided ? "" : ": the library's probe ends here, with no interface");
            decided = true;
        });
    // Event first, then socket, as the library releases them.
    event.reset();
    socket.reset();

    step.facts["count"] = index;
    if (index > shown) Say(step, "  ... and %d more datagrams (%d in all)", index - shown, index);
    if (outcome.cancelled) {
        step.verdict = "stopped";
        Say(step, "Stopped by Ctrl+C %.1f s after the poll.", MillisecondsSince(polled) / 1000.0);
        return step;
    }
    if (outcome.count == 1) {
        Say(step, "The library finds the Open DMX Ethernet node at %s: the network counts 1.", node.c_str());
        return step;
    }
    if (index == 0) {
        step.verdict = "no reply";
        Say(step, "Nothing arrived within %u ms. Likely causes, in order:", kReplyWaitMs);
        Say(step, "  1. the node is off or unplugged;");
        Say(step, "  2. %s is not the node's address (its own display or utility tells it);", node.c_str());
        Say(step, "  3. the node is on another subnet than this computer;");
        Say(step, "  4. a firewall drops UDP port 6454 coming in.");
        SayHostInterfaces(step, &configured);
    } else {
        step.verdict = replies == 0 ? "no reply" : "refused";
        Say(step, "%d datagram%s, none that the library accepts: the network counts no interface.", index,
            index == 1 ? "" : "s");
    }
    return step;
}

Step DiscoverNodes(const SettingsOutcome& settings, const WaitControl& wait, NetworkOutcome& outcome) {
    Step step{"discovery", "none"};
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    if (!HostIpv4Interfaces(interfaces, error)) {
        step.verdict = "no interfaces";
        Say(step, "This computer's IPv4 interfaces cannot be listed (%s).", error.c_str());
        return step;
    }
    UniqueSocket socket;
    if (!BindArtNetPort(step, socket)) return step;
    BOOL broadcast = TRUE;
    ::setsockopt(socket.get(), SOL_SOCKET, SO_BROADCAST, reinterpret_cast<const char*>(&broadcast), sizeof broadcast);
    UniqueWsaEvent event(::WSACreateEvent());
    if (!event || ::WSAEventSelect(socket.get(), event.get(), FD_READ) != 0) {
        step.verdict = "socket failed";
        Say(step, "The socket cannot wait for replies.");
        return step;
    }
    LARGE_INTEGER polled;
    ::QueryPerformanceCounter(&polled);
    auto poll = BuildArtPoll();
    std::vector<Ipv4Octets> ownAddresses;
    for (const Ipv4Interface& face : interfaces) {
        ownAddresses.push_back(face.address);
        if (face.address[0] == 127) continue;
        sockaddr_in destination = ArtNetAddress(DirectedBroadcast(face));
        bool sent = ::sendto(socket.get(), reinterpret_cast<const char*>(poll.data()), static_cast<int>(poll.size()),
                             0, reinterpret_cast<const sockaddr*>(&destination), sizeof destination) != SOCKET_ERROR;
        Say(step, "ArtPoll broadcast to %s on \"%s\"%s", DottedText(DirectedBroadcast(face)).c_str(), face.name.c_str(),
            sent ? "" : (" failed: " + ErrorText(static_cast<DWORD>(::WSAGetLastError()))).c_str());
    }

    // The first reply of each node, by the address it came from.
    std::map<Ipv4Octets, std::vector<std::uint8_t>> nodes;
    ListenOut(
        socket.get(), event.get(), polled, wait, "listening for nodes", outcome,
        [&](const Datagram& datagram) {
            Ipv4Octets source = OctetsOf(datagram.source);
            if (ArtNetOpCode(datagram.bytes, datagram.length) != 0x2100 || nodes.count(source) != 0) return;
            if (nodes.size() < kDatagramsShown) nodes[source].assign(datagram.bytes, datagram.bytes + datagram.length);
        },
        [](int) {});
    event.reset();
    socket.reset();

    step.facts["nodes"] = Json::array();
    std::vector<Ipv4Octets> acceptable;
    for (const auto& [address, reply] : nodes) {
        // Would the library accept this node if Pelvaro.bin named it?
        ReplyVerdict verdict = CheckArtPollReply(reply.data(), reply.size(), address, address);
        bool accepted = verdict == ReplyVerdict::Accepted;
        if (accepted) acceptable.push_back(address);
        std::string words = ReplyVerdictText(verdict, reply.data(), reply.size(), address, address);
        std::size_t skipped = words.rfind(" (skipped)");
        if (skipped != std::string::npos) words.erase(skipped);
        bool configured = settings.addressRead && address == settings.configured;
        Say(step, "Node %s%s: %s", DottedText(address).c_str(), configured ? " (the configured address)" : "",
            accepted ? "the library would accept it at this address" : ("refused: " + words).c_str());
        Json facts = {{"address", DottedText(address)}, {"acceptable", accepted}, {"configured", configured}};
        SayReplyFields(step, DecodePollReply(reply.data(), reply.size()), facts["reply"]);
        step.facts["nodes"].push_back(facts);
    }
    if (nodes.empty()) Say(step, "No node answered within %u ms.", kReplyWaitMs);
    step.verdict = Format("%zu node%s, %zu acceptable", nodes.size(), nodes.size() == 1 ? "" : "s", acceptable.size());
    if (acceptable.size() == 1 && (!settings.addressRead || acceptable[0] != settings.configured)) {
        Say(step, "Exactly one acceptable node answers, at %s, but Pelvaro.bin names %s: bytes 20 to 23 of "
                  "Pelvaro.bin would have to hold %s.", DottedText(acceptable[0]).c_str(),
            settings.addressRead ? DottedText(settings.configured).c_str() : "no address",
            HexBytes(acceptable[0].data(), 4).c_str());
        step.facts["suggestedAddressBytes"] = HexBytes(acceptable[0].data(), 4);
    }
    return step;
}

}  // namespace zmk::doctor
