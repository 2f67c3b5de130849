#include "dialog_seams.h"

namespace zmk {
namespace {

BrushFunctions g_brushFunctions{::CreateSolidBrush, ::DeleteObject};
WaitFunctions g_waitFunctions{::CreateWaitableTimerA, ::MsgWaitForMultipleObjectsEx};
DiagnosticFunctions g_diagnosticFunctions{::SHGetFolderPathA, ::GetExitCodeProcess};

template <typename Functions>
Functions Replace(Functions& current, Functions replacement) noexcept {
    const Functions previous = current;
    current = replacement;
    return previous;
}

}  // namespace

BrushFunctions ReplaceBrushFunctions(BrushFunctions functions) noexcept {
    return Replace(g_brushFunctions, functions);
}
WaitFunctions ReplaceWaitFunctions(WaitFunctions functions) noexcept { return Replace(g_waitFunctions, functions); }
DiagnosticFunctions ReplaceDiagnosticFunctions(DiagnosticFunctions functions) noexcept {
    return Replace(g_diagnosticFunctions, functions);
}

}  // namespace zmk

HBRUSH WINAPI SeamCreateSolidBrush(COLORREF color) { return zmk::g_brushFunctions.create(color); }
BOOL WINAPI SeamDeleteObject(HGDIOBJ object) { return zmk::g_brushFunctions.destroy(object); }
HANDLE WINAPI SeamCreateWaitableTimerA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, LPCSTR name) {
    return zmk::g_waitFunctions.createTimer(attributes, manualReset, name);
}
DWORD WINAPI SeamMsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wake,
                                             DWORD flags) {
    return zmk::g_waitFunctions.waitForMessages(count, handles, milliseconds, wake, flags);
}
HRESULT WINAPI SeamSHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path) {
    return zmk::g_diagnosticFunctions.getFolderPath(owner, folder, token, flags, path);
}
BOOL WINAPI SeamGetExitCodeProcess(HANDLE process, LPDWORD exitCode) {
    return zmk::g_diagnosticFunctions.getExitCode(process, exitCode);
}
