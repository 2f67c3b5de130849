// The palette's brushes, counted through the brush seam (GetGuiResources
// counts nothing under Wine), and the colour answers on a real device context.
#include <windows.h>

#include <gtest/gtest.h>

#include <set>

#include "dialog_palette.h"
#include "dialog_seams.h"

namespace zmk {
namespace {

// Counts live brushes; creation number failAt (1-based) fails.
struct BrushCounter {
    static inline std::set<HBRUSH> live;
    static inline int attempts = 0;
    static inline int failAt = 0;

    static HBRUSH WINAPI Create(COLORREF color) {
        if (++attempts == failAt) return nullptr;
        HBRUSH brush = ::CreateSolidBrush(color);
        live.insert(brush);
        return brush;
    }
    static BOOL WINAPI Destroy(HGDIOBJ object) {
        live.erase(static_cast<HBRUSH>(object));
        return ::DeleteObject(object);
    }
};

class Palette : public ::testing::Test {
protected:
    void SetUp() override {
        BrushCounter::live.clear();
        BrushCounter::attempts = 0;
        BrushCounter::failAt = 0;
        previous_ = ReplaceBrushFunctions({BrushCounter::Create, BrushCounter::Destroy});
    }
    void TearDown() override {
        TheDialogPalette().Release();
        ReplaceBrushFunctions(previous_);
    }
    BrushFunctions previous_{};
};

TEST_F(Palette, CreatingTwiceLeaves35BrushesAliveNot70) {
    EXPECT_EQ(TheDialogPalette().Create(), 1);
    EXPECT_EQ(TheDialogPalette().Create(), 1);
    EXPECT_EQ(BrushCounter::live.size(), 35u);
    TheDialogPalette().Release();
    EXPECT_TRUE(BrushCounter::live.empty());
}

TEST_F(Palette, ReleaseWithoutCreateOrTwiceDoesNothing) {
    TheDialogPalette().Release();
    EXPECT_EQ(TheDialogPalette().Create(), 1);
    TheDialogPalette().Release();
    TheDialogPalette().Release();
    EXPECT_TRUE(BrushCounter::live.empty());
    EXPECT_EQ(TheDialogPalette().Entry(0, 1).brush, nullptr);
}

TEST_F(Palette, OneFailedBrushFailsCreationAndLeavesNoBrushAlive) {
    for (int failAt : {1, 18, 35}) {
        SCOPED_TRACE(failAt);
        BrushCounter::attempts = 0;
        BrushCounter::failAt = failAt;
        EXPECT_EQ(TheDialogPalette().Create(), 0);
        EXPECT_EQ(BrushCounter::attempts, 35);  // the walk does not stop at the failure
        EXPECT_TRUE(BrushCounter::live.empty());
        for (int set = 0; set < kColorSetCount; ++set) {
            for (int slot = 0; slot < kSlotsPerSet; ++slot) {
                const PaletteEntry& entry = TheDialogPalette().Entry(set, slot);
                EXPECT_EQ(entry.brush, nullptr);
                EXPECT_EQ(entry.backColor, 0u);
                EXPECT_EQ(entry.textColor, 0u);
            }
        }
        EXPECT_EQ(TheDialogPalette().StatusColor(0), 0u);
    }
}

TEST_F(Palette, EveryBrushIsASolidBrushOfItsColour) {
    ASSERT_EQ(TheDialogPalette().Create(), 1);
    for (int set = 0; set < kColorSetCount; ++set) {
        for (int slot = 0; slot < kSlotsPerSet; ++slot) {
            SCOPED_TRACE(::testing::Message() << set << "/" << slot);
            const PaletteEntry& entry = TheDialogPalette().Entry(set, slot);
            LOGBRUSH brush{};
            ASSERT_EQ(::GetObjectA(entry.brush, sizeof(brush), &brush), static_cast<int>(sizeof(brush)));
            EXPECT_EQ(brush.lbStyle, static_cast<UINT>(BS_SOLID));
            EXPECT_EQ(brush.lbColor, PaletteEntryColors(set, slot).brushColor);
            EXPECT_EQ(entry.backColor, PaletteEntryColors(set, slot).backColor);
        }
    }
    EXPECT_EQ(TheDialogPalette().StatusColor(3), 0x00A800u);
}

// Runs HandleCtlColor for each message on a memory DC whose colours start at
// a sentinel, and reports what it did.
struct CtlColorOutcome {
    HBRUSH brush;
    COLORREF back, text;
};

CtlColorOutcome Answer(UINT message) {
    HDC dc = ::CreateCompatibleDC(nullptr);
    ::SetBkColor(dc, RGB(1, 2, 3));
    ::SetTextColor(dc, RGB(4, 5, 6));
    const int mode = ::GetBkMode(dc);
    CtlColorOutcome outcome{HandleCtlColor(dc, message), ::GetBkColor(dc), ::GetTextColor(dc)};
    EXPECT_EQ(::GetBkMode(dc), mode);
    ::DeleteDC(dc);
    return outcome;
}

TEST_F(Palette, EachColourMessageGetsItsSlotOfSetZeroAndOthersAreLeftAlone) {
    ASSERT_EQ(TheDialogPalette().Create(), 1);
    const struct {
        UINT message;
        int slot;  // -1: declined
        COLORREF back, text;
    } cases[] = {
        {WM_CTLCOLORMSGBOX, 4, 0x000000, 0xA0A0A0},    {WM_CTLCOLOREDIT, 2, 0x404040, 0xC0C0C0},
        {WM_CTLCOLORLISTBOX, 3, 0x404040, 0xC0C0C0},   {WM_CTLCOLORBTN, -1, 0, 0},
        {WM_CTLCOLORDLG, 1, 0x000000, 0xA0A0A0},       {WM_CTLCOLORSCROLLBAR, 5, 0x000000, 0xA0A0A0},
        {WM_CTLCOLORSTATIC, 6, 0x000000, 0xA0A0A0},    {0x131, -1, 0, 0},
        {0x139, -1, 0, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        const CtlColorOutcome outcome = Answer(c.message);
        if (c.slot < 0) {
            EXPECT_EQ(outcome.brush, nullptr);
            EXPECT_EQ(outcome.back, RGB(1, 2, 3));
            EXPECT_EQ(outcome.text, RGB(4, 5, 6));
        } else {
            EXPECT_EQ(outcome.brush, TheDialogPalette().Entry(0, c.slot).brush);
            EXPECT_NE(outcome.brush, nullptr);
            EXPECT_EQ(outcome.back, c.back);
            EXPECT_EQ(outcome.text, c.text);
        }
    }
}

TEST_F(Palette, BeforeCreateTheAnswerIsBlackOnBlackAndNoBrush) {
    const CtlColorOutcome outcome = Answer(WM_CTLCOLORDLG);
    EXPECT_EQ(outcome.brush, nullptr);
    EXPECT_EQ(outcome.back, 0u);
    EXPECT_EQ(outcome.text, 0u);
}

}  // namespace
}  // namespace zmk
