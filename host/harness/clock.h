// Times as the host and its user measure them: the performance counter.
#pragma once

#include <windows.h>

namespace zmk::host {

inline LARGE_INTEGER Now() {
    LARGE_INTEGER now;
    ::QueryPerformanceCounter(&now);
    return now;
}

inline double MillisecondsBetween(LARGE_INTEGER from, LARGE_INTEGER to) {
    LARGE_INTEGER frequency;
    ::QueryPerformanceFrequency(&frequency);
    return static_cast<double>(to.QuadPart - from.QuadPart) * 1000.0 / static_cast<double>(frequency.QuadPart);
}

inline double MillisecondsSince(LARGE_INTEGER start) { return MillisecondsBetween(start, Now()); }

}  // namespace zmk::host
