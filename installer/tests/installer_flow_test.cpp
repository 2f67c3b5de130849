// Runs the real installer against prepared installations in the session's
// Program Files folder, one case per run:
//
//   installer_flow_test --case NAME --installer EXE --library DLL --fixtures DIR
//
// Each case checks what the boxes said, the exit code, and what is left at
// the target: its bytes, its attributes, and nothing else in its folder.
#include <windows.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "installer_driver.h"

using namespace zmk::test;

namespace {

const std::wstring kConfirm = L"Install Patch ?";
const std::wstring kNotNeeded = L"Install Patch Not Needed.";
const std::wstring kSuccess = L"Install Patch Success.";
const std::wstring kError = L"Install Patch Error.";

enum class Setup { NoInstallation, DirectoryInstead, Library };
enum class Hold { Nobody, Exclusively, WithFullSharing, LoadedAsLibrary };
enum class Left { AsItWas, Payload };

struct Run {
    std::vector<Answer> answers;
    std::vector<std::wstring> texts;
    DWORD exitCode;
};

struct FlowCase {
    const wchar_t* name;
    Setup setup;
    const wchar_t* fixture;
    DWORD attributes;
    Hold hold;
    std::vector<Run> runs;
    Left left;
};

const Run kCancelled{{Answer::Cancel}, {kConfirm}, 2};
const Run kRefused{{Answer::Ok, Answer::Ok}, {kConfirm, kError}, 1};
const Run kNotNeededRun{{Answer::Ok, Answer::Ok}, {kConfirm, kNotNeeded}, 0};
const Run kReplaced{{Answer::Ok, Answer::Ok}, {kConfirm, kSuccess}, 0};

const std::vector<FlowCase>& Cases() {
    static const std::vector<FlowCase> cases = {
        {L"CancelEndsWithCodeTwo", Setup::Library, L"fixture_old_release.dll", 0, Hold::Nobody, {kCancelled}, Left::AsItWas},
        {L"ClosingTheConfirmationEndsWithCodeTwo", Setup::Library, L"fixture_old_release.dll", 0, Hold::Nobody,
         {{{Answer::Close}, {kConfirm}, 2}}, Left::AsItWas},
        {L"NoInstallationIsAnError", Setup::NoInstallation, nullptr, 0, Hold::Nobody, {kRefused}, Left::AsItWas},
        {L"DirectoryNamedLikeTheLibraryIsAnError", Setup::DirectoryInstead, nullptr, 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"PatchedReleaseIsNotNeeded", Setup::Library, L"fixture_patched_release.dll", 0, Hold::Nobody,
         {kNotNeededRun}, Left::AsItWas},
        {L"OldReleaseIsReplacedThenNotNeeded", Setup::Library, L"fixture_old_release.dll", 0, Hold::Nobody,
         {kReplaced, kNotNeededRun}, Left::Payload},
        {L"PatchedFileWithPatchedProductIsRefused", Setup::Library, L"fixture_patched_product.dll", 0, Hold::Nobody,
         {kRefused}, Left::AsItWas},
        {L"OldFileWithPatchedProductIsRefused", Setup::Library, L"fixture_product_2_0_2_51.dll", 0, Hold::Nobody,
         {kRefused}, Left::AsItWas},
        {L"File2_0_2_52IsRefused", Setup::Library, L"fixture_file_2_0_2_52.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"File2_0_2_50IsRefused", Setup::Library, L"fixture_file_2_0_2_50.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"File2_0_3_5IsRefused", Setup::Library, L"fixture_file_2_0_3_5.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"File2_1_2_5IsRefused", Setup::Library, L"fixture_file_2_1_2_5.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"LibraryWithoutVersionIsRefused", Setup::Library, L"fixture_no_version.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"DamagedVersionIsRefused", Setup::Library, L"fixture_damaged_version.dll", 0, Hold::Nobody, {kRefused},
         Left::AsItWas},
        {L"TargetHeldExclusivelyIsUntouched", Setup::Library, L"fixture_old_release.dll", 0, Hold::Exclusively,
         {kRefused}, Left::AsItWas},
        {L"TargetHeldWithSharingIsUntouched", Setup::Library, L"fixture_old_release.dll", 0, Hold::WithFullSharing,
         {kRefused}, Left::AsItWas},
        {L"TargetLoadedByARunningHostIsUntouched", Setup::Library, L"fixture_old_release.dll", 0,
         Hold::LoadedAsLibrary, {kRefused}, Left::AsItWas},
        {L"HiddenTargetIsUntouched", Setup::Library, L"fixture_old_release.dll", FILE_ATTRIBUTE_HIDDEN, Hold::Nobody,
         {kRefused}, Left::AsItWas},
        {L"SystemTargetIsUntouched", Setup::Library, L"fixture_old_release.dll", FILE_ATTRIBUTE_SYSTEM, Hold::Nobody,
         {kRefused}, Left::AsItWas},
        {L"ReadOnlyTargetIsUntouched", Setup::Library, L"fixture_old_release.dll", FILE_ATTRIBUTE_READONLY,
         Hold::Nobody, {kRefused}, Left::AsItWas},
    };
    return cases;
}

struct BoxLook {
    const wchar_t* buttons;
    const wchar_t* icon;
};

const std::map<std::wstring, BoxLook> kLooks = {
    {kConfirm, {L"OK Cancel", L"warning"}},
    {kNotNeeded, {L"OK", L"warning"}},
    {kSuccess, {L"OK", L"information"}},
    {kError, {L"OK", L"error"}},
};

int g_failures = 0;

void Fail(const std::wstring& what) {
    std::fwprintf(stderr, L"FAILED: %ls\n", what.c_str());
    ++g_failures;
}

void CheckBoxes(const InstallerRun& run, const Run& expected) {
    if (!run.problem.empty()) Fail(run.problem);
    if (run.exitCode != expected.exitCode) {
        Fail(L"exit code " + std::to_wstring(run.exitCode) + L", expected " + std::to_wstring(expected.exitCode));
    }
    if (run.boxes.size() != expected.texts.size()) {
        Fail(std::to_wstring(run.boxes.size()) + L" boxes, expected " + std::to_wstring(expected.texts.size()));
    }
    for (size_t i = 0; i < run.boxes.size() && i < expected.texts.size(); ++i) {
        const SeenBox& box = run.boxes[i];
        std::fwprintf(stderr, L"  box: \"%ls\" [%ls] icon %ls\n", box.text.c_str(), box.buttons.c_str(),
                      box.icon.empty() ? L"(not told)" : box.icon.c_str());
        if (box.text != expected.texts[i]) Fail(L"box said \"" + box.text + L"\", expected \"" + expected.texts[i] + L"\"");
        const auto look = kLooks.find(expected.texts[i]);
        if (look == kLooks.end()) continue;
        if (box.buttons != look->second.buttons) Fail(L"buttons " + box.buttons + L", expected " + look->second.buttons);
        if (!box.icon.empty() && box.icon != look->second.icon) Fail(L"icon " + box.icon + L", expected " + look->second.icon);
    }
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
    std::wstring caseName, installer, library, fixtures;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::wstring option = argv[i];
        if (option == L"--case") caseName = argv[i + 1];
        else if (option == L"--installer") installer = WindowsPath(argv[i + 1]);
        else if (option == L"--library") library = WindowsPath(argv[i + 1]);
        else if (option == L"--fixtures") fixtures = WindowsPath(argv[i + 1]);
    }
    const FlowCase* chosen = nullptr;
    for (const FlowCase& c : Cases()) {
        if (caseName == c.name) chosen = &c;
    }
    if (chosen == nullptr || installer.empty() || library.empty() || fixtures.empty()) {
        std::fwprintf(stderr, L"usage: installer_flow_test --case NAME --installer EXE --library DLL --fixtures DIR\n");
        return 2;
    }

    const std::wstring vendor = ProgramFilesFolder() + L"\\Quenford";
    const std::wstring folder = vendor + L"\\Borvanect";
    const std::wstring target = folder + L"\\ZELMORK.dll";

    // Arrange.
    RemoveTree(vendor);
    std::string before;
    DWORD attributesBefore = INVALID_FILE_ATTRIBUTES;
    if (chosen->setup != Setup::NoInstallation) {
        ::CreateDirectoryW(vendor.c_str(), nullptr);
        ::CreateDirectoryW(folder.c_str(), nullptr);
    }
    if (chosen->setup == Setup::DirectoryInstead) ::CreateDirectoryW(target.c_str(), nullptr);
    if (chosen->setup == Setup::Library) {
        const std::wstring fixture = fixtures + L"\\" + chosen->fixture;
        if (!::CopyFileW(fixture.c_str(), target.c_str(), FALSE)) {
            Fail(L"could not install " + fixture);
            return 1;
        }
        if (chosen->attributes != 0) ::SetFileAttributesW(target.c_str(), chosen->attributes);
        before = FileBytes(target);
    }
    attributesBefore = ::GetFileAttributesW(target.c_str());
    if (chosen->attributes != 0 && (attributesBefore & chosen->attributes) != chosen->attributes) {
        Fail(L"Wine did not keep the attributes the case needs");
        return 1;
    }
    HANDLE holder = INVALID_HANDLE_VALUE;
    HMODULE loaded = nullptr;
    if (chosen->hold == Hold::LoadedAsLibrary) {
        loaded = ::LoadLibraryW(target.c_str());
        if (loaded == nullptr) Fail(L"could not load the target as a library");
    } else if (chosen->hold != Hold::Nobody) {
        const DWORD share = chosen->hold == Hold::Exclusively ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        holder = ::CreateFileW(target.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (holder == INVALID_HANDLE_VALUE) Fail(L"could not hold the target open");
    }

    // Act.
    for (const Run& expected : chosen->runs) CheckBoxes(RunInstaller(installer, expected.answers, 60000), expected);
    if (holder != INVALID_HANDLE_VALUE) ::CloseHandle(holder);
    if (loaded != nullptr) ::FreeLibrary(loaded);

    // What is left at the target.
    const DWORD attributesAfter = ::GetFileAttributesW(target.c_str());
    if (chosen->setup == Setup::NoInstallation) {
        if (::GetFileAttributesW(vendor.c_str()) != INVALID_FILE_ATTRIBUTES) Fail(L"the installer created folders");
    } else {
        const std::vector<std::wstring> left = FolderEntries(folder);
        if (left.size() != 1 || left[0] != L"ZELMORK.dll") {
            std::wstring names;
            for (const std::wstring& name : left) names += L" " + name;
            Fail(L"the target's folder holds:" + names);
        }
    }
    if (chosen->left == Left::AsItWas) {
        if (attributesAfter != attributesBefore) Fail(L"the target's attributes changed");
        if (chosen->setup == Setup::Library && FileBytes(target) != before) Fail(L"the target's bytes changed");
    } else {
        if (FileBytes(target) != FileBytes(library)) Fail(L"the target is not the embedded library");
        // Wine reports a plain file as ARCHIVE; Windows may report either.
        if (attributesAfter != FILE_ATTRIBUTE_NORMAL && attributesAfter != FILE_ATTRIBUTE_ARCHIVE) {
            Fail(L"attributes after the patch: " + std::to_wstring(attributesAfter));
        }
        std::fwprintf(stderr, L"  attributes after the patch: 0x%lx\n", attributesAfter);
    }
    RemoveTree(vendor);

    std::fwprintf(stderr, L"%ls: %ls\n", chosen->name, g_failures == 0 ? L"passed" : L"FAILED");
    return g_failures == 0 ? 0 : 1;
}
