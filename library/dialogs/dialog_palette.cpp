#include "dialog_palette.h"

namespace zmk {
namespace {

// Constant-initialised, so it is all zero before any code runs; its
// destructor goes on the run-time's exit list, which the DLL runs at unload.
DialogPalette g_palette;

}  // namespace

DialogPalette& TheDialogPalette() noexcept { return g_palette; }

// Visits the 35 entries in palette order: sets 0 to 3, then set 4; the status
// colours sit between them in memory but have no brush.
template <typename Visit>
void DialogPalette::ForEachEntry(Visit visit) noexcept {
    ColorSet* const sets[kColorSetCount] = {&set0_, &set1_, &set2_, &set3_, &set4_};
    for (int set = 0; set < kColorSetCount; ++set) {
        for (int slot = 0; slot < kSlotsPerSet; ++slot) visit(set, slot, sets[set]->slots[slot]);
    }
}

int DialogPalette::Create() noexcept {
    Release();
    // Every creation is attempted even after one failed; the check follows.
    ForEachEntry([](int set, int slot, PaletteEntry& entry) {
        const PaletteColors colors = PaletteEntryColors(set, slot);
        entry.backColor = colors.backColor;
        entry.textColor = colors.textColor;
        entry.brush = ::CreateSolidBrush(colors.brushColor);
    });
    for (int i = 0; i < kStatusColorCount; ++i) status_.colors[i] = PaletteStatusColor(i);

    bool complete = true;
    ForEachEntry([&complete](int, int, PaletteEntry& entry) { complete = complete && entry.brush; });
    if (!complete) {
        Release();
        return 0;
    }
    return 1;
}

void DialogPalette::Release() noexcept {
    ForEachEntry([](int, int, PaletteEntry& entry) {
        if (entry.brush) ::DeleteObject(entry.brush);
        entry = PaletteEntry{};
    });
    status_ = StatusColors{};
}

const PaletteEntry& DialogPalette::Entry(int set, int slot) const noexcept {
    const ColorSet* const sets[kColorSetCount] = {&set0_, &set1_, &set2_, &set3_, &set4_};
    if (set < 0 || set >= kColorSetCount || slot < 0 || slot >= kSlotsPerSet) return set0_.slots[0];
    return sets[set]->slots[slot];
}

COLORREF DialogPalette::StatusColor(int index) const noexcept {
    return index >= 0 && index < kStatusColorCount ? status_.colors[index] : 0;
}

HBRUSH HandleCtlColor(HDC dc, UINT message) noexcept {
    const int slot = CtlColorSlot(message);
    if (slot < 0) return nullptr;
    const PaletteEntry& entry = g_palette.Entry(0, slot);
    ::SetBkColor(dc, entry.backColor);
    ::SetTextColor(dc, entry.textColor);
    return entry.brush;
}

}  // namespace zmk
