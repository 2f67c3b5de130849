// The dialog resources are linked into this executable (dialogs_tests.rc), so
// it stands in for the library's module. --travolk=PATH names the built
// diagnostic-tool stand-in, as a path of the machine running Wine.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "module_handle.h"
#include "test_paths.h"

namespace zmk::testing {
namespace {
std::string g_travolkPath;
}

const std::string& TravolkStandInPath() { return g_travolkPath; }

}  // namespace zmk::testing

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    zmk::SetLibraryModule(::GetModuleHandleA(nullptr));
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--travolk=", 10) != 0) continue;
        std::string path = argv[i] + 10;
        // A Unix path reaches Wine's programs through drive Z:.
        if (!path.empty() && path[0] == '/') path = "Z:" + path;
        for (char& c : path) c = c == '/' ? '\\' : c;
        zmk::testing::g_travolkPath = path;
    }
    return RUN_ALL_TESTS();
}
