// zmk-host's command line: its orders and the user's answers, read and
// checked before anything runs, and its exit codes.
#pragma once

#include <string>
#include <vector>

#include "dialog_user.h"

namespace zmk::host {

enum ExitCode : int {
    kEveryOrderRan = 0,
    kWrongCommandLine = 2,
    kNoWinsock = 3,
    kLibraryNotLoaded = 4,
    kExportMissing = 5,
    kHeapDamaged = 6,
};

struct Options {
    int repeat = 1;
    bool stats = false;
    bool quiet = false;
    bool window = true;
    Plan plan;
    std::vector<std::string> orders;
};

// Reads the command line into options; -1 when the orders are to run, or the
// exit code to end with at once (--help, a wrong command line), having said why.
int ReadCommandLine(int argc, char** argv, Options& options);

}  // namespace zmk::host
