#include "findings.h"

#include <cstdio>

namespace zmk::doctor {
namespace {

std::string FormatList(const char* format, va_list arguments) {
    va_list copy;
    va_copy(copy, arguments);
    int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length <= 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, arguments);
    text.resize(static_cast<std::size_t>(length));
    return text;
}

void RemoveAll(std::string& text, std::string_view mark) {
    for (std::size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) text.erase(at, mark.size());
}

}  // namespace

std::string Format(const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    std::string text = FormatList(format, arguments);
    va_end(arguments);
    return text;
}

void Say(Step& step, const char* format, ...) {
    va_list arguments;
    va_start(arguments, format);
    step.lines.push_back(FormatList(format, arguments));
    va_end(arguments);
}

std::string Given(std::string_view utf8) {
    std::string text(utf8);
    RemoveAll(text, kGivenStart);
    RemoveAll(text, kGivenEnd);
    return kGivenStart + text + kGivenEnd;
}

std::string Unmarked(std::string_view marked) {
    std::string text(marked);
    RemoveAll(text, kGivenStart);
    RemoveAll(text, kGivenEnd);
    return text;
}

std::string Quote(const char* bytes, std::size_t length) {
    std::string text = "\"";
    for (std::size_t i = 0; i < length; ++i) {
        auto byte = static_cast<unsigned char>(bytes[i]);
        if (byte == '"' || byte == '\\') {
            text += '\\';
            text += static_cast<char>(byte);
        } else if (byte >= 0x20 && byte < 0x7F) {
            text += static_cast<char>(byte);
        } else {
            text += Format("\\x%02X", byte);
        }
    }
    return text + "\"";
}

std::string Joined(const std::vector<std::string>& items, const char* separator) {
    std::string text;
    for (const std::string& item : items) text += (text.empty() ? "" : separator) + item;
    return text;
}

std::string VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant) {
    return Format("%u.%u.%u.%u", mostSignificant >> 16, mostSignificant & 0xFFFFu, leastSignificant >> 16,
                  leastSignificant & 0xFFFFu);
}

std::string HexBytes(const std::uint8_t* bytes, std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += Format(i == 0 ? "%02X" : " %02X", bytes[i]);
    return text;
}

}  // namespace zmk::doctor
