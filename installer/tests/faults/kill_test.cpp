// Kills the installer in the middle of its write and looks at what is left:
// the target must be exactly the old library or exactly the new one, and a
// temporary file may stay only where the kill made that unavoidable. After
// every kill the shipped installer runs once more and must finish the job
// and leave nothing beside the library.
//
//   installer_kill_test --gtest_filter=Installer/KillAtPoint.*/mid_write --runs=N ...
//       stops the test build at a named point, then TerminateProcess
//   installer_kill_test --gtest_filter=KillAtRandomMoment.* --runs=N [--seed=S] ...
//       TerminateProcess on the shipped build after a random delay counted
//       from the moment the confirmation was answered
//
// Common options: --installer=EXE --paused=EXE --library=DLL --fixtures=DIR.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "installer_test_main.h"
#define ZMK_PAUSE_POINTS_NO_REDIRECT
#include "faults/pause_points.h"
#include "win32/unique_resource.h"

using namespace zmk::test;

namespace {

constexpr DWORD kStepTimeoutMs = 30000;
constexpr UINT kKilledExitCode = 99;

enum class Target { Old, New, Other };
enum class Stray { None, TempFile };

// What a kill at each point must leave behind.
struct PointCase {
    const wchar_t* point;
    Target target;
    Stray stray;
};

// Also the case's name, where gtest allows no '-'.
void PrintTo(const PointCase& point, std::ostream* out) {
    for (const wchar_t* c = point.point; *c != 0; ++c) *out << (*c == L'-' ? '_' : static_cast<char>(*c));
}

const PointCase kPoints[] = {
    {L"before-temp-name", Target::Old, Stray::None},
    {L"after-temp-name", Target::Old, Stray::TempFile},
    {L"mid-write", Target::Old, Stray::TempFile},
    {L"before-flush", Target::Old, Stray::TempFile},
    {L"before-move", Target::Old, Stray::TempFile},
    {L"after-move", Target::New, Stray::None},
};

// The shipped build, the test build with pause points and the library come
// from the options; the rest is where the kills happen.
struct Paths {
    std::wstring installer;  // the shipped build
    std::wstring paused;     // the test build with pause points
    std::wstring library;
    std::wstring fixture;
    std::wstring vendor;
    std::wstring folder;
    std::wstring target;
};

Paths g_paths;
std::wstring g_fixtures, g_runs, g_seed = L"1";

void PrintTo(Target target, std::ostream* out) {
    *out << (target == Target::Old ? "the old library" : target == Target::New ? "the new library" : "another file");
}

struct Outcome {
    Target target = Target::Other;
    std::vector<std::wstring> strays;
};

double Milliseconds(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return 1000.0 * static_cast<double>(to.QuadPart - from.QuadPart) / static_cast<double>(frequency.QuadPart);
}

LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

bool PlaceOldLibrary(const Paths& paths) {
    RemoveTree(paths.vendor);
    ::CreateDirectoryW(paths.vendor.c_str(), nullptr);
    ::CreateDirectoryW(paths.folder.c_str(), nullptr);
    return ::CopyFileW(paths.fixture.c_str(), paths.target.c_str(), FALSE) != FALSE;
}

Outcome Inspect(const Paths& paths) {
    Outcome outcome;
    const std::string bytes = FileBytes(paths.target);
    if (bytes == FileBytes(paths.fixture)) outcome.target = Target::Old;
    else if (bytes == FileBytes(paths.library)) outcome.target = Target::New;
    for (const std::wstring& name : FolderEntries(paths.folder)) {
        if (name != L"ZELMORK.dll") outcome.strays.push_back(name);
    }
    return outcome;
}

// A file the writer may leave when killed: its own temporary file, holding
// nothing or a prefix of the new library.
bool IsUnavoidableStray(const Paths& paths, const std::wstring& name) {
    if (name.size() < 8 || _wcsnicmp(name.c_str(), L"zmk", 3) != 0) return false;
    const std::string bytes = FileBytes(paths.folder + L"\\" + name);
    const std::string library = FileBytes(paths.library);
    return bytes.size() <= library.size() && library.compare(0, bytes.size(), bytes) == 0;
}

// Starts the installer and answers its confirmation; returns the process
// handle (null on failure) and the moment of the answer.
HANDLE StartAndConfirm(const std::wstring& installer, LARGE_INTEGER& answeredAt) {
    PROCESS_INFORMATION process;
    if (!StartInstaller(installer, process)) {
        ADD_FAILURE() << "the installer did not start";
        return nullptr;
    }
    const ULONGLONG deadline = ::GetTickCount64() + kStepTimeoutMs;
    while (::GetTickCount64() < deadline) {
        const HWND box = FindInstallerBox(process.dwProcessId);
        if (box != nullptr) {
            answeredAt = Now();
            PostAnswer(box, Answer::Ok);
            return process.hProcess;
        }
        if (::WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
    }
    ADD_FAILURE() << "no confirmation box";
    ::TerminateProcess(process.hProcess, kKilledExitCode);
    ::WaitForSingleObject(process.hProcess, kStepTimeoutMs);
    ::CloseHandle(process.hProcess);
    return nullptr;
}

void Kill(HANDLE process) {
    ::TerminateProcess(process, kKilledExitCode);
    EXPECT_EQ(::WaitForSingleObject(process, kStepTimeoutMs), WAIT_OBJECT_0) << "the killed installer did not end";
    ::CloseHandle(process);
}

// The run after a kill: the shipped installer, answered OK throughout, must
// end with the new library and nothing else in the folder.
void CheckRecovery(const Paths& paths, Target killedWith) {
    const InstallerRun run = RunInstaller(paths.installer, {Answer::Ok, Answer::Ok}, kStepTimeoutMs);
    const std::wstring expected = killedWith == Target::New ? L"Install Patch Not Needed." : L"Install Patch Success.";
    EXPECT_EQ(run.problem, L"") << "recovery run";
    EXPECT_EQ(run.exitCode, 0u) << "recovery run";
    EXPECT_EQ(run.boxes.size(), 2u) << "recovery run";
    if (run.boxes.size() == 2) {
        EXPECT_EQ(run.boxes[1].text, expected) << "recovery run";
    }
    const Outcome after = Inspect(paths);
    EXPECT_EQ(after.target, Target::New) << "recovery run did not leave the new library";
    EXPECT_EQ(after.strays, std::vector<std::wstring>{}) << "recovery run left files beside the library";
}

std::wstring Describe(const Outcome& outcome) {
    std::wstring text = outcome.target == Target::Old ? L"old" : outcome.target == Target::New ? L"new" : L"OTHER";
    for (const std::wstring& name : outcome.strays) text += L" + " + name;
    return text;
}

int Runs() { return static_cast<int>(std::wcstol(g_runs.c_str(), nullptr, 10)); }

class InstallerKills : public testing::Test {
protected:
    InstallerKills() : paths_(g_paths) {
        paths_.fixture = g_fixtures + L"\\fixture_old_release.dll";
        paths_.vendor = ProgramFilesFolder() + L"\\Quenford";
        paths_.folder = paths_.vendor + L"\\Borvanect";
        paths_.target = paths_.folder + L"\\ZELMORK.dll";
    }

    void TearDown() override { RemoveTree(paths_.vendor); }

    Paths paths_;
};

class KillAtPoint : public InstallerKills, public testing::WithParamInterface<PointCase> {
protected:
    void SetUp() override { ::SetEnvironmentVariableW(L"ZMK_PAUSE_AT", GetParam().point); }
    void TearDown() override {
        ::SetEnvironmentVariableW(L"ZMK_PAUSE_AT", nullptr);
        InstallerKills::TearDown();
    }
};

TEST_P(KillAtPoint, LeavesWhatThePointAllowsAndTheNextRunFinishes) {
    const PointCase& point = GetParam();
    const int runs = Runs();
    ASSERT_GT(runs, 0) << "--runs=N";
    zmk::UniqueHandle reached(::CreateEventW(nullptr, FALSE, FALSE, kPauseReachedEvent));
    for (int i = 0; i < runs; ++i) {
        ASSERT_TRUE(PlaceOldLibrary(paths_)) << "could not place the old library";
        LARGE_INTEGER answeredAt;
        HANDLE process = StartAndConfirm(paths_.paused, answeredAt);
        ASSERT_NE(process, nullptr);
        const bool paused = ::WaitForSingleObject(reached.get(), kStepTimeoutMs) == WAIT_OBJECT_0;
        const double pausedAfterMs = Milliseconds(answeredAt, Now());
        Kill(process);
        EXPECT_TRUE(paused) << "the installer never reached the point";

        const Outcome outcome = Inspect(paths_);
        std::wprintf(L"kill at %ls, run %d (%.1f ms after the answer): %ls\n", point.point, i + 1, pausedAfterMs,
                     Describe(outcome).c_str());
        EXPECT_EQ(outcome.target, point.target) << "the target is not the library the point leaves";
        EXPECT_EQ(outcome.strays.size(), point.stray == Stray::TempFile ? 1u : 0u) << "files beside the target";
        for (const std::wstring& name : outcome.strays) {
            EXPECT_TRUE(IsUnavoidableStray(paths_, name)) << name << " is not a prefix of the new library";
        }
        CheckRecovery(paths_, outcome.target);
    }
}

INSTANTIATE_TEST_SUITE_P(Installer, KillAtPoint, testing::ValuesIn(kPoints), testing::PrintToStringParamName());

class KillAtRandomMoment : public InstallerKills {
protected:
    // How long the shipped installer takes from the answer to its outcome box.
    double MeasureWriteWindow() {
        std::vector<double> windows;
        for (int i = 0; i < 3; ++i) {
            PlaceOldLibrary(paths_);
            LARGE_INTEGER answeredAt;
            HANDLE process = StartAndConfirm(paths_.installer, answeredAt);
            if (process == nullptr) return 0;
            DWORD processId = ::GetProcessId(process);
            HWND box = nullptr;
            const ULONGLONG deadline = ::GetTickCount64() + kStepTimeoutMs;
            while (::GetTickCount64() < deadline) {
                box = FindInstallerBox(processId);
                if (box != nullptr && BoxText(box) != L"Install Patch ?") break;
                ::Sleep(1);
            }
            windows.push_back(Milliseconds(answeredAt, Now()));
            Kill(process);
        }
        std::sort(windows.begin(), windows.end());
        std::wprintf(L"answer to outcome box: %.1f / %.1f / %.1f ms (min / median / max of 3)\n", windows[0],
                     windows[1], windows[2]);
        return windows[1];
    }
};

void BusyWaitUntil(LARGE_INTEGER from, double milliseconds) {
    while (Milliseconds(from, Now()) < milliseconds) {
    }
}

TEST_F(KillAtRandomMoment, LeavesOldOrNewLibraryAndTheNextRunFinishes) {
    const int runs = Runs();
    ASSERT_GT(runs, 0) << "--runs=N";
    const unsigned seed = static_cast<unsigned>(std::wcstoul(g_seed.c_str(), nullptr, 10));
    const double window = MeasureWriteWindow();
    ASSERT_GT(window, 0) << "the write could not be timed";
    // A little past the outcome box, so that late kills are tried too.
    const double longest = window * 1.25;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delays(0.0, longest);
    int oldCount = 0, newCount = 0, strayCount = 0, otherCount = 0;
    for (int i = 0; i < runs; ++i) {
        ASSERT_TRUE(PlaceOldLibrary(paths_)) << "could not place the old library";
        const double delay = delays(random);
        LARGE_INTEGER answeredAt;
        HANDLE process = StartAndConfirm(paths_.installer, answeredAt);
        ASSERT_NE(process, nullptr);
        BusyWaitUntil(answeredAt, delay);
        Kill(process);

        const Outcome outcome = Inspect(paths_);
        std::wprintf(L"random kill %d at %.2f ms: %ls\n", i + 1, delay, Describe(outcome).c_str());
        if (outcome.target == Target::Old) ++oldCount;
        if (outcome.target == Target::New) ++newCount;
        if (outcome.target == Target::Other) ++otherCount;
        EXPECT_NE(outcome.target, Target::Other) << "the target is neither the old nor the new library";
        if (!outcome.strays.empty()) ++strayCount;
        for (const std::wstring& name : outcome.strays) {
            EXPECT_TRUE(outcome.target == Target::Old && IsUnavoidableStray(paths_, name))
                << "avoidable stray " << name;
        }
        CheckRecovery(paths_, outcome.target);
    }
    std::wprintf(L"tally of %d random kills within 0..%.1f ms of the answer (seed %u): %d old, %d new, %d other; "
                 L"%d left the temporary file\n",
                 runs, longest, seed, oldCount, newCount, otherCount, strayCount);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunInstallerTests(argc, argv,
                             {{L"installer", &g_paths.installer},
                              {L"paused", &g_paths.paused},
                              {L"library", &g_paths.library},
                              {L"fixtures", &g_fixtures},
                              {L"runs", &g_runs},
                              {L"seed", &g_seed}});
}
