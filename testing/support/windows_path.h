// Unix paths handed to the Windows programs (by ctest and the scripts), as
// Wine sees them: on drive Z:, which maps the Unix root.
#pragma once

#include <string>

namespace zmk::test {

// "/a/b" becomes "Z:\a\b"; a path that is already a Windows one keeps its
// drive, and only its slashes turn.
template <typename Char>
std::basic_string<Char> WindowsPath(std::basic_string<Char> path) {
    if (!path.empty() && path[0] == Char('/')) path.insert(0, {Char('Z'), Char(':')});
    for (Char& c : path) {
        if (c == Char('/')) c = Char('\\');
    }
    return path;
}

inline std::string WindowsPath(const char* path) { return WindowsPath(std::string(path)); }
inline std::wstring WindowsPath(const wchar_t* path) { return WindowsPath(std::wstring(path)); }

}  // namespace zmk::test
