// The technician's general next step after a status, one table for every
// tool that says it: zmk-host after each result, the doctor when it found
// nothing more particular. No Windows header.
#pragma once

#include <cstdint>

namespace zmk {

// Null for a status that needs nothing.
const char* StatusNextStep(std::int32_t status) noexcept;

}  // namespace zmk
