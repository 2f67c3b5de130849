#include "patch_step.h"

#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <string>
#include <vector>

#include "findings.h"
#include "report.h"
#include "system_facts.h"
#include "target_checks.h"
#include "version_gate.h"
#include "win32/file_version.h"
#include "win32/text_encoding.h"
#include "win32/unique_resource.h"
#include "zmk_version.h"

namespace zmk::doctor {
namespace {

constexpr int kWouldPatch = 0;
constexpr int kWouldFail = 1;

// Toolhelp snapshots: empty as INVALID_HANDLE_VALUE, closed with CloseHandle.
using UniqueSnapshot = UniqueResource<InvalidHandleTraits<::CloseHandle>>;

// What the installer would do, and what a person should do about it.
struct Prediction {
    int exitCode;
    std::string outcome;
    std::string next;
};

struct Blocker {
    std::string reason;
    std::string remedy;
};

std::string AttributeNames(DWORD attributes) {
    static const struct {
        DWORD bit;
        const char* name;
    } names[] = {{FILE_ATTRIBUTE_READONLY, "read-only"}, {FILE_ATTRIBUTE_HIDDEN, "hidden"},
                 {FILE_ATTRIBUTE_SYSTEM, "system"},      {FILE_ATTRIBUTE_ARCHIVE, "archive"},
                 {FILE_ATTRIBUTE_NORMAL, "normal"}};
    std::string text;
    for (const auto& name : names) {
        if (attributes & name.bit) text += std::string(text.empty() ? "" : ", ") + name.name;
    }
    return text.empty() ? "none" : text;
}

// The processes that have the file at path loaded as a module: "1234
// (Borvanect.exe)". Only those whose modules the system lets this user list.
std::vector<std::string> ProcessesWithModule(const wchar_t* path) {
    std::vector<std::string> holders;
    UniqueSnapshot processes(::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0));
    if (!processes) return holders;
    PROCESSENTRY32W process = {};
    process.dwSize = sizeof process;
    for (BOOL more = ::Process32FirstW(processes.get(), &process); more;
         more = ::Process32NextW(processes.get(), &process)) {
        if (process.th32ProcessID == ::GetCurrentProcessId()) continue;
        UniqueSnapshot modules(::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process.th32ProcessID));
        if (!modules) continue;
        MODULEENTRY32W module = {};
        module.dwSize = sizeof module;
        for (BOOL found = ::Module32FirstW(modules.get(), &module); found;
             found = ::Module32NextW(modules.get(), &module)) {
            if (::CompareStringOrdinal(module.szExePath, -1, path, -1, TRUE) != CSTR_EQUAL) continue;
            holders.push_back(Format("%lu (%s)", process.th32ProcessID, Utf8FromWide(process.szExeFile).c_str()));
            break;
        }
    }
    return holders;
}

// Another process has the file open and lets nobody else read it.
bool HeldWithoutSharing(const wchar_t* path) {
    const UniqueFile file(::CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    return !file && ::GetLastError() == ERROR_SHARING_VIOLATION;
}

// Why the target cannot be opened as the installer's writer opens it, or
// ERROR_SUCCESS; the handle is closed at once, nothing written.
DWORD ExclusiveOpenError(const wchar_t* target) {
    const UniqueFile exclusive = OpenTargetExclusively(target);
    return exclusive ? ERROR_SUCCESS : ::GetLastError();
}

// Why no handle that may add and delete files in folder can be had (what the
// installer's temporary file and its rename need), or ERROR_SUCCESS. Nothing
// is created.
DWORD FolderWriteError(const wchar_t* folder) {
    const UniqueFile directory(::CreateFileW(folder, FILE_ADD_FILE | FILE_DELETE_CHILD,
                                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                             OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    return directory ? ERROR_SUCCESS : ::GetLastError();
}

// The doctor runs with an administrator's full rights, as the installer does.
bool RunsElevated() {
    HANDLE token = nullptr;
    if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    const UniqueHandle owned(token);
    TOKEN_ELEVATION elevation = {};
    DWORD size = 0;
    return ::GetTokenInformation(token, TokenElevation, &elevation, sizeof elevation, &size) && elevation.TokenIsElevated;
}

Prediction Fails(const std::string& reason, const std::string& remedy) {
    return {kWouldFail, "end with \"Install Patch Error.\" (exit code 1) and change nothing: " + reason, remedy};
}

// The installer's steps, in its order, each checked by the installer's own
// function, up to the first that decides.
Prediction Predict(std::string& text) {
    wchar_t target[MAX_PATH];
    if (!ComposeTargetPath(target)) {
        text += "Library: its path cannot be made (the Program Files folder is unknown, or too long for "
                "\\Quenford\\Borvanect\\ZELMORK.dll in 259 characters)\n";
        return Fails("it cannot make the library's path", "install Borvanect in a Program Files folder with a shorter path");
    }
    text += "Library: " + Utf8FromWide(target) + "\n";
    const DWORD attributes = ::GetFileAttributesW(target);
    if (!IsInstalledLibrary(attributes)) {
        text += attributes == INVALID_FILE_ATTRIBUTES ? "  not there (" + ErrorText(::GetLastError()) + ")\n"
                                                      : std::string("  a folder of that name, not a file\n");
        return Fails("Borvanect's library is not where the installer looks",
                     "install Borvanect " ZMK_OLD_RELEASE_TEXT " first, or run the installer on the computer where it is installed");
    }
    text += "  a file, attributes " + AttributeNames(attributes) + "\n";

    VS_FIXEDFILEINFO fixed = {};
    const bool readable = ReadFixedFileVersion(target, fixed);
    if (readable) {
        text += "  file version " + VersionText(fixed.dwFileVersionMS, fixed.dwFileVersionLS) + ", product version " +
                VersionText(fixed.dwProductVersionMS, fixed.dwProductVersionLS) + "\n";
    } else if (HeldWithoutSharing(target)) {
        text += "  its version cannot be read: another program holds it open without sharing\n";
        return Fails("another program holds the library open, so that its version cannot be read",
                     "close the program that holds it, Borvanect first; then run the installer again");
    } else {
        text += "  no readable version resource\n";
    }
    const VersionGate gate = readable ? ClassifyInstalledVersion(fixed.dwProductVersionMS, fixed.dwProductVersionLS,
                                                                 fixed.dwFileVersionMS, fixed.dwFileVersionLS)
                                      : VersionGate::Unsupported;
    switch (gate) {
    case VersionGate::AlreadyPatched:
        text += "Version gate: AlreadyPatched: this is release " ZMK_LIBRARY_VERSION_TEXT ", which the installer carries\n";
        return {kWouldPatch, "show \"Install Patch Not Needed.\" (exit code 0) and change nothing",
                "nothing: the patch is in place"};
    case VersionGate::NeedsPatch:
        text += "Version gate: NeedsPatch: release " ZMK_OLD_RELEASE_TEXT ", the one the installer patches\n";
        break;
    case VersionGate::Unsupported:
    default:
        text += "Version gate: Unsupported: the installer patches only file version " ZMK_OLD_RELEASE_TEXT
                " of product version " ZMK_OLD_RELEASE_TEXT "\n";
        return Fails("this is not the release it patches",
                     "leave this library as it is: the patch is for Borvanect " ZMK_OLD_RELEASE_TEXT " only");
    }

    // From here on every check is made and said, so that one visit finds all
    // there is to mend; the first the installer meets decides.
    std::vector<Blocker> blockers;
    if (attributes & kRefusedAttributes) {
        const std::string refused = AttributeNames(attributes & kRefusedAttributes);
        text += "Attributes: " + refused + ": the installer does not replace such a file\n";
        blockers.push_back({"the library is marked " + refused, "clear its attributes (attrib -r -h -s \"" + Utf8FromWide(target) + "\")"});
    }

    // What this user may do in the folder tells whether the answers below
    // are an administrator's, as the installer runs.
    wchar_t folder[MAX_PATH];
    const bool folderFits = TargetFolder(target, folder);
    const DWORD folderError = folderFits ? FolderWriteError(folder) : ERROR_SUCCESS;
    const bool asAdministrator = RunsElevated() || (folderFits && folderError == ERROR_SUCCESS);
    const char* kAskAnAdministrator = "only zmk-doctor --patch run as administrator can tell";

    // The processes are looked into only when the installer's own open does
    // not show that none holds the library.
    const DWORD openError = ExclusiveOpenError(target);
    const std::vector<std::string> holders =
        openError == ERROR_SUCCESS ? std::vector<std::string>() : ProcessesWithModule(target);
    if (!holders.empty()) {
        text += "In use: loaded by process " + Joined(holders, ", process ") + "\n";
        blockers.push_back({"another program has the library loaded", "close process " + Joined(holders, ", process ")});
    } else if (openError == ERROR_SHARING_VIOLATION) {
        text += "In use: another program holds it open (" + ErrorText(openError) + ")\n";
        blockers.push_back({"another program holds the library open", "close the program that holds it, Borvanect first"});
    } else if (openError == ERROR_SUCCESS) {
        text += "In use: no (opened for writing as the installer opens it, and closed unwritten)\n";
    } else if (!asAdministrator) {
        text += std::string("In use: not loaded by any process this user may look into; whether another program holds it "
                            "open, ") + kAskAnAdministrator + "\n";
    } else if (attributes & kRefusedAttributes) {
        text += "In use: not loaded; it cannot be opened for writing while it is " +
                AttributeNames(attributes & kRefusedAttributes) + "\n";
    } else {
        text += "In use: it cannot be opened for writing (" + ErrorText(openError) + ")\n";
        blockers.push_back({"the library cannot be opened for writing", "see why above"});
    }

    if (!folderFits) {
        text += "Folder: its path is too long for the installer's temporary file beside the library\n";
        blockers.push_back({"the folder's path is too long", "install Borvanect in a folder with a shorter path"});
    } else {
        std::vector<std::string> leftovers;
        ForEachStagedFile(
            folder, [](const wchar_t* path, void* list) { static_cast<std::vector<std::string>*>(list)->push_back(Utf8FromWide(path)); },
            &leftovers);
        for (const std::string& leftover : leftovers) {
            text += "Leftover: " + leftover + ", the temporary file of an interrupted run: the installer removes it first\n";
        }
        if (folderError == ERROR_SUCCESS) {
            text += "Folder: files may be created and replaced in it\n";
        } else if (!asAdministrator) {
            text += std::string("Folder: this user may not create files in it; whether an administrator may, ") +
                    kAskAnAdministrator + "\n";
        } else {
            text += "Folder: files may not be created in it (" + ErrorText(folderError) + ")\n";
            blockers.push_back({"no file may be created in the library's folder",
                                "give administrators write permission on " + Utf8FromWide(folder)});
        }
    }

    if (!blockers.empty()) {
        std::vector<std::string> remedies;
        for (const Blocker& blocker : blockers) remedies.push_back(blocker.remedy);
        return Fails(blockers.front().reason, Joined(remedies, "; ") + "; then run the installer again");
    }
    if (!asAdministrator) {
        return {kWouldPatch,
                std::string("patch (\"Install Patch Success.\", exit code 0), unless another program holds the library "
                            "open or its folder is closed to administrators: ") + kAskAnAdministrator,
                "close Borvanect, then run the installer and confirm"};
    }
    return {kWouldPatch, "patch (\"Install Patch Success.\", exit code 0)", "run the installer and confirm"};
}

}  // namespace

int ExplainPatch() {
    std::string text = "zmk-doctor " ZMK_DOCTOR_VERSION_TEXT ": what stelmorivax_x64.exe, the installer of ZELMORK.dll "
                       ZMK_LIBRARY_VERSION_TEXT ", would do on this computer\n\n";
    const Prediction prediction = Predict(text);
    text += "\nThe installer would " + prediction.outcome + ".\n";
    text += "What to do: " + prediction.next + ".\n";
    WriteOut(STD_OUTPUT_HANDLE, text);
    return prediction.exitCode;
}

}  // namespace zmk::doctor
