// Runs the real installer against prepared installations in the session's
// Program Files folder (ctest runs one case per process; they share that
// folder):
//
//   installer_flow_test --gtest_filter=CASE --installer=EXE --library=DLL --fixtures=DIR
//                       --planted=DLL --doctor=EXE
//
// Each case checks what the boxes said, the exit code, and what is left at
// the target: its bytes, its attributes, and nothing else in its folder.
// Before every confirmed run, zmk-doctor --patch foretells it: its exit code
// must be the installer's.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "installer_driver.h"
#include "installer_test_main.h"
#include "win32/unique_resource.h"

using namespace zmk::test;

namespace {

std::wstring g_installer, g_library, g_fixtures, g_planted, g_doctor;

const std::wstring kConfirm = L"Install Patch ?";
const std::wstring kNotNeeded = L"Install Patch Not Needed.";
const std::wstring kSuccess = L"Install Patch Success.";
const std::wstring kError = L"Install Patch Error.";

constexpr wchar_t kOldRelease[] = L"fixture_old_release.dll";

// The answers a run is given, and the boxes and exit code it must show.
struct ExpectedRun {
    std::vector<Answer> answers;
    std::vector<std::wstring> texts;
    DWORD exitCode;
};

const ExpectedRun kCancelled{{Answer::Cancel}, {kConfirm}, 2};
const ExpectedRun kRefused{{Answer::Ok, Answer::Ok}, {kConfirm, kError}, 1};
const ExpectedRun kNotNeededRun{{Answer::Ok, Answer::Ok}, {kConfirm, kNotNeeded}, 0};
const ExpectedRun kReplaced{{Answer::Ok, Answer::Ok}, {kConfirm, kSuccess}, 0};

struct BoxLook {
    std::wstring buttons;
    std::wstring icon;
};

const std::map<std::wstring, BoxLook> kLooks = {
    {kConfirm, {L"OK Cancel", L"warning"}},
    {kNotNeeded, {L"OK", L"warning"}},
    {kSuccess, {L"OK", L"information"}},
    {kError, {L"OK", L"error"}},
};

class Flow : public testing::Test {
protected:
    void SetUp() override { RemoveTree(vendor_); }
    void TearDown() override { RemoveTree(vendor_); }

    void MakeFolders() {
        ::CreateDirectoryW(vendor_.c_str(), nullptr);
        ::CreateDirectoryW(folder_.c_str(), nullptr);
    }

    testing::AssertionResult PlaceLibrary(const wchar_t* fixture, DWORD attributes = 0) {
        MakeFolders();
        const std::wstring source = g_fixtures + L"\\" + fixture;
        if (!::CopyFileW(source.c_str(), target_.c_str(), FALSE)) {
            return testing::AssertionFailure() << "could not install " << source;
        }
        if (attributes != 0) ::SetFileAttributesW(target_.c_str(), attributes);
        RememberTarget();
        if ((attributesBefore_ & attributes) != attributes) {
            return testing::AssertionFailure() << "Wine did not keep the attributes the case needs";
        }
        return testing::AssertionSuccess();
    }

    // What an untouched target must still be after the runs.
    void RememberTarget() {
        hadFolder_ = ::GetFileAttributesW(folder_.c_str()) != INVALID_FILE_ATTRIBUTES;
        attributesBefore_ = ::GetFileAttributesW(target_.c_str());
        bytesBefore_ = FileBytes(target_);
    }

    void Install(const ExpectedRun& expected, const std::wstring& installer = g_installer) {
        const bool confirmed = !expected.answers.empty() && expected.answers.front() == Answer::Ok;
        if (confirmed) foretold_ = RunCollectingOutput(L"\"" + g_doctor + L"\" --patch");
        if (confirmed) std::printf("%s", foretold_.output.c_str());
        const InstallerRun run = RunInstaller(installer, expected.answers, 60000);
        EXPECT_EQ(run.problem, L"");
        EXPECT_EQ(run.exitCode, expected.exitCode);
        if (confirmed) {
            EXPECT_TRUE(foretold_.started) << "zmk-doctor did not start";
            EXPECT_EQ(foretold_.exitCode, run.exitCode) << "zmk-doctor --patch foretold otherwise:\n" << foretold_.output;
        }
        EXPECT_EQ(run.boxes.size(), expected.texts.size());
        for (size_t i = 0; i < run.boxes.size() && i < expected.texts.size(); ++i) {
            const SeenBox& box = run.boxes[i];
            std::wprintf(L"  box: \"%ls\" [%ls] icon %ls\n", box.text.c_str(), box.buttons.c_str(),
                         box.icon.empty() ? L"(not told)" : box.icon.c_str());
            EXPECT_EQ(box.text, expected.texts[i]);
            const auto look = kLooks.find(expected.texts[i]);
            if (look == kLooks.end()) continue;
            EXPECT_EQ(box.buttons, look->second.buttons);
            if (!box.icon.empty()) {
                EXPECT_EQ(box.icon, look->second.icon);
            }
        }
    }

    // Nothing beside the target, and no folder made where there was none.
    void ExpectTargetAlone() {
        if (hadFolder_) {
            EXPECT_EQ(FolderEntries(folder_), std::vector<std::wstring>{L"ZELMORK.dll"}) << "the target's folder";
        } else {
            EXPECT_EQ(::GetFileAttributesW(vendor_.c_str()), INVALID_FILE_ATTRIBUTES)
                << "the installer created folders";
        }
    }

    void ExpectUntouched() {
        ExpectTargetAlone();
        EXPECT_EQ(::GetFileAttributesW(target_.c_str()), attributesBefore_) << "the target's attributes changed";
        EXPECT_TRUE(FileBytes(target_) == bytesBefore_) << "the target's bytes changed";
    }

    void ExpectPatched() {
        ExpectTargetAlone();
        EXPECT_TRUE(FileBytes(target_) == FileBytes(g_library)) << "the target is not the embedded library";
        // Wine reports a plain file as ARCHIVE; Windows may report either.
        const DWORD attributes = ::GetFileAttributesW(target_.c_str());
        EXPECT_TRUE(attributes == FILE_ATTRIBUTE_NORMAL || attributes == FILE_ATTRIBUTE_ARCHIVE)
            << "attributes after the patch: " << attributes;
        std::wprintf(L"  attributes after the patch: 0x%lx\n", attributes);
    }

    const std::wstring vendor_ = ProgramFilesFolder() + L"\\Quenford";
    const std::wstring folder_ = vendor_ + L"\\Borvanect";
    const std::wstring target_ = folder_ + L"\\ZELMORK.dll";
    bool hadFolder_ = false;
    DWORD attributesBefore_ = INVALID_FILE_ATTRIBUTES;
    std::string bytesBefore_;
    ProgramOutput foretold_;  // zmk-doctor --patch's, before the last confirmed run
};

TEST_F(Flow, CancelEndsWithCodeTwo) {
    ASSERT_TRUE(PlaceLibrary(kOldRelease));
    Install(kCancelled);
    ExpectUntouched();
}

TEST_F(Flow, ClosingTheConfirmationEndsWithCodeTwo) {
    ASSERT_TRUE(PlaceLibrary(kOldRelease));
    Install({{Answer::Close}, {kConfirm}, 2});
    ExpectUntouched();
}

TEST_F(Flow, NoInstallationIsAnError) {
    RememberTarget();
    Install(kRefused);
    ExpectUntouched();
}

TEST_F(Flow, DirectoryNamedLikeTheLibraryIsAnError) {
    MakeFolders();
    ::CreateDirectoryW(target_.c_str(), nullptr);
    RememberTarget();
    Install(kRefused);
    ExpectUntouched();
}

TEST_F(Flow, PatchedReleaseIsNotNeeded) {
    ASSERT_TRUE(PlaceLibrary(L"fixture_patched_release.dll"));
    Install(kNotNeededRun);
    ExpectUntouched();
}

TEST_F(Flow, OldReleaseIsReplacedThenNotNeeded) {
    ASSERT_TRUE(PlaceLibrary(kOldRelease));
    Install(kReplaced);
    Install(kNotNeededRun);
    ExpectPatched();
}

// Wine prefers its built-in version.dll to a file beside the program; for the
// installer (by its name) this gives version.dll the load order Windows has.
class NativeVersionDllFirst {
public:
    NativeVersionDllFirst() {
        const wchar_t order[] = L"native,builtin";
        set_ = ::RegSetKeyValueW(HKEY_CURRENT_USER, kKey, L"version", REG_SZ, order, sizeof order) == ERROR_SUCCESS;
    }
    ~NativeVersionDllFirst() { ::RegDeleteTreeW(HKEY_CURRENT_USER, kAppKey); ::RegDeleteKeyW(HKEY_CURRENT_USER, kAppKey); }
    NativeVersionDllFirst(const NativeVersionDllFirst&) = delete;
    NativeVersionDllFirst& operator=(const NativeVersionDllFirst&) = delete;
    explicit operator bool() const { return set_; }

private:
    static constexpr wchar_t kAppKey[] = L"Software\\Wine\\AppDefaults\\stelmorivax_x64.exe";
    static constexpr wchar_t kKey[] = L"Software\\Wine\\AppDefaults\\stelmorivax_x64.exe\\DllOverrides";
    bool set_ = false;
};

// Started from a folder that also holds a version.dll (a Downloads folder
// holds anything), the elevated installer never calls that file's code, and
// still patches.
TEST_F(Flow, VersionDllBesideTheInstallerIsNeverCalled) {
    ASSERT_TRUE(PlaceLibrary(kOldRelease));
    const std::wstring downloads = L"C:\\zmk-tests\\downloads";
    RemoveTree(downloads);
    ::CreateDirectoryW(L"C:\\zmk-tests", nullptr);
    ASSERT_TRUE(::CreateDirectoryW(downloads.c_str(), nullptr));
    const std::wstring installer = downloads + L"\\stelmorivax_x64.exe";
    ASSERT_TRUE(::CopyFileW(g_installer.c_str(), installer.c_str(), FALSE));
    ASSERT_TRUE(::CopyFileW(g_planted.c_str(), (downloads + L"\\version.dll").c_str(), FALSE));
    {
        const NativeVersionDllFirst nativeFirst;
        ASSERT_TRUE(nativeFirst);
        Install(kReplaced, installer);
    }
    EXPECT_EQ(::GetFileAttributesW((downloads + L"\\planted-version-called").c_str()), INVALID_FILE_ATTRIBUTES)
        << "the installer called the planted version.dll";
    ExpectPatched();
    RemoveTree(downloads);
}

// An installed library that is neither release 2.0.2.5 nor the patched one
// is refused and left as it was.
struct InstalledVersion {
    const char* name;
    const wchar_t* fixture;
};

void PrintTo(const InstalledVersion& version, std::ostream* out) { *out << version.name; }

class InstalledLibrary : public Flow, public testing::WithParamInterface<InstalledVersion> {};

TEST_P(InstalledLibrary, IsRefused) {
    ASSERT_TRUE(PlaceLibrary(GetParam().fixture));
    Install(kRefused);
    ExpectUntouched();
}

const InstalledVersion kRefusedVersions[] = {
    {"PatchedFileWithPatchedProduct", L"fixture_patched_product.dll"},
    {"OldFileWithPatchedProduct", L"fixture_product_2_0_2_51.dll"},
    {"File2_0_2_52", L"fixture_file_2_0_2_52.dll"},
    {"File2_0_2_50", L"fixture_file_2_0_2_50.dll"},
    {"File2_0_3_5", L"fixture_file_2_0_3_5.dll"},
    {"File2_1_2_5", L"fixture_file_2_1_2_5.dll"},
    {"LibraryWithoutVersion", L"fixture_no_version.dll"},
    {"DamagedVersion", L"fixture_damaged_version.dll"},
};

INSTANTIATE_TEST_SUITE_P(Flow, InstalledLibrary, testing::ValuesIn(kRefusedVersions),
                         testing::PrintToStringParamName());

// The old release that the installer must not replace: held open or loaded
// by someone else, or marked so that a plain write would fail or surprise.
enum class Hold { Nobody, Exclusively, WithFullSharing, LoadedAsLibrary };

struct Protection {
    const char* name;
    DWORD attributes;
    Hold hold;
};

void PrintTo(const Protection& protection, std::ostream* out) { *out << protection.name; }

class ProtectedTarget : public Flow, public testing::WithParamInterface<Protection> {};

TEST_P(ProtectedTarget, IsUntouched) {
    const Protection& protection = GetParam();
    ASSERT_TRUE(PlaceLibrary(kOldRelease, protection.attributes));
    zmk::UniqueModule loaded;
    zmk::UniqueFile held;
    if (protection.hold == Hold::LoadedAsLibrary) {
        loaded.reset(::LoadLibraryW(target_.c_str()));
        EXPECT_TRUE(loaded) << "could not load the target as a library";
    } else if (protection.hold != Hold::Nobody) {
        const DWORD share =
            protection.hold == Hold::Exclusively ? 0 : FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
        held.reset(::CreateFileW(target_.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr));
        EXPECT_TRUE(held) << "could not hold the target open";
    }
    Install(kRefused);
    // Let go first: an exclusive hold would keep the bytes from being read.
    held.reset();
    loaded.reset();
    ExpectUntouched();
    // The doctor names the process that has the library loaded: this one.
    if (protection.hold == Hold::LoadedAsLibrary) {
        EXPECT_NE(foretold_.output.find("installer_flow_test.exe"), std::string::npos) << foretold_.output;
    }
}

const Protection kProtections[] = {
    {"TargetHeldExclusively", 0, Hold::Exclusively},
    {"TargetHeldWithSharing", 0, Hold::WithFullSharing},
    {"TargetLoadedByARunningHost", 0, Hold::LoadedAsLibrary},
    {"HiddenTarget", FILE_ATTRIBUTE_HIDDEN, Hold::Nobody},
    {"SystemTarget", FILE_ATTRIBUTE_SYSTEM, Hold::Nobody},
    {"ReadOnlyTarget", FILE_ATTRIBUTE_READONLY, Hold::Nobody},
};

INSTANTIATE_TEST_SUITE_P(Flow, ProtectedTarget, testing::ValuesIn(kProtections), testing::PrintToStringParamName());

}  // namespace

int wmain(int argc, wchar_t** argv) {
    return RunInstallerTests(argc, argv,
                             {{L"installer", &g_installer},
                              {L"library", &g_library},
                              {L"fixtures", &g_fixtures},
                              {L"planted", &g_planted},
                              {L"doctor", &g_doctor}});
}
