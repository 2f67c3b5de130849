#include "staged_file_name.h"

#include "ascii_case.h"

namespace zmk {
namespace {

bool IsHexDigit(wchar_t c) noexcept {
    const wchar_t lower = AsciiLower(c);
    return (lower >= L'0' && lower <= L'9') || (lower >= L'a' && lower <= L'f');
}

// Compares ASCII letters without regard to case; `lowerText` is lower case.
const wchar_t* SkipText(const wchar_t* name, const wchar_t* lowerText) noexcept {
    for (; *lowerText != L'\0'; ++name, ++lowerText) {
        if (AsciiLower(*name) != *lowerText) return nullptr;
    }
    return name;
}

}  // namespace

bool IsStagedFileName(const wchar_t* name) noexcept {
    const wchar_t* rest = SkipText(name, kStagedFilePrefix);
    if (rest == nullptr) return false;
    int digits = 0;
    while (digits < 5 && IsHexDigit(rest[digits])) ++digits;
    if (digits == 0 || digits > 4) return false;
    rest = SkipText(rest + digits, L".tmp");
    return rest != nullptr && *rest == L'\0';
}

}  // namespace zmk
