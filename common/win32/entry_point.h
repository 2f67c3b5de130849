// Entry points of a library loaded at run time, looked up by name.
#pragma once

#include <windows.h>

namespace zmk {

// Cast through void* to the entry point's own type, as GetProcAddress's
// generic FARPROC may not be cast to a function type directly.
template <typename Function>
Function ResolveEntryPoint(HMODULE module, const char* name) noexcept {
    return reinterpret_cast<Function>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

}  // namespace zmk
