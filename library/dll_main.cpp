#include <windows.h>

#include "module_handle.h"

// The entry point only records the module. Winsock, the theme and detection
// all belong to the host's calls, never to the loader lock.
extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID /*reserved*/) {
    if (reason == DLL_PROCESS_ATTACH) zmk::SetLibraryModule(module);
    return TRUE;
}
