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


void RunRescanProgress(HWND dialog) noexcept {
    ::SetCapture(dialog);
    g_savedCursor = ::SetCursor(::LoadCursorA(nullptr, MAKEINTRESOURCEA(32514)));  // IDC_WAIT
    ::EnableWindow(::GetDlgItem(dialog, IDOK), FALSE);
    ::EnableWindow(::GetDlgItem(dialog, IDCANCEL), FALSE);

    HWND progress = ::GetDlgItem(dialog, IDC_DETECTION_PROGRESS);
    AssignText(g_progressText, kProgressStartText);
    ::SetWindowTextA(progress, g_progressText);
    for (g_stepCounter = 0; g_stepCounter < kProgressSteps; ++g_stepCounter) {
        WaitPumpingMessages(kProgressStepMilliseconds);
        AppendText(g_progressText, kProgressStepText);
        ::SetWindowTextA(progress, g_progressText);
        ::RedrawWindow(progress, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
    }

    ::SetCursor(g_savedCursor);
    g_savedCursor = nullptr;
    // The buttons stay disabled and the capture ends with the window.
}

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) noexcept {
    g_mode = static_cast<INT_PTR>(lParam);
    const char* text = g_mode == kModeUnrecognizedDevice ? kUnrecognizedDeviceText : kMultipleDevicesText;
    ::SetDlgItemTextA(dialog, IDC_DETECTION_MESSAGE, text);
    // The dialog manager shows a dialog whose template is not visible only
    // once the thread's queue first runs empty: under a host that keeps its
    // queue busy the user would never see it, and the call would never end.
    ::ShowWindow(dialog, SW_SHOW);
    return TRUE;
}

INT_PTR OnCommand(HWND dialog, WPARAM wParam) noexcept {
    if (LOWORD(wParam) == IDOK && g_mode == kModeUnrecognizedDevice) RunRescanProgress(dialog);
    return EndOnOkOrCancel(dialog, wParam);
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

INT_PTR ShowDetectionProblemDialog(HWND owner, INT_PTR mode) noexcept {
    return ::DialogBoxParamA(LibraryModule(), MAKEINTRESOURCEA(IDD_DETECTION_PROBLEM), owner,
                             DetectionProblemDialogProc, static_cast<LPARAM>(mode));
}

}  // namespace zmk
