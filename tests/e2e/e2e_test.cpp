// The library as the host meets it: the real ZELMORK.dll, loaded from the
// build and called through its exports, against the D2XX stand-in, the
// host's settings and the simulated Art-Net node. The detection-problem
// dialog is answered from a second thread, as a user would.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>


#include "diagnostic_tool.h"
#include "dialog_user.h"
#include "host_window.h"
#include "windows_path.h"
#include "wine_support.h"

namespace {

namespace host = zmk::host;
namespace step = zmk::host::step;
using zmk::MillisecondsBetween;
using zmk::MillisecondsSince;
using zmk::Now;
namespace test = zmk::test;
using host::Plan;
using host::SeenDialog;
using namespace std::chrono_literals;

constexpr char kModeOneOpening[] = "Erreur de d\xE9tection";
constexpr char kModeTwoOpening[] = "Plusieurs interfaces";

class DeviceStatusTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::LoadLibraryUnderTest(library_)) << "ZMK_LIBRARY names the library under test";
        host_ = new host::HostWindow("Borvanect (test host)");
        ASSERT_EQ(library_.initialize(), 1);
    }

    static void TearDownTestSuite() {
        if (library_.release) library_.release();
        delete host_;
        host_ = nullptr;
        library_.Unload();
        test::RemoveFtd2xx();
        test::RemoveHostKeys();
        test::RemoveSettingsFile(test::kHostFolder);
    }

    void SetUp() override {
        test::RemoveHostKeys();
        test::RemoveSettingsFile(test::kHostFolder);
        test::RemoveFtd2xx();
        test::WriteFtd2xxConfig("");
        node_.Scenario("");
    }

    static void PlugUsb(const std::string& devices) {
        test::InstallFtd2xx("ftd2xx");
        test::WriteFtd2xxConfig(devices);
    }

    // The TRAVOLK.exe stand-in, ending with 0 at once, where the library looks for it.
    void PlaceDiagnosticTool() {
        SetEnvironmentVariableA("ZMK_TRAVOLK_RUN_MS", "0");
        ASSERT_TRUE(test::PlaceDiagnosticTool(test::WindowsPath(std::getenv("ZMK_TRAVOLK_STANDIN"))));
    }

    static void ConfigureNode() {
        test::SetUserMainFolder(test::kHostFolder);
        const std::uint8_t address[4] = {198, 18, 0, 2};
        test::WriteSettingsFile(test::kHostFolder, address);
    }

    // Runs ZMK_GetDeviceStatus while a user answers its dialogs by the plan.
    int StatusAnswering(Plan plan, std::vector<SeenDialog>* seen = nullptr) {
        host::DialogUser user(*host_, std::move(plan));
        const int status = library_.getDeviceStatus();
        returnedAt_ = Now();
        user.Stop();
        if (seen) *seen = user.Seen();
        EXPECT_EQ(GetModuleHandleA("ftd2xx.dll"), nullptr) << "the D2XX library stays loaded";
        return status;
    }

    static host::LibraryExports library_;
    static host::HostWindow* host_;
    test::NodeControl node_;
    LARGE_INTEGER returnedAt_ = {};
};

host::LibraryExports DeviceStatusTest::library_;
host::HostWindow* DeviceStatusTest::host_ = nullptr;

struct SingleInterface {
    const char* name;
    const char* usbDevices;  // nullptr: no D2XX driver installed
    bool node;
    int status;
};

class SingleInterfaceTest : public DeviceStatusTest, public testing::WithParamInterface<SingleInterface> {};

TEST_P(SingleInterfaceTest, StatusComesBackWithoutDialog) {
    const SingleInterface& row = GetParam();
    if (row.usbDevices) PlugUsb(row.usbDevices);
    if (row.node) ConfigureNode();
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({}, &seen), row.status);
    EXPECT_TRUE(seen.empty()) << "a dialog was shown";
}

INSTANTIATE_TEST_SUITE_P(
    Interfaces, SingleInterfaceTest,
    testing::Values(SingleInterface{"Nothing", nullptr, false, 10},
                    SingleInterface{"DriverWithoutDevices", "", false, 10},
                    SingleInterface{"OpenDmxUsb", "device=0 OPEN DMX USB", false, 11},
                    SingleInterface{"DmxUsbPro", "device=5 DMX USB PRO", false, 12},
                    SingleInterface{"OpenDmxEthernet", nullptr, true, 13},
                    SingleInterface{"CountFailureIsNoDevice", "create=4\ndevice=0 OPEN DMX USB", false, 10}),
    [](const testing::TestParamInfo<SingleInterface>& info) { return std::string(info.param.name); });

TEST_F(DeviceStatusTest, UnloadableDriverIsDriverErrorWithoutDialog) {
    test::InstallFtd2xx("ftd2xx-unloadable");
    ConfigureNode();
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({}, &seen), 1);
    EXPECT_TRUE(seen.empty());
}

TEST_F(DeviceStatusTest, TwoUsbDevicesCancelledGiveMultipleDevices) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering(step::Answer(IDCANCEL), &seen), 2);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeTwoOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, RescanAfterUnpluggingOneUsbDeviceGivesTheOther) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    std::vector<SeenDialog> seen;
    const int status = StatusAnswering({step::Await(), step::Unplug(1), step::Press(IDOK)}, &seen);
    EXPECT_EQ(status, 12);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].progressAtEnd, "") << "mode 2 shows no progress";
}

TEST_F(DeviceStatusTest, NodeAndUsbDeviceAskTheUserThenRescanFindsTheNode) {
    ConfigureNode();
    PlugUsb("device=0 OPEN DMX USB");
    std::vector<SeenDialog> seen;
    const int status = StatusAnswering({step::Await(), step::Unplug(0), step::Press(IDOK)}, &seen);
    EXPECT_EQ(status, 13);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeTwoOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, RescansAsOftenAsTheUserAsks) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=0 OPEN DMX USB");
    Plan plan;
    for (int button : {IDOK, IDOK, IDOK, IDCANCEL}) {
        const Plan answer = step::Answer(button);
        plan.insert(plan.end(), answer.begin(), answer.end());
    }
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering(plan, &seen), 2);
    EXPECT_EQ(seen.size(), 4u);
}

TEST_F(DeviceStatusTest, UnrecognizedDeviceCancelledGivesUnrecognized) {
    PlugUsb("device=6 FT2232H");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering(step::Answer(IDCANCEL), &seen), 32);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeOneOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, UnrecognizedDeviceRescanShowsProgressFirst) {
    PlugUsb("device=6 FT2232H");
    std::vector<SeenDialog> seen;
    const int status =
        StatusAnswering({step::Await(), step::Replug("device=0 USB <-> Serial"), step::Press(IDOK)}, &seen);
    EXPECT_EQ(status, 11);
    ASSERT_EQ(seen.size(), 1u);
    // Seven steps of 750 ms: about 5.25 s, with wide margins for a busy machine.
    EXPECT_GT(seen[0].openMs, 4500.0);
    EXPECT_LT(seen[0].openMs, 20000.0);
    EXPECT_EQ(seen[0].progressAtEnd.rfind("Please Wait    .", 0), 0u) << seen[0].progressAtEnd;
}

}  // namespace

namespace {

// The driver's list is process-wide: another caller in the host can refresh
// it between the detection's count and its list call, so the list call
// describes more devices than were counted, or none. None of that may reach
// past the library's records or read an unwritten one.
struct MovingList {
    const char* name;
    const char* driver;
};
void PrintTo(const MovingList& list, std::ostream* out) { *out << list.name; }

class MovingDeviceListTest : public DeviceStatusTest, public testing::WithParamInterface<MovingList> {};

TEST_P(MovingDeviceListTest, IsADriverErrorWithoutDialog) {
    PlugUsb(GetParam().driver);
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({}, &seen), 1);
    EXPECT_TRUE(seen.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Field, MovingDeviceListTest,
    testing::Values(MovingList{"TwoDescribed", "device=5 DMX USB PRO\ndescribe=2"},
                    MovingList{"ThreeDescribed", "device=0 OPEN DMX USB\ndescribe=3"},
                    MovingList{"EightDescribed", "device=5 DMX USB PRO\ndescribe=8"},
                    MovingList{"DeviceLeftBeforeItWasDescribed", "device=5 DMX USB PRO\ndescribe=0"},
                    MovingList{"CountBeyondAnyRoom", "device=5 DMX USB PRO\nreport=500"},
                    MovingList{"CountOfNoneForARecordWritten", "device=6 FT2232H\nreport=0"},
                    MovingList{"CountOfOneForNoRecordWritten", "device=5 DMX USB PRO\ndescribe=0\nreport=1"},
                    MovingList{"CountOfOneForTwoRecordsWritten", "device=5 DMX USB PRO\ndescribe=2\nreport=1"}),
    [](const testing::TestParamInfo<MovingList>& info) { return std::string(info.param.name); });

TEST_F(DeviceStatusTest, DevicesChangingBetweenRunsAreFollowedByEachRescan) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO\nnext\n"
            "device=0 OPEN DMX USB\ndevice=0 OPEN DMX USB\ndevice=5 DMX USB PRO\nnext\n"
            "device=5 DMX USB PRO");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({step::Await(), step::Press(IDOK), step::Await(), step::Press(IDOK)}, &seen), 12);
    EXPECT_EQ(seen.size(), 2u);
}

// A host that never lets its queue run dry still sees the dialog and gets
// the call back: the progress steps and the pause after the dialog last their
// time, not as long as the host stays busy. The bounds are generous; the
// benchmark measures.
class BusyHostTest : public DeviceStatusTest, public testing::WithParamInterface<const char*> {};

TEST_P(BusyHostTest, WaitsLastTheirTimeNotTheHostsWork) {
    PlugUsb("device=6 FT2232H\nnext\ndevice=5 DMX USB PRO");
    // Should the waits never end, the host stops its work after a while so
    // that the call returns and the times below fail.
    host_->StartWork(std::string(GetParam()) == "PostedWork" ? host::HostWindow::Work::PostedSlices
                                                             : host::HostWindow::Work::SlowTimer,
                     15000);
    std::vector<SeenDialog> seen;
    const int status = StatusAnswering(step::Answer(IDOK), &seen);
    host_->StopWork();
    EXPECT_EQ(status, 12);
    ASSERT_EQ(seen.size(), 1u);
    // The dialog comes up although the host's queue never runs empty.
    EXPECT_LT(seen[0].shownMs, 5000.0) << "the dialog was not shown while the host was busy";
    EXPECT_GT(seen[0].openMs, 4500.0);
    EXPECT_LT(seen[0].openMs, 2 * 5250.0) << "seven 750 ms steps";
    EXPECT_LT(MillisecondsBetween(seen[0].closedAt, returnedAt_), 2 * 400.0) << "the pause after the dialog, and the rescan";
}

INSTANTIATE_TEST_SUITE_P(Field, BusyHostTest, testing::Values("PostedWork", "SlowTimer"));

// A quit the host posts while the library waits is the host's: the call still
// runs its course, and the host's loop gets the quit, with its exit code,
// once the call has returned.
TEST_F(DeviceStatusTest, QuitPostedDuringThePauseReachesTheHostAfterTheCall) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    // Posted after the button: the dialog ends on the button, and the quit
    // comes during the pause that follows.
    EXPECT_EQ(StatusAnswering({step::Await(), step::Press(IDCANCEL), step::Quit(41)}), 2);
    int exitCode = -1;
    ASSERT_TRUE(host::TakeQuit(&exitCode)) << "the host's quit was lost";
    EXPECT_EQ(exitCode, 41);
}

// A host that asks to quit while the library has it in a dialog gets its
// call back at the next decision, with the status it had, and its quit:
// no detection runs again and no dialog opens again, whatever the dialog
// manager returns after a quit.
struct QuitCase {
    const char* name;
    const char* devices;
    Plan plan;
    int status;
    int exitCode;
    double minOpenMs;  // the progress, when there is one, runs its course
};
void PrintTo(const QuitCase& c, std::ostream* out) { *out << c.name; }

class HostQuitTest : public DeviceStatusTest, public testing::WithParamInterface<QuitCase> {};

TEST_P(HostQuitTest, EndsTheCallWithTheRememberedStatusAndReachesTheHost) {
    const QuitCase& c = GetParam();
    PlugUsb(c.devices);
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering(c.plan, &seen), c.status);
    ASSERT_EQ(seen.size(), 1u) << "the library detected and asked again after the host's quit";
    EXPECT_GE(seen[0].openMs, c.minOpenMs);
    int exitCode = -1;
    ASSERT_TRUE(host::TakeQuit(&exitCode)) << "the host's quit was lost";
    EXPECT_EQ(exitCode, c.exitCode);
}

INSTANTIATE_TEST_SUITE_P(
    Field, HostQuitTest,
    testing::Values(QuitCase{"DuringTheSeveralInterfacesDialog", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO",
                             {step::Await(), step::Quit(7)}, 2, 7, 0},
                    QuitCase{"DuringTheUnrecognisedDeviceDialog", "device=6 FT2232H", {step::Await(), step::Quit(8)}, 32,
                             8, 0},
                    // The user plugs a recognised device and rescans; the host closes during the progress.
                    QuitCase{"DuringTheProgress", "device=6 FT2232H",
                             {step::Await(), step::Replug("device=5 DMX USB PRO"), step::Press(IDOK), step::Pause(1000),
                              step::Quit(9)},
                             32, 9, 4500}),
    [](const testing::TestParamInfo<QuitCase>& info) { return std::string(info.param.name); });

// During "Please Wait" both buttons are disabled, but a cancel still comes:
// it stops the progress at its next step, the dialog stays up until then,
// and its 2 is never overwritten by the progress's 1.
class CancelDuringProgressTest : public DeviceStatusTest, public testing::WithParamInterface<host::UserAction> {};

TEST_P(CancelDuringProgressTest, EndsTheDialogWithCancelAtTheNextStep) {
    PlugUsb("device=6 FT2232H");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({step::Await(), step::Press(IDOK), step::Pause(1500), step::Act(GetParam())}, &seen), 32);
    ASSERT_EQ(seen.size(), 1u) << "a rescan ran after the cancel";
    EXPECT_GT(seen[0].openMs, 1400.0) << "the dialog left before its progress ended";
    EXPECT_LT(seen[0].openMs, 1500.0 + 750.0 + 2000.0) << "the cancel waited for more than one step";
}

INSTANTIATE_TEST_SUITE_P(Field, CancelDuringProgressTest,
                         testing::Values(host::UserAction::PressCancel, host::UserAction::Close,
                                         host::UserAction::CloseBox));

TEST_F(DeviceStatusTest, QuitDuringTheDriverErrorDialogIsNoAcknowledgement) {
    PlaceDiagnosticTool();
    host::DialogUser user(*host_, {step::Await(host::kErrorDialogCaption), step::Quit(5)});
    EXPECT_EQ(library_.driversErrorBox(host_->get()), 2);
    user.Stop();
    EXPECT_EQ(user.Seen().size(), 1u);
    int exitCode = -1;
    ASSERT_TRUE(host::TakeQuit(&exitCode)) << "the host's quit was lost";
    EXPECT_EQ(exitCode, 5);
}

// The user switched to another program during the probe, and that program
// has stopped answering: the dialog is the host's, not that program's, and
// nothing waits on it.
TEST_F(DeviceStatusTest, AnotherProgramInFrontNeitherOwnsNorHoldsTheDialog) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    const host::OtherProgram other(test::WindowsPath(std::getenv("ZMK_OTHER_PROGRAM")), 20000);
    ASSERT_TRUE(other.InFront());
    host::DialogUser::Options options;
    options.other = &other;
    host::DialogUser user(*host_, step::Answer(IDCANCEL), options);
    EXPECT_EQ(library_.getDeviceStatus(), 2);
    user.Stop();
    ASSERT_EQ(user.Seen().size(), 1u);
    EXPECT_LT(user.Seen()[0].shownMs, 5000.0) << "the dialog waited on the other program";
    EXPECT_EQ(user.Seen()[0].owner, host_->get());
    EXPECT_TRUE(user.Seen()[0].otherEnabled) << "the other program's window was disabled";
}

// A call made while another is in progress, from another thread or from the
// host's window procedure inside the library's waits, returns at once and
// leaves the call in progress alone.
TEST_F(DeviceStatusTest, ACallFromAnotherThreadReturnsAtOnce) {
    PlugUsb("device=5 DMX USB PRO\ncount_ms=1500");
    int second = -1;
    double secondMs = -1;
    std::thread caller([&] {
        std::this_thread::sleep_for(500ms);
        const LARGE_INTEGER start = Now();
        second = library_.getDeviceStatus();
        secondMs = MillisecondsSince(start);
    });
    EXPECT_EQ(StatusAnswering({}), 12);
    caller.join();
    EXPECT_EQ(second, 10);
    EXPECT_LT(secondMs, 500.0);
}

TEST_F(DeviceStatusTest, ACallFromTheHostsWindowInsideADialogReturnsAtOnce) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    int innerStatus = -1;
    INT_PTR innerBox = 0;
    host::DialogUser user(host_->thread(), [&](DWORD ui) {
        HWND dialog = host::WaitForDialog(ui, host::kScanDialogCaption);
        host_->Send([&] {
            innerStatus = library_.getDeviceStatus();
            innerBox = library_.driversErrorBox(host_->get());
        });
        host::Perform(dialog, host::UserAction::PressCancel);
    });
    EXPECT_EQ(library_.getDeviceStatus(), 2);
    user.Stop();
    EXPECT_EQ(innerStatus, 10);
    EXPECT_EQ(innerBox, -1);
}

}  // namespace
