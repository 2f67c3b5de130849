#include "bounded_text.h"

#include <gtest/gtest.h>

namespace zmk {
namespace {

TEST(BoundedText, AppendFillsThePathBufferExactlyButNeverPastIt) {
    char path[16] = "C:\\Data";
    EXPECT_TRUE(AppendText(path, sizeof path, "\\Pelvaro"));
    EXPECT_STREQ("C:\\Data\\Pelvaro", path);  // 15 characters and the terminator
    EXPECT_FALSE(AppendText(path, sizeof path, "x"));
    EXPECT_STREQ("C:\\Data\\Pelvaro", path);
    char unterminated[4] = {'a', 'b', 'c', 'd'};
    EXPECT_FALSE(AppendText(unterminated, sizeof unterminated, ""));
}

TEST(BoundedText, WidePathsFollowTheSameRuleAndAFailedAssignLeavesNothing) {
    wchar_t path[8];
    EXPECT_TRUE(AssignText(path, L"C:\\Dir"));
    EXPECT_TRUE(AppendText(path, L"\\"));  // 7 characters and the terminator
    EXPECT_FALSE(AppendText(path, L"x"));
    EXPECT_STREQ(L"C:\\Dir\\", path);
    // A suffix with no terminator within the capacity is measured, not run past.
    const wchar_t unterminated[8] = {L'a', L'b', L'c', L'd', L'e', L'f', L'g', L'h'};
    EXPECT_FALSE(AssignText(path, unterminated));
    EXPECT_STREQ(L"", path);
    EXPECT_TRUE(AppendText(path, 8, unterminated, 7));
    EXPECT_STREQ(L"abcdefg", path);
}

}  // namespace
}  // namespace zmk
