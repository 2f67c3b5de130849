// Times as the tools and the host measure them: the performance counter.
#pragma once

#include <windows.h>

namespace zmk {

inline LARGE_INTEGER Now() noexcept {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

inline double MillisecondsBetween(LARGE_INTEGER from, LARGE_INTEGER to) noexcept {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

inline double MillisecondsSince(LARGE_INTEGER start) noexcept { return MillisecondsBetween(start, Now()); }

}  // namespace zmk
