#pragma once

#include <string>

namespace zmk::test {

// The TRAVOLK.exe stand-in given on the command line; empty when none.
const std::string& TravolkStandInPath();

}  // namespace zmk::test
