// The system DLLs that are not KnownDLLs, loaded at run time by their full
// path in the system directory. Loaded by bare name, such a DLL would be
// looked for in the program's own folder and the current directory first,
// where anybody may have put a copy.
#pragma once

#include <windows.h>

#include <type_traits>

#include "bounded_text.h"
#include "win32/unique_resource.h"

namespace zmk {

// Where the loaded library's own dependencies are looked for.
enum class Dependencies {
    AsTheProcessLooks,  // by the process's search order (for a program that restricted it: the system directory)
    BesideTheLibrary,   // in its folder first: a driver installed with DLLs of its own finds them
};

// Loads the library at path, a full path in the system directory that the
// caller composed (and checked). The caller owns the module at once (a
// UniqueModule's reset): handed back as Windows hands it, it costs the
// library that loads the driver no temporary owner.
template <typename Char>
HMODULE LoadSystemLibraryFile(const Char* path, Dependencies dependencies = Dependencies::AsTheProcessLooks) noexcept {
    const DWORD flags = dependencies == Dependencies::BesideTheLibrary ? LOAD_WITH_ALTERED_SEARCH_PATH : 0;
    if constexpr (std::is_same_v<Char, char>) {
        return ::LoadLibraryExA(path, nullptr, flags);
    } else {
        return ::LoadLibraryExW(path, nullptr, flags);
    }
}

// Loads the library called name ("version.dll") from the system directory;
// empty when it does not load or its path does not fit in MAX_PATH.
inline UniqueModule LoadSystemLibrary(const wchar_t* name) noexcept {
    wchar_t path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendText(path, L"\\") || !AppendText(path, name)) return {};
    return UniqueModule(LoadSystemLibraryFile(path));
}

}  // namespace zmk
