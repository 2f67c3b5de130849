// Borvanect's diagnostic tool, played by the TRAVOLK.exe stand-in, where the
// library looks for it: in Borvanect's folder under Program Files.
#pragma once

#include <windows.h>
#include <shlobj.h>

#include <string>

namespace zmk::test {

// Program Files\Quenford\Borvanect\TRAVOLK.exe, its folders made; empty when
// the shell does not tell the Program Files folder.
inline std::string DiagnosticToolPath() {
    char folder[MAX_PATH] = {};
    if (FAILED(::SHGetFolderPathA(nullptr, CSIDL_PROGRAM_FILES, nullptr, SHGFP_TYPE_CURRENT, folder))) return {};
    const std::string vendor = std::string(folder) + "\\Quenford";
    ::CreateDirectoryA(vendor.c_str(), nullptr);
    ::CreateDirectoryA((vendor + "\\Borvanect").c_str(), nullptr);
    return vendor + "\\Borvanect\\TRAVOLK.exe";
}

// Copies the stand-in (a Windows path) there, to end with exitCode when the
// library runs it; false when it could not be placed.
inline bool PlaceDiagnosticTool(const std::string& standIn, const char* exitCode = "0") {
    ::SetEnvironmentVariableA("ZMK_TRAVOLK_EXIT_CODE", exitCode);
    const std::string tool = DiagnosticToolPath();
    return !tool.empty() && ::CopyFileA(standIn.c_str(), tool.c_str(), FALSE);
}

}  // namespace zmk::test
