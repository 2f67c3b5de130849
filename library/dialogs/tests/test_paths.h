#pragma once

#include <string>

namespace zmk::testing {

// The TRAVOLK.exe stand-in given on the command line; empty when none.
const std::string& TravolkStandInPath();

}  // namespace zmk::testing
