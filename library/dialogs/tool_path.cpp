#include "tool_path.h"

#include "bounded_text.h"

namespace zmk {

bool BuildDiagnosticToolPath(const char* folder, char (&out)[kPathCapacity]) noexcept {
    if (AssignText(out, folder) && AppendText(out, kDiagnosticToolSuffix)) return true;
    out[0] = '\0';
    return false;
}

}  // namespace zmk
