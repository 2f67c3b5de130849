#include "other_program.h"

#include <vector>

namespace zmk::host {
namespace {

constexpr DWORD kReadyMs = 15000;

struct WindowSearch {
    DWORD process;
    HWND found;
};

BOOL CALLBACK MatchProcessWindow(HWND window, LPARAM lParam) {
    auto* search = reinterpret_cast<WindowSearch*>(lParam);
    DWORD process = 0;
    ::GetWindowThreadProcessId(window, &process);
    if (process != search->process || !::IsWindowVisible(window)) return TRUE;
    search->found = window;
    return FALSE;
}

}  // namespace

OtherProgram::OtherProgram(const std::string& path, int hangMs) {
    // The program sets this event once it is in front and about to stop answering.
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle ready(::CreateEventA(&inheritable, TRUE, FALSE, nullptr));
    if (!ready) return;
    std::string commandLine = "\"" + path + "\" " + std::to_string(reinterpret_cast<ULONG_PTR>(ready.get())) + " " +
                              std::to_string(hangMs);
    std::vector<char> mutableLine(commandLine.begin(), commandLine.end());
    mutableLine.push_back('\0');
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info{};
    if (!::CreateProcessA(path.c_str(), mutableLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                          &info))
        return;
    UniqueHandle thread(info.hThread);
    process_.reset(info.hProcess);
    processId_ = info.dwProcessId;
    const HANDLE waits[2] = {ready.get(), process_.get()};
    if (::WaitForMultipleObjects(2, waits, FALSE, kReadyMs) != WAIT_OBJECT_0) return;
    WindowSearch search{processId_, nullptr};
    ::EnumWindows(MatchProcessWindow, reinterpret_cast<LPARAM>(&search));
    window_ = search.found;
    inFront_ = window_ != nullptr && ::GetForegroundWindow() == window_;
}

OtherProgram::~OtherProgram() {
    if (!process_) return;
    ::TerminateProcess(process_.get(), 0);
    ::WaitForSingleObject(process_.get(), 5000);
}

}  // namespace zmk::host
