// The host's key path is kept as one text naming its root by name; the root
// and the subkey are split from it at run time.
#pragma once

#include <cstddef>

namespace zmk {

enum class PredefinedRoot {
    None,
    ClassesRoot,
    CurrentUser,
    LocalMachine,
    Users,
    CurrentConfig,
};

inline constexpr char kHostKeyPath[] = "HKEY_CURRENT_USER\\Software\\Quenford\\Borvanect\\CurrentVersion";
// Working copies of the key path: 260 characters and a terminator.
inline constexpr std::size_t kKeyPathBufferSize = 261;

// Splits path at its first backslash: the root named before it, and the
// subkey after it into subkey (kKeyPathBufferSize bytes). A path without a
// backslash, or one too long for the working copies, has no root.
PredefinedRoot SplitKeyPath(const char* path, char* subkey) noexcept;

}  // namespace zmk
