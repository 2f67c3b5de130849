#include "settings_step.h"

#include <windows.h>

#include <cstring>
#include <string>

#include "host_settings.h"
#include "registry_path.h"
#include "system_facts.h"
#include "win32/error_text.h"
#include "win32/text_encoding.h"
#include "win32/unique_resource.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

constexpr std::size_t kAddressEnd = 24;

const char* RegistryTypeName(unsigned long type) {
    switch (type) {
        case REG_NONE: return "REG_NONE";
        case REG_SZ: return "REG_SZ";
        case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
        case REG_BINARY: return "REG_BINARY";
        case REG_DWORD: return "REG_DWORD";
        case REG_MULTI_SZ: return "REG_MULTI_SZ";
        case REG_QWORD: return "REG_QWORD";
        default: return "another type";
    }
}

// The value as the registry holds it, in Unicode: shown beside what the
// library reads in the ANSI code page, never used to decide.
std::string FolderAsStored() {
    char subkey[kKeyPathBufferSize];
    SplitKeyPath(kHostKeyPath, subkey);
    const std::wstring key = WideFromCodePage(CP_ACP, subkey);
    wchar_t text[4096] = {};
    DWORD size = sizeof text - sizeof text[0];
    if (::RegGetValueW(HKEY_CURRENT_USER, key.c_str(), L"UserMainFolder", RRF_RT_REG_SZ, nullptr, text, &size) !=
        ERROR_SUCCESS) {
        return {};
    }
    return Utf8FromWide(text);
}

// The library's verdict on the registry value, in words.
void DescribeValue(Step& step, const FolderLookup& lookup, Findings& findings) {
    Say(step, "Registry key: %s", kHostKeyPath);
    step.facts["key"] = kHostKeyPath;
    step.facts["keyPresent"] = lookup.verdict != FolderVerdict::NoKey;
    Json value = Json::object();
    if (lookup.verdict == FolderVerdict::NoKey) {
        findings.settings = Findings::Settings::NoKey;
        Say(step, "  the key cannot be opened (%s): Borvanect has not run for this user, or runs as another user",
            ErrorText(static_cast<DWORD>(lookup.error)).c_str());
        step.facts["value"] = value;
        return;
    }
    value["present"] = lookup.verdict != FolderVerdict::NoValue;
    if (lookup.verdict == FolderVerdict::NoValue) {
        findings.settings = Findings::Settings::NoValue;
        Say(step, "  value \"UserMainFolder\": missing (%s)", ErrorText(static_cast<DWORD>(lookup.error)).c_str());
        step.facts["value"] = value;
        return;
    }
    value["type"] = RegistryTypeName(lookup.type);
    value["bytes"] = lookup.bytes;
    Say(step, "  value \"UserMainFolder\": present, %s, %lu bytes", RegistryTypeName(lookup.type), lookup.bytes);
    switch (lookup.verdict) {
        case FolderVerdict::TooLong:
            findings.settings = Findings::Settings::BadValue;
            Say(step, "  longer than the 4096 bytes the library reads: it counts as no folder");
            break;
        case FolderVerdict::NotRegSz:
            findings.settings = Findings::Settings::BadValue;
            Say(step, "  the library reads only REG_SZ: a %s value counts as no folder", RegistryTypeName(lookup.type));
            break;
        case FolderVerdict::Unterminated:
            findings.settings = Findings::Settings::BadValue;
            value["terminated"] = false;
            Say(step, "  the value fills all 4096 bytes without a terminator: refused");
            break;
        case FolderVerdict::NoRoom:
            findings.settings = Findings::Settings::FolderTooLong;
            value["characters"] = lookup.bytes - 1;
            Say(step, "  the text is %lu characters: more than the %zu a path can hold", lookup.bytes - 1,
                kSettingsPathSize - 1);
            break;
        case FolderVerdict::CloseFailed:
            findings.settings = Findings::Settings::BadValue;
            Say(step, "  read, but the key could not be closed: the library counts it as no folder");
            break;
        default: break;
    }
    step.facts["value"] = value;
}

// Why the library could not open or read the settings file, from the system's error.
std::string OpenFailure(DWORD error, const std::wstring& path, Findings& findings) {
    switch (error) {
        case ERROR_SHARING_VIOLATION: {
            findings.settings = Findings::Settings::Locked;
            std::vector<std::string> holders = FileHolders(path);
            findings.settingsHolders = holders;
            std::string words = "cannot be opened without sharing: ";
            if (holders.empty()) return words + "Borvanect or another program has it open";
            return words + Joined(holders, ", ") + (holders.size() == 1 ? " has" : " have") + " it open";
        }
        case ERROR_FILE_NOT_FOUND:
            findings.settings = Findings::Settings::NoFile;
            return "the file does not exist";
        case ERROR_PATH_NOT_FOUND:
            findings.settings = Findings::Settings::FolderMissing;
            return "its folder does not exist";
        case ERROR_ACCESS_DENIED:
            findings.settings = Findings::Settings::Unreadable;
            return "access is denied to this user";
        default:
            findings.settings = Findings::Settings::Unreadable;
            return "cannot be opened or read: " + ErrorText(error);
    }
}

}  // namespace

Step CheckHostSettings(SettingsOutcome& outcome, Findings& findings) {
    Step step{"host settings", "ok"};
    // The library's own steps decide; the doctor only says what they found.
    char path[kSettingsPathSize] = {};
    FolderLookup lookup;
    const bool pathFits = SettingsFilePath(path, lookup);
    DescribeValue(step, lookup, findings);
    if (lookup.verdict != FolderVerdict::Read) {
        step.verdict = "no folder";
        Say(step, "The library finds no user folder here: it sends no ArtPoll, and the network counts no interface.");
        return step;
    }
    // The folder the library read, without what it appended of the settings path.
    const std::string ansiPath(path, strnlen(path, sizeof path));
    std::string ansiFolder = ansiPath;
    for (const char* suffix : {"\\Pelvaro.bin", "\\System\\ApplData"}) {
        const std::size_t length = std::strlen(suffix);
        if (ansiFolder.size() >= length && ansiFolder.compare(ansiFolder.size() - length, length, suffix) == 0)
            ansiFolder.resize(ansiFolder.size() - length);
    }
    const std::string folder = Utf8FromAnsi(ansiFolder);
    step.facts["folder"] = Given(folder);
    Say(step, "User folder: \"%s\"", Given(folder).c_str());

    // A folder with characters the ANSI code page cannot hold reaches the
    // library as '?', which names no folder.
    const std::string stored = FolderAsStored();
    const bool lost = !stored.empty() && stored != folder;
    if (lost) {
        findings.settings = Findings::Settings::FolderNotInCodePage;
        findings.codePage = ::GetACP();
        step.facts["folderAsStored"] = Given(stored);
        step.facts["codePage"] = findings.codePage;
        Say(step, "  the registry holds \"%s\": characters that code page %u, this Windows' code page for "
                  "programs that are not Unicode, cannot hold; the library reads the value in that code page",
            Given(stored).c_str(), findings.codePage);
    }
    if (!pathFits) {
        step.verdict = "path too long";
        findings.settings = Findings::Settings::FolderTooLong;
        Say(step, "The folder and \"\\System\\ApplData\\Pelvaro.bin\" make a path longer than %zu characters: the "
                  "library stops here, before anything is sent.", kSettingsPathSize - 1);
        return step;
    }
    const std::string settingsPath = Utf8FromAnsi(ansiPath);
    step.facts["path"] = Given(settingsPath);
    Say(step, "Settings file: %s", Given(settingsPath).c_str());

    // The file as the registry names it, for the size and who holds it.
    const std::wstring widePath = WideFromUtf8(lost ? stored + "\\System\\ApplData\\Pelvaro.bin" : settingsPath);
    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    bool exists = ::GetFileAttributesExW(widePath.c_str(), GetFileExInfoStandard, &attributes) != FALSE;
    ULONGLONG size = static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
    step.facts["exists"] = exists;
    if (exists) {
        step.facts["size"] = size;
        Say(step, lost ? "  exists under the folder the registry holds, %llu bytes" : "  exists, %llu bytes", size);
    }

    std::uint8_t block[kSettingsBlockSize];
    if (!ReadSettingsBlock(path, block)) {
        DWORD error = ::GetLastError();
        std::string why = OpenFailure(error, widePath, findings);
        step.facts["openError"] = error;
        if (lost) {
            findings.settings = Findings::Settings::FolderNotInCodePage;
            step.verdict = "folder outside the code page";
            Say(step, "  the library opens the path as it reads it, with '?' for those characters: %s",
                ErrorText(error).c_str());
        } else {
            step.verdict = error == ERROR_SHARING_VIOLATION  ? "locked"
                           : error == ERROR_PATH_NOT_FOUND   ? "folder missing"
                           : error == ERROR_FILE_NOT_FOUND   ? "no settings file"
                                                             : "unreadable";
            Say(step, "  %s", why.c_str());
        }
        Say(step, "The library stops here: no ArtPoll is sent, the network counts no interface.");
        return step;
    }
    Say(step, "  opens without sharing and reads");

    outcome.addressRead = true;
    outcome.configured = NodeAddressFromSettings(block, sizeof block);
    findings.settings = Findings::Settings::Read;
    findings.configured = outcome.configured;
    std::string address = DottedText(outcome.configured);
    step.facts["addressBytes"] = HexBytes(block + 20, 4);
    step.facts["address"] = address;
    Say(step, "Node address: bytes 20 to 23 are %s: %s", HexBytes(block + 20, 4).c_str(), address.c_str());
    if (exists && size < kAddressEnd) {
        Say(step, "  the file has only %llu bytes: the address bytes it lacks read as 0", size);
        step.facts["short"] = true;
    }
    std::string odd = OddAddress(outcome.configured, HostDirectedBroadcasts());
    if (!odd.empty()) {
        step.verdict = "odd address";
        step.facts["odd"] = odd;
        findings.oddAddress = odd;
        Say(step, "  %s", odd.c_str());
    }
    return step;
}

}  // namespace zmk::doctor
