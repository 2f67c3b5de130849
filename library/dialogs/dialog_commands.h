// What the library's dialogs share: the command handling (Enter or the
// default button ends with 1, Escape or the close box with 2, anything else
// is ignored) and the release of the pictures their templates load.
#pragma once

#include <windows.h>

namespace zmk {

inline INT_PTR EndOnOkOrCancel(HWND dialog, WPARAM wParam) noexcept {
    const WORD id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) ::EndDialog(dialog, id);
    return TRUE;
}

// A picture control loads its bitmap from the template itself. Windows frees
// it with the control, Wine does not, so every showing would leak a bitmap
// there. Taking the bitmap back and deleting it is right on both.
inline void ReleaseTemplatePictures(HWND dialog) noexcept {
    for (HWND child = ::GetWindow(dialog, GW_CHILD); child; child = ::GetWindow(child, GW_HWNDNEXT)) {
        if ((::GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) != SS_BITMAP) continue;
        HANDLE picture = reinterpret_cast<HANDLE>(::SendMessageA(child, STM_SETIMAGE, IMAGE_BITMAP, 0));
        if (picture) ::DeleteObject(picture);
    }
}

}  // namespace zmk
