#include "installer_module.h"

namespace zmk {
namespace {
HINSTANCE g_instance = nullptr;
}

HINSTANCE InstallerModule() noexcept { return g_instance; }
void SetInstallerModule(HINSTANCE module) noexcept { g_instance = module; }

}  // namespace zmk
