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

#include "win32/clock.h"
#include "host_window.h"
#include "wait_pumping.h"

namespace {

using zmk::host::HostWindow;
using zmk::MillisecondsSince;
using zmk::Now;

constexpr int kPatienceMs = 10000;

double TimeOneWait(HostWindow& host, HostWindow::Work work, int milliseconds) {
    const LARGE_INTEGER start = zmk::Now();
    host.StartWork(work, kPatienceMs);
    zmk::WaitPumpingMessages(milliseconds);
    const double elapsed = zmk::MillisecondsSince(start);
    host.StopWork();
    MSG left;
    while (PeekMessageA(&left, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&left);
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    const int runs = argc > 1 ? std::atoi(argv[1]) : 20;
    HostWindow host("busy host");

    const struct {
        HostWindow::Work work;
        const char* name;
    } loads[] = {{HostWindow::Work::None, "idle queue"}, {HostWindow::Work::PostedSlices, "posted work, 2 ms slices"},
                 {HostWindow::Work::SlowTimer, "25 ms timer, 30 ms handler"}};
    for (const auto& load : loads) {
        for (int milliseconds : {400, 750}) {
            std::vector<double> times;
            for (int i = 0; i < runs; ++i) times.push_back(TimeOneWait(host, load.work, milliseconds));
            std::sort(times.begin(), times.end());
            const double median = times[times.size() / 2];
            std::printf("%-28s wait %3d ms  runs %3d  median %8.1f ms  max %8.1f ms  (+%.1f ms)\n", load.name,
                        milliseconds, runs, median, times.back(), times.back() - milliseconds);
            std::fflush(stdout);
        }
    }
    return 0;
}
