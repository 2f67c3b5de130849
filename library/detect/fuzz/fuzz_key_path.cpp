// Key paths of any text split without writing past the working copy.
#include <cstdlib>
#include <string>

#include "registry_path.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::string path(reinterpret_cast<const char*>(data), size);
    auto* subkey = new char[zmk::kKeyPathBufferSize];
    zmk::SplitKeyPath(path.c_str(), subkey);
    if (subkey[zmk::kKeyPathBufferSize - 1] != '\0') std::abort();
    delete[] subkey;
    return 0;
}
