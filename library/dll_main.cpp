// The library's start-up: its own entry point (linked without the C
// runtime's start files) and DllMain.
//
// Of the C runtime's DLL start-up the library needs two things: its static
// constructors run at attach, and the exit list they fill (their objects'
// destructors, registered through atexit) run at detach. Both are here.
// What else that start-up does is not needed:
// - TLS: the library has no thread-local data, hence no TLS directory and
//   no TLS callbacks to run;
// - pseudo-relocations: the link refuses them (--disable-auto-import: no data
//   is auto-imported from a DLL), so there is nothing for a relocator to patch;
// - the C initialiser tables (.CRT$XI, .CRT$XC) hold only the runtime's own
//   set-up; g++ puts constructors in .ctors, run below;
// - the MSVC-style security cookie is used by no code of the library: its
//   functions check the stack protector's guard, seeded below;
// - exception handler tables: the compiler writes .pdata for every function;
// - the start-up lock and the application type serve executables and
//   threads racing to start the runtime; DllMain calls are serialised by the
//   loader.
#include <windows.h>

#include <cstddef>

#include "module_handle.h"
#include "win32/stack_guard.h"

// DllMain only records the module. Winsock, the theme and detection
// all belong to the host's calls, never to the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) zmk::SetLibraryModule(module);
    return TRUE;
}

namespace {

using ExitFunction = void (*)();

// The linker's list of static constructors: -1, the entries, then null.
extern "C" ExitFunction __CTOR_LIST__[];

// Two static objects register a destructor today; room for a few more. A
// registration that does not fit fails the load instead of being dropped.
constexpr std::size_t kExitListCapacity = 8;
ExitFunction g_exitList[kExitListCapacity];
std::size_t g_exitCount = 0;
bool g_exitListOverflowed = false;

// Last to first, as the C runtime runs them.
void RunStaticConstructors() {
    std::size_t count = 0;
    while (__CTOR_LIST__[count + 1] != nullptr) ++count;
    for (std::size_t i = count; i >= 1; --i) __CTOR_LIST__[i]();
}

// Last registered first; each function is taken off before it runs, so the
// list runs once however often the library is told to detach.
void RunExitList() {
    while (g_exitCount > 0) g_exitList[--g_exitCount]();
}

}  // namespace

// The static objects' destructors go on the library's own exit list, run
// when the library is unloaded: never on the process's.
extern "C" int __cdecl atexit(void(__cdecl* function)(void)) {
    if (g_exitCount == kExitListCapacity) {
        g_exitListOverflowed = true;
        return -1;
    }
    g_exitList[g_exitCount++] = function;
    return 0;
}

// Unprotected, as it runs before the guard has its value.
extern "C" __attribute__((no_stack_protector)) BOOL WINAPI LibraryEntryPoint(HINSTANCE module, DWORD reason,
                                                                             LPVOID reserved) {
    if (reason == DLL_PROCESS_ATTACH) {
        zmk::SeedStackGuard();
        RunStaticConstructors();
        if (g_exitListOverflowed) {
            RunExitList();
            return FALSE;
        }
    }
    const BOOL result = DllMain(module, reason, reserved);
    if (reason == DLL_PROCESS_DETACH) RunExitList();
    return result;
}
