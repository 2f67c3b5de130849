#include "host_settings.h"

#include <windows.h>

#include <cstring>

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

int ReadUserMainFolder(char* folder, std::size_t capacity) noexcept {
    char subkey[kKeyPathBufferSize];
    HKEY root = PredefinedKey(SplitKeyPath(kHostKeyPath, subkey));

    HKEY opened = nullptr;
    if (::RegOpenKeyExA(root, subkey, 0, KEY_QUERY_VALUE, &opened) != ERROR_SUCCESS) return 0;
    UniqueRegKey key(opened);

    char value[kValueBufferSize] = {};
    DWORD type = 0;
    DWORD size = kValueBufferSize;
    LONG query = ::RegQueryValueExA(key.get(), "UserMainFolder", nullptr, &type,
                                    reinterpret_cast<BYTE*>(value), &size);
    if (query != ERROR_SUCCESS || type != REG_SZ) return 0;

    // A value that fills the whole buffer without a terminator is refused
    // rather than read past; so is a text the caller has no room for.
    const void* terminator = std::memchr(value, '\0', sizeof value);
    if (terminator == nullptr) return 0;
    std::size_t length = static_cast<std::size_t>(static_cast<const char*>(terminator) - value);
    if (length >= capacity) return 0;
    std::memcpy(folder, value, length + 1);

    return ::RegCloseKey(key.release()) == ERROR_SUCCESS ? 1 : 0;
}

}  // namespace zmk
