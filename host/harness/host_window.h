// The host application's main window, as every program that plays the host
// opens it: visible, top-level, in front, the owner of the library's dialogs.
// It also plays what real hosts do while the library has them inside a call:
// keep their own queue busy, quit, stop answering for a while.
#pragma once

#include <windows.h>

#include <functional>
#include <mutex>
#include <vector>

namespace zmk::host {

class HostWindow {
public:
    explicit HostWindow(const char* title = "Borvanect (host stand-in)");
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;

    HWND get() const { return window_; }
    DWORD thread() const { return thread_; }

    // Runs task on the window's thread, from its window procedure, the next
    // time that thread dispatches (its own loop, a dialog's, the library's
    // waits). Safe from any thread.
    void Post(std::function<void()> task);
    // The same, waiting at most timeoutMs for the task to have run.
    bool Send(std::function<void()> task, int timeoutMs = 5000);

    // A closing host: PostQuitMessage(exitCode) from its window procedure.
    void PostQuit(int exitCode);
    // A host that stops answering: its window procedure does not return for ms.
    void PostBusy(int milliseconds);

    // Work that never lets the queue run empty: slices of 2 ms the window
    // posts itself, or a 25 ms timer whose handler takes 30 ms. It stops by
    // itself after patienceMs, so that a wait that follows the work still ends.
    enum class Work { None, PostedSlices, SlowTimer };
    void StartWork(Work work, int patienceMs);
    void StopWork();

private:
    static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    void RunTasks();
    bool StillWorking() const;

    HWND window_ = nullptr;
    DWORD thread_ = 0;
    std::mutex tasksLock_;
    std::vector<std::function<void()>> tasks_;
    Work work_ = Work::None;
    ULONGLONG workUntil_ = 0;
};

// The host's own message loop for a while, as a host runs it between calls:
// true, with the exit code, as soon as a WM_QUIT arrives.
bool PumpMessages(int milliseconds, int* quitCode = nullptr);
// Takes a WM_QUIT waiting in the thread's queue: true, with its exit code.
bool TakeQuit(int* quitCode = nullptr);

}  // namespace zmk::host
