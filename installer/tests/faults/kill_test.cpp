// Kills the installer in the middle of its write and looks at what is left:
// the target must be exactly the old library or exactly the new one, and a
// temporary file may stay only where the kill made that unavoidable. After
// every kill the shipped installer runs once more and must finish the job
// and leave nothing beside the library.
//
//   installer_kill_test --point NAME --runs N --paused EXE ...
//       stops the test build at a named point, then TerminateProcess
//   installer_kill_test --random --runs N --seed S ...
//       TerminateProcess on the shipped build after a random delay counted
//       from the moment the confirmation was answered
//
// Common options: --installer EXE --library DLL --fixtures DIR.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cwchar>
#include <random>
#include <string>
#include <vector>

#include "installer_driver.h"
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

const PointCase kPoints[] = {
    {L"before-temp-name", Target::Old, Stray::None},
    {L"after-temp-name", Target::Old, Stray::TempFile},
    {L"mid-write", Target::Old, Stray::TempFile},
    {L"before-flush", Target::Old, Stray::TempFile},
    {L"before-move", Target::Old, Stray::TempFile},
    {L"after-move", Target::New, Stray::None},
};

struct Paths {
    std::wstring installer;  // the shipped build
    std::wstring paused;     // the test build with pause points
    std::wstring library;
    std::wstring fixture;
    std::wstring vendor;
    std::wstring folder;
    std::wstring target;
};

struct Outcome {
    Target target = Target::Other;
    std::vector<std::wstring> strays;
};

int g_failures = 0;

void Fail(const std::wstring& what) {
    std::fwprintf(stderr, L"FAILED: %ls\n", what.c_str());
    ++g_failures;
}

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
        Fail(L"the installer did not start");
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
    Fail(L"no confirmation box");
    ::TerminateProcess(process.hProcess, kKilledExitCode);
    ::WaitForSingleObject(process.hProcess, kStepTimeoutMs);
    ::CloseHandle(process.hProcess);
    return nullptr;
}

void Kill(HANDLE process) {
    ::TerminateProcess(process, kKilledExitCode);
    if (::WaitForSingleObject(process, kStepTimeoutMs) != WAIT_OBJECT_0) Fail(L"the killed installer did not end");
    ::CloseHandle(process);
}

// The run after a kill: the shipped installer, answered OK throughout, must
// end with the new library and nothing else in the folder.
void CheckRecovery(const Paths& paths, Target killedWith) {
    const InstallerRun run = RunInstaller(paths.installer, {Answer::Ok, Answer::Ok}, kStepTimeoutMs);
    const std::wstring expected = killedWith == Target::New ? L"Install Patch Not Needed." : L"Install Patch Success.";
    if (!run.problem.empty()) Fail(L"recovery run: " + run.problem);
    if (run.exitCode != 0 || run.boxes.size() != 2 || run.boxes[1].text != expected) {
        Fail(L"recovery run did not say \"" + expected + L"\" with exit code 0");
    }
    const Outcome after = Inspect(paths);
    if (after.target != Target::New) Fail(L"recovery run did not leave the new library");
    for (const std::wstring& name : after.strays) Fail(L"recovery run left " + name);
}

std::wstring Describe(const Outcome& outcome) {
    std::wstring text = outcome.target == Target::Old ? L"old" : outcome.target == Target::New ? L"new" : L"OTHER";
    for (const std::wstring& name : outcome.strays) text += L" + " + name;
    return text;
}

int KillAtPoint(const Paths& paths, const PointCase& point, int runs) {
    ::SetEnvironmentVariableW(L"ZMK_PAUSE_AT", point.point);
    zmk::UniqueHandle reached(::CreateEventW(nullptr, FALSE, FALSE, kPauseReachedEvent));
    for (int i = 0; i < runs; ++i) {
        if (!PlaceOldLibrary(paths)) {
            Fail(L"could not place the old library");
            return 1;
        }
        LARGE_INTEGER answeredAt;
        HANDLE process = StartAndConfirm(paths.paused, answeredAt);
        if (process == nullptr) return 1;
        const bool paused = ::WaitForSingleObject(reached.get(), kStepTimeoutMs) == WAIT_OBJECT_0;
        const double pausedAfterMs = Milliseconds(answeredAt, Now());
        Kill(process);
        if (!paused) Fail(L"the installer never reached the point");

        const Outcome outcome = Inspect(paths);
        std::wprintf(L"kill at %ls, run %d (%.1f ms after the answer): %ls\n", point.point, i + 1, pausedAfterMs,
                     Describe(outcome).c_str());
        if (outcome.target != point.target) Fail(L"the target is not the library the point leaves");
        const size_t expectedStrays = point.stray == Stray::TempFile ? 1 : 0;
        if (outcome.strays.size() != expectedStrays) Fail(L"unexpected files beside the target");
        for (const std::wstring& name : outcome.strays) {
            if (!IsUnavoidableStray(paths, name)) Fail(name + L" is not a prefix of the new library");
        }
        CheckRecovery(paths, outcome.target);
    }
    ::SetEnvironmentVariableW(L"ZMK_PAUSE_AT", nullptr);
    return 0;
}

// How long the shipped installer takes from the answer to its outcome box.
double MeasureWriteWindow(const Paths& paths) {
    std::vector<double> windows;
    for (int i = 0; i < 3; ++i) {
        PlaceOldLibrary(paths);
        LARGE_INTEGER answeredAt;
        HANDLE process = StartAndConfirm(paths.installer, answeredAt);
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
    std::wprintf(L"answer to outcome box: %.1f / %.1f / %.1f ms (min / median / max of 3)\n", windows[0], windows[1],
                 windows[2]);
    return windows[1];
}

void BusyWaitUntil(LARGE_INTEGER from, double milliseconds) {
    while (Milliseconds(from, Now()) < milliseconds) {
    }
}

int KillAtRandom(const Paths& paths, int runs, unsigned seed) {
    const double window = MeasureWriteWindow(paths);
    if (window <= 0) return 1;
    // A little past the outcome box, so that late kills are tried too.
    const double longest = window * 1.25;
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> delays(0.0, longest);
    int oldCount = 0, newCount = 0, strayCount = 0, otherCount = 0;
    std::vector<double> killTimes;
    for (int i = 0; i < runs; ++i) {
        if (!PlaceOldLibrary(paths)) {
            Fail(L"could not place the old library");
            return 1;
        }
        const double delay = delays(random);
        LARGE_INTEGER answeredAt;
        HANDLE process = StartAndConfirm(paths.installer, answeredAt);
        if (process == nullptr) return 1;
        BusyWaitUntil(answeredAt, delay);
        Kill(process);
        killTimes.push_back(delay);

        const Outcome outcome = Inspect(paths);
        std::wprintf(L"random kill %d at %.2f ms: %ls\n", i + 1, delay, Describe(outcome).c_str());
        if (outcome.target == Target::Old) ++oldCount;
        if (outcome.target == Target::New) ++newCount;
        if (outcome.target == Target::Other) {
            ++otherCount;
            Fail(L"the target is neither the old nor the new library");
        }
        if (!outcome.strays.empty()) ++strayCount;
        for (const std::wstring& name : outcome.strays) {
            if (outcome.target != Target::Old || !IsUnavoidableStray(paths, name)) Fail(L"avoidable stray " + name);
        }
        CheckRecovery(paths, outcome.target);
    }
    std::wprintf(L"tally of %d random kills within 0..%.1f ms of the answer (seed %u): %d old, %d new, %d other; "
                 L"%d left the temporary file\n",
                 runs, longest, seed, oldCount, newCount, otherCount, strayCount);
    return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    Paths paths;
    std::wstring fixtures, point;
    bool random = false;
    int runs = 0;
    unsigned seed = 1;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--random") random = true;
        else if (option == L"--point" && hasValue) point = argv[++i];
        else if (option == L"--runs" && hasValue) runs = static_cast<int>(std::wcstol(argv[++i], nullptr, 10));
        else if (option == L"--seed" && hasValue) seed = static_cast<unsigned>(std::wcstoul(argv[++i], nullptr, 10));
        else if (option == L"--installer" && hasValue) paths.installer = WindowsPath(argv[++i]);
        else if (option == L"--paused" && hasValue) paths.paused = WindowsPath(argv[++i]);
        else if (option == L"--library" && hasValue) paths.library = WindowsPath(argv[++i]);
        else if (option == L"--fixtures" && hasValue) fixtures = WindowsPath(argv[++i]);
    }
    const PointCase* chosen = nullptr;
    for (const PointCase& c : kPoints) {
        if (point == c.point) chosen = &c;
    }
    if (runs <= 0 || paths.installer.empty() || paths.library.empty() || fixtures.empty() ||
        (!random && (chosen == nullptr || paths.paused.empty()))) {
        std::fwprintf(stderr, L"usage: installer_kill_test (--point NAME --paused EXE | --random [--seed S]) --runs N "
                              L"--installer EXE --library DLL --fixtures DIR\n");
        return 2;
    }
    paths.fixture = fixtures + L"\\fixture_old_release.dll";
    paths.vendor = ProgramFilesFolder() + L"\\Quenford";
    paths.folder = paths.vendor + L"\\Borvanect";
    paths.target = paths.folder + L"\\ZELMORK.dll";

    const int status = random ? KillAtRandom(paths, runs, seed) : KillAtPoint(paths, *chosen, runs);
    RemoveTree(paths.vendor);
    std::fflush(stdout);
    return status != 0 || g_failures != 0 ? 1 : 0;
}
