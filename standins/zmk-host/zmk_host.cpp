// zmk-host: stands in for the host application.
//
// Starts Winsock, opens a main window, loads ZELMORK.dll from its own folder
// and calls the exports on this one user-interface thread, in the order the
// command line gives. Each call is printed with its result and its time.
//
//   zmk-host [--repeat N] [--stats] [--quiet] [--no-window] [--answer LIST] ORDER...
//
// Orders: load, unload, init, release, status, errorbox, pause:MS
//         (an order may end in *N to run it N times in a row).
// Without orders: load init status release unload.
// With --stats, the median and maximum time of each order are printed at the
// end (the benchmarks read them).
// With --answer, a second thread plays the user of the library's dialogs: it
// prints each dialog it sees and answers them in turn with the comma-separated
// LIST: ok, cancel, or unplug (empties the D2XX stand-in's device list, as if
// the USB interfaces were pulled out, then presses the first button).
// Without --answer the dialogs wait for a person.
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

namespace {

using InitializeFn = int(__cdecl*)();
using ReleaseFn = void(__cdecl*)();
using GetDeviceStatusFn = int(__cdecl*)();
using DriversErrorBoxFn = INT_PTR(__cdecl*)(HWND);

struct Library {
    HMODULE module = nullptr;
    InitializeFn initialize = nullptr;
    ReleaseFn release = nullptr;
    GetDeviceStatusFn getDeviceStatus = nullptr;
    DriversErrorBoxFn driversErrorBox = nullptr;
};

template <typename F>
F Resolve(HMODULE module, const char* name) {
    return reinterpret_cast<F>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

const char* StatusName(int status) {
    switch (status) {
        case 1: return "DriverError";
        case 2: return "MultipleDevices";
        case 10: return "NoDevice";
        case 11: return "OpenDmxUsb";
        case 12: return "DmxUsbPro";
        case 13: return "OpenDmxEthernet";
        case 32: return "UnrecognizedUsbDevice";
        default: return "unknown";
    }
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
        if (WSAStartup(MAKEWORD(2, 2), &wsa) != 0) {
            std::printf("WSAStartup failed\n");
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
        if (library_.module) FreeLibrary(library_.module);
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
                std::printf("load %s failed (error %lu)\n", path.c_str(), GetLastError());
                return 4;
            }
            library_.module = module;
            library_.initialize = Resolve<InitializeFn>(module, "ZMK_Initialize");
            library_.release = Resolve<ReleaseFn>(module, "ZMK_Release");
            library_.getDeviceStatus = Resolve<GetDeviceStatusFn>(module, "ZMK_GetDeviceStatus");
            library_.driversErrorBox = Resolve<DriversErrorBoxFn>(module, "ZMK_DriversErrorBox");
            Report("load", elapsed, "loaded ZELMORK.dll");
            if (!library_.initialize || !library_.release || !library_.getDeviceStatus || !library_.driversErrorBox) {
                std::printf("ZELMORK.dll lacks an export\n");
                return 5;
            }
            return 0;
        }
        if (name == "unload") {
            if (!library_.module) return 0;
            double start = NowMs();
            FreeLibrary(library_.module);
            double elapsed = NowMs() - start;
            library_ = Library{};
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
        } else {
            std::printf("unknown order: %s\n", name.c_str());
            return 2;
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
    Library library_;
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
                options.answers.push_back(list.substr(start, comma - start));
                start = comma + 1;
            }
        } else if (arg == "--help" || arg == "-h") {
            std::printf("usage: zmk-host [--repeat N] [--stats] [--quiet] [--no-window] [--answer ok|cancel|unplug,...] ORDER...\n"
                        "orders: load unload init release status errorbox pause:MS (ORDER*N repeats)\n");
            return 0;
        } else {
            options.orders.push_back(arg);
        }
    }
    if (options.orders.empty()) options.orders = {"load", "init", "status", "release", "unload"};
    return Host(options).Run();
}
