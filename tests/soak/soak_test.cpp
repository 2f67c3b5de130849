// Leak soak of the shipped library under Wine, run by the namespace runner
// (testing/netns/run-with-node.sh) so that a simulated node can answer. Four
// phases drive the real ZELMORK.dll through its exports, with the dialogs
// answered by the host harness's user; each compares the process's footprint
// before and after (one warm-up round first, so that what Wine builds once is
// not counted as growth). Counts come from ZMK_SOAK_CYCLES,
// ZMK_SOAK_DETECTIONS, ZMK_SOAK_FIELD, ZMK_SOAK_ERROR_BOXES;
// tests/soak/full-soak.sh runs the full counts.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "diagnostic_tool.h"
#include "dialog_user.h"
#include "host_window.h"
#include "process_footprint.h"
#include "wine_support.h"
#include "windows_path.h"

namespace zmk {
namespace {

using host::Plan;
using host::UserAction;
namespace step = host::step;

// Growth allowed between the start and the end of a phase. Handles, GDI and
// USER objects must come back exactly but for one or two that Wine may keep
// in a cache; memory may move by what the heap keeps for reuse.
constexpr long kObjectSlack = 2;
constexpr std::uintptr_t kHandleMarkSlack = 2 * 4;
constexpr std::size_t kPrivateSlack = 1024 * 1024;

int CountFromEnvironment(const char* name, int fallback) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? std::atoi(value) : fallback;
}

class Soak : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        ASSERT_TRUE(test::LoadLibraryUnderTest(library_)) << "ZMK_LIBRARY names the library under test";
        host_ = new host::HostWindow;
    }
    static void TearDownTestSuite() {
        delete host_;
        library_.Unload();
        test::RemoveFtd2xx();
        test::RemoveHostKeys();
        test::RemoveSettingsFile(test::kHostFolder);
    }

    // Runs one step `count` times after a warm-up round and prints and
    // checks the footprint at both ends.
    void RunPhase(const char* phase, int warmUp, int count, const std::function<void(int, bool)>& step) {
        for (int i = 0; i < warmUp; ++i) step(i, true);
        const test::ProcessFootprint start = test::MeasureFootprint();
        const LARGE_INTEGER began = Now();
        for (int i = 0; i < count; ++i) step(i, false);
        const double seconds = MillisecondsSince(began) / 1000.0;
        const test::ProcessFootprint end = test::MeasureFootprint();
        std::printf("soak %-12s runs=%-5d time=%7.1fs handles=%ld->%ld handle-mark=0x%llx->0x%llx gdi=%ld->%ld "
                    "user=%ld->%ld private=%zu->%zu\n",
                    phase, count, seconds, start.handles, end.handles,
                    static_cast<unsigned long long>(start.handleMark), static_cast<unsigned long long>(end.handleMark),
                    start.gdiObjects, end.gdiObjects, start.userObjects, end.userObjects, start.privateBytes,
                    end.privateBytes);
        std::printf("soak measured with %s\n", test::FootprintSources().c_str());
        std::fflush(stdout);
        EXPECT_LE(end.handles, start.handles + kObjectSlack) << phase;
        EXPECT_LE(end.handleMark, start.handleMark + kHandleMarkSlack) << phase;
        EXPECT_LE(end.gdiObjects, start.gdiObjects + kObjectSlack) << phase;
        EXPECT_LE(end.userObjects, start.userObjects + kObjectSlack) << phase;
        EXPECT_LE(end.privateBytes, start.privateBytes + kPrivateSlack) << phase;
    }

    static host::LibraryExports library_;
    static host::HostWindow* host_;
};

host::LibraryExports Soak::library_;
host::HostWindow* Soak::host_ = nullptr;

TEST_F(Soak, InitializeAndReleaseCyclesLeaveNothingBehind) {
    const int cycles = CountFromEnvironment("ZMK_SOAK_CYCLES", 300);
    int failures = 0;
    RunPhase("init-release", 5, cycles, [&](int i, bool) {
        failures += library_.initialize() != 1;
        // Every fifth cycle creates twice: the second creation replaces the first.
        if (i % 5 == 0) failures += library_.initialize() != 1;
        library_.release();
        if (i % 7 == 0) library_.release();
    });
    EXPECT_EQ(0, failures);
}

// One answer to one showing of the detection-problem dialog: the devices the
// user leaves plugged in (null: no change), then the button.
struct Answer {
    const char* devicesAfter;
    int button;
};

struct DetectionSetup {
    const char* name;
    int weight;           // runs out of 500
    const char* driver;   // D2XX stand-in variant; null: none installed
    const char* devices;  // the stand-in's device list
    const char* node;     // node scenario; null: no host settings at all
    std::vector<Answer> answers;
    int status;
};

// Every kind of setup, weighted by cost: a silent node costs 3 s and a rescan
// of an unrecognised device 5.25 s of "Please Wait", so those are rare.
const std::vector<DetectionSetup>& DetectionSetups() {
    static const std::vector<DetectionSetup> setups = {
        {"NoInterface", 91, nullptr, "", nullptr, {}, 10},
        {"DriverWithoutDevices", 30, "ftd2xx", "", nullptr, {}, 10},
        {"OpenDmxUsb", 50, "ftd2xx", "device=0 OPEN DMX USB", nullptr, {}, 11},
        {"DmxUsbPro", 50, "ftd2xx", "device=5 DMX USB PRO", nullptr, {}, 12},
        {"CountFailure", 20, "ftd2xx", "create=4\ndevice=0 OPEN DMX USB", nullptr, {}, 10},
        {"UnloadableDriver", 25, "ftd2xx-unloadable", "", nullptr, {}, 1},
        {"UnloadableDriverAndNode", 25, "ftd2xx-unloadable", "", "", {}, 1},
        {"TwoUsbCancel", 45, "ftd2xx", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO", nullptr, {{nullptr, IDCANCEL}}, 2},
        {"TwoUsbRescanAfterUnplug", 30, "ftd2xx", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO", nullptr,
         {{"device=5 DMX USB PRO", IDOK}}, 12},
        {"TwoUsbRescanThenCancel", 10, "ftd2xx", "device=0 A\ndevice=0 B", nullptr,
         {{nullptr, IDOK}, {nullptr, IDCANCEL}}, 2},
        {"UnrecognizedCancel", 40, "ftd2xx", "device=6 FT2232H", nullptr, {{nullptr, IDCANCEL}}, 32},
        {"UnrecognizedRescan", 2, "ftd2xx", "device=6 FT2232H", nullptr, {{"device=0 USB <-> Serial", IDOK}}, 11},
        {"NodeAnswering", 70, nullptr, "", "", {}, 13},
        {"NodeAndUsbCancel", 10, "ftd2xx", "device=0 OPEN DMX USB", "", {{nullptr, IDCANCEL}}, 2},
        {"NodeSilent", 2, nullptr, "", "reply=none", {}, 10},
    };
    return setups;
}

// The setups in an interleaved order, each about weight * runs / 500 times
// and at least once.
std::vector<const DetectionSetup*> Schedule(int runs) {
    std::vector<std::pair<double, const DetectionSetup*>> keyed;
    for (const DetectionSetup& setup : DetectionSetups()) {
        const int times = std::max(1, static_cast<int>(std::lround(setup.weight * runs / 500.0)));
        for (int j = 0; j < times; ++j) keyed.emplace_back((j + 0.5) / times, &setup);
    }
    std::stable_sort(keyed.begin(), keyed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<const DetectionSetup*> order;
    for (const auto& [key, setup] : keyed) order.push_back(setup);
    return order;
}

class DetectionSoak : public Soak {
protected:
    void Prepare(const DetectionSetup& setup) {
        if (setup.driver == nullptr) {
            if (!installed_.empty()) test::RemoveFtd2xx();
            installed_.clear();
        } else if (installed_ != setup.driver) {
            test::InstallFtd2xx(setup.driver);
            installed_ = setup.driver;
        }
        test::WriteFtd2xxConfig(setup.devices);
        if (setup.node == nullptr) {
            if (nodeConfigured_) {
                test::RemoveSettingsFile(test::kHostFolder);
                test::RemoveHostKeys();
            }
            nodeConfigured_ = false;
            return;
        }
        if (!nodeConfigured_) {
            test::SetUserMainFolder(test::kHostFolder);
            const std::uint8_t address[4] = {198, 18, 0, 2};
            test::WriteSettingsFile(test::kHostFolder, address);
            nodeConfigured_ = true;
        }
        node_.Scenario(setup.node);
    }

    // One ZMK_GetDeviceStatus with a user answering its dialogs; counts the
    // showings, and any showing beyond the plan is cancelled.
    int Run(const DetectionSetup& setup, int* shown) {
        host::Plan plan;
        for (const Answer& answer : setup.answers) {
            plan.push_back(step::Await(host::kScanDialogCaption));
            if (answer.devicesAfter) plan.push_back(step::Replug(answer.devicesAfter));
            plan.push_back(step::Press(answer.button));
        }
        host::DialogUser user(*host_, plan);
        const int status = library_.getDeviceStatus();
        user.Stop();
        *shown = static_cast<int>(user.Seen().size());
        return status;
    }

    std::string installed_;
    bool nodeConfigured_ = false;
    test::NodeControl node_;
};

TEST_F(DetectionSoak, DetectionRunsOfEverySetupLeaveNothingBehind) {
    const int runs = CountFromEnvironment("ZMK_SOAK_DETECTIONS", 120);
    const std::vector<const DetectionSetup*> warmUp = Schedule(0);
    const std::vector<const DetectionSetup*> order = Schedule(runs);
    ASSERT_EQ(1, library_.initialize());
    int wrongStatus = 0, wrongDialogs = 0, driverLeftLoaded = 0;
    std::string firstWrong;
    RunPhase("detection", static_cast<int>(warmUp.size()), static_cast<int>(order.size()), [&](int i, bool warming) {
        const DetectionSetup& setup = *(warming ? warmUp : order)[static_cast<std::size_t>(i)];
        Prepare(setup);
        int shown = 0;
        const int status = Run(setup, &shown);
        driverLeftLoaded += ::GetModuleHandleA("ftd2xx.dll") != nullptr;
        if (status != setup.status || shown != static_cast<int>(setup.answers.size())) {
            wrongStatus += status != setup.status;
            wrongDialogs += shown != static_cast<int>(setup.answers.size());
            if (firstWrong.empty()) {
                firstWrong = std::string(setup.name) + ": status " + std::to_string(status) + ", dialogs " +
                             std::to_string(shown);
            }
        }
    });
    library_.release();
    std::printf("soak detection: %zu runs of %zu setups\n", order.size(), DetectionSetups().size());
    EXPECT_EQ(0, wrongStatus) << firstWrong;
    EXPECT_EQ(0, wrongDialogs) << firstWrong;
    EXPECT_EQ(0, driverLeftLoaded) << "runs after which ftd2xx.dll stayed loaded";
}

// The field's faults in turn, as a closing, switching, cancelling host and a
// moving driver list play them: every call comes back within two seconds of
// its last dialog, with the status it had, and every quit reaches the host.
struct FieldRun {
    const char* name;
    const char* devices;
    Plan plan;
    int status;
    int dialogs;
    int exitCode;  // the quit the host posted; 0: none
    bool otherInFront;
};

const std::vector<FieldRun>& FieldRuns() {
    static const std::vector<FieldRun> runs = {
        {"QuitDuringDialog", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO", {step::Await(), step::Quit(21)}, 2, 1, 21,
         false},
        {"QuitDuringProgress", "device=6 FT2232H",
         {step::Await(), step::Press(IDOK), step::Pause(800), step::Quit(22)}, 32, 1, 22, false},
        {"CancelDuringProgress", "device=6 FT2232H", {step::Await(), step::Press(IDOK), step::Pause(800),
                                                      step::Act(UserAction::Close)}, 32, 1, 0, false},
        {"OtherProgramInFront", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO", step::Answer(IDCANCEL), 2, 1, 0, true},
        {"MovingList", "device=5 DMX USB PRO\ndescribe=3", {}, 1, 0, 0, false},
    };
    return runs;
}

class FieldSoak : public DetectionSoak {};

TEST_F(FieldSoak, QuitsCancelsForeignWindowsAndMovingListsLeaveNothingBehind) {
    const int calls = CountFromEnvironment("ZMK_SOAK_FIELD", 5);
    const char* otherProgram = std::getenv("ZMK_OTHER_PROGRAM");
    ASSERT_NE(nullptr, otherProgram) << "ZMK_OTHER_PROGRAM names the other program";
    ASSERT_EQ(1, library_.initialize());
    const auto& runs = FieldRuns();
    int wrong = 0, hangs = 0, quitsLost = 0;
    std::string firstWrong;
    RunPhase("field", static_cast<int>(runs.size()), calls, [&](int i, bool) {
        const FieldRun& run = runs[static_cast<std::size_t>(i) % runs.size()];
        Prepare({run.name, 0, "ftd2xx", run.devices, nullptr, {}, run.status});
        std::unique_ptr<host::OtherProgram> other;
        host::DialogUser::Options options;
        if (run.otherInFront) {
            other = std::make_unique<host::OtherProgram>(test::WindowsPath(otherProgram), 8000);
            options.other = other.get();
        }
        host::DialogUser user(*host_, run.plan, options);
        const int status = library_.getDeviceStatus();
        const LARGE_INTEGER returned = Now();
        user.Stop();
        const auto& seen = user.Seen();
        // A call hangs when it has not returned two seconds after its last dialog closed.
        hangs += !seen.empty() && MillisecondsBetween(seen.back().closedAt, returned) > 2000.0;
        int exitCode = 0;
        const bool quit = host::TakeQuit(&exitCode);
        quitsLost += run.exitCode != 0 && (!quit || exitCode != run.exitCode);
        const bool otherDisabled = !seen.empty() && !seen[0].otherEnabled;
        if (status != run.status || static_cast<int>(seen.size()) != run.dialogs || otherDisabled ||
            (run.exitCode == 0 && quit)) {
            ++wrong;
            if (firstWrong.empty()) {
                firstWrong = std::string(run.name) + ": status " + std::to_string(status) + ", dialogs " +
                             std::to_string(seen.size());
            }
        }
    });
    library_.release();
    EXPECT_EQ(0, wrong) << firstWrong;
    EXPECT_EQ(0, hangs);
    EXPECT_EQ(0, quitsLost);
}

// The four outcomes of the driver-error dialog in turn: tool missing, exit 0
// answered Enter, exit 0 answered Escape, exit 1.
struct ErrorBoxCase {
    bool toolPresent;
    const char* exitCode;
    const char* expectedCaption;
    UserAction action;
    INT_PTR result;
};

const ErrorBoxCase kErrorBoxCases[] = {
    {false, "0", host::kSystemErrorBoxCaption, UserAction::Enter, 2},
    {true, "0", host::kErrorDialogCaption, UserAction::Enter, 1},
    {true, "0", host::kErrorDialogCaption, UserAction::Escape, 2},
    {true, "1", host::kSystemErrorBoxCaption, UserAction::Escape, 2},
};

class DriverErrorSoak : public Soak {
protected:
    void SetUp() override {
        toolPath_ = test::DiagnosticToolPath();
        ASSERT_FALSE(toolPath_.empty());
        const char* standIn = std::getenv("ZMK_TRAVOLK_STANDIN");
        ASSERT_NE(nullptr, standIn) << "ZMK_TRAVOLK_STANDIN names the TRAVOLK.exe stand-in";
        standIn_ = test::WindowsPath(standIn);
        ::SetEnvironmentVariableA("ZMK_TRAVOLK_RUN_MS", "0");
    }
    void TearDown() override { ::DeleteFileA(toolPath_.c_str()); }

    std::string toolPath_, standIn_;
};

TEST_F(DriverErrorSoak, DriverErrorDialogsLeaveNothingBehind) {
    const int boxes = CountFromEnvironment("ZMK_SOAK_ERROR_BOXES", 24);
    ASSERT_EQ(1, library_.initialize());
    int wrongResult = 0, notSeen = 0;
    RunPhase("error-dialog", 4, boxes, [&](int i, bool) {
        const ErrorBoxCase& c = kErrorBoxCases[i % 4];
        if (c.toolPresent) {
            test::PlaceDiagnosticTool(standIn_, c.exitCode);
        } else {
            ::DeleteFileA(toolPath_.c_str());
        }
        host::DialogUser user(*host_, {step::Await(c.expectedCaption), step::Act(c.action)});
        const INT_PTR result = library_.driversErrorBox(host_->get());
        user.Stop();
        const bool seen = !user.Seen().empty() && user.Seen()[0].caption == c.expectedCaption;
        wrongResult += result != c.result;
        notSeen += !seen;
    });
    library_.release();
    EXPECT_EQ(0, wrongResult);
    EXPECT_EQ(0, notSeen);
}

// A host that never calls ZMK_Release still gets the theme's brushes back
// when it unloads the library. Runs after the suites above have unloaded it.
TEST(LibraryUnload, ThemeNeverReleasedIsFreedWithTheLibrary) {
    host::LibraryExports library;
    // A first round brings in what GDI keeps for the process once it is used.
    ASSERT_TRUE(test::LoadLibraryUnderTest(library));
    ASSERT_EQ(1, library.initialize());
    library.Unload();
    // Wine settles its own GDI bookkeeping on the first count; the second is the baseline.
    test::MeasureFootprint();
    const test::ProcessFootprint before = test::MeasureFootprint();
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(test::LoadLibraryUnderTest(library));
        ASSERT_EQ(1, library.initialize());
        EXPECT_GE(test::MeasureFootprint().gdiObjects, before.gdiObjects + 35);
        library.Unload();
        ASSERT_EQ(nullptr, ::GetModuleHandleA("ZELMORK.dll")) << "the library is still loaded";
    }
    EXPECT_LE(test::MeasureFootprint().gdiObjects, before.gdiObjects + kObjectSlack);
}

}  // namespace
}  // namespace zmk
