// The stack protector's guard for the shipped programs, seeded by their entry
// points from what the process already has (see stack_guard.cpp).
#pragma once

namespace zmk {

// Gives the guard its value. Call it first thing in an entry point marked
// no_stack_protector, before any protected function runs: a protected frame
// alive across the call would find its saved copy changed.
void SeedStackGuard() noexcept;

}  // namespace zmk
