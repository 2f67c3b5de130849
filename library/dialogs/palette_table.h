// The dialog theme's colours and the choice of palette slot per colour
// message. No Windows header here, so the native tests check the values.
#pragma once

#include <cstdint>

namespace zmk {

// Laid out like a COLORREF: 0x00BBGGRR.
using ColorValue = std::uint32_t;

inline constexpr int kColorSetCount = 5;
inline constexpr int kSlotsPerSet = 7;
inline constexpr int kStatusColorCount = 4;
inline constexpr int kPaletteBrushCount = kColorSetCount * kSlotsPerSet;

// Colours of one palette entry once the palette is created; brushColor is
// what its solid brush is made of.
struct PaletteColors {
    ColorValue backColor;
    ColorValue textColor;
    ColorValue brushColor;
};

PaletteColors PaletteEntryColors(int set, int slot) noexcept;
ColorValue PaletteStatusColor(int index) noexcept;

// The WM_CTLCOLOR* messages by their Windows names, for code that sees no
// Windows header; dialog_palette.h checks each against <windows.h>.
inline constexpr unsigned kCtlColorMsgBox = 0x0132;     // WM_CTLCOLORMSGBOX
inline constexpr unsigned kCtlColorEdit = 0x0133;       // WM_CTLCOLOREDIT
inline constexpr unsigned kCtlColorListBox = 0x0134;    // WM_CTLCOLORLISTBOX
inline constexpr unsigned kCtlColorBtn = 0x0135;        // WM_CTLCOLORBTN
inline constexpr unsigned kCtlColorDlg = 0x0136;        // WM_CTLCOLORDLG
inline constexpr unsigned kCtlColorScrollBar = 0x0137;  // WM_CTLCOLORSCROLLBAR
inline constexpr unsigned kCtlColorStatic = 0x0138;     // WM_CTLCOLORSTATIC

// Slot of colour set 0 that answers a WM_CTLCOLOR* message; -1 when the
// message is declined (buttons, and every other message).
int CtlColorSlot(unsigned message) noexcept;

// Badge bitmap and text colour of the themed message box.
struct SeverityLook {
    int badgeId;
    ColorValue textColor;
};

SeverityLook SeverityLookFor(int severity) noexcept;

}  // namespace zmk
