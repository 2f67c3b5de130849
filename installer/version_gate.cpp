#include "version_gate.h"

#include "zmk_version.h"

namespace zmk {
namespace {

constexpr std::uint32_t HighWord(std::uint32_t word) { return word >> 16; }
constexpr std::uint32_t LowWord(std::uint32_t word) { return word & 0xFFFFu; }

constexpr std::uint32_t kOldRevision = ZMK_OLD_RELEASE_REVISION;          // the release this patch replaces
constexpr std::uint32_t kPatchedRevision = ZMK_LIBRARY_VERSION_REVISION;  // the release it carries

// The two releases are told apart by their revision alone; both are product
// versions of the old release.
static_assert(ZMK_LIBRARY_VERSION_MAJOR == ZMK_OLD_RELEASE_MAJOR && ZMK_LIBRARY_VERSION_MINOR == ZMK_OLD_RELEASE_MINOR &&
              ZMK_LIBRARY_VERSION_BUILD == ZMK_OLD_RELEASE_BUILD && kOldRevision != kPatchedRevision);

}  // namespace

VersionGate ClassifyInstalledVersion(std::uint32_t productVersionMs, std::uint32_t productVersionLs,
                                     std::uint32_t fileVersionMs, std::uint32_t fileVersionLs) noexcept {
    if (HighWord(productVersionMs) != ZMK_OLD_RELEASE_MAJOR || LowWord(productVersionMs) != ZMK_OLD_RELEASE_MINOR) {
        return VersionGate::Unsupported;
    }
    if (HighWord(productVersionLs) != ZMK_OLD_RELEASE_BUILD || LowWord(productVersionLs) != ZMK_OLD_RELEASE_REVISION) {
        return VersionGate::Unsupported;
    }
    if (HighWord(fileVersionMs) != ZMK_OLD_RELEASE_MAJOR || LowWord(fileVersionMs) != ZMK_OLD_RELEASE_MINOR) {
        return VersionGate::Unsupported;
    }
    if (HighWord(fileVersionLs) != ZMK_OLD_RELEASE_BUILD) return VersionGate::Unsupported;
    switch (LowWord(fileVersionLs)) {
    case kOldRevision:
        return VersionGate::NeedsPatch;
    case kPatchedRevision:
        return VersionGate::AlreadyPatched;
    default:
        return VersionGate::Unsupported;
    }
}

}  // namespace zmk
