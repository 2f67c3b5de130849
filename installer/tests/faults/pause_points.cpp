#define ZMK_PAUSE_POINTS_NO_REDIRECT
#include "pause_points.h"

#include <cwchar>

#include "win32/unique_resource.h"

namespace {

constexpr DWORD kLongestPauseMs = 60000;

void PauseIfAskedAt(const wchar_t* point) {
    wchar_t asked[32] = {};
    const DWORD length = ::GetEnvironmentVariableW(L"ZMK_PAUSE_AT", asked, 32);
    if (length == 0 || length >= 32 || std::wcscmp(asked, point) != 0) return;
    zmk::UniqueHandle reached(::OpenEventW(EVENT_MODIFY_STATE, FALSE, kPauseReachedEvent));
    if (reached) ::SetEvent(reached.get());
    ::Sleep(kLongestPauseMs);
}

}  // namespace

UINT WINAPI PausedGetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name) {
    PauseIfAskedAt(L"before-temp-name");
    const UINT result = ::GetTempFileNameW(folder, prefix, unique, name);
    PauseIfAskedAt(L"after-temp-name");
    return result;
}

// Written in two halves so that a kill can land between them.
BOOL WINAPI PausedWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped) {
    const DWORD first = length / 2;
    DWORD firstWritten = 0;
    if (!::WriteFile(file, data, first, &firstWritten, overlapped)) return FALSE;
    PauseIfAskedAt(L"mid-write");
    DWORD secondWritten = 0;
    const BOOL ok = ::WriteFile(file, static_cast<const char*>(data) + first, length - first, &secondWritten, overlapped);
    *written = firstWritten + secondWritten;
    return ok;
}

BOOL WINAPI PausedFlushFileBuffers(HANDLE file) {
    PauseIfAskedAt(L"before-flush");
    return ::FlushFileBuffers(file);
}

BOOL WINAPI PausedMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags) {
    PauseIfAskedAt(L"before-move");
    const BOOL ok = ::MoveFileExW(from, to, flags);
    PauseIfAskedAt(L"after-move");
    return ok;
}
