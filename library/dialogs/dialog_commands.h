// The command handling the library's dialogs share: Enter or the default
// button ends with 1, Escape or the close box with 2, anything else is ignored.
#pragma once

#include <windows.h>

namespace zmk {

inline INT_PTR EndOnOkOrCancel(HWND dialog, WPARAM wParam) noexcept {
    const WORD id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) ::EndDialog(dialog, id);
    return TRUE;
}

}  // namespace zmk
