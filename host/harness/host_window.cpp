#include "host_window.h"

#include <memory>
#include <utility>

#include "win32/unique_resource.h"

namespace zmk::host {
namespace {

constexpr char kClassName[] = "ZmkHostWindow";
constexpr UINT kRunTasks = WM_APP + 0x40;
constexpr UINT kWorkSlice = WM_APP + 0x41;
constexpr UINT_PTR kWorkTimer = 0x5A4D;

}  // namespace

HostWindow::HostWindow(const char* title) : thread_(::GetCurrentThreadId()) {
    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hCursor = ::LoadCursorA(nullptr, IDC_ARROW);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(WHITE_BRUSH));
    windowClass.lpszClassName = kClassName;
    ::RegisterClassA(&windowClass);  // fails harmlessly when already registered
    window_ = ::CreateWindowExA(0, kClassName, title, WS_OVERLAPPEDWINDOW | WS_VISIBLE, 40, 40, 720, 420, nullptr,
                                nullptr, windowClass.hInstance, this);
    if (!window_) return;
    ::SetWindowLongPtrA(window_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    ::UpdateWindow(window_);
    ::SetForegroundWindow(window_);
}

HostWindow::~HostWindow() {
    if (window_) ::DestroyWindow(window_);
}

void HostWindow::Post(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(tasksLock_);
        tasks_.push_back(std::move(task));
    }
    ::PostMessageA(window_, kRunTasks, 0, 0);
}

bool HostWindow::Send(std::function<void()> task, int timeoutMs) {
    // Shared with the task: a task that runs after the time-out still has
    // its event, and the last of the two to let go closes it.
    struct Completion {
        UniqueHandle ran{::CreateEventA(nullptr, TRUE, FALSE, nullptr)};
    };
    auto completion = std::make_shared<Completion>();
    if (!completion->ran) return false;
    Post([task = std::move(task), completion] {
        task();
        ::SetEvent(completion->ran.get());
    });
    return ::WaitForSingleObject(completion->ran.get(), static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0;
}

void HostWindow::PostQuit(int exitCode) {
    Post([exitCode] { ::PostQuitMessage(exitCode); });
}

void HostWindow::PostBusy(int milliseconds) {
    Post([milliseconds] { ::Sleep(static_cast<DWORD>(milliseconds)); });
}

void HostWindow::StartWork(Work work, int patienceMs) {
    work_ = work;
    workUntil_ = ::GetTickCount64() + static_cast<ULONGLONG>(patienceMs);
    if (work == Work::PostedSlices) ::PostMessageA(window_, kWorkSlice, 0, 0);
    if (work == Work::SlowTimer) ::SetTimer(window_, kWorkTimer, 25, nullptr);
}

void HostWindow::StopWork() {
    work_ = Work::None;
    ::KillTimer(window_, kWorkTimer);
}

bool HostWindow::StillWorking() const { return work_ != Work::None && ::GetTickCount64() < workUntil_; }

void HostWindow::RunTasks() {
    std::vector<std::function<void()>> tasks;
    {
        std::lock_guard<std::mutex> lock(tasksLock_);
        tasks.swap(tasks_);
    }
    for (auto& task : tasks) task();
}

LRESULT CALLBACK HostWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<HostWindow*>(::GetWindowLongPtrA(window, GWLP_USERDATA));
    switch (message) {
        case kRunTasks:
            if (self) self->RunTasks();
            return 0;
        case kWorkSlice:
            if (self && self->work_ == Work::PostedSlices && self->StillWorking()) {
                ::Sleep(2);
                ::PostMessageA(window, kWorkSlice, 0, 0);
            }
            return 0;
        case WM_TIMER:
            if (wParam == kWorkTimer) {
                if (self && self->StillWorking()) ::Sleep(30);
                return 0;
            }
            break;
        case WM_PAINT: {
            PAINTSTRUCT paint;
            HDC dc = ::BeginPaint(window, &paint);
            static constexpr char kText[] = "Borvanect host stand-in";
            ::TextOutA(dc, 12, 12, kText, static_cast<int>(sizeof kText - 1));
            ::EndPaint(window, &paint);
            return 0;
        }
        default:
            break;
    }
    return ::DefWindowProcA(window, message, wParam, lParam);
}

bool PumpMessages(int milliseconds, int* quitCode) {
    const ULONGLONG end = ::GetTickCount64() + static_cast<ULONGLONG>(milliseconds);
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
            if (message.message == WM_QUIT) {
                if (quitCode) *quitCode = static_cast<int>(message.wParam);
                return true;
            }
            ::TranslateMessage(&message);
            ::DispatchMessageA(&message);
        }
    }
    return false;
}

bool TakeQuit(int* quitCode) {
    MSG message;
    if (!::PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) return false;
    if (quitCode) *quitCode = static_cast<int>(message.wParam);
    return true;
}

}  // namespace zmk::host
