// What the doctor found, step by step: the lines a person reads and the same
// facts for a program, side by side, so that the text report and the JSON
// document can never tell different stories. Every text is UTF-8; what the
// system gave (a path, a name, a device's or a node's words) is marked with
// Given(), so that a report for a stranger's ticket can find a person's names
// in it without touching the doctor's own words.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

namespace zmk::doctor {

// Keys stay in the order they are written, as the schema lists them.
using Json = nlohmann::ordered_json;

struct Step {
    Step(std::string stepName, std::string stepVerdict) : name(std::move(stepName)), verdict(std::move(stepVerdict)) {}

    std::string name;                 // "host settings", "d2xx", "art-net", "decision"
    std::string verdict;              // one word or phrase a script can test
    std::vector<std::string> lines;   // the text report, without the heading
    Json facts = Json::object();
};

// mingw-w64's C99 printf is checked as such; elsewhere printf is C99 already.
#ifdef __MINGW32__
#define ZMK_PRINTF_FORMAT(text, arguments) __attribute__((format(gnu_printf, text, arguments)))
#else
#define ZMK_PRINTF_FORMAT(text, arguments) __attribute__((format(printf, text, arguments)))
#endif

// printf into a std::string.
std::string Format(const char* format, ...) ZMK_PRINTF_FORMAT(1, 2);

// Adds one line to the step's text.
void Say(Step& step, const char* format, ...) ZMK_PRINTF_FORMAT(2, 3);

// The marks around a text the system gave: private-use characters, which no
// path or name holds (Given removes any that one did).
inline constexpr char kGivenStart[] = "\xEE\x80\x80";  // U+E000
inline constexpr char kGivenEnd[] = "\xEE\x80\x81";    // U+E001
std::string Given(std::string_view utf8);
// The text without the marks, for every output but the report.
std::string Unmarked(std::string_view text);

// A text quoted for a person: printable ASCII as it is, anything else as \xNN.
std::string Quote(const char* bytes, std::size_t length);
// The items with separator between them.
std::string Joined(const std::vector<std::string>& items, const char* separator);
// "2.0.2.51" from a fixed version block's two words.
std::string VersionText(std::uint32_t mostSignificant, std::uint32_t leastSignificant);
// The same bytes in hex, "46 54 32 ..."
std::string HexBytes(const std::uint8_t* bytes, std::size_t length);

}  // namespace zmk::doctor
