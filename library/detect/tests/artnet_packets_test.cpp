#include "artnet_packets.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>
#include <vector>

namespace zmk {
namespace {

const Ipv4Octets kNode = {198, 18, 0, 2};

// A correct 239-byte ArtPollReply from kNode.
std::vector<std::uint8_t> GoodReply() {
    std::vector<std::uint8_t> reply(239, 0);
    std::memcpy(reply.data(), "Art-Net", 8);
    reply[8] = 0x00;
    reply[9] = 0x21;
    std::memcpy(reply.data() + 10, kNode.data(), 4);
    std::memcpy(reply.data() + 26, "Open DMX", 8);  // ShortName, ignored
    std::memcpy(reply.data() + 44, "Open DMX Ethernet", 18);
    reply[174] = 0x80;
    return reply;
}

ReplyVerdict Check(const std::vector<std::uint8_t>& reply, Ipv4Octets source = kNode) {
    return CheckArtPollReply(reply.data(), reply.size(), kNode, source);
}

TEST(ArtPoll, IsTheFourteenBytePollOfProtocolFourteen) {
    const std::uint8_t expected[14] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0, 0};
    auto poll = BuildArtPoll();
    EXPECT_EQ(0, std::memcmp(poll.data(), expected, sizeof expected));
}

TEST(ArtPollReply, CorrectReplyFromTheConfiguredNodeIsAccepted) {
    EXPECT_EQ(ReplyVerdict::Accepted, Check(GoodReply()));
}

struct Corruption {
    const char* situation;
    std::size_t offset;
    std::vector<std::uint8_t> bytes;
    ReplyVerdict verdict;
};

class CorruptedReply : public testing::TestWithParam<Corruption> {};

TEST_P(CorruptedReply, FailsAtItsOwnTest) {
    auto reply = GoodReply();
    const Corruption& c = GetParam();
    std::memcpy(reply.data() + c.offset, c.bytes.data(), c.bytes.size());
    EXPECT_EQ(c.verdict, Check(reply)) << c.situation;
}

INSTANTIATE_TEST_SUITE_P(
    EachFieldWrong, CorruptedReply,
    testing::Values(
        Corruption{"id in lower case", 0, {'a'}, ReplyVerdict::NotArtNet},
        Corruption{"id without its zero", 7, {'X'}, ReplyVerdict::NotArtNet},
        Corruption{"opcode of a poll", 8, {0x00, 0x20}, ReplyVerdict::NotPollReply},
        Corruption{"opcode high byte first", 8, {0x21, 0x00}, ReplyVerdict::NotPollReply},
        Corruption{"another node's address", 13, {3}, ReplyVerdict::NotConfiguredNode},
        Corruption{"port cannot output", 174, {0x40}, ReplyVerdict::PortCannotOutput},
        Corruption{"output switch not zero", 190, {1}, ReplyVerdict::OutputSwitched},
        Corruption{"long name padded with spaces", 61, {' '}, ReplyVerdict::NotOpenDmxEthernet},
        Corruption{"long name in lower case", 44, {'o'}, ReplyVerdict::NotOpenDmxEthernet},
        Corruption{"long name in the short name only", 44, {0}, ReplyVerdict::NotOpenDmxEthernet},
        // Every test fails here; the first one in order names the verdict.
        Corruption{"everything wrong", 0, {0}, ReplyVerdict::NotArtNet}),
    [](const testing::TestParamInfo<Corruption>& info) {
        std::string name = info.param.situation;
        for (char& c : name) {
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        }
        return name;
    });

TEST(ArtPollReply, ReplySentFromAnotherAddressThanItNamesIsRefused) {
    EXPECT_EQ(ReplyVerdict::NotFromNode, Check(GoodReply(), Ipv4Octets{198, 18, 0, 3}));
}

TEST(ArtPollReply, BroadcastConfiguredAddressCanNeverMatch) {
    auto reply = GoodReply();
    const Ipv4Octets broadcast = {255, 255, 255, 255};
    EXPECT_EQ(ReplyVerdict::NotConfiguredNode, CheckArtPollReply(reply.data(), reply.size(), broadcast, kNode));
}

// The probe stops at the first fault; a person fixing the node needs them all.
TEST(ArtPollReply, EveryFieldAtFaultIsNamedInTheTestsOrder) {
    auto reply = GoodReply();
    reply[190] = 0x01;                           // universe 1
    std::memcpy(reply.data() + 44, "Open DMX", 9);  // another long name
    reply[174] = 0x40;                           // an input port
    ReplyFaults faults = CheckEveryReplyField(reply.data(), reply.size(), kNode, kNode);
    EXPECT_TRUE(faults.Has(ReplyVerdict::OutputSwitched));
    EXPECT_TRUE(faults.Has(ReplyVerdict::NotOpenDmxEthernet));
    EXPECT_TRUE(faults.Has(ReplyVerdict::PortCannotOutput));
    EXPECT_FALSE(faults.Has(ReplyVerdict::NotConfiguredNode));
    EXPECT_EQ(ReplyVerdict::PortCannotOutput, faults.First());
    EXPECT_EQ(faults.First(), Check(reply));

    // Packets that are no reply at all fail that one test alone.
    auto poll = BuildArtPoll();
    ReplyFaults notReply = CheckEveryReplyField(poll.data(), poll.size(), kNode, kNode);
    EXPECT_TRUE(notReply.Has(ReplyVerdict::NotPollReply));
    EXPECT_FALSE(notReply.Has(ReplyVerdict::NotConfiguredNode));
    EXPECT_TRUE(CheckEveryReplyField(GoodReply().data(), 239, kNode, kNode).None());
}

TEST(ArtPollReply, DecodedFieldsAreThoseOfTheStandardAndZeroBeyondTheDatagram) {
    auto reply = GoodReply();
    reply[18] = 0x02;  // Net
    reply[19] = 0x01;  // Sub-Net
    reply[173] = 4;    // NumPorts
    reply[190] = 0x10;
    std::memcpy(reply.data() + 201, "\x00\x50\xC2\x01\x02\x03", 6);
    ArtPollReplyFields fields = DecodeArtPollReply(reply.data(), reply.size());
    EXPECT_EQ(kNode, fields.ipAddress);
    EXPECT_EQ(2, fields.netSwitch);
    EXPECT_EQ(1, fields.subSwitch);
    EXPECT_EQ(4, fields.numPorts);
    EXPECT_STREQ("Open DMX", fields.shortName.data());
    EXPECT_STREQ("Open DMX Ethernet", fields.longName.data());
    EXPECT_EQ(0x80, fields.portTypes[0]);
    EXPECT_EQ(0x10, fields.swOut[0]);
    EXPECT_EQ(0xC2, fields.mac[2]);
    EXPECT_EQ(0x2100, ArtNetOpCode(reply.data(), reply.size()));
    EXPECT_EQ(-1, ArtNetOpCode(reply.data(), 9));

    ArtPollReplyFields cut = DecodeArtPollReply(reply.data(), 180);
    EXPECT_EQ(0x80, cut.portTypes[0]);
    EXPECT_EQ(0, cut.swOut[0]);
    EXPECT_EQ(0, cut.mac[2]);
}

struct LengthRange {
    std::size_t first;
    std::size_t last;
    ReplyVerdict verdict;
};

TEST(ArtPollReply, LengthDecidesOnlyThroughTheFieldsItCuts) {
    auto reply = GoodReply();
    reply.resize(1000, 0);
    // Missing bytes read as zero: the id's own zero byte can be missing, a
    // reply ending before PortTypes[0] always fails, and SwOut[0] may be missing.
    const LengthRange ranges[] = {
        {0, 6, ReplyVerdict::NotArtNet},
        {7, 9, ReplyVerdict::NotPollReply},
        {10, 13, ReplyVerdict::NotConfiguredNode},
        {14, 174, ReplyVerdict::PortCannotOutput},
        {175, 240, ReplyVerdict::Accepted},
        {241, 1000, ReplyVerdict::TooLong},
    };
    for (const LengthRange& range : ranges) {
        for (std::size_t length = range.first; length <= range.last; ++length) {
            EXPECT_EQ(range.verdict, CheckArtPollReply(reply.data(), length, kNode, kNode)) << "length " << length;
        }
    }
}

TEST(ArtPollReply, SwitchedOutputBeyondTheReceivedLengthReadsAsZero) {
    auto reply = GoodReply();
    reply[190] = 7;
    EXPECT_EQ(ReplyVerdict::OutputSwitched, CheckArtPollReply(reply.data(), 191, kNode, kNode));
    EXPECT_EQ(ReplyVerdict::Accepted, CheckArtPollReply(reply.data(), 190, kNode, kNode));
}

struct SettingsCase {
    std::size_t length;
    Ipv4Octets address;
};

TEST(NodeAddress, ShortSettingsFilesLeaveMissingOctetsZero) {
    std::uint8_t block[300];
    for (std::size_t i = 0; i < sizeof block; ++i) block[i] = static_cast<std::uint8_t>(i);
    const SettingsCase cases[] = {
        {0, {0, 0, 0, 0}},      {20, {0, 0, 0, 0}},     {21, {20, 0, 0, 0}},
        {23, {20, 21, 22, 0}},  {24, {20, 21, 22, 23}}, {128, {20, 21, 22, 23}},
        {300, {20, 21, 22, 23}},
    };
    for (const SettingsCase& c : cases) {
        EXPECT_EQ(c.address, NodeAddressFromSettings(block, c.length)) << "length " << c.length;
    }
}

TEST(NodeAddress, DottedTextHasNoLeadingZeros) {
    char text[kAddressTextSize];
    FormatDottedAddress({0, 9, 10, 255}, text);
    EXPECT_STREQ("0.9.10.255", text);
    FormatDottedAddress({198, 18, 100, 2}, text);
    EXPECT_STREQ("198.18.100.2", text);
}

}  // namespace
}  // namespace zmk
