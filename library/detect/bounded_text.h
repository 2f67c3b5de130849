// Appending to a fixed path buffer without ever writing past it.
#pragma once

#include <cstddef>
#include <cstring>

namespace zmk {

// Appends suffix to the text in buffer (capacity bytes). false, with the
// buffer unchanged, when the result and its terminator would not fit.
inline bool AppendText(char* buffer, std::size_t capacity, const char* suffix) noexcept {
    std::size_t length = strnlen(buffer, capacity);
    std::size_t extra = std::strlen(suffix);
    if (length >= capacity || extra >= capacity - length) return false;
    std::memcpy(buffer + length, suffix, extra + 1);
    return true;
}

}  // namespace zmk
