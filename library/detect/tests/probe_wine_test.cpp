// Runs inside the namespace runner (testing/netns/run-with-node.sh): the simulated node answers at
// ZMK_NODE_ADDRESS in a network namespace of its own.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "win32/clock.h"
#include "wine_support.h"

namespace zmk {
namespace {

constexpr char kPollHex[] = "4172742d4e6574000020000e0000";

SOCKET BindArtNetPort() {
    SOCKET socket = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(6454);
    if (bind(socket, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0) {
        closesocket(socket);
        return INVALID_SOCKET;
    }
    return socket;
}

void WriteNodeSettings(const std::string& folder, DWORD size = 128) {
    std::uint32_t node = test::NodeControl::NodeAddress();
    std::uint8_t octets[4];
    std::memcpy(octets, &node, 4);
    test::WriteSettingsFile(folder, octets, size);
}

class ArtNetProbe : public testing::Test {
protected:
    void SetUp() override {
        test::RemoveHostKeys();
        test::RemoveFtd2xx();
        test::SetUserMainFolder(test::kHostFolder);
        WriteNodeSettings(test::kHostFolder);
        node_.Scenario("");
    }
    void TearDown() override {
        test::RemoveSettingsFile(test::kHostFolder);
        test::RemoveHostKeys();
        test::RemoveFtd2xx();
    }

    // Probes once; returns the result and sets elapsedMs_.
    int Probe() {
        LARGE_INTEGER start = Now();
        int result = ProbeArtNetNode();
        elapsedMs_ = MillisecondsSince(start);
        return result;
    }

    test::NodeControl node_;
    double elapsedMs_ = 0;
};

TEST_F(ArtNetProbe, CorrectReplyFromTheConfiguredNodeIsAccepted) {
    EXPECT_EQ(1, Probe());
    EXPECT_LT(elapsedMs_, 1500);
    EXPECT_EQ(1, node_.Datagrams());
    EXPECT_EQ(kPollHex, node_.FirstDatagram());
}

struct WrongReply {
    const char* situation;
    const char* scenario;
};

class UnacceptableReply : public ArtNetProbe, public testing::WithParamInterface<WrongReply> {};

// The good reply follows 300 ms after the wrong one: a probe that took the
// wrong one would return within a few milliseconds, one that skipped it
// returns on the good one. Either way the result is 1; when it came tells.
TEST_P(UnacceptableReply, IsSkippedAndTheProbeWaitsForAGoodOne) {
    node_.Scenario(std::string(GetParam().scenario) + " then_good=300");
    EXPECT_EQ(1, Probe()) << GetParam().situation;
    EXPECT_GT(elapsedMs_, 250) << GetParam().situation << ": the wrong reply was taken";
    EXPECT_LT(elapsedMs_, 2900) << GetParam().situation;
    EXPECT_EQ(1, node_.Datagrams());
}

TEST_F(ArtNetProbe, WrongReplyAloneLeavesTheProbeToTheDeadline) {
    node_.Scenario("poke=174:40");
    EXPECT_EQ(0, Probe());
    EXPECT_GT(elapsedMs_, 2900);
    EXPECT_LT(elapsedMs_, 4000);
    EXPECT_EQ(1, node_.Datagrams());
}

INSTANTIATE_TEST_SUITE_P(
    EachFieldWrong, UnacceptableReply,
    testing::Values(WrongReply{"id", "poke=0:61"}, WrongReply{"opcode", "poke=8:0020"},
                    WrongReply{"address_of_another_node", "poke=13:09"},
                    WrongReply{"port_cannot_output", "poke=174:40"}, WrongReply{"output_switched", "poke=190:01"},
                    WrongReply{"long_name_padded_with_spaces", "poke=61:20"},
                    WrongReply{"name_only_in_short_name", "poke=44:00"},
                    WrongReply{"sent_from_another_address", "source=second"},
                    WrongReply{"empty_datagram", "length=0"}, WrongReply{"ends_before_port_types", "length=174"},
                    WrongReply{"one_byte_too_long", "length=241"}, WrongReply{"far_too_long", "length=1500"}),
    [](const testing::TestParamInfo<WrongReply>& info) { return std::string(info.param.situation); });

class AcceptableLength : public ArtNetProbe, public testing::WithParamInterface<int> {};

TEST_P(AcceptableLength, IsAcceptedWithMissingBytesReadAsZero) {
    node_.Scenario("length=" + std::to_string(GetParam()));
    EXPECT_EQ(1, Probe());
}

INSTANTIATE_TEST_SUITE_P(Lengths, AcceptableLength, testing::Values(175, 190, 239, 240));

TEST_F(ArtNetProbe, OtherTrafficBeforeTheReplyIsSkipped) {
    node_.Scenario("before=poll,dmx,othernode,big,garbage delay=100");
    EXPECT_EQ(1, Probe());
    EXPECT_LT(elapsedMs_, 1500);
}

TEST_F(ArtNetProbe, LateReplyWithinTheDeadlineIsAccepted) {
    node_.Scenario("delay=1500");
    EXPECT_EQ(1, Probe());
    EXPECT_GT(elapsedMs_, 1400);
    EXPECT_LT(elapsedMs_, 2900);
}

TEST_F(ArtNetProbe, NoReplyAtAllEndsAtTheDeadline) {
    node_.Scenario("reply=none");
    EXPECT_EQ(0, Probe());
    EXPECT_GT(elapsedMs_, 2900);
    EXPECT_LT(elapsedMs_, 4000);
}

TEST_F(ArtNetProbe, ReplyAfterTheDeadlineIsTooLate) {
    node_.Scenario("delay=3400");
    EXPECT_EQ(0, Probe());
    EXPECT_LT(elapsedMs_, 3350);
}

TEST_F(ArtNetProbe, FloodOfUnrelatedDatagramsDoesNotHideTheReply) {
    node_.Scenario("flood=1000 delay=500");
    EXPECT_EQ(1, Probe());
    EXPECT_LT(elapsedMs_, 2000);
}

TEST_F(ArtNetProbe, FloodWithoutReplyStillEndsAtTheDeadline) {
    node_.Scenario("flood=1000 reply=none flood_ms=4000");
    EXPECT_EQ(0, Probe());
    EXPECT_GT(elapsedMs_, 2900);
    EXPECT_LT(elapsedMs_, 4000);
}

TEST_F(ArtNetProbe, TwoProbesSendOnePollEach) {
    EXPECT_EQ(1, Probe());
    EXPECT_EQ(1, node_.Datagrams());
    node_.Scenario("");
    EXPECT_EQ(1, Probe());
    EXPECT_EQ(1, node_.Datagrams());
}

// Each of these ends the probe before anything is sent.
TEST_F(ArtNetProbe, MissingSettingsFileEndsAtOnceWithNothingSent) {
    test::RemoveSettingsFile(test::kHostFolder);
    EXPECT_EQ(0, Probe());
    EXPECT_LT(elapsedMs_, 500);
    EXPECT_EQ(0, node_.Datagrams());
}

TEST_F(ArtNetProbe, MissingFolderValueEndsAtOnceWithNothingSent) {
    test::RemoveHostKeys();
    EXPECT_EQ(0, Probe());
    EXPECT_LT(elapsedMs_, 500);
    EXPECT_EQ(0, node_.Datagrams());
}

TEST_F(ArtNetProbe, FolderTooLongForTheSettingsPathEndsAtOnceWithNothingSent) {
    // 232 characters and the 28 appended fill all 260 with no room for the terminator.
    std::string folder = std::string("C:\\zmk-tests\\") + std::string(219, 'f');
    ASSERT_EQ(232u, folder.size());
    test::SetUserMainFolder(folder);
    WriteNodeSettings(folder);
    EXPECT_EQ(0, Probe());
    EXPECT_EQ(0, node_.Datagrams());

    // One character less fits, and the same node answers.
    std::string fitting = folder.substr(0, 231);
    test::SetUserMainFolder(fitting);
    WriteNodeSettings(fitting);
    EXPECT_EQ(1, Probe());
    test::RemoveSettingsFile(folder);
    test::RemoveSettingsFile(fitting);
}

TEST_F(ArtNetProbe, SettingsFileHeldOpenWithoutSharingEndsWithNothingSent) {
    HANDLE held = CreateFileA(test::SettingsFilePath(test::kHostFolder).c_str(), GENERIC_READ, 0, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    EXPECT_EQ(0, Probe());
    CloseHandle(held);
    EXPECT_EQ(0, node_.Datagrams());
}

TEST_F(ArtNetProbe, ArtNetPortAlreadyHeldEndsWithNothingSent) {
    SOCKET holder = BindArtNetPort();
    ASSERT_NE(INVALID_SOCKET, holder);
    EXPECT_EQ(0, Probe());
    closesocket(holder);
    EXPECT_EQ(0, node_.Datagrams());
}

TEST_F(ArtNetProbe, PortIsFreeAgainAfterEveryProbe) {
    node_.Scenario("poke=190:01");
    EXPECT_EQ(0, Probe());
    SOCKET next = BindArtNetPort();
    EXPECT_NE(INVALID_SOCKET, next);
    closesocket(next);
}

struct SettingsSize {
    DWORD size;
    int result;
};

class SettingsFileOfSize : public ArtNetProbe, public testing::WithParamInterface<SettingsSize> {};

// Only the first 128 bytes are read; a file cut inside the address leaves its
// last octet zero, which names no node here.
TEST_P(SettingsFileOfSize, GivesTheNodeOnlyWhenTheAddressIsWhole) {
    WriteNodeSettings(test::kHostFolder, GetParam().size);
    EXPECT_EQ(GetParam().result, Probe()) << GetParam().size << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Sizes, SettingsFileOfSize,
                         testing::Values(SettingsSize{24, 1}, SettingsSize{129, 1}, SettingsSize{1 << 20, 1},
                                         SettingsSize{23, 0}));

struct NetworkAndUsb {
    const char* situation;
    const char* variant;  // null: no driver in the system directory
    const char* devices;
    DeviceStatus status;
};

class DetectionWithNode : public ArtNetProbe, public testing::WithParamInterface<NetworkAndUsb> {};

TEST_P(DetectionWithNode, CountsOfBothKindsGiveTheStatus) {
    const NetworkAndUsb& row = GetParam();
    if (row.variant != nullptr) test::InstallFtd2xx(row.variant);
    test::WriteFtd2xxConfig(row.devices);
    EXPECT_EQ(row.status, DetectInterfaces()) << row.situation;
    EXPECT_EQ(nullptr, GetModuleHandleA("ftd2xx.dll"));
}

INSTANTIATE_TEST_SUITE_P(
    DecisionTable, DetectionWithNode,
    testing::Values(NetworkAndUsb{"node_only", nullptr, "", OpenDmxEthernet},
                    NetworkAndUsb{"node_and_driver_without_devices", "ftd2xx", "", OpenDmxEthernet},
                    NetworkAndUsb{"node_and_one_usb_device", "ftd2xx", "device=5 FT232R USB UART\n", MultipleDevices},
                    NetworkAndUsb{"node_and_two_usb_devices", "ftd2xx", "device=0 A\ndevice=0 B\n", MultipleDevices},
                    NetworkAndUsb{"node_and_unloadable_driver", "ftd2xx-unloadable", "", DriverError},
                    NetworkAndUsb{"node_and_driver_that_cannot_count", "ftd2xx", "create=1\ndevice=0 A\n",
                                  OpenDmxEthernet}),
    [](const testing::TestParamInfo<NetworkAndUsb>& info) { return std::string(info.param.situation); });

}  // namespace
}  // namespace zmk
