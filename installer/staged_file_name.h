// Which names in the target's folder are the writer's own temporary files.
// No Windows header here, so the rule is unit-tested natively.
#pragma once

namespace zmk {

// The three letters GetTempFileNameW puts before its hexadecimal number.
inline constexpr wchar_t kStagedFilePrefix[] = L"zmk";

// True for "zmk" followed by one to four hexadecimal digits and ".tmp", in
// any letter case: exactly the names GetTempFileNameW gives for our prefix.
bool IsStagedFileName(const wchar_t* name) noexcept;

}  // namespace zmk
