// zmk-host: stands in for the host application.
//
// Starts Winsock, opens a main window, loads ZELMORK.dll from its own folder
// and calls the exports on this one user-interface thread, in the order the
// command line gives. Each call is printed with its result and its time.
// The window, the user who answers the dialogs and the binding of the
// exports are the host harness's; this program is its command line and its
// output. zmk-host --help tells how to use it.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "dialog_user.h"
#include "host_window.h"
#include "library_exports.h"

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

enum ExitCode : int {
    kEveryOrderRan = 0,
    kWrongCommandLine = 2,
    kNoWinsock = 3,
    kLibraryNotLoaded = 4,
    kExportMissing = 5,
    kHeapDamaged = 6,
};

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

using zmk::host::StatusName;
namespace step = zmk::host::step;

// "error 126: The specified module could not be found."
std::string ErrorText(DWORD error) {
    char text[512] = {};
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0, text,
                                  sizeof text, nullptr);
    while (length > 0 && (text[length - 1] == '\n' || text[length - 1] == '\r' || text[length - 1] == ' ')) {
        text[--length] = '\0';
    }
    return "error " + std::to_string(error) + (length > 0 ? std::string(": ") + text : std::string());
}

// Checks an order before anything runs: a typo must not leave half a run.
bool IsKnownOrder(const std::string& order) {
    std::string name = order.substr(0, order.find('*'));
    if (name.rfind("pause:", 0) == 0) return name.size() > 6;
    for (const char* known : kOrders) {
        if (name == known) return true;
    }
    return false;
}

const char* DialogResultName(INT_PTR result) {
    switch (result) {
        case 0: return "owner is not a window";
        case IDOK: return "IDOK";
        case IDCANCEL: return "IDCANCEL";
        case -1: return "dialog not created";
        default: return "unknown";
    }
}

// What a technician does next after a result; null when the result is the
// one the host wanted.
const char* StatusNextStep(int status) {
    switch (status) {
        case zmk::DriverError: return "reinstall or repair the D2XX driver (ftd2xx.dll in the system folder)";
        case zmk::MultipleDevices: return "unplug all but one DMX interface and rescan";
        case zmk::NoDevice: return "check the cable, the driver, and the node's address with zmk-doctor.exe";
        case zmk::UnrecognizedUsbDevice:
            return "plug in an ENTTEC interface; zmk-doctor.exe shows the device's chip and description";
        default: return nullptr;
    }
}

const char* ErrorBoxNextStep(INT_PTR result) {
    switch (result) {
        case IDOK: return "follow the dialog's instructions (the diagnostic tool's report is on the desktop)";
        case IDCANCEL: return "if only the system-error box showed, repair Borvanect's installation (its TRAVOLK.exe)";
        default: return nullptr;
    }
}

double NowMs() { return zmk::host::MillisecondsSince(LARGE_INTEGER{}); }  // since the counter began

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    return folder.erase(folder.find_last_of('\\') + 1);
}

int NumberAfter(const std::string& word, std::size_t prefix) {
    if (word.size() <= prefix) return -1;
    char* end = nullptr;
    const long value = std::strtol(word.c_str() + prefix, &end, 10);
    return *end == '\0' && value >= 0 && value <= 0x7FFFFFFF ? static_cast<int>(value) : -1;
}

// One answer ("ok", "unplug:2", "ok+wait:1500+quit:7") as the user's steps on
// one showing; false for a word the plan does not know.
bool AddAnswer(const std::string& answer, zmk::host::Plan& plan) {
    plan.push_back(step::Await());
    for (std::size_t start = 0; start <= answer.size();) {
        std::size_t plus = answer.find('+', start);
        if (plus == std::string::npos) plus = answer.size();
        const std::string word = answer.substr(start, plus - start);
        start = plus + 1;
        if (word == "ok") plan.push_back(step::Press(IDOK));
        else if (word == "cancel") plan.push_back(step::Press(IDCANCEL));
        else if (word == "enter") plan.push_back(step::Act(zmk::host::UserAction::Enter));
        else if (word == "escape") plan.push_back(step::Act(zmk::host::UserAction::Escape));
        else if (word == "close") plan.push_back(step::Act(zmk::host::UserAction::CloseBox));
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

struct Options {
    int repeat = 1;
    bool stats = false;
    bool quiet = false;
    bool window = true;
    zmk::host::Plan plan;
    std::vector<std::string> orders;
};

class Host {
public:
    explicit Host(const Options& options) : options_(options) {}

    int Run() {
        WSADATA wsa;
        if (int error = WSAStartup(MAKEWORD(2, 2), &wsa); error != 0) {
            std::printf("WSAStartup failed (%s)\n", ErrorText(static_cast<DWORD>(error)).c_str());
            return kNoWinsock;
        }
        if (options_.window) window_ = std::make_unique<zmk::host::HostWindow>();
        std::unique_ptr<zmk::host::DialogUser> user;
        if (!options_.plan.empty() && window_) {
            zmk::host::DialogUser::Options userOptions;
            userOptions.cancelUnplanned = false;
            userOptions.narrate = stdout;
            userOptions.otherProgram = OwnFolder() + "other-program.exe";
            user = std::make_unique<zmk::host::DialogUser>(*window_, options_.plan, userOptions);
        }
        int status = 0;
        for (int round = 0; round < options_.repeat && status == 0 && !quit_; ++round) {
            for (const std::string& order : options_.orders) {
                status = RunOrder(order);
                if (status != 0 || quit_) break;
            }
        }
        if (user) user->Stop();
        library_.Unload();
        other_.reset();
        window_.reset();
        WSACleanup();
        if (options_.stats) PrintStats();
        std::fflush(stdout);
        return status;
    }

private:
    int RunOrder(const std::string& order) {
        std::string name = order;
        int times = 1;
        if (size_t star = order.find('*'); star != std::string::npos) {
            name = order.substr(0, star);
            times = std::atoi(order.c_str() + star + 1);
        }
        for (int i = 0; i < times && !quit_; ++i) {
            int status = RunOne(name);
            if (status != 0) return status;
        }
        return 0;
    }

    int RunOne(const std::string& name) {
        if (name == "load") {
            if (library_.Loaded()) return 0;
            const std::string path = OwnFolder() + ZELMORK_LIBRARY_NAME;
            double start = NowMs();
            HMODULE module = LoadLibraryA(path.c_str());
            double elapsed = NowMs() - start;
            if (!module) {
                std::printf("load %s failed (%s)\n", path.c_str(), ErrorText(GetLastError()).c_str());
                return kLibraryNotLoaded;
            }
            const char* missing = library_.Bind(module);
            Report("load", elapsed, "loaded ZELMORK.dll");
            if (missing) {
                std::printf("ZELMORK.dll lacks the export %s\n", missing);
                return kExportMissing;
            }
            return 0;
        }
        if (name == "unload") {
            if (!library_.Loaded()) return 0;
            double start = NowMs();
            library_.Unload();
            double elapsed = NowMs() - start;
            Report("unload", elapsed, "unloaded ZELMORK.dll");
            return 0;
        }
        if (name.rfind("pause:", 0) == 0) {
            int code = 0;
            if (zmk::host::PumpMessages(std::atoi(name.c_str() + 6), &code)) ReportQuit(code);
            return 0;
        }
        if (name == "front") {
            other_ = std::make_unique<zmk::host::OtherProgram>(OwnFolder() + "other-program.exe");
            std::printf("front: %s\n", other_->InFront() ? "another program is in front, and hangs"
                                                          : "another program started but is not in front");
            return 0;
        }
        if (!library_.Loaded()) {
            if (int status = RunOne("load"); status != 0) return status;
        }
        char text[96];
        if (name == "init") {
            double start = NowMs();
            int result = library_.initialize();
            double elapsed = NowMs() - start;
            std::snprintf(text, sizeof text, "%d %s", result, result ? "theme created" : "theme not created");
            Report("ZMK_Initialize", elapsed, text);
        } else if (name == "release") {
            double start = NowMs();
            library_.release();
            Report("ZMK_Release", NowMs() - start, "done");
        } else if (name == "status") {
            double start = NowMs();
            int status = library_.getDeviceStatus();
            double elapsed = NowMs() - start;
            std::snprintf(text, sizeof text, "%d %s", status, StatusName(status));
            Report("ZMK_GetDeviceStatus", elapsed, text);
            SayNextStep(StatusNextStep(status));
        } else if (name == "errorbox") {
            double start = NowMs();
            INT_PTR result = library_.driversErrorBox(window_ ? window_->get() : nullptr);
            double elapsed = NowMs() - start;
            std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(result), DialogResultName(result));
            Report("ZMK_DriversErrorBox", elapsed, text);
            SayNextStep(ErrorBoxNextStep(result));
        }
        // A write past a buffer can leave the host running on a damaged heap, to
        // crash long after the call that did it: look after every call.
        if (!HeapValidate(GetProcessHeap(), 0, nullptr)) {
            std::printf("host: the process heap was damaged during the call\n");
            return kHeapDamaged;
        }
        // A quit the host posted during the call is its loop's, now that the call is back.
        int code = 0;
        if (zmk::host::TakeQuit(&code)) ReportQuit(code);
        return 0;
    }

    void ReportQuit(int code) {
        quit_ = true;
        std::printf("host: WM_QUIT received, exit code %d; no further order runs\n", code);
    }

    void SayNextStep(const char* step) const {
        if (step != nullptr && !options_.quiet) std::printf("  next step: %s\n", step);
    }

    void Report(const char* call, double elapsed, const char* result) {
        times_[call].push_back(elapsed);
        if (!options_.quiet) {
            std::printf("%-20s %-28s %9.3f ms\n", call, result, elapsed);
            std::fflush(stdout);
        }
    }

    void PrintStats() const {
        for (const auto& [call, samples] : times_) {
            std::vector<double> sorted = samples;
            std::sort(sorted.begin(), sorted.end());
            size_t n = sorted.size();
            double median = n % 2 ? sorted[n / 2] : (sorted[n / 2 - 1] + sorted[n / 2]) / 2;
            std::printf("stats %-20s runs %4zu  median %9.3f ms  max %9.3f ms\n", call.c_str(), n, median,
                        sorted.back());
        }
    }

    const Options& options_;
    zmk::host::LibraryExports library_;
    std::unique_ptr<zmk::host::HostWindow> window_;
    std::unique_ptr<zmk::host::OtherProgram> other_;
    bool quit_ = false;
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace

int main(int argc, char** argv) {
    Options options;
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
            return 0;
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
    return Host(options).Run();
}
