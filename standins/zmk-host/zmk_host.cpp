// zmk-host: stands in for the host application.
//
// Starts Winsock, opens a main window, loads ZELMORK.dll from its own folder
// and calls the exports on this one user-interface thread, in the order the
// command line gives. Each call is printed with its result and its time.
// zmk-host --help tells how to use it.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <thread>
#include <vector>

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
    "  ORDER*N     run ORDER N times in a row\n"
    "\n"
    "Options:\n"
    "  --answer LIST  play the user of the library's dialogs, answering them in turn with the\n"
    "                 comma-separated LIST: ok, cancel, unplug (the D2XX stand-in's devices are\n"
    "                 all pulled out, then the first button), unplug:N (only its N-th device)\n"
    "                 Without it the dialogs wait for a person.\n"
    "  --repeat N     run the whole list of orders N times\n"
    "  --stats        print the median and maximum time of each order at the end\n"
    "  --quiet        print only the statistics\n"
    "  --no-window    no main window (dialogs get no owner)\n"
    "  --help         this text\n"
    "\n"
    "Output, one line a call: the call, its result (number and name), its time, e.g.\n"
    "  ZMK_GetDeviceStatus  11 OpenDmxUsb                    2.577 ms\n"
    "Statuses: 1 DriverError, 2 MultipleDevices, 10 NoDevice, 11 OpenDmxUsb, 12 DmxUsbPro,\n"
    "13 OpenDmxEthernet, 32 UnrecognizedUsbDevice. Driver-error dialog: 1 IDOK, 2 IDCANCEL,\n"
    "0 no owner window, -1 dialog not created. With --stats: 'stats CALL runs N median X ms max Y ms'.\n"
    "\n"
    "The D2XX stand-in (ftd2xx.dll in the system folder) reads its devices from\n"
    "%ZMK_FTD2XX_INI%, by default C:\\zmk-standins\\ftd2xx.ini, one line each:\n"
    "  device=TYPE DESCRIPTION   e.g. device=5 DMX USB PRO (type 0 BM, 5 232R, others unrecognised)\n"
    "  create=STATUS, list=STATUS  make FT_CreateDeviceInfoList / FT_GetDeviceInfoList fail\n"
    "  describe=N, report=N, next  a device list that moves (see standins/ftd2xx/README.md)\n"
    "\n"
    "Exit codes: 0 every order ran; 2 a wrong command line (nothing was run); 3 Winsock did not\n"
    "start; 4 ZELMORK.dll did not load; 5 ZELMORK.dll lacks an export.\n";

constexpr const char* kOrders[] = {"load", "unload", "init", "release", "status", "errorbox"};

const char* StatusName(int status) {
    switch (status) {
        case ZMK_DRIVER_ERROR: return "DriverError";
        case ZMK_MULTIPLE_DEVICES: return "MultipleDevices";
        case ZMK_NO_DEVICE: return "NoDevice";
        case ZMK_OPEN_DMX_USB: return "OpenDmxUsb";
        case ZMK_DMX_USB_PRO: return "DmxUsbPro";
        case ZMK_OPEN_DMX_ETHERNET: return "OpenDmxEthernet";
        case ZMK_UNRECOGNIZED_USB_DEVICE: return "UnrecognizedUsbDevice";
        default: return "unknown";
    }
}

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
        case 0: return "no owner window";
        case 1: return "IDOK";
        case 2: return "IDCANCEL";
        case -1: return "dialog not created";
        default: return "unknown";
    }
}

double NowMs() {
    static LARGE_INTEGER frequency = [] { LARGE_INTEGER f; QueryPerformanceFrequency(&f); return f; }();
    LARGE_INTEGER now;
    QueryPerformanceCounter(&now);
    return 1000.0 * static_cast<double>(now.QuadPart) / static_cast<double>(frequency.QuadPart);
}

std::string LibraryPath() {
    char path[MAX_PATH];
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return "ZELMORK.dll";
    std::string folder(path, length);
    folder.erase(folder.find_last_of('\\') + 1);
    return folder + "ZELMORK.dll";
}

LRESULT CALLBACK HostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_PAINT) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(window, &paint);
        const char text[] = "Borvanect host stand-in";
        TextOutA(dc, 12, 12, text, static_cast<int>(sizeof text - 1));
        EndPaint(window, &paint);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND CreateHostWindow() {
    WNDCLASSA wc = {};
    wc.lpfnWndProc = HostWindowProc;
    wc.hInstance = GetModuleHandleA(nullptr);
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    wc.lpszClassName = "ZmkHostWindow";
    RegisterClassA(&wc);
    HWND window = CreateWindowExA(0, wc.lpszClassName, "Borvanect (host stand-in)", WS_OVERLAPPEDWINDOW,
                                  40, 40, 720, 420, nullptr, nullptr, wc.hInstance, nullptr);
    if (window) {
        ShowWindow(window, SW_SHOW);
        UpdateWindow(window);
        SetForegroundWindow(window);
    }
    return window;
}

// Library texts are Windows-1252; a Linux terminal wants UTF-8.
std::string Utf8FromAnsi(const char* text) {
    wchar_t wide[2048];
    int count = MultiByteToWideChar(1252, 0, text, -1, wide, 2048);
    char utf8[4096];
    if (count <= 0 || WideCharToMultiByte(CP_UTF8, 0, wide, -1, utf8, sizeof utf8, nullptr, nullptr) <= 0) return text;
    return utf8;
}

void PrintIndented(const std::string& text) {
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::printf("    | %s\n", text.substr(start, end - start).c_str());
        start = end + 1;
    }
}

// The D2XX stand-in reads its device list from this file on every call.
std::string StandinDeviceListPath() {
    const char* path = std::getenv("ZMK_FTD2XX_INI");
    return path && *path ? path : "C:\\zmk-standins\\ftd2xx.ini";
}

// Plays the user of the library's modal dialogs from a second thread.
class DialogUser {
public:
    DialogUser(const std::vector<std::string>& answers, DWORD hostThread)
        : answers_(answers), hostThread_(hostThread) {
        if (!answers_.empty()) thread_ = std::thread([this] { Run(); });
    }
    ~DialogUser() {
        done_ = true;
        if (thread_.joinable()) thread_.join();
    }

private:
    void Run() {
        size_t next = 0;
        while (!done_ && next < answers_.size()) {
            HWND dialog = FindDialog(hostThread_);
            if (!dialog) {
                std::this_thread::sleep_for(std::chrono::milliseconds(25));
                continue;
            }
            // Give the dialog a moment to finish painting, as a person would.
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            Describe(dialog);
            const std::string& answer = answers_[next++];
            int button = answer == "cancel" ? IDCANCEL : IDOK;
            if (answer == "unplug") {
                if (FILE* file = std::fopen(StandinDeviceListPath().c_str(), "wb")) std::fclose(file);
                std::printf("  [user] unplugs the USB interfaces\n");
            } else if (answer.rfind("unplug:", 0) == 0) {
                Unplug(std::atoi(answer.c_str() + 7));
            }
            char label[64] = {};
            GetDlgItemTextA(dialog, button, label, sizeof label);
            std::printf("  [user] presses \"%s\"\n", label);
            std::fflush(stdout);
            PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(button, BN_CLICKED),
                         reinterpret_cast<LPARAM>(GetDlgItem(dialog, button)));
            for (int i = 0; i < 2000 && IsWindow(dialog); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    }

    // Takes the n-th device (1-based) out of the stand-in's device list.
    static void Unplug(int n) {
        const std::string path = StandinDeviceListPath();
        std::string kept, line, removed;
        if (FILE* file = std::fopen(path.c_str(), "rb")) {
            char buffer[512];
            int device = 0;
            while (std::fgets(buffer, sizeof buffer, file)) {
                line = buffer;
                if (line.rfind("device=", 0) == 0 && ++device == n) {
                    removed = line.substr(7, line.find_last_not_of("\r\n") - 6);
                    continue;
                }
                kept += line;
            }
            std::fclose(file);
        }
        if (FILE* file = std::fopen(path.c_str(), "wb")) {
            std::fwrite(kept.data(), 1, kept.size(), file);
            std::fclose(file);
        }
        if (removed.empty()) std::printf("  [user] finds no USB device %d to unplug\n", n);
        else std::printf("  [user] unplugs USB device %d (%s)\n", n, removed.c_str());
    }

    static HWND FindDialog(DWORD hostThread) {
        HWND found = nullptr;
        EnumThreadWindows(
            hostThread,
            [](HWND window, LPARAM result) -> BOOL {
                char cls[16] = {};
                GetClassNameA(window, cls, sizeof cls);
                if (std::strcmp(cls, "#32770") != 0 || !IsWindowVisible(window)) return TRUE;
                *reinterpret_cast<HWND*>(result) = window;
                return FALSE;
            },
            reinterpret_cast<LPARAM>(&found));
        return found;
    }

    static void Describe(HWND dialog) {
        char caption[256] = {};
        GetWindowTextA(dialog, caption, sizeof caption);
        std::printf("  [dialog] \"%s\"\n", Utf8FromAnsi(caption).c_str());
        for (HWND child = GetWindow(dialog, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
            char cls[16] = {};
            GetClassNameA(child, cls, sizeof cls);
            char text[2048] = {};
            GetWindowTextA(child, text, sizeof text);
            const bool picture = (GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_BITMAP;
            if (_stricmp(cls, "Static") == 0 && !picture && text[0]) PrintIndented(Utf8FromAnsi(text));
        }
        std::fflush(stdout);
    }

    std::vector<std::string> answers_;
    DWORD hostThread_;
    std::atomic<bool> done_{false};
    std::thread thread_;
};

struct Options {
    int repeat = 1;
    bool stats = false;
    bool quiet = false;
    bool window = true;
    std::vector<std::string> answers;
    std::vector<std::string> orders;
};

class Host {
public:
    explicit Host(const Options& options) : options_(options) {}

    int Run() {
        WSADATA wsa;
        if (int error = WSAStartup(MAKEWORD(2, 2), &wsa); error != 0) {
            std::printf("WSAStartup failed (%s)\n", ErrorText(static_cast<DWORD>(error)).c_str());
            return 3;
        }
        if (options_.window) window_ = CreateHostWindow();
        DialogUser user(options_.answers, GetCurrentThreadId());
        int status = 0;
        for (int round = 0; round < options_.repeat && status == 0; ++round) {
            for (const std::string& order : options_.orders) {
                status = RunOrder(order);
                if (status != 0) break;
            }
        }
        library_.Unload();
        if (window_) DestroyWindow(window_);
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
        for (int i = 0; i < times; ++i) {
            int status = RunOne(name);
            if (status != 0) return status;
        }
        return 0;
    }

    int RunOne(const std::string& name) {
        if (name == "load") {
            if (library_.module) return 0;
            std::string path = LibraryPath();
            double start = NowMs();
            HMODULE module = LoadLibraryA(path.c_str());
            double elapsed = NowMs() - start;
            if (!module) {
                std::printf("load %s failed (%s)\n", path.c_str(), ErrorText(GetLastError()).c_str());
                return 4;
            }
            const char* missing = library_.Bind(module);
            Report("load", elapsed, "loaded ZELMORK.dll");
            if (missing) {
                std::printf("ZELMORK.dll lacks the export %s\n", missing);
                return 5;
            }
            return 0;
        }
        if (name == "unload") {
            if (!library_.module) return 0;
            double start = NowMs();
            library_.Unload();
            double elapsed = NowMs() - start;
            Report("unload", elapsed, "unloaded ZELMORK.dll");
            return 0;
        }
        if (name.rfind("pause:", 0) == 0) {
            PumpFor(std::atoi(name.c_str() + 6));
            return 0;
        }
        if (!library_.module) {
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
        } else if (name == "errorbox") {
            double start = NowMs();
            INT_PTR result = library_.driversErrorBox(window_);
            double elapsed = NowMs() - start;
            std::snprintf(text, sizeof text, "%lld %s", static_cast<long long>(result), DialogResultName(result));
            Report("ZMK_DriversErrorBox", elapsed, text);
        }
        return 0;
    }

    // Keeps the host's window alive, as a host's message loop would.
    void PumpFor(int milliseconds) {
        double end = NowMs() + milliseconds;
        for (double now = NowMs(); now < end; now = NowMs()) {
            MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now) + 1, QS_ALLINPUT);
            MSG msg;
            while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
                TranslateMessage(&msg);
                DispatchMessageA(&msg);
            }
        }
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
    zmk::test::LibraryExports library_;
    HWND window_ = nullptr;
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
                const bool unplugOne = answer.rfind("unplug:", 0) == 0 && std::atoi(answer.c_str() + 7) > 0;
                if (answer != "ok" && answer != "cancel" && answer != "unplug" && !unplugOne) {
                    std::printf("zmk-host: unknown answer '%s'; the answers are ok, cancel, unplug, unplug:N"
                                " (nothing was run)\n",
                                answer.c_str());
                    return 2;
                }
                options.answers.push_back(answer);
                start = comma + 1;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else if (arg.rfind("--", 0) == 0) {
            std::printf("zmk-host: unknown option %s (zmk-host --help lists them)\n", arg.c_str());
            return 2;
        } else if (!IsKnownOrder(arg)) {
            std::printf("zmk-host: unknown order %s; the orders are load, unload, init, release, status, errorbox,"
                        " pause:MS, each with an optional *N (nothing was run)\n",
                        arg.c_str());
            return 2;
        } else {
            options.orders.push_back(arg);
        }
    }
    if (options.orders.empty()) options.orders = {"load", "init", "status", "release", "unload"};
    return Host(options).Run();
}
