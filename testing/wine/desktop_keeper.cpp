// Holds the Wine session's desktop open from its start to its end.
//
// Wine starts its desktop process (explorer.exe /desktop) with the first
// window of a session and ends it about a second after the last program
// using the desktop has gone. Each test would otherwise start a new one,
// which inherits that test's output pipe and keeps the test runner waiting
// for it. This program uses the desktop, without a visible window, until
// the session's wineserver is stopped.
#include <windows.h>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    ::GetDesktopWindow();
    HWND keeper = ::CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    MSG message;
    while (::GetMessageA(&message, nullptr, 0, 0) > 0) ::DispatchMessageA(&message);
    if (keeper) ::DestroyWindow(keeper);
    return 0;
}
