// Drives the library's modal dialogs the way a user would, from a second
// thread: finds the window, reads its texts, presses keys and buttons and
// reads its pixels back. Shared by the tests and the screenshot program.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace zmk::testing {

// A plain top-level window, as the host application would own the dialogs.
class HostWindow {
public:
    HostWindow();
    ~HostWindow();
    HostWindow(const HostWindow&) = delete;
    HostWindow& operator=(const HostWindow&) = delete;
    HWND get() const { return window_; }

    // Set by the host window when it handles kRecordCursor: the UI thread's
    // cursor and mouse capture at that moment (the window is re-entered during pumping waits).
    static constexpr UINT kRecordCursor = WM_APP + 1;
    static HCURSOR RecordedCursor();
    static HWND RecordedCapture();

private:
    HWND window_ = nullptr;
};

// Runs show() on this (the UI) thread while drive(uiThreadId) runs on a
// second thread; returns what show() returned once both are done.
INT_PTR RunDriven(const std::function<INT_PTR()>& show, const std::function<void(DWORD)>& drive);

// Bounded polling for a visible dialog of the thread with this caption.
HWND WaitForDialog(DWORD threadId, const char* caption, int timeoutMs = 15000);
// Any window of the thread with this caption, visible or not.
HWND FindThreadWindow(DWORD threadId, const char* caption);
bool WaitUntilGone(HWND window, int timeoutMs = 15000);

std::string WindowText(HWND window);
std::string ItemText(HWND dialog, int id);

enum class UserAction { Enter, Escape, CloseBox, ClickOk, ClickCancel };
void Perform(HWND dialog, UserAction action);

struct Pixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint32_t> rgb;  // 0x00RRGGBB, top row first
    std::uint32_t At(int x, int y) const { return rgb[y * width + x]; }
    // Counts pixels of exactly this colour in a rectangle.
    int Count(const RECT& area, std::uint32_t color) const;
};

// The client area as the window has drawn it.
Pixels CaptureClient(HWND window);
// The whole window, frame included, as it is on the screen.
Pixels CaptureScreen(HWND window);
// A child control's rectangle in its parent's client coordinates.
RECT ItemRect(HWND dialog, int id);
bool WriteBmp(const Pixels& pixels, const char* path);

constexpr std::uint32_t Rgb(int r, int g, int b) { return (r << 16) | (g << 8) | b; }

}  // namespace zmk::testing
