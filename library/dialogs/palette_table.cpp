#include "palette_table.h"

#include "dialog_ids.h"

namespace zmk {
namespace {

struct SetColors {
    ColorValue slot0Back, slot0Text;  // slot 0
    ColorValue faceBack, faceText;    // dialog, message box, scroll bar, static
    ColorValue editBack, editText;    // edit, list box
};

constexpr SetColors kSets[kColorSetCount] = {
    {0x000000, 0xA0A0A0, 0x000000, 0xA0A0A0, 0x404040, 0xC0C0C0},
    {0x000000, 0xA8A8A8, 0x101010, 0xA8A8A8, 0x480000, 0xA8A8A8},
    {0x000000, 0xB8B8B8, 0x202020, 0xB8B8B8, 0x580000, 0xB8B8B8},
    {0x000000, 0xC0C0C0, 0x303030, 0xC0C0C0, 0x600000, 0xC0C0C0},
    {0xC0C0C0, 0x000000, 0x000000, 0x000000, 0x500000, 0x000000},
};

constexpr ColorValue kStatusColors[kStatusColorCount] = {0xFF6040, 0x00C0D0, 0x0000E8, 0x00A800};

// The slots of a colour set, by what they colour.
constexpr int kSlotDialog = 1;
constexpr int kSlotEdit = 2;
constexpr int kSlotListBox = 3;
constexpr int kSlotMessageBox = 4;
constexpr int kSlotScrollBar = 5;
constexpr int kSlotStatic = 6;

}  // namespace

PaletteColors PaletteEntryColors(int set, int slot) noexcept {
    if (set < 0 || set >= kColorSetCount || slot < 0 || slot >= kSlotsPerSet) return {0, 0, 0};
    const SetColors& c = kSets[set];
    if (slot == 0) {
        // The one brush not of its own background: set 4, slot 0 is black.
        const ColorValue brush = set == 4 ? 0x000000 : c.slot0Back;
        return {c.slot0Back, c.slot0Text, brush};
    }
    if (slot == kSlotEdit || slot == kSlotListBox) return {c.editBack, c.editText, c.editBack};
    return {c.faceBack, c.faceText, c.faceBack};
}

ColorValue PaletteStatusColor(int index) noexcept {
    if (index < 0 || index >= kStatusColorCount) return 0;
    return kStatusColors[index];
}

int CtlColorSlot(unsigned message) noexcept {
    switch (message) {
        case kCtlColorMsgBox: return kSlotMessageBox;
        case kCtlColorEdit: return kSlotEdit;
        case kCtlColorListBox: return kSlotListBox;
        case kCtlColorDlg: return kSlotDialog;
        case kCtlColorScrollBar: return kSlotScrollBar;
        case kCtlColorStatic: return kSlotStatic;
        default: return -1;  // kCtlColorBtn among them: buttons keep the system's look
    }
}

SeverityLook SeverityLookFor(int severity) noexcept {
    switch (severity) {
        case 2: return {IDB_BADGE_OLIVE, 0x0000C0D0};
        case 3: return {IDB_BADGE_RED, 0x000000E8};
        // No caller passes another severity; it gets the plain, informative look.
        default: return {IDB_BADGE_SILVER, 0x00C0C0C0};
    }
}

}  // namespace zmk
