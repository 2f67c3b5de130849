// Another program on the desktop: it opens its window, brings it to the
// front, and then stops answering, as a busy or hung program does. The
// library must neither wait on it nor disable its window.
//
//   other-program.exe [READY_EVENT] [HANG_MS]
// READY_EVENT: an inherited event handle, set once the window is in front and
// the program is about to stop answering. HANG_MS: how long it stays hung
// before it ends (default 60000).
#include <windows.h>

#include <cstdlib>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    return ::DefWindowProcA(window, message, wParam, lParam);
}

void PumpFor(DWORD milliseconds) {
    const ULONGLONG end = ::GetTickCount64() + milliseconds;
    for (ULONGLONG now = ::GetTickCount64(); now < end; now = ::GetTickCount64()) {
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now), QS_ALLINPUT);
        MSG message;
        while (::PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) ::DispatchMessageA(&message);
    }
}

}  // namespace

int main(int argc, char** argv) {
    HANDLE ready = argc > 1 ? reinterpret_cast<HANDLE>(std::strtoull(argv[1], nullptr, 10)) : nullptr;
    const DWORD hangMs = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 60000;

    WNDCLASSA windowClass{};
    windowClass.lpfnWndProc = WindowProc;
    windowClass.hInstance = ::GetModuleHandleA(nullptr);
    windowClass.hbrBackground = static_cast<HBRUSH>(::GetStockObject(GRAY_BRUSH));
    windowClass.lpszClassName = "ZmkOtherProgram";
    ::RegisterClassA(&windowClass);
    HWND window = ::CreateWindowExA(0, windowClass.lpszClassName, "Another program", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                                    200, 150, 500, 300, nullptr, nullptr, windowClass.hInstance, nullptr);
    if (!window) return 1;
    ::SetForegroundWindow(window);
    PumpFor(300);
    if (ready) ::SetEvent(ready);
    // Busy elsewhere: nothing sent to this window is answered until it ends.
    ::Sleep(hangMs);
    return 0;
}
