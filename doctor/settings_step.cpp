#include "settings_step.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "artnet_probe.h"
#include "host_settings.h"
#include "registry_path.h"
#include "system_facts.h"
#include "win32/unique_resource.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

constexpr DWORD kValueLimit = 4096;  // what the library's query reads
constexpr std::size_t kAddressEnd = 24;

const char* RegistryTypeName(DWORD type) {
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

// The facts behind the library's one answer about the value: they explain
// a refusal, the library's own read decides it.
void DescribeValue(Step& step, Json& value) {
    char subkey[kKeyPathBufferSize];
    SplitKeyPath(kHostKeyPath, subkey);
    Say(step, "Registry key: %s", kHostKeyPath);
    step.facts["key"] = AnsiToUtf8(kHostKeyPath);
    HKEY opened = nullptr;
    LONG open = ::RegOpenKeyExA(HKEY_CURRENT_USER, subkey, 0, KEY_QUERY_VALUE, &opened);
    step.facts["keyPresent"] = open == ERROR_SUCCESS;
    if (open != ERROR_SUCCESS) {
        Say(step, "  the key cannot be opened (%s): Borvanect has not run for this user, or runs as another user",
            ErrorText(static_cast<DWORD>(open)).c_str());
        return;
    }
    UniqueRegKey key(opened);
    DWORD type = 0;
    DWORD size = 0;
    LONG query = ::RegQueryValueExA(key.get(), "UserMainFolder", nullptr, &type, nullptr, &size);
    value["present"] = query == ERROR_SUCCESS;
    if (query != ERROR_SUCCESS) {
        Say(step, "  value \"UserMainFolder\": missing (%s)", ErrorText(static_cast<DWORD>(query)).c_str());
        return;
    }
    value["type"] = RegistryTypeName(type);
    value["bytes"] = size;
    Say(step, "  value \"UserMainFolder\": present, %s, %lu bytes", RegistryTypeName(type), size);
    if (type != REG_SZ) {
        Say(step, "  the library reads only REG_SZ: a %s value counts as no folder", RegistryTypeName(type));
    }
    if (size > kValueLimit) {
        Say(step, "  longer than the %lu bytes the library reads: it counts as no folder", kValueLimit);
        return;
    }
    std::unique_ptr<char[]> text(new char[kValueLimit]());
    DWORD read = kValueLimit;
    if (::RegQueryValueExA(key.get(), "UserMainFolder", nullptr, &type, reinterpret_cast<BYTE*>(text.get()), &read) ==
        ERROR_SUCCESS) {
        bool terminated = std::memchr(text.get(), '\0', read) != nullptr || read < kValueLimit;
        value["terminated"] = terminated;
        if (!terminated) Say(step, "  the value fills all %lu bytes without a terminator: refused", kValueLimit);
        std::size_t length = strnlen(text.get(), kValueLimit);
        value["characters"] = length;
        if (length >= kSettingsPathSize) {
            Say(step, "  the text is %zu characters: more than the %zu a path can hold", length, kSettingsPathSize - 1);
        }
    }
}

// Why the library could not open or read the settings file, from the system's error.
std::string OpenFailure(DWORD error) {
    switch (error) {
        case ERROR_SHARING_VIOLATION:
            return "Borvanect or another program has it open (the library opens it without sharing)";
        case ERROR_FILE_NOT_FOUND: return "the file does not exist";
        case ERROR_PATH_NOT_FOUND: return "its folder does not exist";
        case ERROR_ACCESS_DENIED: return "access is denied to this user";
        default: return ErrorText(error);
    }
}

}  // namespace

Step CheckHostSettings(SettingsOutcome& outcome) {
    Step step{"host settings", "ok"};
    Json value = Json::object();
    DescribeValue(step, value);
    step.facts["value"] = value;

    // The library's own steps decide; the facts above only explain them.
    char folder[kSettingsPathSize] = {};
    if (!ReadUserMainFolder(folder, sizeof folder)) {
        step.verdict = "no folder";
        Say(step, "The library finds no user folder here: it sends no ArtPoll, and the network counts no interface.");
        return step;
    }
    step.facts["folder"] = AnsiToUtf8(folder);
    Say(step, "User folder: \"%s\"", folder);
    char path[kSettingsPathSize] = {};
    if (!SettingsFilePath(path)) {
        step.verdict = "path too long";
        Say(step, "The folder and \"\\System\\ApplData\\Pelvaro.bin\" make a path longer than %zu characters: the "
                  "library stops here, before anything is sent.", kSettingsPathSize - 1);
        return step;
    }
    step.facts["path"] = AnsiToUtf8(path);
    Say(step, "Settings file: %s", path);

    WIN32_FILE_ATTRIBUTE_DATA attributes = {};
    bool exists = ::GetFileAttributesExA(path, GetFileExInfoStandard, &attributes) != FALSE;
    ULONGLONG size = static_cast<ULONGLONG>(attributes.nFileSizeHigh) << 32 | attributes.nFileSizeLow;
    step.facts["exists"] = exists;
    if (exists) {
        step.facts["size"] = size;
        Say(step, "  exists, %llu bytes", size);
    }

    std::uint8_t block[kSettingsBlockSize];
    if (!ReadSettingsBlock(path, block)) {
        DWORD error = ::GetLastError();
        step.verdict = error == ERROR_SHARING_VIOLATION ? "locked" : exists ? "unreadable" : "no settings file";
        step.facts["openError"] = error;
        Say(step, "  cannot be opened without sharing: %s", OpenFailure(error).c_str());
        Say(step, "The library stops here: no ArtPoll is sent, the network counts no interface.");
        return step;
    }
    Say(step, "  opens without sharing and reads");

    outcome.addressRead = true;
    outcome.configured = NodeAddressFromSettings(block, sizeof block);
    std::string address = DottedText(outcome.configured);
    step.facts["addressBytes"] = HexBytes(block + 20, 4);
    step.facts["address"] = address;
    Say(step, "Node address: bytes 20 to 23 are %s: %s", HexBytes(block + 20, 4).c_str(), address.c_str());
    if (exists && size < kAddressEnd) {
        Say(step, "  the file has only %llu bytes: the address bytes it lacks read as 0", size);
        step.facts["short"] = true;
    }
    std::string odd = OddAddress(outcome.configured);
    if (!odd.empty()) {
        step.verdict = "odd address";
        step.facts["odd"] = odd;
        Say(step, "  %s", odd.c_str());
    }
    return step;
}

}  // namespace zmk::doctor
