#include <gtest/gtest.h>

#include "staged_file_name.h"

namespace zmk {
namespace {

TEST(StagedFileName, NamesGetTempFileNameGivesAreOurs) {
    for (const wchar_t* name : {L"zmk1.tmp", L"zmkA.tmp", L"zmk1f3a.tmp", L"zmkFFFF.tmp", L"ZMK00B2.TMP"}) {
        EXPECT_TRUE(IsStagedFileName(name)) << name;
    }
}

TEST(StagedFileName, OtherFilesInTheProgramFolderAreLeftAlone) {
    for (const wchar_t* name : {L"ZELMORK.dll", L"zmk.tmp", L"zmk12345.tmp", L"zmk12g4.tmp", L"zmk1.tmp.bak",
                                L"zmk1.tm", L"xzmk1.tmp", L"zmk1.txt", L"zm1.tmp", L""}) {
        EXPECT_FALSE(IsStagedFileName(name)) << name;
    }
}

}  // namespace
}  // namespace zmk
