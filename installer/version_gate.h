// Which release of the installed library this is, decided from the four
// version words of its fixed version block. No Windows header here, so the
// decision is unit-tested natively.
#pragma once

#include <cstdint>

namespace zmk {

enum class VersionGate : int {
    Unsupported = 0,
    NeedsPatch = 1,
    AlreadyPatched = 2,
};

// The words as the fixed block stores them: a.b.c.d is (a << 16 | b), (c << 16 | d).
VersionGate ClassifyInstalledVersion(std::uint32_t productVersionMs, std::uint32_t productVersionLs,
                                     std::uint32_t fileVersionMs, std::uint32_t fileVersionLs) noexcept;

}  // namespace zmk
