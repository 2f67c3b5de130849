#include "module_handle.h"

namespace zmk {
namespace {
HINSTANCE g_module = nullptr;
}

HINSTANCE LibraryModule() noexcept { return g_module; }
void SetLibraryModule(HINSTANCE module) noexcept { g_module = module; }

}  // namespace zmk
