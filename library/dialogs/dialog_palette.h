// The dialogs' colour theme: one process-wide palette of colours and solid
// brushes, and the shared answer to the dialogs' WM_CTLCOLOR* messages.
#pragma once

#include <windows.h>

#include "palette_table.h"

namespace zmk {

static_assert(kCtlColorMsgBox == WM_CTLCOLORMSGBOX && kCtlColorEdit == WM_CTLCOLOREDIT &&
              kCtlColorListBox == WM_CTLCOLORLISTBOX && kCtlColorBtn == WM_CTLCOLORBTN &&
              kCtlColorDlg == WM_CTLCOLORDLG && kCtlColorScrollBar == WM_CTLCOLORSCROLLBAR &&
              kCtlColorStatic == WM_CTLCOLORSTATIC);

struct PaletteEntry {
    COLORREF backColor;
    COLORREF textColor;
    HBRUSH brush;
};

struct ColorSet {
    PaletteEntry slots[kSlotsPerSet];
};

struct StatusColors {
    COLORREF colors[kStatusColorCount];
};

class DialogPalette {
public:
    constexpr DialogPalette() noexcept = default;
    DialogPalette(const DialogPalette&) = delete;
    DialogPalette& operator=(const DialogPalette&) = delete;
    // Runs at unload, so a host that never released still gets its brushes back.
    ~DialogPalette() { Release(); }

    // 1 when all 35 brushes exist; 0 otherwise, with the palette left empty.
    int Create() noexcept;
    void Release() noexcept;

    const PaletteEntry& Entry(int set, int slot) const noexcept;
    COLORREF StatusColor(int index) const noexcept;

private:
    template <typename Visit>
    void ForEachEntry(Visit visit) noexcept;

    ColorSet set0_{};
    ColorSet set1_{};
    ColorSet set2_{};
    ColorSet set3_{};
    StatusColors status_{};
    ColorSet set4_{};
};

DialogPalette& TheDialogPalette() noexcept;

// Sets colour set 0's colours for the message on dc and returns its brush;
// null, with dc untouched, for a message the theme declines.
HBRUSH HandleCtlColor(HDC dc, UINT message) noexcept;

}  // namespace zmk
