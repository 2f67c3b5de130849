#include "win32/file_version.h"

#include <cstring>

#include "win32/entry_point.h"
#include "win32/system_library.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

using GetFileVersionInfoSizeFunction = DWORD(WINAPI*)(LPCWSTR file, LPDWORD handle);
using GetFileVersionInfoFunction = BOOL(WINAPI*)(LPCWSTR file, DWORD handle, DWORD size, LPVOID data);
using VerQueryValueFunction = BOOL(WINAPI*)(LPCVOID block, LPCWSTR subBlock, LPVOID* value, PUINT length);

struct VersionFunctions {
    UniqueModule library;
    GetFileVersionInfoSizeFunction getFileVersionInfoSize = nullptr;
    GetFileVersionInfoFunction getFileVersionInfo = nullptr;
    VerQueryValueFunction verQueryValue = nullptr;
};

bool BindVersionFunctions(VersionFunctions& version) noexcept {
    version.library = LoadSystemLibrary(L"version.dll");
    if (!version.library) return false;
    HMODULE module = version.library.get();
    version.getFileVersionInfoSize = ResolveEntryPoint<GetFileVersionInfoSizeFunction>(module, "GetFileVersionInfoSizeW");
    version.getFileVersionInfo = ResolveEntryPoint<GetFileVersionInfoFunction>(module, "GetFileVersionInfoW");
    version.verQueryValue = ResolveEntryPoint<VerQueryValueFunction>(module, "VerQueryValueW");
    return version.getFileVersionInfoSize && version.getFileVersionInfo && version.verQueryValue;
}

}  // namespace

bool ReadFixedFileVersion(const wchar_t* path, VS_FIXEDFILEINFO& fixed) noexcept {
    VersionFunctions version;
    if (!BindVersionFunctions(version)) return false;

    const DWORD size = version.getFileVersionInfoSize(path, nullptr);
    if (size == 0) return false;
    UniqueGlobal block(::GlobalAlloc(GPTR, size));
    if (!block) return false;
    if (!version.getFileVersionInfo(path, 0, size, block.get())) return false;

    void* value = nullptr;
    UINT valueLength = 0;
    if (!version.verQueryValue(block.get(), L"\\", &value, &valueLength)) return false;
    if (value == nullptr || valueLength < sizeof(VS_FIXEDFILEINFO)) return false;
    std::memcpy(&fixed, value, sizeof fixed);
    return true;
}

}  // namespace zmk
