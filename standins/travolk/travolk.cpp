// Stand-in for the vendor's diagnostic tool TRAVOLK.exe. The library starts
// it without arguments and with the caller's environment, so the test that
// starts the library chooses the tool's behaviour through variables:
//   ZMK_TRAVOLK_EXIT_CODE  exit code (decimal, default 0)
//   ZMK_TRAVOLK_RUN_MS     how long to run before exiting (default 0)
//   ZMK_TRAVOLK_LOG        a file that gets one line per run
#include <windows.h>

#include <cstdlib>

#include "win32/unique_resource.h"

namespace {

unsigned long NumberFromEnvironment(const char* name, unsigned long fallback) {
    char value[32];
    const DWORD length = ::GetEnvironmentVariableA(name, value, sizeof(value));
    if (length == 0 || length >= sizeof(value)) return fallback;
    return std::strtoul(value, nullptr, 10);
}

void LogRun() {
    char path[MAX_PATH];
    const DWORD length = ::GetEnvironmentVariableA("ZMK_TRAVOLK_LOG", path, sizeof(path));
    if (length == 0 || length >= sizeof(path)) return;
    zmk::UniqueFile file(::CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return;
    DWORD written = 0;
    ::WriteFile(file.get(), "ran\n", 4, &written, nullptr);
}

}  // namespace

int main() {
    LogRun();
    ::Sleep(NumberFromEnvironment("ZMK_TRAVOLK_RUN_MS", 0));
    return static_cast<int>(NumberFromEnvironment("ZMK_TRAVOLK_EXIT_CODE", 0));
}
