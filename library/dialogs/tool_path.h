// Where the vendor's diagnostic tool lies under the Program Files folder.
// No Windows header: the length rule is checked by native tests.
#pragma once

#include <cstddef>

namespace zmk {

inline constexpr char kDiagnosticToolSuffix[] = "\\Quenford\\Borvanect\\TRAVOLK.exe";
inline constexpr std::size_t kPathCapacity = 260;  // MAX_PATH, terminator included

// Writes folder + suffix into out. False, with out left empty, when the whole
// path and its terminator do not fit in kPathCapacity characters.
bool BuildDiagnosticToolPath(const char* folder, char (&out)[kPathCapacity]) noexcept;

}  // namespace zmk
