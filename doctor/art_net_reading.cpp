#include "art_net_reading.h"

#include <cstring>
#include <vector>

#include "win32/error_text.h"
#include "win32/text_encoding.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

// What is still queued when a window closes is counted for this long at most.
constexpr double kUnreadCountMs = 50;

}  // namespace

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

void SayUnread(Step& step, int unread, bool atLeast, const char* indent) {
    if (unread == 0) return;
    step.facts["notLookedAt"] = unread;
    Say(step, "%s%s%d datagram%s still waiting when the window closed, not looked at", indent,
        atLeast ? "at least " : "", unread, unread == 1 ? " was" : "s were");
}

}  // namespace zmk::doctor
