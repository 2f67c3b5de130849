#include "tool_path.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace zmk {
namespace {

TEST(DiagnosticToolPath, ProgramFilesFolderGetsTheToolSuffix) {
    char path[kPathCapacity];
    ASSERT_TRUE(BuildDiagnosticToolPath("C:\\Program Files", path));
    EXPECT_STREQ(path, "C:\\Program Files\\Quenford\\Borvanect\\TRAVOLK.exe");
}

TEST(DiagnosticToolPath, LongestFolderThatFitsIsAcceptedAndOneMoreIsRefused) {
    const std::size_t suffix = std::strlen(kDiagnosticToolSuffix);
    ASSERT_EQ(suffix, 31u);
    char path[kPathCapacity];
    const std::string fits(kPathCapacity - 1 - suffix, 'x');
    ASSERT_TRUE(BuildDiagnosticToolPath(fits.c_str(), path));
    EXPECT_EQ(std::strlen(path), kPathCapacity - 1);

    const std::string tooLong(kPathCapacity - suffix, 'x');
    EXPECT_FALSE(BuildDiagnosticToolPath(tooLong.c_str(), path));
    EXPECT_STREQ(path, "");
}

}  // namespace
}  // namespace zmk
