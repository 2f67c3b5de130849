// installer-driver: runs stelmorivax_x64.exe, answers its boxes and prints
// what each said. Used by the demo, and by hand:
//
//   installer-driver.exe --installer PATH [--answer ok,cancel,close] [--print]
//                        [--expect-exit N] [--expect-text TEXT]... [--timeout SECONDS]
//   installer-driver.exe --version-of PATH
#include <cstdio>
#include <cwchar>
#include <string>
#include <vector>

#include "installer_driver.h"

using namespace zmk::test;

namespace {

int Usage() {
    std::fwprintf(stderr,
                  L"usage: installer-driver --installer PATH [--answer ok,cancel,close] [--print]\n"
                  L"                        [--expect-exit N] [--expect-text TEXT]... [--timeout SECONDS]\n"
                  L"       installer-driver --version-of PATH\n");
    return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring installer;
    std::vector<Answer> answers;
    std::vector<std::wstring> expectedTexts;
    long expectedExit = -1;
    bool print = false;
    DWORD timeoutMs = 60000;
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == L"--print") {
            print = true;
        } else if (option == L"--version-of" && hasValue) {
            const std::wstring path = WindowsPath(argv[++i]);
            const std::wstring file = FileVersionOf(path, false);
            if (file.empty()) {
                std::wprintf(L"no version resource\n");
            } else {
                std::wprintf(L"file version %ls, product version %ls\n", file.c_str(),
                             FileVersionOf(path, true).c_str());
            }
            return 0;
        } else if (option == L"--installer" && hasValue) {
            installer = WindowsPath(argv[++i]);
        } else if (option == L"--answer" && hasValue) {
            if (!ParseAnswers(argv[++i], answers)) return Usage();
        } else if (option == L"--expect-exit" && hasValue) {
            expectedExit = std::wcstol(argv[++i], nullptr, 10);
        } else if (option == L"--expect-text" && hasValue) {
            expectedTexts.push_back(argv[++i]);
        } else if (option == L"--timeout" && hasValue) {
            timeoutMs = static_cast<DWORD>(std::wcstoul(argv[++i], nullptr, 10) * 1000);
        } else {
            return Usage();
        }
    }
    if (installer.empty()) return Usage();

    const InstallerRun run = RunInstaller(installer, answers, timeoutMs);
    bool ok = run.problem.empty();
    for (size_t i = 0; i < run.boxes.size(); ++i) {
        const SeenBox& box = run.boxes[i];
        if (print) {
            std::wprintf(L"  box %zu: \"%ls\"  [buttons: %ls%ls%ls]  -> answered %ls\n", i + 1, box.text.c_str(),
                         box.buttons.c_str(), box.icon.empty() ? L"" : L", icon: ", box.icon.c_str(),
                         AnswerName(box.answer));
        }
        if (!expectedTexts.empty() && (i >= expectedTexts.size() || box.text != expectedTexts[i])) ok = false;
    }
    if (!expectedTexts.empty() && run.boxes.size() != expectedTexts.size()) ok = false;
    if (print) std::wprintf(L"  exit code: %lu\n", run.exitCode);
    if (!run.problem.empty()) std::fwprintf(stderr, L"problem: %ls\n", run.problem.c_str());
    if (expectedExit >= 0 && run.exitCode != static_cast<DWORD>(expectedExit)) {
        std::fwprintf(stderr, L"exit code %lu, expected %ld\n", run.exitCode, expectedExit);
        ok = false;
    }
    std::fflush(stdout);
    return ok ? 0 : 1;
}
