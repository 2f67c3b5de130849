#include <windows.h>

#include "bounded_text.h"
#include "installer.h"
#include "win32/file_version.h"

namespace zmk {

// version.dll is no KnownDLL: imported statically, it would be looked for in
// the installer's own folder first, and a copy planted there (a Downloads
// folder holds anything) would run as administrator. ReadFixedFileVersion
// loads it by its full path in the system directory, for this check only.
VersionGate CheckInstalledVersion(const wchar_t* path) noexcept {
    wchar_t copy[MAX_PATH];
    if (!AssignText(copy, path)) return VersionGate::Unsupported;

    VS_FIXEDFILEINFO fixed;
    if (!ReadFixedFileVersion(copy, fixed)) return VersionGate::Unsupported;
    return ClassifyInstalledVersion(fixed.dwProductVersionMS, fixed.dwProductVersionLS,
                                    fixed.dwFileVersionMS, fixed.dwFileVersionLS);
}

}  // namespace zmk
