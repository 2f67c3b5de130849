// The calls of the dialogs' code that the tests must steer, and the functions
// a test replaces them with. GetGuiResources counts nothing under Wine, so
// the palette's brushes are counted here (and a creation can be made to
// fail); a timer that cannot be made or a wait call that fails; a folder
// lookup that fails or is too long, an exit code that cannot be read.
//
// Forced in first (as its precompiled header, with ZMK_DIALOG_SEAMS_REDIRECT) into the dialogs'
// own sources for the test-only build zmk_dialogs_seamed, whose calls below
// then go through the replaceable functions. The shipped library is built
// without this file.
#pragma once

#include <windows.h>
#include <shlobj.h>

namespace zmk {

struct BrushFunctions {
    HBRUSH(WINAPI* create)(COLORREF);
    BOOL(WINAPI* destroy)(HGDIOBJ);
};
BrushFunctions ReplaceBrushFunctions(BrushFunctions functions) noexcept;

struct WaitFunctions {
    decltype(&::CreateWaitableTimerA) createTimer;
    decltype(&::MsgWaitForMultipleObjectsEx) waitForMessages;
};
WaitFunctions ReplaceWaitFunctions(WaitFunctions functions) noexcept;

struct DiagnosticFunctions {
    decltype(&::SHGetFolderPathA) getFolderPath;
    decltype(&::GetExitCodeProcess) getExitCode;
};
DiagnosticFunctions ReplaceDiagnosticFunctions(DiagnosticFunctions functions) noexcept;

}  // namespace zmk

HBRUSH WINAPI SeamCreateSolidBrush(COLORREF color);
BOOL WINAPI SeamDeleteObject(HGDIOBJ object);
HANDLE WINAPI SeamCreateWaitableTimerA(LPSECURITY_ATTRIBUTES attributes, BOOL manualReset, LPCSTR name);
DWORD WINAPI SeamMsgWaitForMultipleObjectsEx(DWORD count, const HANDLE* handles, DWORD milliseconds, DWORD wake,
                                             DWORD flags);
HRESULT WINAPI SeamSHGetFolderPathA(HWND owner, int folder, HANDLE token, DWORD flags, LPSTR path);
BOOL WINAPI SeamGetExitCodeProcess(HANDLE process, LPDWORD exitCode);

#ifdef ZMK_DIALOG_SEAMS_REDIRECT
#define CreateSolidBrush SeamCreateSolidBrush
#define DeleteObject SeamDeleteObject
#define CreateWaitableTimerA SeamCreateWaitableTimerA
#define MsgWaitForMultipleObjectsEx SeamMsgWaitForMultipleObjectsEx
#define SHGetFolderPathA SeamSHGetFolderPathA
#define GetExitCodeProcess SeamGetExitCodeProcess
#endif
