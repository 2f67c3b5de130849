// zmk-doctor --patch: what the installer stelmorivax_x64.exe would do on this
// computer, and why, told by the installer's own code (its target path, its
// version gate, its checks on the library and its folder).
#pragma once

namespace zmk::doctor {

// Prints the report to standard output; returns 0 when the installer would
// patch or find nothing to do, 1 when it would end with its error.
int ExplainPatch();

}  // namespace zmk::doctor
