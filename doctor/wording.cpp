#include "wording.h"

#include <cstring>
#include <iterator>

#include "ascii_case.h"
#include "findings.h"

namespace zmk::doctor {
namespace {

std::string QuoteText(const std::string& text) { return Quote(text.data(), text.size()); }

// Letters in upper case, spaces dropped: how a person misreads a name.
std::string Folded(const std::string& text) {
    std::string folded;
    for (char c : text) {
        if (c != ' ') folded += AsciiUpper(c);
    }
    return folded;
}

// "0x20 ' '" for a byte, "its end" for the terminator.
std::string ByteWords(unsigned char byte) {
    if (byte == 0) return "its end";
    if (byte >= 0x20 && byte < 0x7F) return Format("'%c' (0x%02X)", byte, byte);
    return Format("0x%02X", byte);
}

}  // namespace

const char* StatusConsequence(std::int32_t status) noexcept {
    switch (status) {
        case DriverError: return "The library answers at once, without a dialog: Borvanect sees a D2XX driver fault.";
        case MultipleDevices:
            return "The re-plug dialog will open, in the several-interfaces mode: Rescan DMX looks again, Cancel "
                   "gives Borvanect this status.";
        case NoDevice: return "The library answers without a dialog: Borvanect finds no DMX interface.";
        case OpenDmxUsb: return "Borvanect will use the Open DMX USB interface, without a dialog.";
        case DmxUsbPro: return "Borvanect will use the DMX USB PRO interface, without a dialog.";
        case OpenDmxEthernet: return "Borvanect will use the Open DMX Ethernet node, without a dialog.";
        case UnrecognizedUsbDevice:
            return "The re-plug dialog will open, in the unrecognised-device mode: Rescan DMX waits 5 seconds and "
                   "looks again, Cancel gives Borvanect this status.";
        default: return "The library never returns this status.";
    }
}

std::string OpCodeName(int opCode) {
    switch (opCode) {
        case kOpPoll: return "OpPoll";
        case kOpPollReply: return "OpPollReply";
        case kOpDmx: return "OpDmx";
        case 0x5100: return "OpNzs";
        case 0x5200: return "OpSync";
        case 0x6000: return "OpAddress";
        case 0x7000: return "OpInput";
        case 0x9700: return "OpTimeCode";
        default: return Format("OpCode 0x%04X", static_cast<unsigned>(opCode));
    }
}

std::string DottedText(const Ipv4Octets& address) {
    char text[kAddressTextSize];
    FormatDottedAddress(address, text);
    return text;
}

std::string PortTypeText(std::uint8_t portType) {
    std::string text;
    if (portType & kPortOutputs) text = "output";
    if (portType & kPortInputs) text += text.empty() ? "input" : "+input";
    if (text.empty()) text = "neither output nor input";
    unsigned protocol = portType & 0x3F;
    const char* names[] = {"DMX512", "MIDI", "Avab", "Colortran CMX", "ADB 62.5", "Art-Net", "DALI"};
    return text + " " + (protocol < std::size(names) ? names[protocol] : Format("protocol %u", protocol));
}

unsigned PortAddress(const ArtPollReplyFields& fields) noexcept {
    return (fields.netSwitch & 0x7F) << 8 | (fields.subSwitch & 0x0F) << 4 | (fields.swOut[0] & 0x0F);
}

std::string OutputUniverseText(std::uint8_t swOut) {
    // A node that keeps the whole 8-bit switch in SwOut has the sub-net in
    // its high nibble and the universe within that sub-net in its low one.
    return Format("Sub-Net %u, universe %u of that sub-net", swOut >> 4, swOut & 0x0Fu);
}

std::string FaultText(ReplyVerdict fault, const ArtPollReplyFields& fields, const Ipv4Octets& configured,
                      const Ipv4Octets& source) {
    const std::string says = DottedText(fields.ipAddress);
    switch (fault) {
        case ReplyVerdict::NotConfiguredNode:
            return "the reply says it is " + says + ", but the node configured in Pelvaro.bin is " +
                   DottedText(configured);
        case ReplyVerdict::NotFromNode: return "the reply says it is " + says + " but came from " + DottedText(source);
        case ReplyVerdict::PortCannotOutput: {
            std::uint8_t type = fields.portTypes[0];
            if (type & kPortInputs) return Format("port 1 is an input, not an output (PortTypes[0] is 0x%02X)", type);
            return Format("port 1 cannot output DMX (PortTypes[0] is 0x%02X, NumPorts %u)", type, fields.numPorts);
        }
        case ReplyVerdict::OutputSwitched:
            return Format("SwOut[0] is 0x%02X, not 0 (port 1 outputs ", fields.swOut[0]) +
                   OutputUniverseText(fields.swOut[0]) + ")";
        case ReplyVerdict::NotOpenDmxEthernet: {
            const std::string longName = FieldText(fields.longName);
            std::string text = "LongName is " + QuoteText(longName) + " (it must be exactly \"" +
                               kOpenDmxEthernetName + "\")";
            if (longName.size() == fields.longName.size()) text += ", and it fills all 64 bytes without a zero byte";
            if (Folded(longName) == Folded(kOpenDmxEthernetName)) {
                text += "; it differs only in spaces or case: bytes " +
                        HexBytes(reinterpret_cast<const std::uint8_t*>(longName.data()), longName.size());
            }
            if (FieldText(fields.shortName) == kOpenDmxEthernetName)
                text += "; the ShortName is \"Open DMX Ethernet\", but only the LongName counts";
            return text;
        }
        default: return "";
    }
}

std::string ReplyVerdictText(const ReplyFaults& faults, const std::uint8_t* datagram, std::size_t length,
                             const Ipv4Octets& configured, const Ipv4Octets& source, bool ownPoll) {
    const ArtPollReplyFields fields = DecodeArtPollReply(datagram, length);
    if (faults.None()) {
        return "accepted: an Open DMX Ethernet node at " + DottedText(fields.ipAddress) +
               ", port 1 outputs DMX, SwOut[0] is 0";
    }
    const int opCode = ArtNetOpCode(datagram, length);
    if (opCode == kOpDmx) return "DMX data, not a reply (an Art-Net OpDmx packet) (skipped)";
    if (faults.Has(ReplyVerdict::TooLong)) {
        return Format("longer than the %zu bytes a reply can have", kReplyBufferSize) +
               (opCode < 0 ? std::string() : " (an Art-Net " + OpCodeName(opCode) + " packet)") + " (skipped)";
    }
    if (faults.Has(ReplyVerdict::NotArtNet)) {
        std::size_t shown = length < 8 ? length : 8;
        return "not Art-Net: it starts with " + Quote(reinterpret_cast<const char*>(datagram), shown) +
               " (an Art-Net packet starts with \"Art-Net\" and a zero byte) (skipped)";
    }
    if (faults.Has(ReplyVerdict::NotPollReply)) {
        if (opCode == kOpPoll && ownPoll) return "this computer's own ArtPoll, come back to it (skipped)";
        if (opCode == kOpPoll) return "another controller's ArtPoll (skipped)";
        return "an Art-Net " + OpCodeName(opCode) + " packet, not an ArtPollReply (skipped)";
    }
    std::string text;
    for (ReplyVerdict fault : kReplyTestOrder) {
        if (!faults.Has(fault)) continue;
        text += (text.empty() ? "" : "; and ") + FaultText(fault, fields, configured, source);
    }
    return text + " (skipped)";
}

std::string OddAddress(const Ipv4Octets& address, const std::vector<Ipv4Octets>& directedBroadcasts) {
    if (address == Ipv4Octets{0, 0, 0, 0})
        return "0.0.0.0 names no node (a settings file of 20 bytes or less reads this way too)";
    if (address[0] == 127) return "a loopback address: this computer itself, never a node";
    if (address == Ipv4Octets{255, 255, 255, 255})
        return "the broadcast address: no reply can say it comes from it, so none is accepted";
    for (const Ipv4Octets& broadcast : directedBroadcasts) {
        if (address == broadcast) {
            return "the broadcast address of one of this computer's subnets: every node there hears the poll, "
                   "but no reply can say it comes from this address, so none is accepted";
        }
    }
    if (address[0] >= 224 && address[0] <= 239) return "a multicast address: no node has it as its own";
    if (address[0] >= 240) return "a reserved address: no node has it";
    return {};
}

std::string DeviceFlagsText(std::uint32_t flags) {
    std::string text;
    if (flags & kFtFlagOpened)
        text += "in use by another program: the driver withholds its identity, so its class is not to be trusted";
    if (flags & 2) text += std::string(text.empty() ? "" : "; ") + "high speed";
    if (flags & ~3u) text += std::string(text.empty() ? "" : "; ") + Format("other bits 0x%X", flags & ~3u);
    return text.empty() ? "not in use, full speed" : text;
}

std::string ChipTypeName(std::uint32_t type) {
    const char* names[] = {"BM",     "AM",        "100AX",     "unknown", "2232C",   "232R",     "2232H",
                           "4232H",  "232H",      "X-series",  "4222H (mode 0)", "4222H (modes 1, 2)",
                           "4222H (mode 3)",      "4222 programming", "900", "930", "UMFTPD3A"};
    if (type < std::size(names)) return Format("%u (%s)", type, names[type]);
    return Format("%u (a type this tool does not know)", type);
}

RowExplanation ExplainIdentification(std::uint32_t type, const char* description) {
    const IdentificationRow& row = FindIdentificationRow(type, description);
    RowExplanation explanation;
    explanation.step = static_cast<int>(&row - kIdentificationTable) + 1;
    explanation.status = row.status;
    std::string chip = ChipTypeName(type);
    std::size_t length = strnlen(description, kFtDescriptionSize);
    if (row.description != nullptr) {
        explanation.why = "chip type " + chip + " and the description is exactly \"" + row.description + "\"";
        if (type == kFtDevice232R && std::strcmp(row.description, "FT232R USB UART") == 0) {
            explanation.why += "; that is the chip maker's factory default, so an unprogrammed FT232R adapter "
                               "reads as an Open DMX USB";
        }
        return explanation;
    }
    if (row.type == kAnyFtDevice) {
        explanation.why = "chip type " + chip + " is neither BM (0) nor 232R (5): the library does not know this kind";
        return explanation;
    }
    explanation.why = "chip type " + chip + " with a description that is none of the table's texts for it";
    if (length == kFtDescriptionSize) explanation.why += " (it fills all 64 bytes without a zero byte)";
    // The listed text it comes closest to, and where it leaves it.
    const IdentificationRow* nearest = nullptr;
    std::size_t nearestSame = 0;
    for (const IdentificationRow& candidate : kIdentificationTable) {
        if (candidate.type != type || candidate.description == nullptr) continue;
        std::size_t same = 0;
        while (same < length && candidate.description[same] != '\0' && candidate.description[same] == description[same])
            ++same;
        if (nearest == nullptr || same > nearestSame) {
            nearest = &candidate;
            nearestSame = same;
        }
    }
    if (nearest != nullptr) {
        unsigned char found = nearestSame < length ? static_cast<unsigned char>(description[nearestSame]) : 0;
        unsigned char expected = static_cast<unsigned char>(nearest->description[nearestSame]);
        explanation.why += Format("; nearest is \"%s\" (step %d), which it leaves at byte %zu: ", nearest->description,
                                  static_cast<int>(nearest - kIdentificationTable) + 1, nearestSame) +
                           ByteWords(found) + " where that text has " + ByteWords(expected);
    }
    return explanation;
}

std::string ListedRecordsText(ListedRecords verdict, std::uint32_t counted, std::uint32_t described) {
    switch (verdict) {
        case ListedRecords::OneWritten: return "";
        case ListedRecords::CallFailed: return "FT_GetDeviceInfoList failed";
        case ListedRecords::NotOne:
            return Format("the list moved between the two calls: %u counted, %u described (a device was plugged in "
                          "or out meanwhile, or the driver is at fault)", counted, described);
        case ListedRecords::NoRecordWritten:
            return "the driver counted one device but wrote no record for it (the driver is at fault)";
        case ListedRecords::SecondRecordWritten:
            return "the driver counted one device but wrote more than one record (the list changed meanwhile, or "
                   "the driver is at fault)";
    }
    return "";
}

}  // namespace zmk::doctor
