#include "registry_path.h"

#include <cstring>

namespace zmk {
namespace {

struct RootName {
    const char* name;
    PredefinedRoot root;
};

// Compared in this order; HKEY_PERFORMANCE_DATA and the like are not roots here.
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", PredefinedRoot::ClassesRoot},
    {"HKEY_CURRENT_USER", PredefinedRoot::CurrentUser},
    {"HKEY_LOCAL_MACHINE", PredefinedRoot::LocalMachine},
    {"HKEY_USERS", PredefinedRoot::Users},
    {"HKEY_CURRENT_CONFIG", PredefinedRoot::CurrentConfig},
};

}  // namespace

PredefinedRoot SplitKeyPath(const char* path, char* subkey) noexcept {
    std::memset(subkey, 0, kKeyPathBufferSize);
    std::size_t length = std::strlen(path);
    const char* separator = static_cast<const char*>(std::memchr(path, '\\', length));
    if (length >= kKeyPathBufferSize || separator == nullptr) return PredefinedRoot::None;

    char rootName[kKeyPathBufferSize] = {};
    std::memcpy(rootName, path, static_cast<std::size_t>(separator - path));
    std::memcpy(subkey, separator + 1, length - static_cast<std::size_t>(separator - path));

    for (const RootName& candidate : kRootNames) {
        if (std::strcmp(rootName, candidate.name) == 0) return candidate.root;
    }
    return PredefinedRoot::None;
}

}  // namespace zmk
