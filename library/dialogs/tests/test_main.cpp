// The dialog resources are linked into this executable (dialogs_tests.rc), so
// it stands in for the library's module. --travolk=PATH names the built
// diagnostic-tool stand-in, as a path of the machine running Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module_handle.h"
#include "test_paths.h"
#include "windows_path.h"

namespace zmk::test {
namespace {
std::string g_travolkPath;
}

const std::string& TravolkStandInPath() { return g_travolkPath; }

}  // namespace zmk::test

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zmk::SetLibraryModule(::GetModuleHandleA(nullptr));
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--travolk=", 10) != 0) continue;
        zmk::test::g_travolkPath = zmk::test::WindowsPath(argv[i] + 10);
    }
    return RUN_ALL_TESTS();
}
