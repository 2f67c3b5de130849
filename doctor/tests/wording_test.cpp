// The doctor's words for the library's verdicts, from the same bytes.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "wording.h"

namespace zmk::doctor {
namespace {

struct IdentificationCase {
    std::uint32_t type;
    const char* description;
    int step;
    const char* words;
};

TEST(Wording, IdentificationNamesTheRowAndWhereADescriptionLeavesTheNearestText) {
    const IdentificationCase cases[] = {
        {5, "FT232R USB UART", 4, "that is the chip maker's factory default"},
        {5, "FT232R USB UART ", 7,
         "nearest is \"FT232R USB UART\" (step 4), which it leaves at byte 15: ' ' (0x20) where that text has its end"},
        {5, "ft232r usb uart", 7, "at byte 0: 'f' (0x66) where that text has 'F' (0x46)"},
        {5, "DMX USB PR", 7, "nearest is \"DMX USB PRO\" (step 6), which it leaves at byte 10: its end where that "
                             "text has 'O' (0x4F)"},
        {0, "OPEN DMX USB", 2, "chip type 0 (BM) and the description is exactly \"OPEN DMX USB\""},
        {0, "Open DMX USB", 3, "nearest is \"OPEN DMX USB\" (step 2), which it leaves at byte 1"},
        {6, "FT2232H", 8, "chip type 6 (2232H) is neither BM (0) nor 232R (5)"},
        {99, "", 8, "chip type 99 (a type this tool does not know)"},
    };
    for (const IdentificationCase& c : cases) {
        char field[64] = {};
        std::strncpy(field, c.description, sizeof field - 1);
        RowExplanation explanation = ExplainIdentification(c.type, field);
        EXPECT_EQ(c.step, explanation.step) << c.description;
        EXPECT_NE(std::string::npos, explanation.why.find(c.words)) << explanation.why;
    }
    char unterminated[64];
    std::memset(unterminated, 'A', sizeof unterminated);
    EXPECT_NE(std::string::npos, ExplainIdentification(5, unterminated).why.find("fills all 64 bytes"));
}

ReplyFaults FaultsOf(const std::uint8_t* datagram, std::size_t length, const Ipv4Octets& node) {
    return CheckEveryReplyField(datagram, length, node, node);
}

TEST(Wording, DatagramsThatAreNoReplyAreNamedByWhatTheyAre) {
    const Ipv4Octets node{198, 18, 0, 2};
    std::uint8_t poll[14] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14};
    EXPECT_EQ("another controller's ArtPoll (skipped)",
              ReplyVerdictText(FaultsOf(poll, sizeof poll, node), poll, sizeof poll, node, node));
    EXPECT_EQ("this computer's own ArtPoll, come back to it (skipped)",
              ReplyVerdictText(FaultsOf(poll, sizeof poll, node), poll, sizeof poll, node, node, true));
    std::uint8_t dmx[530] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x50};
    EXPECT_EQ("DMX data, not a reply (an Art-Net OpDmx packet) (skipped)",
              ReplyVerdictText(FaultsOf(dmx, sizeof dmx, node), dmx, sizeof dmx, node, node));
    EXPECT_EQ("DMX data, not a reply (an Art-Net OpDmx packet) (skipped)",
              ReplyVerdictText(FaultsOf(dmx, 30, node), dmx, 30, node, node));
    const std::uint8_t junk[] = {'h', 'e', 'l', 'l', 'o', 0x01};
    EXPECT_EQ("not Art-Net: it starts with \"hello\\x01\" (an Art-Net packet starts with \"Art-Net\" and a zero "
              "byte) (skipped)",
              ReplyVerdictText(FaultsOf(junk, sizeof junk, node), junk, sizeof junk, node, node));
}

// A reply with two faults names both, in the check's order, each with the
// field it found.
TEST(Wording, EveryFieldAtFaultOfAReplyIsNamed) {
    const Ipv4Octets node{198, 18, 0, 2};
    std::uint8_t reply[239] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x21, 198, 18, 0, 2};
    std::memcpy(reply + 44, "Open DMX", 9);
    reply[174] = 0x80;
    reply[190] = 0x10;
    EXPECT_EQ("SwOut[0] is 0x10, not 0 (port 1 outputs Sub-Net 1, universe 0 of that sub-net); and LongName is "
              "\"Open DMX\" (it must be exactly \"Open DMX Ethernet\") (skipped)",
              ReplyVerdictText(FaultsOf(reply, sizeof reply, node), reply, sizeof reply, node, node));
}

TEST(Wording, AddressesNoNodeCanHaveAreSaidSo) {
    EXPECT_NE(std::string::npos, OddAddress({0, 0, 0, 0}).find("a settings file of 20 bytes or less"));
    EXPECT_NE(std::string::npos, OddAddress({127, 0, 0, 1}).find("loopback"));
    EXPECT_NE(std::string::npos, OddAddress({255, 255, 255, 255}).find("broadcast"));
    EXPECT_NE(std::string::npos, OddAddress({239, 1, 2, 3}).find("multicast"));
    EXPECT_EQ("", OddAddress({198, 18, 0, 2}));
    const std::vector<Ipv4Octets> subnets = {{198, 18, 0, 255}};
    EXPECT_NE(std::string::npos, OddAddress({198, 18, 0, 255}, subnets).find("broadcast address of one of this"));
    EXPECT_EQ("", OddAddress({198, 18, 1, 255}, subnets));
}

}  // namespace
}  // namespace zmk::doctor
