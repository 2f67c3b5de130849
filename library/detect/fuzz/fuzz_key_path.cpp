// Key paths of any text split without writing past the working copy; a root
// comes only with the text after the first backslash as its subkey.
#include <cstdlib>
#include <cstring>
#include <string>

#include "registry_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path(reinterpret_cast<const char*>(data), size);
    auto* subkey = new char[zmk::kKeyPathBufferSize];
    const zmk::PredefinedRoot root = zmk::SplitKeyPath(path.c_str(), subkey);
    if (subkey[zmk::kKeyPathBufferSize - 1] != '\0') std::abort();
    if (root != zmk::PredefinedRoot::None) {
        const char* text = path.c_str();
        const char* separator = std::strchr(text, '\\');
        if (separator == nullptr || std::strncmp(text, "HKEY_", 5) != 0 || std::strcmp(subkey, separator + 1) != 0)
            std::abort();
    }
    delete[] subkey;
    return 0;
}
