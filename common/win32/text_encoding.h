// Texts between the Windows code pages, UTF-16 and UTF-8. The library and its
// host speak the ANSI code page; the tools' reports and JSON are UTF-8.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zmk {

inline std::wstring WideFromCodePage(UINT codePage, std::string_view text) {
    if (text.empty()) return {};
    const int length = static_cast<int>(text.size());
    const int wide = ::MultiByteToWideChar(codePage, 0, text.data(), length, nullptr, 0);
    if (wide <= 0) return {};
    std::wstring converted(static_cast<std::size_t>(wide), L'\0');
    ::MultiByteToWideChar(codePage, 0, text.data(), length, converted.data(), wide);
    return converted;
}

// Characters the code page cannot hold become '?', never a look-alike: a
// path written with a look-alike names another file.
inline std::string CodePageFromWide(UINT codePage, std::wstring_view text) {
    if (text.empty()) return {};
    const DWORD flags = codePage == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
    const int length = static_cast<int>(text.size());
    const int bytes = ::WideCharToMultiByte(codePage, flags, text.data(), length, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0) return {};
    std::string converted(static_cast<std::size_t>(bytes), '\0');
    ::WideCharToMultiByte(codePage, flags, text.data(), length, converted.data(), bytes, nullptr, nullptr);
    return converted;
}

inline std::string Utf8FromWide(std::wstring_view text) { return CodePageFromWide(CP_UTF8, text); }
inline std::wstring WideFromUtf8(std::string_view text) { return WideFromCodePage(CP_UTF8, text); }

// A text in a single-byte code page (the ANSI one, or 1252 for the library's
// French texts) as UTF-8.
inline std::string Utf8FromCodePage(UINT codePage, std::string_view text) {
    return Utf8FromWide(WideFromCodePage(codePage, text));
}
inline std::string Utf8FromAnsi(std::string_view text) { return Utf8FromCodePage(CP_ACP, text); }

}  // namespace zmk
