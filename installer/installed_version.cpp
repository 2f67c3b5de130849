#include <windows.h>

#include <cstring>

#include "bounded_text.h"
#include "installer.h"
#include "win32/entry_point.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCWSTR file, LPDWORD handle);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCWSTR file, DWORD handle, DWORD size, LPVOID data);
using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length);

// version.dll is no KnownDLL: imported statically, it would be looked for in
// the installer's own folder first, and a copy planted there (a Downloads
// folder holds anything) would run as administrator. It is loaded by its full
// path in the system directory instead, for the version check only.
struct VersionFunctions {
    UniqueModule library;
    GetFileVersionInfoSizeFunction getFileVersionInfoSize = nullptr;
    GetFileVersionInfoFunction getFileVersionInfo = nullptr;
    VerQueryValueFunction verQueryValue = nullptr;
};

bool BindVersionFunctions(VersionFunctions& version) noexcept {
    wchar_t path[MAX_PATH];
    const UINT length = ::GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH || !AppendText(path, L"\\version.dll")) return false;
    version.library.reset(::LoadLibraryExW(path, nullptr, 0));
    if (!version.library) return false;
    HMODULE module = version.library.get();
    version.getFileVersionInfoSize = ResolveEntryPoint<GetFileVersionInfoSizeFunction>(module, "GetFileVersionInfoSizeW");
    version.getFileVersionInfo = ResolveEntryPoint<GetFileVersionInfoFunction>(module, "GetFileVersionInfoW");
    version.verQueryValue = ResolveEntryPoint<VerQueryValueFunction>(module, "VerQueryValueW");
    return version.getFileVersionInfoSize && version.getFileVersionInfo && version.verQueryValue;
}

}  // namespace

VersionGate CheckInstalledVersion(const wchar_t* path) noexcept {
    wchar_t copy[MAX_PATH];
    if (!AssignText(copy, path)) return VersionGate::Unsupported;

    VersionFunctions version;
    if (!BindVersionFunctions(version)) return VersionGate::Unsupported;

    const DWORD size = version.getFileVersionInfoSize(copy, nullptr);
    if (size == 0) return VersionGate::Unsupported;
    UniqueGlobal block(::GlobalAlloc(GPTR, size));
    if (!block) return VersionGate::Unsupported;
    if (!version.getFileVersionInfo(copy, 0, size, block.get())) return VersionGate::Unsupported;

    void* value = nullptr;
    UINT valueLength = 0;
    if (!version.verQueryValue(block.get(), L"\\", &value, &valueLength)) return VersionGate::Unsupported;
    // A damaged resource can answer with a root value shorter than the fixed
    // block; reading 52 bytes from it would run past the data.
    if (value == nullptr || valueLength < sizeof(VS_FIXEDFILEINFO)) return VersionGate::Unsupported;
    VS_FIXEDFILEINFO fixed;
    std::memcpy(&fixed, value, sizeof fixed);
    block.reset();

    return ClassifyInstalledVersion(fixed.dwProductVersionMS, fixed.dwProductVersionLS,
                                    fixed.dwFileVersionMS, fixed.dwFileVersionLS);
}

}  // namespace zmk
