#include "wording.h"

#include <cstring>
#include <iterator>

#include "findings.h"
#include "usb_classification.h"

namespace zmk::doctor {
namespace {

// ArtPollReply offsets of the Art-Net standard beyond the few the probe tests.
constexpr std::size_t kIpAddressOffset = 10;
constexpr std::size_t kPortOffset = 14;
constexpr std::size_t kNetSwitchOffset = 18;
constexpr std::size_t kSubSwitchOffset = 19;
constexpr std::size_t kShortNameOffset = 26;
constexpr std::size_t kShortNameSize = 18;
constexpr std::size_t kLongNameOffset = 44;
constexpr std::size_t kLongNameSize = 64;
constexpr std::size_t kNodeReportOffset = 108;
constexpr std::size_t kNodeReportSize = 64;
constexpr std::size_t kNumPortsOffset = 172;  // Hi, then Lo
constexpr std::size_t kPortTypesOffset = 174;
constexpr std::size_t kGoodOutputOffset = 182;
constexpr std::size_t kSwOutOffset = 190;
constexpr std::size_t kMacOffset = 201;
constexpr std::size_t kBindIpOffset = 207;
constexpr std::size_t kBindIndexOffset = 211;
constexpr std::uint8_t kPortOutputs = 0x80;
constexpr std::uint8_t kPortInputs = 0x40;
constexpr char kExpectedLongName[] = "Open DMX Ethernet";

// The datagram as the probe reads it: a zeroed 240-byte buffer, filled with
// what arrived (a longer datagram is cut for decoding only).
struct ReplyBuffer {
    std::uint8_t bytes[kReplyBufferSize] = {};
    ReplyBuffer(const std::uint8_t* datagram, std::size_t length) {
        if (length > sizeof bytes) length = sizeof bytes;
        if (length != 0) std::memcpy(bytes, datagram, length);
    }
};

std::string FieldText(const std::uint8_t* field, std::size_t size) {
    const void* end = std::memchr(field, 0, size);
    std::size_t length = end ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(end) - field) : size;
    return std::string(reinterpret_cast<const char*>(field), length);
}

std::string QuoteText(const std::string& text) { return Quote(text.data(), text.size()); }

bool SameIgnoringCaseAndSpaces(std::string a, std::string b) {
    auto fold = [](std::string& text) {
        std::string folded;
        for (char c : text) {
            if (c != ' ') folded += static_cast<char>(c >= 'a' && c <= 'z' ? c - 32 : c);
        }
        text = folded;
    };
    fold(a);
    fold(b);
    return a == b;
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
        case DriverError:
            return "The library answers at once, without a dialog: Borvanect sees a D2XX driver fault "
                   "(next step: reinstall or repair the D2XX driver).";
        case MultipleDevices:
            return "The re-plug dialog will open, in the several-interfaces mode: unplug all but one "
                   "interface and press Rescan DMX (Cancel gives Borvanect this status).";
        case NoDevice:
            return "The library answers without a dialog: Borvanect finds no DMX interface "
                   "(next step: check the cable, the driver and the node's address).";
        case OpenDmxUsb: return "Borvanect will use the Open DMX USB interface, without a dialog.";
        case DmxUsbPro: return "Borvanect will use the DMX USB PRO interface, without a dialog.";
        case OpenDmxEthernet: return "Borvanect will use the Open DMX Ethernet node, without a dialog.";
        case UnrecognizedUsbDevice:
            return "The re-plug dialog will open, in the unrecognised-device mode: Rescan DMX waits "
                   "5 seconds and looks again (Cancel gives Borvanect this status).";
        default: return "The library never returns this status.";
    }
}

PollReplyFields DecodePollReply(const std::uint8_t* datagram, std::size_t length) {
    ReplyBuffer reply(datagram, length);
    const std::uint8_t* b = reply.bytes;
    PollReplyFields fields;
    std::memcpy(fields.ipAddress.data(), b + kIpAddressOffset, 4);
    fields.port = b[kPortOffset] | b[kPortOffset + 1] << 8;
    fields.net = b[kNetSwitchOffset];
    fields.subNet = b[kSubSwitchOffset];
    fields.shortName = FieldText(b + kShortNameOffset, kShortNameSize);
    fields.longName = FieldText(b + kLongNameOffset, kLongNameSize);
    fields.nodeReport = FieldText(b + kNodeReportOffset, kNodeReportSize);
    fields.numPorts = b[kNumPortsOffset] << 8 | b[kNumPortsOffset + 1];
    std::memcpy(fields.portTypes, b + kPortTypesOffset, 4);
    std::memcpy(fields.goodOutput, b + kGoodOutputOffset, 4);
    std::memcpy(fields.swOut, b + kSwOutOffset, 4);
    std::memcpy(fields.mac, b + kMacOffset, 6);
    std::memcpy(fields.bindIp.data(), b + kBindIpOffset, 4);
    fields.bindIndex = b[kBindIndexOffset];
    return fields;
}

int ArtNetOpCode(const std::uint8_t* datagram, std::size_t length) noexcept {
    if (length < 10 || std::memcmp(datagram, "Art-Net", 8) != 0) return -1;
    return datagram[8] | datagram[9] << 8;
}

std::string OpCodeName(int opCode) {
    switch (opCode) {
        case 0x2000: return "OpPoll";
        case 0x2100: return "OpPollReply";
        case 0x5000: return "OpDmx";
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

unsigned PortAddress(const PollReplyFields& fields) noexcept {
    return (fields.net & 0x7F) << 8 | (fields.subNet & 0x0F) << 4 | (fields.swOut[0] & 0x0F);
}

std::string ReplyVerdictText(ReplyVerdict verdict, const std::uint8_t* datagram, std::size_t length,
                             const Ipv4Octets& configured, const Ipv4Octets& source) {
    PollReplyFields fields = DecodePollReply(datagram, length);
    std::string says = DottedText(fields.ipAddress);
    switch (verdict) {
        case ReplyVerdict::Accepted:
            return "accepted: an Open DMX Ethernet node at " + says + ", port 1 outputs DMX, SwOut[0] is 0";
        case ReplyVerdict::TooLong: {
            int opCode = ArtNetOpCode(datagram, length);
            return Format("longer than the %zu bytes a reply can have", kReplyBufferSize) +
                   (opCode < 0 ? std::string() : " (an Art-Net " + OpCodeName(opCode) + " packet)") + " (skipped)";
        }
        case ReplyVerdict::NotArtNet: {
            std::size_t shown = length < 8 ? length : 8;
            return "not Art-Net: it starts with " + Quote(reinterpret_cast<const char*>(datagram), shown) +
                   " (an Art-Net packet starts with \"Art-Net\" and a zero byte) (skipped)";
        }
        case ReplyVerdict::NotPollReply: {
            int opCode = ArtNetOpCode(datagram, length);
            if (opCode == 0x2000) return "another controller's ArtPoll (skipped)";
            return "an Art-Net " + OpCodeName(opCode) + " packet, not an ArtPollReply (skipped)";
        }
        case ReplyVerdict::NotConfiguredNode:
            return "the reply says it is " + says + ", but the node configured in Pelvaro.bin is " +
                   DottedText(configured) + " (skipped)";
        case ReplyVerdict::NotFromNode:
            return "the reply says it is " + says + " but came from " + DottedText(source) + " (skipped)";
        case ReplyVerdict::PortCannotOutput: {
            std::uint8_t type = fields.portTypes[0];
            if (type & kPortInputs)
                return Format("port 1 is an input, not an output (PortTypes[0] is 0x%02X) (skipped)", type);
            return Format("port 1 cannot output DMX (PortTypes[0] is 0x%02X, NumPorts %u) (skipped)", type,
                          fields.numPorts);
        }
        case ReplyVerdict::OutputSwitched:
            return Format("SwOut[0] is 0x%02X, not 0 (the node outputs universe %u) (skipped)", fields.swOut[0],
                          fields.swOut[0]);
        case ReplyVerdict::NotOpenDmxEthernet: {
            std::string text = "LongName is " + QuoteText(fields.longName) + " (it must be exactly \"" +
                               kExpectedLongName + "\")";
            if (fields.longName.size() == kLongNameSize) text += ", and it fills all 64 bytes without a zero byte";
            if (SameIgnoringCaseAndSpaces(fields.longName, kExpectedLongName)) {
                text += "; it differs only in spaces or case: bytes " +
                        HexBytes(reinterpret_cast<const std::uint8_t*>(fields.longName.data()), fields.longName.size());
            }
            if (fields.shortName == kExpectedLongName)
                text += "; the ShortName is \"Open DMX Ethernet\", but only the LongName counts";
            return text + " (skipped)";
        }
    }
    return "unknown verdict";
}

std::string OddAddress(const Ipv4Octets& address) {
    if (address == Ipv4Octets{0, 0, 0, 0})
        return "0.0.0.0 names no node (a settings file of 20 bytes or less reads this way too)";
    if (address[0] == 127) return "a loopback address: this computer itself, never a node";
    if (address == Ipv4Octets{255, 255, 255, 255})
        return "the broadcast address: no reply can say it comes from it, so none is accepted";
    if (address[0] >= 224 && address[0] <= 239) return "a multicast address: no node has it as its own";
    if (address[0] >= 240) return "a reserved address: no node has it";
    return {};
}

std::string DeviceFlagsText(std::uint32_t flags) {
    std::string text;
    if (flags & 1) text += "in use by another program: the driver withholds its identity, so its class is not to be trusted";
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
    const IdentificationRow& row = MatchIdentificationRow(type, description);
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

}  // namespace zmk::doctor
