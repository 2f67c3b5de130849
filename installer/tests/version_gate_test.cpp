#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>

#include "version_gate.h"

namespace zmk {
namespace {

struct Release {
    std::uint16_t a, b, c, d;
    std::uint32_t Ms() const { return std::uint32_t{a} << 16 | b; }
    std::uint32_t Ls() const { return std::uint32_t{c} << 16 | d; }
};

struct GateCase {
    const char* name;
    Release product;
    Release file;
    VersionGate expected;
};

void PrintTo(const GateCase& c, std::ostream* out) { *out << c.name; }

class InstalledVersion : public testing::TestWithParam<GateCase> {};

TEST_P(InstalledVersion, ClassifiesAsExpected) {
    const GateCase& c = GetParam();
    EXPECT_EQ(ClassifyInstalledVersion(c.product.Ms(), c.product.Ls(), c.file.Ms(), c.file.Ls()), c.expected);
}

// Product first, then file.
INSTANTIATE_TEST_SUITE_P(
    Gate, InstalledVersion,
    testing::Values(
        GateCase{"OldReleaseNeedsPatch", {2, 0, 2, 5}, {2, 0, 2, 5}, VersionGate::NeedsPatch},
        GateCase{"PatchedReleaseIsAlreadyPatched", {2, 0, 2, 5}, {2, 0, 2, 51}, VersionGate::AlreadyPatched},
        GateCase{"PatchedProductVersionIsUnsupported", {2, 0, 2, 51}, {2, 0, 2, 51}, VersionGate::Unsupported},
        GateCase{"PatchedProductOverOldFileIsUnsupported", {2, 0, 2, 51}, {2, 0, 2, 5}, VersionGate::Unsupported},
        GateCase{"File2_0_2_52IsUnsupported", {2, 0, 2, 5}, {2, 0, 2, 52}, VersionGate::Unsupported},
        GateCase{"File2_0_2_50IsUnsupported", {2, 0, 2, 5}, {2, 0, 2, 50}, VersionGate::Unsupported},
        GateCase{"File2_0_3_5IsUnsupported", {2, 0, 2, 5}, {2, 0, 3, 5}, VersionGate::Unsupported},
        GateCase{"File2_1_2_5IsUnsupported", {2, 0, 2, 5}, {2, 1, 2, 5}, VersionGate::Unsupported},
        GateCase{"File3_0_2_5IsUnsupported", {2, 0, 2, 5}, {3, 0, 2, 5}, VersionGate::Unsupported},
        GateCase{"Product2_1_2_5IsUnsupported", {2, 1, 2, 5}, {2, 0, 2, 5}, VersionGate::Unsupported},
        GateCase{"Product2_0_3_5IsUnsupported", {2, 0, 3, 5}, {2, 0, 2, 5}, VersionGate::Unsupported},
        GateCase{"Product2_0_2_6IsUnsupported", {2, 0, 2, 6}, {2, 0, 2, 5}, VersionGate::Unsupported},
        // 51 in the high word of the last pair is not 2.0.2.51.
        GateCase{"RevisionInTheWrongWordIsUnsupported", {2, 0, 2, 5}, {2, 0, 51, 2}, VersionGate::Unsupported},
        GateCase{"EmptyBlockIsUnsupported", {0, 0, 0, 0}, {0, 0, 0, 0}, VersionGate::Unsupported}),
    [](const testing::TestParamInfo<GateCase>& info) { return std::string(info.param.name); });

TEST(InstalledVersionWords, HalvesOfAWordAreNotConfused) {
    // a.b swapped into b.a must not pass: 0.2.5.2 for 2.0.2.5.
    EXPECT_EQ(ClassifyInstalledVersion(0x00000002, 0x00050002, 0x00020000, 0x00020005), VersionGate::Unsupported);
    EXPECT_EQ(ClassifyInstalledVersion(0x00020000, 0x00020005, 0x00000002, 0x00050002), VersionGate::Unsupported);
}

}  // namespace
}  // namespace zmk
