// How long the pumping wait lasts while the host keeps its own queue busy.
//   wait_bench RUNS
// For each load (an idle queue; work the host posts itself in 2 ms slices; a
// 25 ms timer whose handler takes 30 ms) and each duration the library uses
// (400 ms after a dialog, 750 ms per progress step), RUNS waits are timed
// with QueryPerformanceCounter. A wait that outlasts the host's patience
// (10 s) makes the host stop its load, so even a wait that follows the load
// ends and is reported.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "wait_pumping.h"

namespace {

constexpr UINT kWorkSlice = WM_APP;
constexpr double kPatienceMs = 10000;

enum class Load { Idle, PostedWork, SlowTimer };
Load g_load = Load::Idle;
LARGE_INTEGER g_start;

double ElapsedMs(LARGE_INTEGER start) {
    LARGE_INTEGER now, frequency;
    QueryPerformanceCounter(&now);
    QueryPerformanceFrequency(&frequency);
    return static_cast<double>(now.QuadPart - start.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

bool StillBusy() { return g_load != Load::Idle && ElapsedMs(g_start) < kPatienceMs; }

LRESULT CALLBACK HostProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == kWorkSlice && StillBusy()) {
        Sleep(2);
        PostMessageA(window, kWorkSlice, 0, 0);
        return 0;
    }
    if (message == WM_TIMER && StillBusy()) {
        Sleep(30);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

double TimeOneWait(HWND host, Load load, int milliseconds) {
    g_load = load;
    QueryPerformanceCounter(&g_start);
    if (load == Load::PostedWork) PostMessageA(host, kWorkSlice, 0, 0);
    if (load == Load::SlowTimer) SetTimer(host, 1, 25, nullptr);
    zmk::WaitPumpingMessages(milliseconds);
    const double elapsed = ElapsedMs(g_start);
    KillTimer(host, 1);
    g_load = Load::Idle;
    MSG left;
    while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&left);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    WNDCLASSA hostClass{};
    hostClass.lpfnWndProc = HostProc;
    hostClass.lpszClassName = "ZmkBusyHost";
    RegisterClassA(&hostClass);
    HWND host = CreateWindowExA(0, "ZmkBusyHost", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);

    const struct {
        Load load;
        const char* name;
    } loads[] = {{Load::Idle, "idle queue"}, {Load::PostedWork, "posted work, 2 ms slices"},
                 {Load::SlowTimer, "25 ms timer, 30 ms handler"}};
    for (const auto& load : loads) {
        for (int milliseconds : {400, 750}) {
            std::vector<double> times;
            for (int i = 0; i < runs; ++i) times.push_back(TimeOneWait(host, load.load, milliseconds));
            std::sort(times.begin(), times.end());
            const double median = times[times.size() / 2];
            std::printf("%-28s wait %3d ms  runs %3d  median %8.1f ms  max %8.1f ms  (+%.1f ms)\n", load.name,
                        milliseconds, runs, median, times.back(), times.back() - milliseconds);
            std::fflush(stdout);
        }
    }
    DestroyWindow(host);
    return 0;
}
