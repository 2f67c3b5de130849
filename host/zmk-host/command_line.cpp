#include "command_line.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

namespace zmk::host {
namespace {

constexpr char kUsage[] =
    "usage: zmk-host [OPTION...] [ORDER...]\n"
    "\n"
    "Stands in for Borvanect: loads ZELMORK.dll from its own folder and calls its exports on one\n"
    "user-interface thread, in the order given. Without orders: load init status release unload.\n"
    "\n"
    "Orders:\n"
    "  load        load ZELMORK.dll (the other orders load it first when needed)\n"
    "  unload      free it\n"
    "  init        ZMK_Initialize: create the dialogs' colour theme\n"
    "  release     ZMK_Release: free the theme\n"
    "  status      ZMK_GetDeviceStatus: which DMX interface is connected\n"
    "  errorbox    ZMK_DriversErrorBox: run TRAVOLK.exe, then show the driver-error dialog\n"
    "  pause:MS    keep the host's window answering for MS milliseconds\n"
    "  front       start other-program.exe (beside zmk-host.exe): it comes to the front and hangs\n"
    "  ORDER*N     run ORDER N times in a row\n"
    "\n"
    "Options:\n"
    "  --answer LIST  play the user of the library's dialogs: one comma-separated answer a\n"
    "                 showing, in turn. An answer is one or more of these joined by '+':\n"
    "                   ok, cancel     click the first button (Rescan DMX, OK) or Cancel\n"
    "                   enter, escape, close   a key, or the caption's close box\n"
    "                   unplug         pull out every device of the D2XX stand-in, then ok\n"
    "                   unplug:N       pull out only its N-th device, then ok\n"
    "                   quit:CODE      the host posts its WM_QUIT with CODE (a closing host)\n"
    "                   busy:MS        the host's window stops answering for MS ms\n"
    "                   wait:MS        the user waits MS ms (ok+wait:1500+quit:7: a quit\n"
    "                                  during the progress of a rescan)\n"
    "                 Dialogs beyond the list are left to a person. Without --answer, every\n"
    "                 dialog waits for a person.\n"
    "  --repeat N     run the whole list of orders N times\n"
    "  --stats        print the median and maximum time of each order at the end\n"
    "  --quiet        print only the statistics\n"
    "  --no-window    no main window: errorbox passes NULL, a valid owner (the dialog is unowned)\n"
    "  --help         this text\n"
    "\n"
    "Output, one line a call: the call, its result (number and name), its time, e.g.\n"
    "  ZMK_GetDeviceStatus  11 OpenDmxUsb                    2.577 ms\n"
    "A result that needs a technician is followed by '  next step: ...'.\n"
    "Statuses: 1 DriverError, 2 MultipleDevices, 10 NoDevice, 11 OpenDmxUsb, 12 DmxUsbPro,\n"
    "13 OpenDmxEthernet, 32 UnrecognizedUsbDevice. Driver-error dialog: 1 IDOK, 2 IDCANCEL,\n"
    "0 owner is not NULL and not a window (nothing run or shown), -1 dialog not created or\n"
    "another call of the library running.\n"
    "With --stats: 'stats CALL runs N median X ms max Y ms'.\n"
    "When the host's quit reaches its loop after a call: 'host: WM_QUIT received, exit code N', and\n"
    "no further order runs.\n"
    "\n"
    "The D2XX stand-in (ftd2xx.dll in the system folder) reads its devices from\n"
    "%ZMK_FTD2XX_INI%, by default C:\\zmk-standins\\ftd2xx.ini, one line each:\n"
    "  device=TYPE DESCRIPTION   e.g. device=5 DMX USB PRO (type 0 BM, 5 232R, others unrecognised)\n"
    "  create=STATUS, list=STATUS  make FT_CreateDeviceInfoList / FT_GetDeviceInfoList fail\n"
    "  describe=N, report=N, next  a device list that moves (see standins/ftd2xx/README.md)\n"
    "Without ftd2xx.dll in the system folder nothing on USB is found, and nothing says so:\n"
    "status gives 10 NoDevice unless an Art-Net node answers.\n"
    "\n"
    "Exit codes:\n";

// The end of --help: each exit code and what it means.
constexpr struct {
    ExitCode code;
    const char* meaning;
} kExitCodes[] = {
    {kEveryOrderRan, "every order ran"},
    {kWrongCommandLine, "a wrong command line (nothing was run)"},
    {kNoWinsock, "Winsock did not start"},
    {kLibraryNotLoaded, "ZELMORK.dll did not load"},
    {kExportMissing, "ZELMORK.dll lacks an export"},
    {kHeapDamaged, "the host's heap was damaged during a call (the process heap, checked after each)"},
};

constexpr const char* kOrders[] = {"load", "unload", "init", "release", "status", "errorbox", "front"};

// Checks an order before anything runs: a typo must not leave half a run.
bool IsKnownOrder(const std::string& order) {
    std::string name = order.substr(0, order.find('*'));
    if (name.rfind("pause:", 0) == 0) return name.size() > 6;
    for (const char* known : kOrders) {
        if (name == known) return true;
    }
    return false;
}

int NumberAfter(const std::string& word, std::size_t prefix) {
    if (word.size() <= prefix) return -1;
    char* end = nullptr;
    const long value = std::strtol(word.c_str() + prefix, &end, 10);
    return *end == '\0' && value >= 0 && value <= 0x7FFFFFFF ? static_cast<int>(value) : -1;
}

// One answer ("ok", "unplug:2", "ok+wait:1500+quit:7") as the user's steps on
// one showing; false for a word the plan does not know.
bool AddAnswer(const std::string& answer, Plan& plan) {
    plan.push_back(step::Await());
    for (std::size_t start = 0; start <= answer.size();) {
        std::size_t plus = answer.find('+', start);
        if (plus == std::string::npos) plus = answer.size();
        const std::string word = answer.substr(start, plus - start);
        start = plus + 1;
        if (word == "ok") plan.push_back(step::Press(IDOK));
        else if (word == "cancel") plan.push_back(step::Press(IDCANCEL));
        else if (word == "enter") plan.push_back(step::Act(UserAction::Enter));
        else if (word == "escape") plan.push_back(step::Act(UserAction::Escape));
        else if (word == "close") plan.push_back(step::Act(UserAction::CloseBox));
        else if (word == "unplug") plan.insert(plan.end(), {step::Unplug(0), step::Press(IDOK)});
        else if (word.rfind("unplug:", 0) == 0 && NumberAfter(word, 7) > 0)
            plan.insert(plan.end(), {step::Unplug(NumberAfter(word, 7)), step::Press(IDOK)});
        else if (word.rfind("quit:", 0) == 0 && NumberAfter(word, 5) >= 0) plan.push_back(step::Quit(NumberAfter(word, 5)));
        else if (word.rfind("busy:", 0) == 0 && NumberAfter(word, 5) >= 0)
            plan.push_back(step::HostBusy(NumberAfter(word, 5)));
        else if (word.rfind("wait:", 0) == 0 && NumberAfter(word, 5) >= 0) plan.push_back(step::Pause(NumberAfter(word, 5)));
        else return false;
    }
    return true;
}

}  // namespace

int ReadCommandLine(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--repeat" && i + 1 < argc) {
            options.repeat = std::max(1, std::atoi(argv[++i]));
        } else if (arg == "--stats") {
            options.stats = true;
        } else if (arg == "--quiet") {
            options.quiet = true;
        } else if (arg == "--no-window") {
            options.window = false;
        } else if (arg == "--answer" && i + 1 < argc) {
            std::string list = argv[++i];
            for (size_t start = 0; start <= list.size();) {
                size_t comma = list.find(',', start);
                if (comma == std::string::npos) comma = list.size();
                const std::string answer = list.substr(start, comma - start);
                start = comma + 1;
                if (!AddAnswer(answer, options.plan)) {
                    std::printf("zmk-host: unknown answer '%s'; an answer joins ok, cancel, enter, escape, close,"
                                " unplug, unplug:N, quit:CODE, busy:MS, wait:MS with '+' (nothing was run)\n",
                                answer.c_str());
                    return kWrongCommandLine;
                }
            }
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            for (const auto& [code, meaning] : kExitCodes) std::printf("  %d  %s\n", code, meaning);
            return kEveryOrderRan;
        } else if (arg.rfind("--", 0) == 0) {
            std::printf("zmk-host: unknown option %s (zmk-host --help lists them)\n", arg.c_str());
            return kWrongCommandLine;
        } else if (!IsKnownOrder(arg)) {
            std::printf("zmk-host: unknown order %s; the orders are load, unload, init, release, status, errorbox,"
                        " front, pause:MS, each with an optional *N (nothing was run)\n",
                        arg.c_str());
            return kWrongCommandLine;
        } else {
            options.orders.push_back(arg);
        }
    }
    if (options.orders.empty()) options.orders = {"load", "init", "status", "release", "unload"};
    return -1;
}

}  // namespace zmk::host
