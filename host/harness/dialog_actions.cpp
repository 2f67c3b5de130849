#include "dialog_actions.h"

namespace zmk::host {
namespace {

constexpr char kDialogClass[] = "#32770";  // the dialog manager's class

void PostKey(HWND dialog, UINT key) {
    // The dialog manager reads keys from the focused control's queue message.
    GUITHREADINFO info{};
    info.cbSize = sizeof(info);
    HWND target = dialog;
    if (::GetGUIThreadInfo(::GetWindowThreadProcessId(dialog, nullptr), &info) && info.hwndFocus)
        target = info.hwndFocus;
    // Repeat count 1; a key up also has bit 30 (was down) and bit 31 (going up) set.
    ::PostMessageA(target, WM_KEYDOWN, key, 1);
    ::PostMessageA(target, WM_KEYUP, key, 0xC0000001);
}

HWND FindDialog(DWORD thread, const char* caption, bool shownOnly, HWND other) {
    for (HWND window = ::FindWindowExA(nullptr, nullptr, kDialogClass, nullptr); window;
         window = ::FindWindowExA(nullptr, window, kDialogClass, nullptr)) {
        if (window == other || ::GetWindowThreadProcessId(window, nullptr) != thread) continue;
        if (shownOnly && !::IsWindowVisible(window)) continue;
        if (caption && *caption && WindowText(window) != caption) continue;
        return window;
    }
    return nullptr;
}

}  // namespace

std::string WindowText(HWND window) {
    // InternalGetWindowText reads the caption the window manager keeps:
    // unlike GetWindowText it sends nothing to a window of this process.
    wchar_t wide[1024];
    const int length = ::InternalGetWindowText(window, wide, 1024);
    if (length <= 0) return {};
    char text[2048];
    const int size = ::WideCharToMultiByte(1252, 0, wide, length, text, sizeof text, nullptr, nullptr);
    return std::string(text, size > 0 ? size : 0);
}

std::string ItemText(HWND dialog, int id) {
    HWND item = ::GetDlgItem(dialog, id);
    if (!item) return {};
    char text[4096] = {};
    DWORD_PTR length = 0;
    if (!::SendMessageTimeoutA(item, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text), SMTO_ABORTIFHUNG, 2000,
                               &length))
        return {};
    return std::string(text, length < sizeof text ? length : 0);
}

HWND FindShownDialog(DWORD thread, const char* caption, HWND other) {
    return FindDialog(thread, caption, true, other);
}

HWND FindThreadDialog(DWORD thread, const char* caption) { return FindDialog(thread, caption, false, nullptr); }

HWND WaitForDialog(DWORD thread, const char* caption, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += kDialogPollMs) {
        if (HWND found = FindShownDialog(thread, caption)) {
            // Let it finish its first paint before anyone looks at it.
            ::Sleep(300);
            return found;
        }
        ::Sleep(kDialogPollMs);
    }
    return nullptr;
}

bool WaitUntilGone(HWND window, int timeoutMs) {
    for (int waited = 0; waited < timeoutMs; waited += kDialogPollMs) {
        if (!::IsWindow(window)) return true;
        ::Sleep(kDialogPollMs);
    }
    return false;
}

void Perform(HWND dialog, UserAction action) {
    switch (action) {
        case UserAction::Enter: PostKey(dialog, VK_RETURN); break;
        case UserAction::Escape: PostKey(dialog, VK_ESCAPE); break;
        case UserAction::CloseBox: ::PostMessageA(dialog, WM_SYSCOMMAND, SC_CLOSE, 0); break;
        case UserAction::Close: ::PostMessageA(dialog, WM_CLOSE, 0, 0); break;
        case UserAction::ClickOk: ::PostMessageA(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0); break;
        case UserAction::ClickCancel: ::PostMessageA(::GetDlgItem(dialog, IDCANCEL), BM_CLICK, 0, 0); break;
        case UserAction::PressOk:
        case UserAction::PressCancel: {
            const int id = action == UserAction::PressOk ? IDOK : IDCANCEL;
            ::PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                           reinterpret_cast<LPARAM>(::GetDlgItem(dialog, id)));
            break;
        }
    }
}

int ButtonOf(UserAction action) {
    switch (action) {
        case UserAction::ClickOk:
        case UserAction::PressOk: return IDOK;
        case UserAction::ClickCancel:
        case UserAction::PressCancel: return IDCANCEL;
        default: return 0;
    }
}

const char* Describe(UserAction action) {
    switch (action) {
        case UserAction::Enter: return "presses Enter";
        case UserAction::Escape: return "presses Escape";
        case UserAction::CloseBox: return "clicks the close box";
        case UserAction::Close: return "closes the window (WM_CLOSE)";
        case UserAction::ClickOk:
        case UserAction::PressOk: return "clicks the first button";
        case UserAction::ClickCancel:
        case UserAction::PressCancel: return "clicks Cancel";
    }
    return "acts";
}

}  // namespace zmk::host
