// Finding, reading and acting on the library's dialogs from another thread
// than theirs: what the user's plan (dialog_user.h) is made of, and what
// programs that drive a dialog step by step themselves use.
#pragma once

#include <windows.h>

#include <string>

namespace zmk::host {

inline constexpr char kScanDialogCaption[] = "Borvanect  -  DMX Device Scan";
inline constexpr char kErrorDialogCaption[] = "Borvanect  -  DMX Device Error";
inline constexpr char kSystemErrorBoxCaption[] = "ZELMORK";

// How often whoever waits for a dialog looks again.
inline constexpr int kDialogPollMs = 20;

// A visible dialog of the thread, with this caption (any, when null), other
// than `other`. Reads captions without sending messages: a thread that is busy
// or hung must not block the one looking.
HWND FindShownDialog(DWORD thread, const char* caption = nullptr, HWND other = nullptr);
// The same, shown or not (a dialog still in its initialisation is not).
HWND FindThreadDialog(DWORD thread, const char* caption);
HWND WaitForDialog(DWORD thread, const char* caption, int timeoutMs = 15000);
bool WaitUntilGone(HWND window, int timeoutMs = 15000);
std::string WindowText(HWND window);
// A control's text, asked with a time-out: empty when the dialog does not answer.
std::string ItemText(HWND dialog, int id);

// What a user does to a dialog. Press* post the button's command as its click
// does, whether or not the button is enabled (as other programs and closing
// hosts send them); Click* go through the button itself.
enum class UserAction { Enter, Escape, CloseBox, Close, ClickOk, ClickCancel, PressOk, PressCancel };
void Perform(HWND dialog, UserAction action);
const char* Describe(UserAction action);
// The button an action clicks or presses; 0 for keys and the window's own close.
int ButtonOf(UserAction action);

}  // namespace zmk::host
