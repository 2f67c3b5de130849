// Runs the real installer as a child process and answers its message boxes
// the way a person would, recording what each box said.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "windows_path.h"

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

// A console program's run: its exit code and what it printed.
struct ProgramOutput {
    bool started = false;
    DWORD exitCode = 0;
    std::string output;  // standard output and standard error, as printed
};

// Runs commandLine to its end (the test's own time limit bounds it) and
// collects its output.
ProgramOutput RunCollectingOutput(const std::wstring& commandLine);

// Starts the installer with an empty command line; on success the caller
// owns process.hProcess (the thread handle is already closed).
bool StartInstaller(const std::wstring& installer, PROCESS_INFORMATION& process);

// The installer's message box that is showing now, or null.
HWND FindInstallerBox(DWORD processId);
std::wstring BoxText(HWND box);
void PostAnswer(HWND box, Answer answer);

const wchar_t* AnswerName(Answer answer);
bool ParseAnswers(const std::wstring& list, std::vector<Answer>& answers);

// The whole content of a file, or "" when it cannot be read.
std::string FileBytes(const std::wstring& path);

// The names in a folder, without "." and "..".
std::vector<std::wstring> FolderEntries(const std::wstring& folder);

// Removes a file or a folder with everything in it, whatever its attributes.
void RemoveTree(const std::wstring& path);

// The Program Files folder, as the installer asks the shell for it.
std::wstring ProgramFilesFolder();

// "a.b.c.d" of the fixed version block, or "" when the file has none.
std::wstring FileVersionOf(const std::wstring& path, bool product);

}  // namespace zmk::test
