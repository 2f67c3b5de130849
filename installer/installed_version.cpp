#include <windows.h>

#include <cstring>

#include "bounded_text.h"
#include "installer.h"
#include "win32/unique_resource.h"

namespace zmk {

VersionGate CheckInstalledVersion(const wchar_t* path) noexcept {
    wchar_t copy[MAX_PATH];
    if (!AssignText(copy, path)) return VersionGate::Unsupported;

    const DWORD size = ::GetFileVersionInfoSizeW(copy, nullptr);
    if (size == 0) return VersionGate::Unsupported;
    UniqueGlobal block(::GlobalAlloc(GPTR, size));
    if (!block) return VersionGate::Unsupported;
    if (!::GetFileVersionInfoW(copy, 0, size, block.get())) return VersionGate::Unsupported;

    void* value = nullptr;
    UINT valueLength = 0;
    if (!::VerQueryValueW(block.get(), L"\\", &value, &valueLength)) return VersionGate::Unsupported;
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
