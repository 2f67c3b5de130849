// The host of bench-library.sh: loads ZELMORK.dll from its own folder and
// times the calls a host makes, one order at a time.
//
//   library_bench_host [--preload DLL]... ORDER...
//   ORDER: load, init, release, status, unload
//
// Borvanect, a GUI program, holds the system DLLs the library imports long
// before it loads the library; a console host holds few of them, and its
// first load of the library would pay for loading shell32 and the others,
// hiding the library's own cost. --preload loads a DLL before the first
// order and keeps it to the end, as such a host does.
//
// Prints "preload DLL held" (the host had it already) or "preload DLL
// loaded", then "time CALL MS" for each order. Under valgrind's callgrind,
// each order's instructions are dumped on their own (the dump's trigger
// names the call); outside it the requests do nothing.
// Exit codes: 0 every order ran; 2 an unknown order or one before load (nothing
// more ran); 3 Winsock did not start; 4 a DLL did not load.
#include <winsock2.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "clock.h"
#include "library_exports.h"
#include "win32/unique_resource.h"

namespace {

// A request to valgrind's tool, by the instruction sequence valgrind watches
// for on x86-64; natively the sequence leaves every register as it was. Not
// through valgrind's own header: it passes the request's words as unsigned
// long, which is 32 bits on Windows.
void CallgrindRequest(std::uint64_t request, const void* argument = nullptr) {
    volatile std::uint64_t words[6] = {request, reinterpret_cast<std::uintptr_t>(argument), 0, 0, 0, 0};
    std::uint64_t result = 0;
    asm volatile("rolq $3, %%rdi; rolq $13, %%rdi; rolq $61, %%rdi; rolq $51, %%rdi; xchgq %%rbx, %%rbx"
                 : "=d"(result)
                 : "a"(&words[0]), "0"(result)
                 : "cc", "memory");
}

// callgrind's requests, numbered from its tool's base ('C', 'T').
constexpr std::uint64_t kCallgrindBase = std::uint64_t{'C'} << 24 | std::uint64_t{'T'} << 16;
constexpr std::uint64_t kCallgrindZeroStats = kCallgrindBase + 1;
constexpr std::uint64_t kCallgrindDumpStatsAt = kCallgrindBase + 3;

std::string OwnFolderPath(const char* file) {
    char path[MAX_PATH];
    const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string full(path, length);
    return full.erase(full.find_last_of('\\') + 1) + file;
}

// One order, timed: 0, or the exit code of its failure (said on stdout).
int RunOrder(const std::string& order, zmk::host::LibraryExports& library) {
    if (order != "load" && order != "init" && order != "release" && order != "status" && order != "unload") {
        std::printf("unknown order %s\n", order.c_str());
        return 2;
    }
    if (order != "load" && !library.module) {
        std::printf("%s before load\n", order.c_str());
        return 2;
    }
    const std::string path = OwnFolderPath(ZELMORK_LIBRARY_NAME);
    CallgrindRequest(kCallgrindZeroStats);
    const LARGE_INTEGER start = zmk::host::Now();
    if (order == "load" && !library.Load(path.c_str())) {
        std::printf("load %s failed (error %lu)\n", path.c_str(), GetLastError());
        return 4;
    }
    if (order == "init") library.initialize();
    if (order == "release") library.release();
    if (order == "status") library.getDeviceStatus();
    if (order == "unload") library.Unload();
    const double elapsed = zmk::host::MillisecondsSince(start);
    CallgrindRequest(kCallgrindDumpStatsAt, order.c_str());
    std::printf("time %s %.4f\n", order.c_str(), elapsed);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    // Borvanect starts Winsock before it calls the library.
    WSADATA wsa;
    if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) return 3;
    std::vector<zmk::UniqueModule> preloaded;
    int first = 1;
    for (; first + 1 < argc && std::strcmp(argv[first], "--preload") == 0; first += 2) {
        const char* name = argv[first + 1];
        const bool held = GetModuleHandleA(name) != nullptr;
        preloaded.emplace_back(LoadLibraryA(name));
        if (!preloaded.back()) {
            std::printf("preload %s failed (error %lu)\n", name, GetLastError());
            return 4;
        }
        std::printf("preload %s %s\n", name, held ? "held" : "loaded");
    }
    zmk::host::LibraryExports library;
    int status = 0;
    for (int i = first; i < argc && status == 0; ++i) status = RunOrder(argv[i], library);
    library.Unload();
    WSACleanup();
    return status;
}
