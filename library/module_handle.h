// The library's own module, from which every dialog template and bitmap is
// loaded. Set once by the entry point when the process attaches.
#pragma once

#include <windows.h>

namespace zmk {

HINSTANCE LibraryModule() noexcept;
void SetLibraryModule(HINSTANCE module) noexcept;

}  // namespace zmk
