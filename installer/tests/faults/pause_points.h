// Forced in first (as its precompiled header) into the installer's own sources for the
// test-only build stelmorivax_x64_paused.exe: the file calls of the payload
// writer go through the stand-ins below, which can stop the run at a named
// point until the test kills it. The shipped installer never sees this file.
#pragma once

#include <windows.h>

// The points, in the order a run passes them: "before-temp-name" (target
// held, nothing created), "after-temp-name" (empty temporary file),
// "mid-write" (half the payload written), "before-flush" (all of it written),
// "before-move" (temporary file closed), "after-move" (new library in place).
//
// The run stops at the point named by the environment variable ZMK_PAUSE_AT,
// signals the event of this name, and waits to be killed (60 s at most,
// after which it goes on).
inline constexpr wchar_t kPauseReachedEvent[] = L"zmk-pause-point-reached";

UINT WINAPI PausedGetTempFileNameW(LPCWSTR folder, LPCWSTR prefix, UINT unique, LPWSTR name);
BOOL WINAPI PausedWriteFile(HANDLE file, LPCVOID data, DWORD length, LPDWORD written, LPOVERLAPPED overlapped);
BOOL WINAPI PausedFlushFileBuffers(HANDLE file);
BOOL WINAPI PausedMoveFileExW(LPCWSTR from, LPCWSTR to, DWORD flags);

#ifndef ZMK_PAUSE_POINTS_NO_REDIRECT
#define GetTempFileNameW PausedGetTempFileNameW
#define WriteFile PausedWriteFile
#define FlushFileBuffers PausedFlushFileBuffers
#define MoveFileExW PausedMoveFileExW
#endif
