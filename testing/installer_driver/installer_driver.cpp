#include "installer_driver.h"

#include <shlobj.h>

#include <fstream>
#include <iterator>

namespace zmk::test {
namespace {

constexpr wchar_t kCaption[] = L"stelmorivax_x64";
constexpr int kMessageTextId = 0xFFFF;
constexpr DWORD kPollMs = 50;

struct BoxSearch {
    DWORD processId;
    HWND found;
};

BOOL CALLBACK FindBox(HWND window, LPARAM context) {
    auto* search = reinterpret_cast<BoxSearch*>(context);
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner != search->processId || !::IsWindowVisible(window)) return TRUE;
    wchar_t className[16] = {};
    wchar_t caption[64] = {};
    ::GetClassNameW(window, className, 16);
    ::GetWindowTextW(window, caption, 64);
    if (std::wstring(className) != L"#32770" || std::wstring(caption) != kCaption) return TRUE;
    search->found = window;
    return FALSE;
}

std::wstring VisibleButtons(HWND box) {
    static const struct {
        int id;
        const wchar_t* name;
    } buttons[] = {{IDOK, L"OK"},     {IDCANCEL, L"Cancel"}, {IDABORT, L"Abort"}, {IDRETRY, L"Retry"},
                   {IDIGNORE, L"Ignore"}, {IDYES, L"Yes"},   {IDNO, L"No"}};
    std::wstring list;
    for (const auto& button : buttons) {
        HWND control = ::GetDlgItem(box, button.id);
        if (control == nullptr || !::IsWindowVisible(control)) continue;
        if (!list.empty()) list += L' ';
        list += button.name;
    }
    return list;
}

// The box's icon is a static control (id 20 on Windows, 0x440 in Wine's
// template). Its pixels are compared with the system icons drawn here.
std::wstring IconKind(HWND box) {
    HWND control = ::GetDlgItem(box, 20);
    if (control == nullptr) control = ::GetDlgItem(box, 0x440);
    if (control == nullptr) return L"";
    HICON shown = reinterpret_cast<HICON>(::SendMessageW(control, STM_GETICON, 0, 0));
    if (shown == nullptr) return L"";
    static const struct {
        LPCWSTR id;
        const wchar_t* name;
    } kinds[] = {{MAKEINTRESOURCEW(32515), L"warning"},  // IDI_WARNING
                 {MAKEINTRESOURCEW(32516), L"information"},
                 {MAKEINTRESOURCEW(32513), L"error"}};
    for (const auto& kind : kinds) {
        if (::LoadIconW(nullptr, kind.id) == shown) return kind.name;
    }
    return L"";
}

}  // namespace

HWND FindInstallerBox(DWORD processId) {
    BoxSearch search = {processId, nullptr};
    ::EnumWindows(FindBox, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

std::wstring BoxText(HWND box) {
    wchar_t text[1024] = {};
    ::GetDlgItemTextW(box, kMessageTextId, text, 1024);
    return text;
}

void PostAnswer(HWND box, Answer answer) {
    switch (answer) {
    case Answer::Ok:
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(::GetDlgItem(box, IDOK)));
        break;
    case Answer::Cancel:
        ::PostMessageW(box, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                       reinterpret_cast<LPARAM>(::GetDlgItem(box, IDCANCEL)));
        break;
    case Answer::Close:
        ::PostMessageW(box, WM_CLOSE, 0, 0);
        break;
    }
}

const wchar_t* AnswerName(Answer answer) {
    switch (answer) {
    case Answer::Ok:
        return L"OK";
    case Answer::Cancel:
        return L"Cancel";
    case Answer::Close:
        return L"close";
    }
    return L"?";
}

bool ParseAnswers(const std::wstring& list, std::vector<Answer>& answers) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t comma = list.find(L',', start);
        if (comma == std::wstring::npos) comma = list.size();
        const std::wstring word = list.substr(start, comma - start);
        if (word == L"ok") answers.push_back(Answer::Ok);
        else if (word == L"cancel") answers.push_back(Answer::Cancel);
        else if (word == L"close") answers.push_back(Answer::Close);
        else if (!word.empty()) return false;
        start = comma + 1;
    }
    return true;
}

std::vector<std::wstring> FolderEntries(const std::wstring& folder) {
    std::vector<std::wstring> names;
    WIN32_FIND_DATAW found;
    HANDLE search = ::FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
        const std::wstring name = found.cFileName;
        if (name != L"." && name != L"..") names.push_back(name);
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
    return names;
}

void RemoveTree(const std::wstring& path) {
    const DWORD attributes = ::GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return;
    ::SetFileAttributesW(path.c_str(), attributes & ~(FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
    if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
        for (const std::wstring& name : FolderEntries(path)) RemoveTree(path + L"\\" + name);
        ::RemoveDirectoryW(path.c_str());
    } else {
        ::DeleteFileW(path.c_str());
    }
}

std::wstring ProgramFilesFolder() {
    wchar_t folder[MAX_PATH] = {};
    ::SHGetFolderPathW(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder);
    return folder;
}

std::string FileBytes(const std::wstring& path) {
    std::ifstream in(path.c_str(), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::wstring FileVersionOf(const std::wstring& path, bool product) {
    const DWORD size = ::GetFileVersionInfoSizeW(path.c_str(), nullptr);
    if (size == 0) return L"";
    std::vector<BYTE> block(size);
    if (!::GetFileVersionInfoW(path.c_str(), 0, size, block.data())) return L"";
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT length = 0;
    if (!::VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) ||
        length < sizeof(VS_FIXEDFILEINFO))
        return L"";
    const DWORD ms = product ? fixed->dwProductVersionMS : fixed->dwFileVersionMS;
    const DWORD ls = product ? fixed->dwProductVersionLS : fixed->dwFileVersionLS;
    return std::to_wstring(HIWORD(ms)) + L"." + std::to_wstring(LOWORD(ms)) + L"." + std::to_wstring(HIWORD(ls)) +
           L"." + std::to_wstring(LOWORD(ls));
}

bool StartInstaller(const std::wstring& installer, PROCESS_INFORMATION& process) {
    std::wstring commandLine = L"\"" + installer + L"\"";
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    process = {};
    // Wine reports ERROR_INTERNAL_ERROR when the new process's loader died
    // before the process ran any of its own code: seen once on a loaded
    // machine right after a burst of killed processes. That is Wine's start-up,
    // not the installer's, so it is tried again, at most twice, and said.
    for (int attempt = 0;; ++attempt) {
        if (::CreateProcessW(installer.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                             &startup, &process)) {
            break;
        }
        const DWORD error = ::GetLastError();
        if (error != ERROR_INTERNAL_ERROR || attempt == 2) return false;
        std::fwprintf(stderr, L"note: Wine could not start the installer (error %lu); starting it again\n", error);
        ::Sleep(500);
        ::SetLastError(error);
    }
    ::CloseHandle(process.hThread);
    process.hThread = nullptr;
    return true;
}

ProgramOutput RunCollectingOutput(const std::wstring& commandLine) {
    ProgramOutput run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!::CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    ::SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    std::wstring line = commandLine;
    PROCESS_INFORMATION process = {};
    run.started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                                   &process) != FALSE;
    // Only the child holds the write end now: reading ends when it does.
    ::CloseHandle(writeEnd);
    if (run.started) {
        char chunk[4096];
        DWORD read = 0;
        while (::ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0) run.output.append(chunk, read);
        ::WaitForSingleObject(process.hProcess, INFINITE);
        ::GetExitCodeProcess(process.hProcess, &run.exitCode);
        ::CloseHandle(process.hThread);
        ::CloseHandle(process.hProcess);
    }
    ::CloseHandle(readEnd);
    return run;
}

InstallerRun RunInstaller(const std::wstring& installer, const std::vector<Answer>& answers, DWORD timeoutMs) {
    InstallerRun run;
    PROCESS_INFORMATION process;
    if (!StartInstaller(installer, process)) {
        run.problem = L"the installer did not start, error " + std::to_wstring(::GetLastError());
        return run;
    }

    const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
    while (::GetTickCount64() < deadline) {
        if (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) {
            run.finished = true;
            break;
        }
        const HWND box = FindInstallerBox(process.dwProcessId);
        if (box == nullptr) continue;

        SeenBox seen;
        seen.text = BoxText(box);
        seen.buttons = VisibleButtons(box);
        seen.icon = IconKind(box);
        if (run.boxes.size() < answers.size()) {
            seen.answer = answers[run.boxes.size()];
        } else if (run.problem.empty()) {
            run.problem = L"a box nobody expected: \"" + seen.text + L"\"";
        }
        run.boxes.push_back(seen);
        PostAnswer(box, seen.answer);
        // The same box must not be read twice: wait until it has gone.
        while (::IsWindow(box) && ::GetTickCount64() < deadline) {
            if (::WaitForSingleObject(process.hProcess, kPollMs) == WAIT_OBJECT_0) break;
        }
    }
    if (!run.finished) {
        ::TerminateProcess(process.hProcess, 255);
        ::WaitForSingleObject(process.hProcess, 5000);
        if (run.problem.empty()) run.problem = L"the installer did not finish in time";
    }
    ::GetExitCodeProcess(process.hProcess, &run.exitCode);
    ::CloseHandle(process.hProcess);
    return run;
}

}  // namespace zmk::test
