// A version.dll planted beside the installer, as a Downloads folder can hold
// one. Its three functions are the ones an installer that imports version.dll
// statically binds to it; each fails, and one asked about ZELMORK.dll (the
// installer's question) leaves the file "planted-version-called" beside this
// DLL.
//
// Neither loading nor every call is a mark: Wine's own user32.dll imports
// version.dll and calls it, so with a native-first load order Wine maps and
// calls this file in every program that uses user32, whatever the program
// imports itself. Windows' user32 does not import it.
#include <windows.h>

namespace {

HINSTANCE g_self = nullptr;

void LeaveMarkFor(LPCWSTR file) {
    constexpr wchar_t kName[] = L"\\ZELMORK.dll";
    const int fileLength = file ? lstrlenW(file) : 0;
    const int nameLength = lstrlenW(kName);
    if (fileLength < nameLength || lstrcmpiW(file + fileLength - nameLength, kName) != 0) return;
    wchar_t path[MAX_PATH + 32];
    const DWORD length = GetModuleFileNameW(g_self, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return;
    wchar_t* folderEnd = wcsrchr(path, L'\\');
    if (folderEnd == nullptr) return;
    lstrcpyW(folderEnd + 1, L"planted-version-called");
    HANDLE mark = CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (mark != INVALID_HANDLE_VALUE) CloseHandle(mark);
}

}  // namespace

extern "C" {

DWORD WINAPI GetFileVersionInfoSizeW(LPCWSTR file, LPDWORD) {
    LeaveMarkFor(file);
    return 0;
}

BOOL WINAPI GetFileVersionInfoW(LPCWSTR file, DWORD, DWORD, LPVOID) {
    LeaveMarkFor(file);
    return FALSE;
}

BOOL WINAPI VerQueryValueW(LPCVOID, LPCWSTR, LPVOID*, PUINT) {
    return FALSE;
}

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) g_self = self;
    return TRUE;
}

}  // extern "C"
