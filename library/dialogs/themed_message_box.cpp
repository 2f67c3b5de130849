#include "themed_message_box.h"

#include "dialog_commands.h"
#include "dialog_ids.h"
#include "module_handle.h"
#include "palette_table.h"

namespace zmk {
namespace {

// Process-wide, like all the library's dialog state (one box open at a time):
// the colour messages that read the open box's record do not carry it.
const ThemedMessageBoxParams* g_params = nullptr;
HBRUSH g_backgroundBrush = nullptr;  // stock object, never deleted
HBITMAP g_badgeBitmap = nullptr;

INT_PTR OnInitDialog(HWND dialog, LPARAM lParam) noexcept {
    g_params = reinterpret_cast<const ThemedMessageBoxParams*>(lParam);
    g_backgroundBrush = static_cast<HBRUSH>(::GetStockObject(BLACK_BRUSH));
    const int badgeId = SeverityLookFor(g_params->severity).badgeId;
    g_badgeBitmap = static_cast<HBITMAP>(
        ::LoadImageA(g_params->module, MAKEINTRESOURCEA(badgeId), IMAGE_BITMAP, 0, 0, LR_DEFAULTCOLOR));
    ::SetDlgItemTextA(dialog, IDC_MESSAGE_TEXT, g_params->text);
    ::SetWindowTextA(dialog, g_params->caption);
    // The static control hands back the badge its template loaded and never
    // frees it once replaced; without this, every showing leaks a bitmap.
    const LRESULT templateBadge = ::SendMessageA(::GetDlgItem(dialog, IDC_MESSAGE_BADGE), STM_SETIMAGE,
                                                 IMAGE_BITMAP, reinterpret_cast<LPARAM>(g_badgeBitmap));
    if (templateBadge) ::DeleteObject(reinterpret_cast<HGDIOBJ>(templateBadge));
    return TRUE;
}

INT_PTR OnCtlColor(HDC dc) noexcept {
    // Controls can ask for colours before WM_INITDIALOG has stored the record.
    const int severity = g_params ? g_params->severity : 0;
    ::SetTextColor(dc, SeverityLookFor(severity).textColor);
    ::SetBkColor(dc, RGB(0, 0, 0));
    return reinterpret_cast<INT_PTR>(g_backgroundBrush);
}

INT_PTR OnDestroy() noexcept {
    if (g_badgeBitmap) {
        ::DeleteObject(g_badgeBitmap);
        g_badgeBitmap = nullptr;
    }
    // The record lives in the caller's frame, which ends with the box.
    g_params = nullptr;
    return TRUE;
}

}  // namespace

INT_PTR CALLBACK ThemedMessageBoxProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_DESTROY:
            return OnDestroy();
        case WM_INITDIALOG:
            return OnInitDialog(dialog, lParam);
        case WM_COMMAND:
            return EndOnOkOrCancel(dialog, wParam);
        case WM_CTLCOLORDLG:
        case WM_CTLCOLORSTATIC:
            return OnCtlColor(reinterpret_cast<HDC>(wParam));
        default:
            return FALSE;
    }
}

INT_PTR ShowSystemErrorBox(HWND owner) noexcept {
    ThemedMessageBoxParams params{kSystemErrorText, kSystemErrorCaption, kSystemErrorSeverity, LibraryModule()};
    return ::DialogBoxParamA(LibraryModule(), MAKEINTRESOURCEA(IDD_THEMED_MESSAGE_BOX), owner,
                             ThemedMessageBoxProc, reinterpret_cast<LPARAM>(&params));
}

}  // namespace zmk
