#include "network_step.h"

#include <winsock2.h>

#include <cstring>
#include <vector>

#include "activity.h"
#include "art_net_reading.h"
#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "system_facts.h"
#include "win32/clock.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

// Every datagram is counted; this many are reported in full.
constexpr int kDatagramsShown = 32;

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
        SayUnread(step_, unread_, unreadAtLeast_, "  ");
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
            case ProbeStep::Datagram: OnDatagram(event, static_cast<ReplyVerdict>(event.value)); break;
            case ProbeStep::Unread:
                if (event.value == WSAEMSGSIZE) {
                    OnDatagram(event, ReplyVerdict::TooLong);
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

    // A datagram the library read (or, cut at 240 bytes, could not).
    void OnDatagram(const ProbeEvent& event, ReplyVerdict verdict) {
        Ipv4Octets source{};
        unsigned port = 0;
        if (event.source) {
            const auto* from = static_cast<const sockaddr_in*>(event.source);
            source = OctetsOf(*from);
            port = ::ntohs(from->sin_port);
        }
        Received datagram{event.datagram, event.length, source, port, MillisecondsSince(sentAt_)};
        Report(datagram, verdict, false, event.step == ProbeStep::Unread);
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

}  // namespace zmk::doctor
