// Runs the real installer as a child process and answers its message boxes
// the way a person would, recording what each box said.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zmk::test {

enum class Answer { Ok, Cancel, Close };

struct SeenBox {
    std::wstring text;
    std::wstring buttons;  // visible push buttons, e.g. "OK Cancel"
    std::wstring icon;     // "warning", "information", "error", or "" when it cannot be told
    Answer answer = Answer::Ok;
};

struct InstallerRun {
    bool finished = false;
    DWORD exitCode = 0;
    std::vector<SeenBox> boxes;
    std::wstring problem;  // why the run did not go as asked, or empty
};

// Answers the n-th box with answers[n]; a box beyond the list is a problem
// and is answered OK. The child is ended if it has not finished in time.
InstallerRun RunInstaller(const std::wstring& installer, const std::vector<Answer>& answers, DWORD timeoutMs);

const wchar_t* AnswerName(Answer answer);
bool ParseAnswers(const std::wstring& list, std::vector<Answer>& answers);

// A Unix path from the test's command line, as a path on Wine's Z: drive.
std::wstring WindowsPath(const std::wstring& path);

// The whole content of a file, or "" when it cannot be read.
std::string FileBytes(const std::wstring& path);

// "a.b.c.d" of the fixed version block, or "" when the file has none.
std::wstring FileVersionOf(const std::wstring& path, bool product);

}  // namespace zmk::test
