#include "version_gate.h"

namespace zmk {
namespace {

constexpr std::uint32_t HighWord(std::uint32_t word) { return word >> 16; }
constexpr std::uint32_t LowWord(std::uint32_t word) { return word & 0xFFFFu; }

constexpr std::uint32_t kOldRevision = 5;       // 2.0.2.5, the release this patch replaces
constexpr std::uint32_t kPatchedRevision = 51;  // 2.0.2.51, the release it carries

}  // namespace

VersionGate ClassifyInstalledVersion(std::uint32_t productVersionMs, std::uint32_t productVersionLs,
                                     std::uint32_t fileVersionMs, std::uint32_t fileVersionLs) noexcept {
    if (HighWord(productVersionMs) != 2 || LowWord(productVersionMs) != 0) return VersionGate::Unsupported;
    if (HighWord(productVersionLs) != 2 || LowWord(productVersionLs) != 5) return VersionGate::Unsupported;
    if (HighWord(fileVersionMs) != 2 || LowWord(fileVersionMs) != 0) return VersionGate::Unsupported;
    if (HighWord(fileVersionLs) != 2) return VersionGate::Unsupported;
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
