#include "host_settings.h"

#include <windows.h>

#include <cstring>

#include "bounded_text.h"
#include "registry_path.h"
#include "win32/unique_resource.h"

namespace zmk {
namespace {

constexpr DWORD kValueBufferSize = 4096;

HKEY PredefinedKey(PredefinedRoot root) noexcept {
    switch (root) {
    case PredefinedRoot::ClassesRoot: return HKEY_CLASSES_ROOT;
    case PredefinedRoot::CurrentUser: return HKEY_CURRENT_USER;
    case PredefinedRoot::LocalMachine: return HKEY_LOCAL_MACHINE;
    case PredefinedRoot::Users: return HKEY_USERS;
    case PredefinedRoot::CurrentConfig: return HKEY_CURRENT_CONFIG;
    case PredefinedRoot::None: break;
    }
    return nullptr;
}

}  // namespace

void LookUpUserMainFolder(char* folder, std::size_t capacity, FolderLookup& lookup) noexcept {
    lookup = FolderLookup{};
    char subkey[kKeyPathBufferSize];
    HKEY root = PredefinedKey(SplitKeyPath(kHostKeyPath, subkey));

    UniqueRegKey key;
    lookup.error = ::RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, key.put());
    if (lookup.error != ERROR_SUCCESS) return;

    char value[kValueBufferSize] = {};
    DWORD type = 0;
    DWORD size = kValueBufferSize;
    lookup.error = ::RegQueryValueExA(key.get(), "UserMainFolder", nullptr, &type,
                                      reinterpret_cast<BYTE*>(value), &size);
    lookup.type = type;
    lookup.bytes = size;
    if (lookup.error != ERROR_SUCCESS) {
        lookup.verdict = lookup.error == ERROR_MORE_DATA ? FolderVerdict::TooLong : FolderVerdict::NoValue;
        return;
    }
    lookup.verdict = FolderVerdict::NotRegSz;
    if (type != REG_SZ) return;

    // A value that fills the whole buffer without a terminator is refused
    // rather than read past; so is a text the caller has no room for.
    lookup.verdict = FolderVerdict::Unterminated;
    const void* terminator = std::memchr(value, '\0', sizeof value);
    if (terminator == nullptr) return;
    lookup.verdict = FolderVerdict::NoRoom;
    std::size_t length = static_cast<std::size_t>(static_cast<const char*>(terminator) - value);
    if (length >= capacity) return;
    std::memcpy(folder, value, length + 1);

    lookup.verdict = ::RegCloseKey(key.release()) == ERROR_SUCCESS ? FolderVerdict::Read : FolderVerdict::CloseFailed;
}

bool SettingsFilePath(char (&path)[kSettingsPathSize], FolderLookup& lookup) noexcept {
    // MAX_PATH as for every path of the library: a folder that leaves no room
    // for the settings file's name ends the probe before anything is sent.
    static_assert(kSettingsPathSize == MAX_PATH);
    path[0] = '\0';
    LookUpUserMainFolder(path, sizeof path, lookup);
    if (lookup.verdict != FolderVerdict::Read) return false;
    return AppendText(path, "\\System\\ApplData") && AppendText(path, "\\Pelvaro.bin");
}

bool ReadSettingsBlock(const char* path, std::uint8_t (&block)[kSettingsBlockSize]) noexcept {
    std::memset(block, 0, sizeof block);
    // No sharing: a file the host is writing at this moment is not read half-done.
    UniqueFile file(::CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return false;
    DWORD read = 0;
    if (!::ReadFile(file.get(), block, sizeof block, &read, nullptr)) return false;
    return ::CloseHandle(file.release()) != FALSE;
}

}  // namespace zmk
