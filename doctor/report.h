// Where the doctor's findings go: the console or a pipe, and the report file
// for a support ticket, written to exactly the file named, new, with the
// user's and the computer's names replaced.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace zmk::doctor {

// The doctor's own exit codes, apart from every status value.
inline constexpr int kExitUsage = 64;
inline constexpr int kExitInternal = 70;
inline constexpr int kExitInterrupted = 130;

bool IsConsole(DWORD which);
// UTF-8 text to standard output or error: UTF-16 to a console; to a pipe or a
// file, the text in the ANSI code page (the console's own programs' way) or,
// for JSON, UTF-8; line ends CR LF.
void WriteOut(DWORD which, std::string_view utf8, bool json = false);

// How many places a report's redaction replaced.
struct Redaction {
    int user = 0;
    int computer = 0;
};

// The report's text with the user's and the computer's names replaced by
// <user> and <computer>, and the marks of Given() removed. Inside what the
// system gave (paths, names) every whole name is replaced; in the doctor's own
// words only a name of 3 characters or more that is none of those words (so
// "User" keeps "User folder", and "al" never touches "value").
std::string Redacted(std::string_view marked, Redaction& counts);
// The same with the names given (the DNS name is a second pass of it).
std::string Redacted(std::string_view marked, const std::wstring& user, const std::wstring& computer,
                     Redaction& counts);

// A report file named on the command line, checked before the run: 0 when it
// can be created, with its full path; otherwise the exit code, with a line
// on standard error that says why (a device: 70; a file that exists: 64).
int CheckReportFile(const std::wstring& name, std::wstring& fullPath);
// Creates the file new and writes the report to it: 0, or 64 when a file of
// that name appeared meanwhile, or 70, each with a line that says why.
int WriteReportFile(const std::wstring& fullPath, std::string_view utf8);

}  // namespace zmk::doctor
