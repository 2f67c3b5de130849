// ASCII letters in one case, for texts compared without regard to case: the
// file names Windows treats so, a node's name as a person misreads it. Other
// characters stay as they are. No Windows header: tested natively.
#pragma once

namespace zmk {

template <typename Char>
constexpr Char AsciiLower(Char c) noexcept {
    return c >= Char('A') && c <= Char('Z') ? static_cast<Char>(c - Char('A') + Char('a')) : c;
}

template <typename Char>
constexpr Char AsciiUpper(Char c) noexcept {
    return c >= Char('a') && c <= Char('z') ? static_cast<Char>(c - Char('a') + Char('A')) : c;
}

static_assert(AsciiLower('Q') == 'q' && AsciiLower(L'\xC9') == L'\xC9' && AsciiUpper(L'f') == L'F');

}  // namespace zmk
