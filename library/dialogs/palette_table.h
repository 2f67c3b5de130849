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

// Slot of colour set 0 that answers a WM_CTLCOLOR* message; -1 when the
// message is declined (buttons, anything outside 0x132..0x138).
int CtlColorSlot(unsigned message) noexcept;

// Badge bitmap and text colour of the themed message box.
struct SeverityLook {
    int badgeId;
    ColorValue textColor;
};

SeverityLook SeverityLookFor(int severity) noexcept;

}  // namespace zmk
