#include "palette_table.h"

#include <gtest/gtest.h>

namespace zmk {
namespace {

struct BackText {
    ColorValue back, text;
};

// Rows are slots 0 to 6, columns colour sets 0 to 4.
constexpr BackText kExpected[kSlotsPerSet][kColorSetCount] = {
    {{0x000000, 0xA0A0A0}, {0x000000, 0xA8A8A8}, {0x000000, 0xB8B8B8}, {0x000000, 0xC0C0C0}, {0xC0C0C0, 0x000000}},
    {{0x000000, 0xA0A0A0}, {0x101010, 0xA8A8A8}, {0x202020, 0xB8B8B8}, {0x303030, 0xC0C0C0}, {0x000000, 0x000000}},
    {{0x404040, 0xC0C0C0}, {0x480000, 0xA8A8A8}, {0x580000, 0xB8B8B8}, {0x600000, 0xC0C0C0}, {0x500000, 0x000000}},
    {{0x404040, 0xC0C0C0}, {0x480000, 0xA8A8A8}, {0x580000, 0xB8B8B8}, {0x600000, 0xC0C0C0}, {0x500000, 0x000000}},
    {{0x000000, 0xA0A0A0}, {0x101010, 0xA8A8A8}, {0x202020, 0xB8B8B8}, {0x303030, 0xC0C0C0}, {0x000000, 0x000000}},
    {{0x000000, 0xA0A0A0}, {0x101010, 0xA8A8A8}, {0x202020, 0xB8B8B8}, {0x303030, 0xC0C0C0}, {0x000000, 0x000000}},
    {{0x000000, 0xA0A0A0}, {0x101010, 0xA8A8A8}, {0x202020, 0xB8B8B8}, {0x303030, 0xC0C0C0}, {0x000000, 0x000000}},
};

TEST(PaletteTable, EveryEntryHasItsColoursAndABrushOfItsBackground) {
    for (int set = 0; set < kColorSetCount; ++set) {
        for (int slot = 0; slot < kSlotsPerSet; ++slot) {
            SCOPED_TRACE(::testing::Message() << "set " << set << " slot " << slot);
            const PaletteColors colors = PaletteEntryColors(set, slot);
            EXPECT_EQ(colors.backColor, kExpected[slot][set].back);
            EXPECT_EQ(colors.textColor, kExpected[slot][set].text);
            const ColorValue brush = set == 4 && slot == 0 ? 0x000000 : kExpected[slot][set].back;
            EXPECT_EQ(colors.brushColor, brush);
        }
    }
}

TEST(PaletteTable, StatusColoursComeInTheirOrder) {
    EXPECT_EQ(PaletteStatusColor(0), 0xFF6040u);
    EXPECT_EQ(PaletteStatusColor(1), 0x00C0D0u);
    EXPECT_EQ(PaletteStatusColor(2), 0x0000E8u);
    EXPECT_EQ(PaletteStatusColor(3), 0x00A800u);
}

TEST(CtlColorSlot, EachColourMessageSelectsItsSlotAndButtonsAreDeclined) {
    const struct {
        unsigned message;
        int slot;
    } cases[] = {
        {kCtlColorMsgBox - 1, -1}, {kCtlColorMsgBox, 4}, {kCtlColorEdit, 2},        {kCtlColorListBox, 3},
        {kCtlColorBtn, -1},        {kCtlColorDlg, 1},    {kCtlColorScrollBar, 5},   {kCtlColorStatic, 6},
        {kCtlColorStatic + 1, -1}, {0x0F, -1},
    };
    for (const auto& c : cases) EXPECT_EQ(CtlColorSlot(c.message), c.slot) << std::hex << c.message;
}

TEST(SeverityLook, EachSeverityHasItsBadgeAndTextColour) {
    const struct {
        int severity;
        int badge;
        ColorValue text;
    } cases[] = {
        {1, 133, 0x00C0C0C0}, {2, 134, 0x0000C0D0}, {3, 132, 0x000000E8}, {0, 133, 0x00C0C0C0}, {7, 133, 0x00C0C0C0},
    };
    for (const auto& c : cases) {
        const SeverityLook look = SeverityLookFor(c.severity);
        EXPECT_EQ(look.badgeId, c.badge) << c.severity;
        EXPECT_EQ(look.textColor, c.text) << c.severity;
    }
}

}  // namespace
}  // namespace zmk
