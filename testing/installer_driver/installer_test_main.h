// main() of the GoogleTest programs that drive the installer. Their own
// options come as --name=value after gtest's flags; every value is taken as
// a path and turned into a Windows one (a value without slashes, such as a
// count, is left as it is). An option is required unless its variable
// already holds a value, its default.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <initializer_list>
#include <string>
#include <string_view>

#include "windows_path.h"

namespace zmk::test {

struct TestOption {
    std::wstring_view name;  // without the leading "--"
    std::wstring* value;
};

// Returns the program's exit code: 2 when an option is unknown or missing,
// and a failure when the filter selects no test, since a misspelt ctest
// filter would otherwise pass without running anything.
inline int RunInstallerTests(int argc, wchar_t** argv, std::initializer_list<TestOption> options) {
    testing::InitGoogleTest(&argc, argv);
    bool usable = true;
    for (int i = 1; i < argc; ++i) {
        const std::wstring_view arg = argv[i];
        bool known = false;
        for (const TestOption& option : options) {
            const std::wstring prefix = L"--" + std::wstring(option.name) + L"=";
            if (!arg.starts_with(prefix)) continue;
            *option.value = WindowsPath(std::wstring(arg.substr(prefix.size())));
            known = true;
        }
        usable = usable && known;
    }
    for (const TestOption& option : options) usable = usable && !option.value->empty();
    if (!usable) {
        std::fwprintf(stderr, L"usage: %ls [gtest flags]", argv[0]);
        for (const TestOption& option : options) {
            std::fwprintf(stderr, L" --%.*ls=...", static_cast<int>(option.name.size()), option.name.data());
        }
        std::fwprintf(stderr, L"\n");
        return 2;
    }
    const int status = RUN_ALL_TESTS();
    if (testing::UnitTest::GetInstance()->test_to_run_count() == 0) {
        std::fwprintf(stderr, L"no test matches the filter\n");
        return 1;
    }
    return status;
}

}  // namespace zmk::test
