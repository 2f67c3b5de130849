// What a process holds, measured from inside it so that a soak can compare
// before and after. Where Wine reports nothing through the usual calls, the
// figures are counted another way (see process_footprint.cpp).
#pragma once

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace zmk::test {

struct ProcessFootprint {
    long handles = 0;              // kernel handles of this process
    std::uintptr_t handleMark = 0; // value of a fresh event handle: the lowest free slot
    long gdiObjects = 0;
    long userObjects = 0;          // under Wine: this process's windows
    std::size_t privateBytes = 0;
};

ProcessFootprint MeasureFootprint();

// How each figure was obtained on this system, for the report.
std::string FootprintSources();

}  // namespace zmk::test
