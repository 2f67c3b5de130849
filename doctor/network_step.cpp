#include "network_step.h"

#include <winsock2.h>

#include <cstring>
#include <map>
#include <memory>
#include <vector>

#include "activity.h"
#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "socket_resource.h"
#include "system_facts.h"
#include "win32/clock.h"
#include "win32/error_text.h"
#include "win32/text_encoding.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

// Every datagram is counted; this many are reported in full.
constexpr int kDatagramsShown = 32;
// Every node that answers a discovery is counted and judged; this many are
// reported in full, and at most this many kept at all (a /20 full of nodes).
constexpr std::size_t kNodesShown = 32;
constexpr std::size_t kNodesKept = 4096;
// Large enough for any UDP datagram, so that a long one is seen whole.
constexpr int kLargestDatagram = 65536;
// A window looks at the clock at least this often, however busy its socket.
constexpr int kReadsPerTurn = 64;
// What is still queued when a window closes is counted for this long at most.
constexpr double kUnreadCountMs = 50;

std::string ErrorWords(int error) { return ErrorText(static_cast<DWORD>(error)); }

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

std::string InterfaceName(const Ipv4Interface& face) { return "\"" + Given(face.name) + "\""; }

// This computer's own addresses: a poll from one of them is its own.
bool IsOwnAddress(const Ipv4Octets& address) {
    if (address[0] == 127) return true;
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    HostIpv4Interfaces(interfaces, error);
    for (const Ipv4Interface& face : interfaces) {
        if (face.address == address) return true;
    }
    return false;
}

bool IsOwnPoll(const std::uint8_t* datagram, std::size_t length, const Ipv4Octets& source) {
    const auto poll = BuildArtPoll();
    return length == poll.size() && std::memcmp(datagram, poll.data(), poll.size()) == 0 && IsOwnAddress(source);
}

void SayReplyFields(Step& step, const ArtPollReplyFields& fields, Json& facts) {
    const std::string shortName = FieldText(fields.shortName);
    const std::string longName = FieldText(fields.longName);
    const std::string nodeReport = FieldText(fields.nodeReport);
    Say(step, "      ShortName %s, LongName %s", Given(Quote(shortName.data(), shortName.size())).c_str(),
        Given(Quote(longName.data(), longName.size())).c_str());
    Say(step, "      NodeReport %s", Given(Quote(nodeReport.data(), nodeReport.size())).c_str());
    Say(step, "      NumPorts %u, PortTypes %s (port 1: %s), GoodOutput %s", fields.numPorts,
        HexBytes(fields.portTypes.data(), 4).c_str(), PortTypeText(fields.portTypes[0]).c_str(),
        HexBytes(fields.goodOutput.data(), 4).c_str());
    unsigned portAddress = PortAddress(fields);
    Say(step, "      Net %u, Sub-Net %u, SwOut %s: port 1 has Port-Address %u (%u:%u:%u)", fields.netSwitch,
        fields.subSwitch, HexBytes(fields.swOut.data(), 4).c_str(), portAddress, portAddress >> 8,
        portAddress >> 4 & 0x0F, portAddress & 0x0F);
    std::string mac = HexBytes(fields.mac.data(), 6);
    for (char& c : mac) c = c == ' ' ? ':' : c;
    Say(step, "      IpAddress %s, MAC %s, BindIp %s, BindIndex %u", DottedText(fields.ipAddress).c_str(), mac.c_str(),
        DottedText(fields.bindIp).c_str(), fields.bindIndex);
    facts["ipAddress"] = DottedText(fields.ipAddress);
    facts["shortName"] = Given(Utf8FromAnsi(shortName));
    facts["longName"] = Given(Utf8FromAnsi(longName));
    facts["nodeReport"] = Given(Utf8FromAnsi(nodeReport));
    facts["numPorts"] = fields.numPorts;
    facts["portTypes"] = HexBytes(fields.portTypes.data(), 4);
    facts["goodOutput"] = HexBytes(fields.goodOutput.data(), 4);
    facts["net"] = fields.netSwitch;
    facts["subNet"] = fields.subSwitch;
    facts["swOut"] = HexBytes(fields.swOut.data(), 4);
    facts["portAddress"] = portAddress;
    facts["mac"] = mac;
    facts["bindIp"] = DottedText(fields.bindIp);
    facts["bindIndex"] = fields.bindIndex;
}

// The UDP port's holders, or the usual cause when the system names none.
void SayPortHolders(Step& step, Findings& findings) {
    findings.portHolders = UdpPortHolders(kArtNetPort);
    for (const std::string& holder : findings.portHolders) {
        step.facts["portHolders"].push_back(holder);
        Say(step, "  held by %s", holder.c_str());
    }
    if (findings.portHolders.empty()) {
        Say(step, "  the system does not say which program holds it; usually another Art-Net program (a lighting "
                  "console, a visualiser, a node utility) is running: close it and try again.");
    }
}

bool NodeOnHostSubnet(const Ipv4Octets& node) {
    std::vector<Ipv4Interface> interfaces;
    std::string error;
    HostIpv4Interfaces(interfaces, error);
    for (const Ipv4Interface& face : interfaces) {
        if (face.address[0] != 127 && OnSubnet(face, node)) return true;
    }
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
    for (const Ipv4Interface& face : interfaces) {
        std::string mask = DottedText(PrefixMask(face.prefixLength));
        Say(step, "  %s/%u (mask %s) on %s", DottedText(face.address).c_str(), face.prefixLength, mask.c_str(),
            InterfaceName(face).c_str());
        step.facts["hostAddresses"].push_back(
            {{"address", DottedText(face.address)}, {"mask", mask}, {"interface", Given(face.name)}});
    }
    if (node && !NodeOnHostSubnet(*node)) {
        Say(step, "  %s is on none of these subnets: its reply, if any, has to come through a router.",
            DottedText(*node).c_str());
    }
}

// The route the poll takes, from the routing table: nothing is sent.
std::string RouteWords(const Ipv4Octets& destination) {
    Ipv4Interface through;
    std::string error;
    if (!RouteTo(destination, through, error)) return "with no route to it (" + error + ")";
    return "through the local address " + DottedText(through.address) + " (" + InterfaceName(through) + ")";
}

struct Received {
    const std::uint8_t* bytes;
    std::size_t length;
    Ipv4Octets source;
    unsigned port;
    double ms;
};

// Reads what reaches socket until the window ends, looking at the clock after
// every datagram and waiting again after a bounded number, so that no storm
// holds it past its end. Returns the error that ended it early, or 0.
template <typename OnDatagram>
int ListenUntil(SOCKET socket, WSAEVENT event, LARGE_INTEGER from, double windowMs, OnDatagram onDatagram) {
    std::unique_ptr<std::uint8_t[]> buffer(new std::uint8_t[kLargestDatagram]);
    for (;;) {
        double left = windowMs - MillisecondsSince(from);
        if (left <= 0) return 0;
        DWORD signalled = ::WSAWaitForMultipleEvents(1, &event, FALSE, static_cast<DWORD>(left) + 1, FALSE);
        if (signalled == WSA_WAIT_FAILED) return ::WSAGetLastError();
        if (signalled != WSA_WAIT_EVENT_0) continue;
        ::WSAResetEvent(event);
        for (int read = 0; read < kReadsPerTurn; ++read) {
            sockaddr_in source = {};
            int sourceLength = sizeof source;
            int received = ::recvfrom(socket, reinterpret_cast<char*>(buffer.get()), kLargestDatagram, 0,
                                      reinterpret_cast<sockaddr*>(&source), &sourceLength);
            if (received == SOCKET_ERROR) {
                int error = ::WSAGetLastError();
                if (error == WSAEWOULDBLOCK) break;
                // A port unreachable answered to a poll: the next datagram may be fine.
                if (error == WSAECONNRESET) continue;
                return error;
            }
            onDatagram(Received{buffer.get(), static_cast<std::size_t>(received), OctetsOf(source),
                                ::ntohs(source.sin_port), MillisecondsSince(from)});
            if (MillisecondsSince(from) >= windowMs) return 0;
        }
    }
}

// What is still queued on socket when its window closed: counted, not read
// as replies. At least the number returned when counting ran out of time.
int CountUnread(SOCKET socket, bool& atLeast) {
    std::unique_ptr<char[]> buffer(new char[kLargestDatagram]);
    LARGE_INTEGER started = Now();
    int unread = 0;
    for (;;) {
        atLeast = MillisecondsSince(started) >= kUnreadCountMs;
        if (atLeast || ::recv(socket, buffer.get(), kLargestDatagram, 0) == SOCKET_ERROR) return unread;
        ++unread;
    }
}

// The configured node's step: the library's probe, told to this observer.
class ProbeWatch {
public:
    // route: the words for the way the poll takes, found before the probe
    // runs so that nothing of the doctor's delays the library's steps.
    ProbeWatch(Step& step, Findings& findings, const Ipv4Octets& configured, std::string route)
        : step_(step), findings_(findings), configured_(configured), route_(std::move(route)) {
        step_.facts["datagrams"] = Json::array();
    }

    static void Notify(void* context, const ProbeEvent& event) { static_cast<ProbeWatch*>(context)->On(event); }

    void Finish(NetworkOutcome& outcome) {
        step_.facts["count"] = index_;
        outcome.listenedMs += sent_ ? MillisecondsSince(sentAt_) : 0;
        if (index_ > shown_) Say(step_, "  ... and %d more datagrams (%d in all)", index_ - shown_, index_);
        if (unread_ > 0) {
            step_.facts["notLookedAt"] = unread_;
            Say(step_, "  %s%d datagram%s still waiting when the window closed, not looked at", unreadAtLeast_ ? "at least " : "",
                unread_, unread_ == 1 ? " was" : "s were");
        }
        if (!sent_) return;
        if (taken_) {
            outcome.count = 1;
            findings_.network = Findings::Network::Accepted;
            Say(step_, "The library finds the Open DMX Ethernet node at %s: the network counts 1.",
                DottedText(configured_).c_str());
            return;
        }
        if (refused_) {
            step_.verdict = "refused";
            findings_.network = Findings::Network::Refused;
        } else {
            step_.verdict = "no reply";
            findings_.network = Findings::Network::Silent;
        }
        if (index_ == 0 && unread_ == 0) {
            Say(step_, "Nothing arrived within %u ms. Likely causes, in order:", kReplyWaitMs);
            Say(step_, "  1. the node is off or unplugged;");
            Say(step_, "  2. %s is not the node's address (its own display or utility tells it);",
                DottedText(configured_).c_str());
            Say(step_, "  3. the node is on another subnet than this computer;");
            Say(step_, "  4. a firewall drops UDP port 6454 coming in.");
            SayHostInterfaces(step_, &configured_);
        } else {
            Say(step_, "%d datagram%s, none that the library accepts: the network counts no interface.", index_,
                index_ == 1 ? "" : "s");
        }
    }

private:
    void On(const ProbeEvent& event) {
        switch (event.step) {
            case ProbeStep::Bound:
                if (event.value != 0) OnBindFailed(event.value);
                break;
            case ProbeStep::Sent: OnSent(event.value); break;
            case ProbeStep::Datagram: OnDatagram(event, static_cast<ReplyVerdict>(event.value), false); break;
            case ProbeStep::Unread:
                if (event.value == WSAEMSGSIZE) {
                    OnDatagram(event, ReplyVerdict::TooLong, false);
                } else {
                    Say(step_, "  the receive failed (%s): the library's probe ends here, with no interface",
                        ErrorWords(event.value).c_str());
                }
                break;
            case ProbeStep::Decided: OnDecided(event); break;
        }
    }

    void OnBindFailed(int error) {
        step_.verdict = "port busy";
        step_.facts["bindError"] = error;
        findings_.network = Findings::Network::PortBusy;
        Say(step_, "No ArtPoll is sent: UDP port 6454 cannot be taken (%s%s).", ErrorWords(error).c_str(),
            error == WSAEADDRINUSE ? ", another socket holds it" : "");
        SayPortHolders(step_, findings_);
        Say(step_, "The library's probe fails the same way: the network counts no interface.");
    }

    void OnSent(int error) {
        const std::string node = DottedText(configured_);
        if (error != 0) {
            step_.verdict = "send failed";
            step_.facts["sendError"] = error;
            findings_.network = Findings::Network::NotSent;
            Say(step_, "The ArtPoll to %s port 6454 could not be sent (%s): the library's probe ends here, with no "
                       "interface.", node.c_str(), ErrorWords(error).c_str());
            return;
        }
        sent_ = true;
        sentAt_ = Now();
        Say(step_, "ArtPoll sent to %s port 6454 from port 6454 (all local addresses), %s", node.c_str(),
            route_.c_str());
        auto poll = BuildArtPoll();
        Say(step_, "  the poll's 14 bytes: %s", HexBytes(poll.data(), poll.size()).c_str());
        Say(step_, "Every datagram on port 6454 within %u ms of the poll, as the library judges it:", kReplyWaitMs);
    }

    void OnDatagram(const ProbeEvent& event, ReplyVerdict verdict, bool afterDecision) {
        Ipv4Octets source{};
        unsigned port = 0;
        if (event.source) {
            const auto* from = static_cast<const sockaddr_in*>(event.source);
            source = OctetsOf(*from);
            port = ::ntohs(from->sin_port);
        }
        Received datagram{event.datagram, event.length, source, port, MillisecondsSince(sentAt_)};
        Report(datagram, verdict, afterDecision, verdict == ReplyVerdict::TooLong && event.step == ProbeStep::Unread);
    }

    // One datagram in the report. The library's verdict decides; the list of
    // every field at fault only explains it.
    void Report(const Received& datagram, ReplyVerdict verdict, bool afterDecision, bool cut) {
        ++index_;
        const bool taken = !afterDecision && verdict == ReplyVerdict::Accepted;
        taken_ = taken_ || taken;
        const bool pollReply = !cut && ArtNetOpCode(datagram.bytes, datagram.length) == kOpPollReply &&
                               verdict != ReplyVerdict::TooLong;
        ReplyFaults faults = cut ? ReplyFaults{} : CheckEveryReplyField(datagram.bytes, datagram.length, configured_,
                                                                       datagram.source);
        if (cut) faults.Add(ReplyVerdict::TooLong);
        if (pollReply && !faults.None() && !refused_) {
            refused_ = true;
            findings_.refused = faults;
            findings_.refusedReply = DecodeArtPollReply(datagram.bytes, datagram.length);
            findings_.refusedSource = datagram.source;
        }
        if (shown_ == kDatagramsShown) return;
        ++shown_;
        const bool own = IsOwnPoll(datagram.bytes, datagram.length, datagram.source);
        std::string words = ReplyVerdictText(faults, datagram.bytes, datagram.length, configured_, datagram.source, own);
        if (cut) words.insert(words.find(" (skipped)"), " (the library read its first 240 bytes)");
        Say(step_, "  #%d from %s:%u, %s%zu bytes, %.1f ms after the poll: %s%s", index_,
            DottedText(datagram.source).c_str(), datagram.port, cut ? "more than " : "",
            cut ? kReplyBufferSize : datagram.length, datagram.ms, words.c_str(),
            taken ? " <- the library takes this reply and stops listening" : "");
        Json facts = {{"from", DottedText(datagram.source)},
                      {"port", datagram.port},
                      {"bytes", cut ? kReplyBufferSize + 1 : datagram.length},
                      {"ms", datagram.ms},
                      {"verdict", words},
                      {"accepted", verdict == ReplyVerdict::Accepted},
                      {"takenByLibrary", taken},
                      {"afterDecision", afterDecision}};
        if (pollReply) SayReplyFields(step_, DecodeArtPollReply(datagram.bytes, datagram.length), facts["reply"]);
        step_.facts["datagrams"].push_back(facts);
    }

    // The library has decided; until its deadline the doctor reads on, on
    // the library's own socket, for the report.
    void OnDecided(const ProbeEvent& event) {
        const auto socket = static_cast<SOCKET>(event.socket);
        const double left = kReplyWaitMs - MillisecondsSince(sentAt_);
        if (taken_ && left > 1) {
            Say(step_, "After the library's decision, the doctor listens out the rest of the %u ms for this report:",
                kReplyWaitMs);
            Listening listening("listening after the library's decision", left);
            int error = ListenUntil(socket, static_cast<WSAEVENT>(event.readEvent), sentAt_, kReplyWaitMs,
                                    [&](const Received& datagram) {
                                        ReplyVerdict verdict = CheckArtPollReply(datagram.bytes, datagram.length,
                                                                                 configured_, datagram.source);
                                        Report(datagram, verdict, true, false);
                                    });
            if (error != 0) Say(step_, "  the receive failed (%s)", ErrorWords(error).c_str());
        }
        unread_ = CountUnread(socket, unreadAtLeast_);
    }

    Step& step_;
    Findings& findings_;
    Ipv4Octets configured_;
    std::string route_;
    bool sent_ = false;
    LARGE_INTEGER sentAt_ = {};
    int index_ = 0;
    int shown_ = 0;
    bool taken_ = false;
    bool refused_ = false;
    int unread_ = 0;
    bool unreadAtLeast_ = false;
};

// One node that answered the discovery: its first reply judged, and, for the
// first few, kept for the report.
struct Node {
    ReplyFaults faults;
    std::vector<std::uint8_t> reply;
};

}  // namespace

Step ProbeConfiguredNode(const SettingsOutcome& settings, Findings& findings, NetworkOutcome& outcome) {
    Step step{"art-net", "accepted"};
    char path[kSystemPathSize];
    if (!SystemFilePresent(path, "\\ws2_32.dll")) {
        step.verdict = "no winsock";
        findings.network = Findings::Network::Failed;
        Say(step, "No ws2_32.dll in the system folder: the library counts no network interface.");
        return step;
    }
    if (!settings.addressRead) {
        step.verdict = "not polled";
        findings.network = Findings::Network::NotPolled;
        Say(step, "No ArtPoll is sent: the host settings gave no node address (see above).");
        return step;
    }
    step.facts["pollTo"] = DottedText(settings.configured);
    step.facts["nodeOnHostSubnet"] = NodeOnHostSubnet(settings.configured);
    auto poll = BuildArtPoll();
    step.facts["poll"] = HexBytes(poll.data(), poll.size());
    ProbeWatch watch(step, findings, settings.configured, RouteWords(settings.configured));
    const ProbeObserver observer{&ProbeWatch::Notify, &watch};
    {
        Listening listening("waiting for replies from " + DottedText(settings.configured), kReplyWaitMs);
        ProbeArtNetNode(&observer);
    }
    watch.Finish(outcome);
    return step;
}

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
    if (unread > 0) {
        step.facts["notLookedAt"] = unread;
        Say(step, "%s%d datagram%s still waiting when the window closed, not looked at", atLeast ? "at least " : "",
            unread, unread == 1 ? " was" : "s were");
    }
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
