// zmk-host: stands in for the host application.
//
// Starts Winsock, opens a main window, loads ZELMORK.dll from its own folder
// and calls the exports on this one user-interface thread, in the order the
// command line gives. Each call is printed with its result and its time.
// The window, the user who answers the dialogs and the binding of the
// exports are the host harness's; this program is its command line
// (command_line.cpp) and its output. zmk-host --help tells how to use it.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "command_line.h"
#include "dialog_user.h"
#include "host_window.h"
#include "library_exports.h"
#include "next_step.h"
#include "win32/error_text.h"

namespace zmk::host {
namespace {

const char* DialogResultName(INT_PTR result) {
    switch (result) {
        case 0: return "owner is not a window";
        case IDOK: return "IDOK";
        case IDCANCEL: return "IDCANCEL";
        case -1: return "dialog not created";
        default: return "unknown";
    }
}

const char* ErrorBoxNextStep(INT_PTR result) {
    switch (result) {
        case IDOK: return "follow the dialog's instructions (the diagnostic tool's report is on the desktop)";
        case IDCANCEL: return "if only the system-error box showed, repair Borvanect's installation (its TRAVOLK.exe)";
        default: return nullptr;
    }
}

double NowMs() { return MillisecondsSince(LARGE_INTEGER{}); }  // since the counter began

std::string OwnFolder() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return {};
    std::string folder(path, length);
    return folder.erase(folder.find_last_of('\\') + 1);
}

// How long call takes, by the host's clock.
template <typename Call>
double MillisecondsOf(Call&& call) {
    const double start = NowMs();
    call();
    return NowMs() - start;
}

class Host {
public:
    explicit Host(const Options& options) : options_(options) {}

    int Run() {
        WSADATA wsa;
        if (int error = WSAStartup(MAKEWORD(2, 2), &wsa); error != 0) {
            std::printf("WSAStartup failed (%s)\n", ErrorText(static_cast<DWORD>(error)).c_str());
            return kNoWinsock;
        }
        if (options_.window) window_ = std::make_unique<HostWindow>();
        std::unique_ptr<DialogUser> user;
        if (!options_.plan.empty() && window_) {
            DialogUser::Options userOptions;
            userOptions.cancelUnplanned = false;
            userOptions.narrate = stdout;
            userOptions.otherProgram = OwnFolder() + "other-program.exe";
            user = std::make_unique<DialogUser>(*window_, options_.plan, userOptions);
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
        if (name == "load") return Load();
        if (name == "unload") {
            Unload();
            return 0;
        }
        if (name.rfind("pause:", 0) == 0) {
            int code = 0;
            if (PumpMessages(std::atoi(name.c_str() + 6), &code)) ReportQuit(code);
            return 0;
        }
        if (name == "front") {
            other_ = std::make_unique<OtherProgram>(OwnFolder() + "other-program.exe");
            std::printf("front: %s\n", other_->InFront() ? "another program is in front, and hangs"
                                                          : "another program started but is not in front");
            return 0;
        }
        if (int status = Load(); status != 0) return status;
        CallExport(name);
        // A write past a buffer can leave the host running on a damaged heap, to
        // crash long after the call that did it: look after every call.
        if (!HeapValidate(GetProcessHeap(), 0, nullptr)) {
            std::printf("host: the process heap was damaged during the call\n");
            return kHeapDamaged;
        }
        // A quit the host posted during the call is its loop's, now that the call is back.
        int code = 0;
        if (TakeQuit(&code)) ReportQuit(code);
        return 0;
    }

    int Load() {
        if (library_.Loaded()) return 0;
        const std::string path = OwnFolder() + ZELMORK_LIBRARY_NAME;
        HMODULE module = nullptr;
        const double elapsed = MillisecondsOf([&] { module = LoadLibraryA(path.c_str()); });
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

    void Unload() {
        if (!library_.Loaded()) return;
        Report("unload", MillisecondsOf([&] { library_.Unload(); }), "unloaded ZELMORK.dll");
    }

    // One of init, release, status and errorbox, with its result and time.
    void CallExport(const std::string& name) {
        char text[96];
        if (name == "init") {
            int result = 0;
            const double elapsed = MillisecondsOf([&] { result = library_.initialize(); });
            std::snprintf(text, sizeof text, "%d %s", result, result ? "theme created" : "theme not created");
            Report("ZMK_Initialize", elapsed, text);
        } else if (name == "release") {
            Report("ZMK_Release", MillisecondsOf([&] { library_.release(); }), "done");
        } else if (name == "status") {
            int status = 0;
            const double elapsed = MillisecondsOf([&] { status = library_.getDeviceStatus(); });
            std::snprintf(text, sizeof text, "%d %s", status, StatusName(status));
            Report("ZMK_GetDeviceStatus", elapsed, text);
            SayNextStep(StatusNextStep(status));
        } else if (name == "errorbox") {
            INT_PTR result = 0;
            const double elapsed =
                MillisecondsOf([&] { result = library_.driversErrorBox(window_ ? window_->get() : nullptr); });
            std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(result), DialogResultName(result));
            Report("ZMK_DriversErrorBox", elapsed, text);
            SayNextStep(ErrorBoxNextStep(result));
        }
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
    LibraryExports library_;
    std::unique_ptr<HostWindow> window_;
    std::unique_ptr<OtherProgram> other_;
    bool quit_ = false;
    std::map<std::string, std::vector<double>> times_;
};

}  // namespace
}  // namespace zmk::host

int main(int argc, char** argv) {
    zmk::host::Options options;
    if (int exitCode = zmk::host::ReadCommandLine(argc, argv, options); exitCode >= 0) return exitCode;
    return zmk::host::Host(options).Run();
}
