// The installer's own module, from which the payload is loaded. Stored first
// thing at entry.
#pragma once

#include <windows.h>

namespace zmk {

HINSTANCE InstallerModule() noexcept;
void SetInstallerModule(HINSTANCE module) noexcept;

}  // namespace zmk
