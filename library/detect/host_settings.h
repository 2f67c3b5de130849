// The host's per-user data folder, as recorded in the current user's registry.
#pragma once

#include <cstddef>

namespace zmk {

// Reads "UserMainFolder" (REG_SZ only) into folder, exactly as stored. 1 when
// the text was read, fits in capacity bytes with its terminator, and the key
// was closed; 0 otherwise, with folder written only when the close failed.
int ReadUserMainFolder(char* folder, std::size_t capacity) noexcept;

}  // namespace zmk
