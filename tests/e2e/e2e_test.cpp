// The library as the host meets it: the real ZELMORK.dll, loaded from the
// build and called through its exports, against the D2XX stand-in, the
// host's settings and the simulated Art-Net node. The detection-problem
// dialog is answered from a second thread, as a user would.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "library_exports.h"
#include "wine_support.h"

namespace {

namespace test = zmk::test;
using namespace std::chrono_literals;

constexpr char kScanCaption[] = "Borvanect  -  DMX Device Scan";
constexpr char kModeOneOpening[] = "Erreur de d\xE9tection";
constexpr char kModeTwoOpening[] = "Plusieurs interfaces";
constexpr int kMessageControl = 1004;
constexpr int kProgressControl = 1006;

// One answer to one showing of the dialog: what the user changes while it is
// open (unplugging a device), then the button pressed.
struct Answer {
    Answer(std::function<void()> whileOpen, int button, std::function<void()> afterPress = nullptr)
        : whileOpen(std::move(whileOpen)), button(button), afterPress(std::move(afterPress)) {}
    std::function<void()> whileOpen;
    int button;  // IDOK "Rescan DMX", IDCANCEL "Cancel"
    std::function<void()> afterPress;  // right after the button, while the dialog ends
};

struct SeenDialog {
    std::string message;
    std::string progressAtEnd;
    double shownMs = 0;  // from the call's start to the dialog on screen
    double openMs = 0;   // from the button press to the dialog's end
    LARGE_INTEGER closedAt = {};
};

// Watches for the detection-problem dialog while the main thread is inside
// ZMK_GetDeviceStatus, and answers each showing from the plan.
class DialogUser {
public:
    explicit DialogUser(std::vector<Answer> plan) : plan_(std::move(plan)), started_(test::Now()) {
        thread_ = std::thread([this] { Run(); });
    }
    ~DialogUser() { Stop(); }

    void Stop() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }
    const std::vector<SeenDialog>& Seen() const { return seen_; }

private:
    void Run() {
        size_t next = 0;
        while (!done_) {
            // Visible: shown after WM_INITDIALOG has set its texts.
            HWND dialog = FindWindowA("#32770", kScanCaption);
            if (!dialog || !IsWindowVisible(dialog)) {
                std::this_thread::sleep_for(20ms);
                continue;
            }
            SeenDialog seen;
            seen.shownMs = test::ElapsedMs(started_);
            char text[512] = {};
            GetDlgItemTextA(dialog, kMessageControl, text, sizeof text);
            seen.message = text;
            if (next >= plan_.size()) {
                // Not planned: record it and cancel, so that the run ends.
                seen_.push_back(seen);
                PressAndWait(dialog, IDCANCEL, seen);
                continue;
            }
            const Answer& answer = plan_[next++];
            if (answer.whileOpen) answer.whileOpen();
            PressAndWait(dialog, answer.button, seen, answer.afterPress);
            seen_.push_back(seen);
        }
    }

    static void PressAndWait(HWND dialog, int button, SeenDialog& seen,
                             const std::function<void()>& afterPress = nullptr) {
        const LARGE_INTEGER pressed = test::Now();
        PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
        if (afterPress) afterPress();
        for (int i = 0; i < 1000 && IsWindow(dialog); ++i) {
            // The control empties as the dialog is torn down: keep the last text it showed.
            char progress[128] = {};
            if (GetDlgItemTextA(dialog, kProgressControl, progress, sizeof progress) > 0) seen.progressAtEnd = progress;
            std::this_thread::sleep_for(20ms);
        }
        seen.openMs = test::ElapsedMs(pressed);
        seen.closedAt = test::Now();
    }

    std::vector<Answer> plan_;
    LARGE_INTEGER started_;
    std::vector<SeenDialog> seen_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

class DeviceStatusTest : public testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(library_.Load()) << "ZMK_LIBRARY names the library under test";
        WNDCLASSA hostClass{};
        hostClass.lpfnWndProc = HostProc;
        hostClass.lpszClassName = "ZmkTestHost";
        RegisterClassA(&hostClass);
        host_ = CreateWindowExA(0, "ZmkTestHost", "Borvanect (test host)", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 20, 20,
                                640, 400, nullptr, nullptr, nullptr, nullptr);
        SetForegroundWindow(host_);
        ASSERT_EQ(library_.initialize(), 1);
    }

    static void TearDownTestSuite() {
        if (library_.release) library_.release();
        if (host_) DestroyWindow(host_);
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

    static void ConfigureNode() {
        test::SetUserMainFolder(test::kHostFolder);
        const std::uint8_t address[4] = {198, 18, 0, 2};
        test::WriteSettingsFile(test::kHostFolder, address);
    }

    // Runs ZMK_GetDeviceStatus while a user answers its dialogs by the plan.
    int StatusAnswering(std::vector<Answer> plan, std::vector<SeenDialog>* seen = nullptr) {
        DialogUser user(std::move(plan));
        const int status = library_.getDeviceStatus();
        user.Stop();
        if (seen) *seen = user.Seen();
        EXPECT_EQ(GetModuleHandleA("ftd2xx.dll"), nullptr) << "the D2XX library stays loaded";
        return status;
    }

    // The host's own window: work it posts itself in slices, a timer whose
    // handler outlasts its period, a quit it posts when told to.
    static constexpr UINT kWorkSlice = WM_APP;
    static constexpr UINT kPostQuit = WM_APP + 1;
    static std::atomic<bool> busy_;

    static LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
        if (message == kWorkSlice && busy_) {
            Sleep(2);
            PostMessageA(window, kWorkSlice, 0, 0);
            return 0;
        }
        if (message == WM_TIMER && busy_) {
            Sleep(30);
            return 0;
        }
        if (message == kPostQuit) {
            PostQuitMessage(static_cast<int>(wParam));
            return 0;
        }
        return DefWindowProcA(window, message, wParam, lParam);
    }

    static test::LibraryExports library_;
    static HWND host_;
    test::NodeControl node_;
};

std::atomic<bool> DeviceStatusTest::busy_{false};

test::LibraryExports DeviceStatusTest::library_;
HWND DeviceStatusTest::host_ = nullptr;

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
    EXPECT_EQ(StatusAnswering({{nullptr, IDCANCEL}}, &seen), 2);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeTwoOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, RescanAfterUnpluggingOneUsbDeviceGivesTheOther) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    std::vector<SeenDialog> seen;
    const int status =
        StatusAnswering({{[] { test::WriteFtd2xxConfig("device=5 DMX USB PRO"); }, IDOK}}, &seen);
    EXPECT_EQ(status, 12);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].progressAtEnd, "") << "mode 2 shows no progress";
}

TEST_F(DeviceStatusTest, NodeAndUsbDeviceAskTheUserThenRescanFindsTheNode) {
    ConfigureNode();
    PlugUsb("device=0 OPEN DMX USB");
    std::vector<SeenDialog> seen;
    const int status = StatusAnswering({{[] { test::WriteFtd2xxConfig(""); }, IDOK}}, &seen);
    EXPECT_EQ(status, 13);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeTwoOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, RescansAsOftenAsTheUserAsks) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=0 OPEN DMX USB");
    std::vector<Answer> plan(3, Answer{nullptr, IDOK});
    plan.push_back({nullptr, IDCANCEL});
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering(plan, &seen), 2);
    EXPECT_EQ(seen.size(), 4u);
}

TEST_F(DeviceStatusTest, UnrecognizedDeviceCancelledGivesUnrecognized) {
    PlugUsb("device=6 FT2232H");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({{nullptr, IDCANCEL}}, &seen), 32);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_EQ(seen[0].message.rfind(kModeOneOpening, 0), 0u) << seen[0].message;
}

TEST_F(DeviceStatusTest, UnrecognizedDeviceRescanShowsProgressFirst) {
    PlugUsb("device=6 FT2232H");
    std::vector<SeenDialog> seen;
    const int status =
        StatusAnswering({{[] { test::WriteFtd2xxConfig("device=0 USB <-> Serial"); }, IDOK}}, &seen);
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
                    MovingList{"CountOfNoneForARecordWritten", "device=6 FT2232H\nreport=0"}),
    [](const testing::TestParamInfo<MovingList>& info) { return std::string(info.param.name); });

TEST_F(DeviceStatusTest, DevicesChangingBetweenRunsAreFollowedByEachRescan) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO\nnext\n"
            "device=0 OPEN DMX USB\ndevice=0 OPEN DMX USB\ndevice=5 DMX USB PRO\nnext\n"
            "device=5 DMX USB PRO");
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({{nullptr, IDOK}, {nullptr, IDOK}}, &seen), 12);
    EXPECT_EQ(seen.size(), 2u);
}

// A host that never lets its queue run dry still sees the dialog and gets
// the call back: the progress steps and the pause after the dialog last their
// time, not as long as the host stays busy. The bounds are generous; the
// benchmark measures.
class BusyHostTest : public DeviceStatusTest, public testing::WithParamInterface<const char*> {};

TEST_P(BusyHostTest, WaitsLastTheirTimeNotTheHostsWork) {
    PlugUsb("device=6 FT2232H\nnext\ndevice=5 DMX USB PRO");
    busy_ = true;
    if (std::string(GetParam()) == "PostedWork") PostMessageA(host_, kWorkSlice, 0, 0);
    if (std::string(GetParam()) == "SlowTimer") SetTimer(host_, 1, 25, nullptr);
    // Should the waits never end, the host stops its work after a while so
    // that the call returns and the times below fail.
    std::atomic<bool> returned{false};
    std::thread watchdog([&returned] {
        for (int i = 0; i < 300 && !returned; ++i) std::this_thread::sleep_for(50ms);
        busy_ = false;
    });
    std::vector<SeenDialog> seen;
    const int status = StatusAnswering({{nullptr, IDOK}}, &seen);
    const LARGE_INTEGER end = test::Now();
    returned = true;
    watchdog.join();
    KillTimer(host_, 1);
    EXPECT_EQ(status, 12);
    ASSERT_EQ(seen.size(), 1u);
    // The dialog comes up although the host's queue never runs empty.
    EXPECT_LT(seen[0].shownMs, 5000.0) << "the dialog was not shown while the host was busy";
    EXPECT_GT(seen[0].openMs, 4500.0);
    EXPECT_LT(seen[0].openMs, 2 * 5250.0) << "seven 750 ms steps";
    LARGE_INTEGER frequency;
    QueryPerformanceFrequency(&frequency);
    const double pauseMs = static_cast<double>(end.QuadPart - seen[0].closedAt.QuadPart) * 1000.0 /
                           static_cast<double>(frequency.QuadPart);
    EXPECT_LT(pauseMs, 2 * 400.0) << "the pause after the dialog, and the rescan";
}

INSTANTIATE_TEST_SUITE_P(Field, BusyHostTest, testing::Values("PostedWork", "SlowTimer"));

// A quit the host posts while the library waits is the host's: the call still
// runs its course, and the host's loop gets the quit, with its exit code,
// once the call has returned.
TEST_F(DeviceStatusTest, QuitPostedDuringThePauseReachesTheHostAfterTheCall) {
    PlugUsb("device=0 OPEN DMX USB\ndevice=5 DMX USB PRO");
    // Posted after the button: the dialog ends on the button, and the quit
    // comes during the pause that follows.
    const Answer cancel{nullptr, IDCANCEL, [] { PostMessageA(host_, kPostQuit, 41, 0); }};
    EXPECT_EQ(StatusAnswering({cancel}), 2);
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the host's quit was lost";
    EXPECT_EQ(quit.wParam, 41u);
}

TEST_F(DeviceStatusTest, QuitPostedDuringTheProgressReachesTheHostAfterTheCall) {
    PlugUsb("device=6 FT2232H");
    const Answer rescan{[] { test::WriteFtd2xxConfig("device=5 DMX USB PRO"); }, IDOK,
                        [] { PostMessageA(host_, kPostQuit, 42, 0); }};
    std::vector<SeenDialog> seen;
    EXPECT_EQ(StatusAnswering({rescan}, &seen), 12);
    ASSERT_EQ(seen.size(), 1u);
    EXPECT_GT(seen[0].openMs, 4500.0) << "the quit cut the progress short";
    MSG quit;
    ASSERT_TRUE(PeekMessageA(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) << "the host's quit was lost";
    EXPECT_EQ(quit.wParam, 42u);
}

}  // namespace
