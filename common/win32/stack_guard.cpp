// The stack protector's guard and its failure handler, for the shipped
// programs, in place of the compiler's protector runtime (libssp).
//
// That runtime seeds the guard in a static constructor with
// CryptAcquireContextA and CryptGenRandom. In a DLL the constructor runs in
// DLL_PROCESS_ATTACH, under the loader lock, and the call loads a
// cryptographic provider DLL into the host's process: loading libraries
// under the loader lock is what a DLL must never do (a deadlock risk), and it
// made loading the library seven times slower. Instead the guard is seeded
// the way Windows' own compilers seed their stack cookie: mixed from values
// the process already has, by the entry point before anything protected
// runs. Nothing is loaded and no crypto API is imported.
//
// The values: the system time (100 ns), the performance counter and the
// time-stamp counter (both count from boot at a rate of their own, read at
// a start-up moment an attacker does not see), the tick count, the process
// and thread ids, and two addresses that address-space randomisation moves:
// a local of the entry point's stack and the guard in the image. None is a
// secret alone; mixed they leave far more to guess than an overrun can try,
// and a failed guess ends the process.
#include "stack_guard.h"

#include <windows.h>

#include <intrin.h>

#include <cstdint>

// Its value before seeding: tools/pe/pe_tool.py finds the guard by it.
extern "C" {
std::uintptr_t __stack_chk_guard = 0x64726175474b4d5aULL;  // "ZMKGuard"
}

// A protected function found its guard changed: its stack was overrun. End
// the process at once, as Windows' compilers do, running nothing more of
// it: no exit list, no handler that an overrun may have replaced.
extern "C" [[noreturn]] void __stack_chk_fail() {
    if (::IsProcessorFeaturePresent(PF_FASTFAIL_AVAILABLE)) {
        asm volatile("int $0x29" : : "c"(FAST_FAIL_STACK_COOKIE_CHECK_FAILURE) : "memory");
    }
    ::TerminateProcess(::GetCurrentProcess(), STATUS_STACK_BUFFER_OVERRUN);
    __builtin_trap();
}

namespace zmk {
namespace {

// The splitmix64 finaliser: a bijection, so mixing a value in loses none of
// what was there, and every input bit reaches every output bit.
constexpr std::uint64_t Scramble(std::uint64_t z) noexcept {
    z += 0x9e3779b97f4a7c15ULL;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

constexpr std::uint64_t Mix(std::uint64_t pool, std::uint64_t value) noexcept { return Scramble(pool ^ value); }

}  // namespace

// Unprotected itself: its frame would otherwise save the old guard and check
// it against the new one.
__attribute__((no_stack_protector)) void SeedStackGuard() noexcept {
    FILETIME systemTime{};
    ::GetSystemTimeAsFileTime(&systemTime);
    LARGE_INTEGER counter{};
    ::QueryPerformanceCounter(&counter);

    std::uint64_t pool = Scramble(__stack_chk_guard);
    pool = Mix(pool, (std::uint64_t{systemTime.dwHighDateTime} << 32) | systemTime.dwLowDateTime);
    pool = Mix(pool, static_cast<std::uint64_t>(counter.QuadPart));
    pool = Mix(pool, __rdtsc());
    pool = Mix(pool, ::GetTickCount64());
    pool = Mix(pool, (std::uint64_t{::GetCurrentProcessId()} << 32) | ::GetCurrentThreadId());
    pool = Mix(pool, reinterpret_cast<std::uintptr_t>(&counter));
    pool = Mix(pool, reinterpret_cast<std::uintptr_t>(&__stack_chk_guard));

    // The guard's first byte in memory is zero: an overrun by a string copy
    // cannot write the guard back, as the copy ends at that byte.
    __stack_chk_guard = pool & ~std::uint64_t{0xff};
}

}  // namespace zmk
