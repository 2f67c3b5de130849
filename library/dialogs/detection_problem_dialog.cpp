#include "detection_problem_dialog.h"

#include "bounded_text.h"
#include "dialog_commands.h"
#include "dialog_ids.h"
#include "dialog_palette.h"
#include "module_handle.h"
#include "wait_pumping.h"

namespace zmk {
namespace {

constexpr std::size_t kProgressCapacity =
    sizeof(kProgressStartText) + kProgressSteps * (sizeof(kProgressStepText) - 1);
static_assert(kProgressCapacity >= 47);

// One dialog at a time; these keep their last values after it closes.
INT_PTR g_mode = 0;
int g_stepCounter = 0;
HCURSOR g_savedCursor = nullptr;
char g_progressText[kProgressCapacity] = {};
// What the dialog answered, and the progress's state while it runs.
DialogAnswer g_answer;
bool g_progressRunning = false;
bool g_cancelRequested = false;

// The seven steps; false when a cancel stopped them.
bool RunRescanProgress(HWND dialog) noexcept {
    ::SetCapture(dialog);
    g_savedCursor = ::SetCursor(::LoadCursorA(nullptr, IDC_WAIT));
    ::EnableWindow(::GetDlgItem(dialog, IDOK), FALSE);
    ::EnableWindow(::GetDlgItem(dialog, IDCANCEL), FALSE);

    HWND progress = ::GetDlgItem(dialog, IDC_DETECTION_PROGRESS);
    AssignText(g_progressText, kProgressStartText);
    ::SetWindowTextA(progress, g_progressText);
    g_progressRunning = true;
    g_cancelRequested = false;
    for (g_stepCounter = 0; g_stepCounter < kProgressSteps && !g_cancelRequested; ++g_stepCounter) {
        WaitPumpingMessages(kProgressStepMilliseconds);
        AppendText(g_progressText, kProgressStepText);
        ::SetWindowTextA(progress, g_progressText);
        ::RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }
    g_progressRunning = false;

    ::SetCursor(g_savedCursor);
    g_savedCursor = nullptr;
    // The buttons stay disabled and the capture ends with the window.
    return !g_cancelRequested;
}

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) noexcept {
    g_mode = static_cast<INT_PTR>(lParam);
    g_answer.Reset();
    const char* text = g_mode == kModeUnrecognizedDevice ? kUnrecognizedDeviceText : kMultipleDevicesText;
    ::SetDlgItemTextA(dialog, IDC_DETECTION_MESSAGE, text);
    // The dialog manager shows a dialog whose template is not visible only
    // once the thread's queue first runs empty: under a host that keeps its
    // queue busy the user would never see it, and the call would never end.
    ::ShowWindow(dialog, SW_SHOW);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) noexcept {
    const WORD id = LOWORD(wParam);
    // The progress disables both buttons, yet a cancel still arrives (the
    // close box, Escape, another program): it stops the progress at its next
    // step and the dialog ends with 2, never overwritten by the progress's 1.
    // Nothing else may start a second progress under the first.
    if (g_progressRunning) {
        g_cancelRequested = g_cancelRequested || id == IDCANCEL;
        return TRUE;
    }
    if (id == IDOK && g_mode == kModeUnrecognizedDevice && !RunRescanProgress(dialog)) {
        g_answer.End(dialog, IDCANCEL);
        return TRUE;
    }
    return g_answer.EndOnOkOrCancel(dialog, wParam);
}

struct OwnerSearch {
    HWND found;
};

BOOL CALLBACK FindMainWindow(HWND window, LPARAM lParam) {
    if (!::IsWindowVisible(window) || ::GetWindow(window, GW_OWNER)) return TRUE;
    reinterpret_cast<OwnerSearch*>(lParam)->found = window;
    return FALSE;
}

}  // namespace

INT_PTR CALLBACK DetectionProblemDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            return OnCommand(dialog, wParam);
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return reinterpret_cast<INT_PTR>(HandleCtlColor(reinterpret_cast<HDC>(wParam), message));
        case WM_DESTROY:
            ReleaseTemplatePictures(dialog);
            return FALSE;
        default:
            return FALSE;
    }
}

HWND ChooseDialogOwner() noexcept {
    const DWORD thread = ::GetCurrentThreadId();
    HWND foreground = ::GetForegroundWindow();
    if (foreground && ::GetWindowThreadProcessId(foreground, nullptr) == thread) return foreground;
    // Another program is in front (the user switched away during the probe).
    // Owning the dialog by its window would disable that program's window and
    // wait on it whenever it does not answer: the host's own main window owns
    // it instead, or nothing.
    OwnerSearch search{nullptr};
    ::EnumThreadWindows(thread, FindMainWindow, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

INT_PTR ShowDetectionProblemDialog(HWND owner, INT_PTR mode) noexcept {
    return g_answer.Of(::DialogBoxParamA(LibraryModule(), MAKEINTRESOURCEA(IDD_DETECTION_PROBLEM), owner,
                                         DetectionProblemDialogProc, static_cast<LPARAM>(mode)));
}

}  // namespace zmk
