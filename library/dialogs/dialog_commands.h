// What the library's dialogs share: the command handling (Enter or the
// default button ends with 1, Escape or the close box with 2, anything else
// is ignored), the answer a dialog gave itself, and the release of the
// pictures their templates load.
#pragma once

#include <windows.h>

namespace zmk {

inline INT_PTR EndOnOkOrCancel(HWND dialog, WPARAM wParam) noexcept {
    const WORD id = LOWORD(wParam);
    if (id == IDOK || id == IDCANCEL) ::EndDialog(dialog, id);
    return TRUE;
}

// What a dialog answered itself, kept apart from what DialogBoxParamA
// returns: when the host's quit ends the dialog manager's loop, that value is
// not the same on every system (Wine gives 1). Only an answer the dialog gave
// counts; a dialog the quit ended counts as cancelled.
class DialogAnswer {
public:
    void Reset() noexcept { answer_ = 0; }
    void End(HWND dialog, INT_PTR answer) noexcept {
        answer_ = answer;
        ::EndDialog(dialog, answer);
    }
    // EndOnOkOrCancel, keeping the answer.
    INT_PTR EndOnOkOrCancel(HWND dialog, WPARAM wParam) noexcept {
        const WORD id = LOWORD(wParam);
        if (id == IDOK || id == IDCANCEL) End(dialog, id);
        return TRUE;
    }
    // A showing's result: DialogBoxParamA's failure as it is, else the answer.
    INT_PTR Of(INT_PTR shown) const noexcept {
        if (shown <= 0) return shown;
        return answer_ != 0 ? answer_ : IDCANCEL;
    }

private:
    INT_PTR answer_ = 0;
};

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
