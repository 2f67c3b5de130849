#include "driver_error_dialog.h"

#include <shlobj.h>

#include "dialog_commands.h"
#include "dialog_ids.h"
#include "dialog_palette.h"
#include "module_handle.h"
#include "themed_message_box.h"
#include "tool_path.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

// What the dialog answered; a quit of the host's is no acknowledgement.
DialogAnswer g_answer;

// True only when the tool ran and its exit code reads 0.
bool DiagnosticToolSucceeded() noexcept {
    char folder[kPathCapacity] = {};
    if (::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder) < 0)
        return false;
    folder[kPathCapacity - 1] = '\0';
    char path[kPathCapacity];
    if (!BuildDiagnosticToolPath(folder, path)) return false;

    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    if (!::CreateProcessA(path, nullptr, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup, &info))
        return false;
    // Owners end in reverse order: the process handle closes before the thread's.
    UniqueHandle thread(info.hThread);
    UniqueHandle process(info.hProcess);

    ::WaitForSingleObject(process.get(), INFINITE);
    // An exit code that cannot be read is no proof the report was written.
    DWORD exitCode = 0;
    if (!::GetExitCodeProcess(process.get(), &exitCode)) return false;
    return exitCode == 0;
}

}  // namespace

void RunDriverDiagnostic(HWND dialog) noexcept {
    if (DiagnosticToolSucceeded()) {
        ::SetDlgItemTextA(dialog, IDC_DRIVER_INSTRUCTIONS, kDriverInstructionsText);
        return;
    }
    ShowSystemErrorBox(dialog);
    g_answer.End(dialog, IDCANCEL);
}

INT_PTR CALLBACK DriverErrorDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    (void)lParam;
    switch (message) {
        case WM_INITDIALOG:
            g_answer.Reset();
            RunDriverDiagnostic(dialog);
            return TRUE;
        case WM_COMMAND:
            return g_answer.EndOnOkOrCancel(dialog, wParam);
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

INT_PTR ShowDriverErrorDialog(HWND owner) noexcept {
    return g_answer.Of(
        ::DialogBoxParamA(LibraryModule(), MAKEINTRESOURCEA(IDD_DRIVER_ERROR), owner, DriverErrorDialogProc, 0));
}

}  // namespace zmk
