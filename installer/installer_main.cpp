#include <windows.h>

#include "installer.h"
#include "resource.h"
#include "target_checks.h"
#include "win32/stack_guard.h"
#include "win32/entry_point.h"

namespace zmk {
namespace {

constexpr wchar_t kCaption[] = L"stelmorivax_x64";
constexpr wchar_t kConfirmText[] = L"Install Patch ?";
constexpr wchar_t kNotNeededText[] = L"Install Patch Not Needed.";
constexpr wchar_t kSuccessText[] = L"Install Patch Success.";
constexpr wchar_t kErrorText[] = L"Install Patch Error.";

// The installer's exit codes: patched or nothing to do; an error; the user
// cancelled the confirmation.
constexpr int kExitDone = 0;
constexpr int kExitFailed = 1;
constexpr int kExitCancelled = 2;

int ShowFailure() noexcept {
    ::MessageBoxW(nullptr, kErrorText, kCaption, MB_OK | MB_ICONERROR);
    return kExitFailed;
}

// Every library loaded from here on, and every one that the system's own
// libraries load on the installer's behalf, comes from the system directory,
// never from the folder the elevated installer was started from. The call
// comes with Windows 8 (and an update of Windows 7); without it, version.dll
// is still loaded by its full path.
void RestrictLibrarySearch() noexcept {
    using SetDefaultDllDirectoriesFunction = BOOL(WINAPI*)(DWORD flags);
    const auto restrictSearch = ResolveEntryPoint<SetDefaultDllDirectoriesFunction>(
        ::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories");
    if (restrictSearch) restrictSearch(LOAD_LIBRARY_SEARCH_SYSTEM32);
}

}  // namespace

}  // namespace zmk

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/) {
    using namespace zmk;
    RestrictLibrarySearch();

    // A box that cannot be shown at all (no desktop, no display) is no
    // answer: Windows returns 0 for it and Wine the dialog manager's -1, where
    // every answer a person gives is a positive button id. Nobody confirmed,
    // so nothing is changed.
    const int confirmation = ::MessageBoxW(nullptr, kConfirmText, kCaption, MB_OKCANCEL | MB_ICONWARNING);
    if (confirmation <= 0) return ShowFailure();
    if (confirmation == IDCANCEL) return kExitCancelled;

    wchar_t target[MAX_PATH];
    if (!ComposeTargetPath(target)) return ShowFailure();
    if (!IsInstalledLibrary(::GetFileAttributesW(target))) return ShowFailure();

    switch (CheckInstalledVersion(target)) {
    case VersionGate::NeedsPatch:
        break;
    case VersionGate::AlreadyPatched:
        ::MessageBoxW(nullptr, kNotNeededText, kCaption, MB_OK | MB_ICONWARNING);
        return kExitDone;
    case VersionGate::Unsupported:
    default:
        return ShowFailure();
    }

    HRSRC payload = ::FindResourceW(instance, MAKEINTRESOURCEW(IDR_PAYLOAD), L"BINARY");
    if (payload == nullptr) return ShowFailure();
    if (!WritePayload(target, instance, payload)) return ShowFailure();

    ::MessageBoxW(nullptr, kSuccessText, kCaption, MB_OK | MB_ICONINFORMATION);
    return kExitDone;
}

// The C runtime's start-up for a wide-character Windows program, which calls
// wWinMain.
extern "C" int WinMainCRTStartup();

// The program's entry point: the stack protector's guard gets its value
// before the C runtime starts and calls into protected code. Only the
// runtime's TLS callbacks run earlier, and they call nothing of ours.
extern "C" __attribute__((no_stack_protector)) int InstallerEntryPoint() {
    zmk::SeedStackGuard();
    return WinMainCRTStartup();
}
