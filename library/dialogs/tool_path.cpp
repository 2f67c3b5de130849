#include "tool_path.h"

#include <cstring>

namespace zmk {

bool BuildDiagnosticToolPath(const char* folder, char (&out)[kPathCapacity]) noexcept {
    out[0] = '\0';
    const std::size_t folderLength = strnlen(folder, kPathCapacity);
    const std::size_t suffixLength = sizeof(kDiagnosticToolSuffix) - 1;
    if (folderLength + suffixLength >= kPathCapacity) return false;
    std::memcpy(out, folder, folderLength);
    std::memcpy(out + folderLength, kDiagnosticToolSuffix, suffixLength + 1);
    return true;
}

}  // namespace zmk
