// The library's own small message box: black, with a round badge and text in
// the colour of its severity, and a system-drawn "OK" button.
#pragma once

#include <windows.h>

namespace zmk {

struct ThemedMessageBoxParams {
    const char* text;     // Windows-1252, NUL-terminated
    const char* caption;  // Windows-1252, NUL-terminated
    int severity;         // 1, 2 or 3
    HINSTANCE module;     // holds the badge bitmaps
};

// The leading line feed puts the text on the middle of the three lines,
// level with the badge.
inline constexpr char kSystemErrorText[] = "\nErreur  Kernel / Syst\xE8me";
inline constexpr char kSystemErrorCaption[] = "ZELMORK";
inline constexpr int kSystemErrorSeverity = 3;

INT_PTR CALLBACK ThemedMessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// 1 after "OK" or Enter, 2 after Escape or the close box, -1 when the box
// cannot be created.
INT_PTR ShowSystemErrorBox(HWND owner) noexcept;

}  // namespace zmk
