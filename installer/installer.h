// The installer's steps, in the order the entry point runs them.
#pragma once

#include <windows.h>

#include "version_gate.h"

namespace zmk {

// Reads the fixed version block of the file at path; every failure is Unsupported.
VersionGate CheckInstalledVersion(const wchar_t* path) noexcept;

// Puts the embedded library, the resource payload of module, in place of the
// file at target. On failure the target is left as it was and nothing is left
// beside it.
bool WritePayload(const wchar_t* target, HMODULE module, HRSRC payload) noexcept;

}  // namespace zmk
