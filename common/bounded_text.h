// Building paths and texts in fixed buffers without ever writing past them,
// in single-byte and wide characters alike. No Windows header: the rules are
// tested natively.
#pragma once

#include <cstddef>
#include <string>

namespace zmk {

// The length of text, looking at no more than capacity characters: capacity
// when no terminator lies within them.
template <typename Char>
std::size_t BoundedLength(const Char* text, std::size_t capacity) noexcept {
    std::size_t length = 0;
    while (length < capacity && text[length] != Char()) ++length;
    return length;
}

// Appends the first count characters of suffix to the text in buffer
// (capacity characters, terminator included). False, with the buffer
// unchanged, when the result and its terminator would not fit, or when the
// buffer holds no terminator to append at.
template <typename Char>
bool AppendText(Char* buffer, std::size_t capacity, const Char* suffix, std::size_t count) noexcept {
    const std::size_t length = BoundedLength(buffer, capacity);
    if (length >= capacity || count >= capacity - length) return false;
    std::char_traits<Char>::copy(buffer + length, suffix, count);
    buffer[length + count] = Char();
    return true;
}

// The same with all of suffix (which need not fit to be measured safely).
template <typename Char>
bool AppendText(Char* buffer, std::size_t capacity, const Char* suffix) noexcept {
    return AppendText(buffer, capacity, suffix, BoundedLength(suffix, capacity));
}

template <typename Char, std::size_t Capacity>
bool AppendText(Char (&buffer)[Capacity], const Char* suffix) noexcept {
    return AppendText(buffer, Capacity, suffix);
}

// Replaces the text in buffer with text; false, with buffer empty, when it
// does not fit.
template <typename Char, std::size_t Capacity>
bool AssignText(Char (&buffer)[Capacity], const Char* text) noexcept {
    buffer[0] = Char();
    if (AppendText(buffer, Capacity, text)) return true;
    buffer[0] = Char();
    return false;
}

}  // namespace zmk
