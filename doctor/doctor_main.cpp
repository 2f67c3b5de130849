// zmk-doctor: runs the detection the library runs, step by step, and says
// why it comes to its status. It only reads: no registry or file is written
// (but the report it is asked for), no USB device is opened, and nothing but
// ArtPolls is sent.
//
// The steps run on a worker thread; the main thread waits for them, shows
// what they wait for, and ends the run at once on Ctrl+C, whatever the worker
// is doing: a driver call may never return.
#include <winsock2.h>
#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "activity.h"
#include "advice.h"
#include "detection_decision.h"
#include "discovery_step.h"
#include "findings.h"
#include "network_step.h"
#include "patch_step.h"
#include "report.h"
#include "settings_step.h"
#include "system_facts.h"
#include "usb_step.h"
#include "win32/clock.h"
#include "win32/stack_guard.h"
#include "win32/text_encoding.h"
#include "win32/unique_resource.h"
#include "wording.h"
#include "zmk_version.h"

namespace zmk::doctor {
namespace {

constexpr char kDoctorVersion[] = ZMK_DOCTOR_VERSION_TEXT;
constexpr char kLibraryVersion[] = ZMK_LIBRARY_VERSION_TEXT;
constexpr int kSchemaVersion = 1;
// The main thread looks at the worker this often: a Ctrl+C is answered within it.
constexpr DWORD kWatchStepMs = 100;
// A driver call that has not returned after this long is said to.
constexpr double kDriverWaitNoticeMs = 3000;
constexpr double kDriverWaitRepeatMs = 10000;
// One console line, one column short of the classic 80 so that it never wraps.
constexpr std::size_t kConsoleLineWidth = 79;

constexpr char kUsage[] =
    "usage: zmk-doctor [--discover] [--json] [--report FILE]\n"
    "       zmk-doctor --patch\n"
    "\n"
    "Runs the detection of ZELMORK.dll " ZMK_LIBRARY_VERSION_TEXT " step by step and explains its status: Borvanect's\n"
    "settings, the D2XX driver and every USB record, the Art-Net poll and every datagram within 3 s,\n"
    "and the decision, with the next step. It changes nothing: it only reads, and sends nothing but\n"
    "ArtPolls.\n"
    "\n"
    "  --discover     also broadcast one ArtPoll on every IPv4 interface and list the nodes\n"
    "  --json         the findings as one JSON document (schema in docs/doctor.md)\n"
    "  --report FILE  also write the text and the JSON to FILE, a new file, for a support ticket,\n"
    "                 with the user's and the computer's names replaced\n"
    "  --patch        only say what the installer stelmorivax_x64.exe would do on this computer, and\n"
    "                 why (exit code 0: it would patch, or there is nothing to do; 1: it would fail)\n"
    "  --version      the doctor's and the library's versions\n"
    "  --help         this text\n"
    "\n"
    "Exit code: the status the library would return (1 DriverError, 2 MultipleDevices, 10 NoDevice,\n"
    "11 OpenDmxUsb, 12 DmxUsbPro, 13 OpenDmxEthernet, 32 UnrecognizedUsbDevice); 64 a wrong\n"
    "command line (or a report file that exists), 70 the doctor failed (or FILE is a device),\n"
    "130 stopped by Ctrl+C.\n";

struct Options {
    bool patch = false;
    bool discover = false;
    bool json = false;
    std::wstring reportFile;
};

// What the worker found.
struct Diagnosis {
    Options options;
    std::vector<Step> steps;
    std::int32_t status = NoDevice;
    double listeningMs = 0;
};

HANDLE g_cancel = nullptr;

BOOL WINAPI OnConsoleControl(DWORD control) {
    if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
    ::SetEvent(g_cancel);
    return TRUE;
}

// false, with a one-line error said, for anything it does not know.
bool ParseOptions(int argc, wchar_t** argv, Options& options, bool& done) {
    for (int i = 1; i < argc; ++i) {
        const std::wstring option = argv[i];
        if (option == L"--help" || option == L"-h" || option == L"/?") {
            WriteOut(STD_OUTPUT_HANDLE, kUsage);
            done = true;
        } else if (option == L"--version") {
            WriteOut(STD_OUTPUT_HANDLE, Format("zmk-doctor %s, with the detection of ZELMORK.dll %s\n", kDoctorVersion,
                                               kLibraryVersion));
            done = true;
        } else if (option == L"--patch") {
            options.patch = true;
        } else if (option == L"--discover") {
            options.discover = true;
        } else if (option == L"--json") {
            options.json = true;
        } else if (option == L"--report" && i + 1 < argc && argv[i + 1][0] != L'\0') {
            options.reportFile = argv[++i];
        } else {
            WriteOut(STD_ERROR_HANDLE, "zmk-doctor: " +
                                           std::string(option == L"--report" ? "--report needs a file name after"
                                                                             : "unknown option") +
                                           " '" + Utf8FromWide(option) + "'; zmk-doctor --help lists the options\n");
            return false;
        }
    }
    return true;
}

Step Decide(const NetworkOutcome& network, const UsbOutcome& usb, Findings& findings) {
    Step step{"decision", ""};
    const DetectionDecision decision = DecideDeviceStatus(network.count, usb.candidates);
    const std::int32_t status = decision.identifyUsbDevice ? usb.identified : decision.status;
    findings.status = status;
    if (usb.candidates.driverUnusable) {
        Say(step, "The D2XX driver is present but cannot be bound: the library returns DriverError and discards "
                  "the network's count.");
    } else {
        Say(step, "Network interfaces: %d, USB devices: %lu.", network.count,
            static_cast<unsigned long>(usb.candidates.count));
        if (decision.identifyUsbDevice) {
            Say(step, "One USB device and nothing else: its record decides (see D2XX)%s.",
                status == DriverError ? ", and the driver failed to describe exactly that one device" : "");
        }
        if (status == MultipleDevices) {
            Say(step, "The candidates the dialog is about:");
            if (network.count == 1) Say(step, "  the Open DMX Ethernet node (see Art-Net)");
            for (const Json& candidate : usb.dialogList) Say(step, "  %s", candidate.get<std::string>().c_str());
        }
    }
    // A device another program has open is described without its identity:
    // what the library makes of it is not what is plugged in.
    const bool inUse = findings.deviceInUse && (status == OpenDmxUsb || status == DmxUsbPro ||
                                                status == UnrecognizedUsbDevice);
    const std::string consequence =
        inUse ? "The USB device is in use by another program: the driver withholds its identity, so this status "
                "says nothing of what is plugged in."
              : StatusConsequence(status);
    const std::vector<std::string> next = NextSteps(findings);
    step.verdict = StatusName(status);
    step.facts["status"] = status;
    step.facts["statusName"] = StatusName(status);
    step.facts["consequence"] = consequence;
    step.facts["nextSteps"] = next;
    Say(step, "Status: %d %s", status, StatusName(status));
    Say(step, "%s", consequence.c_str());
    for (std::size_t i = 0; i < next.size(); ++i) {
        Say(step, "%s %s.", i == 0 ? "Next step:" : "  and:", next[i].c_str());
    }
    return step;
}

// In the library's order: the settings and the network first, then USB.
void Diagnose(Diagnosis& diagnosis) {
    Findings findings;
    SettingsOutcome settings;
    Step settingsStep = CheckHostSettings(settings, findings);
    NetworkOutcome network;
    Step networkStep = ProbeConfiguredNode(settings, findings, network);
    UsbOutcome usb;
    Step usbStep = CheckD2xx(usb, findings);
    NetworkOutcome discovery;
    std::vector<Step> steps = {settingsStep, usbStep, networkStep};
    if (diagnosis.options.discover) steps.push_back(DiscoverNodes(settings, findings, discovery));
    steps.push_back(Decide(network, usb, findings));
    diagnosis.steps = std::move(steps);
    diagnosis.status = findings.status;
    diagnosis.listeningMs = network.listenedMs + discovery.listenedMs;
}

DWORD WINAPI DiagnoseOnWorker(void* context) {
    Diagnose(*static_cast<Diagnosis*>(context));
    return 0;
}

std::string TextReport(const std::vector<Step>& steps, const std::string& system) {
    std::string text = Format("zmk-doctor %s: the detection of ZELMORK.dll %s, step by step (%s)\n", kDoctorVersion,
                              kLibraryVersion, system.c_str());
    const char* headings[][2] = {{"host settings", "Host settings"}, {"d2xx", "D2XX"}, {"art-net", "Art-Net"},
                                 {"discovery", "Discovery"},         {"decision", "Decision"}};
    for (const Step& step : steps) {
        std::string heading = step.name;
        for (const auto& pair : headings) {
            if (step.name == pair[0]) heading = pair[1];
        }
        text += "\n== " + heading + ": " + step.verdict + "\n";
        for (const std::string& line : step.lines) text += line + "\n";
    }
    return text;
}

std::string JsonReport(const std::vector<Step>& steps, std::int32_t status, const Json& timing) {
    std::string wine = WineVersion();
    Json document = {{"schema", kSchemaVersion},
                     {"doctorVersion", kDoctorVersion},
                     {"libraryVersion", kLibraryVersion},
                     {"windowsBuild", WindowsBuild()},
                     {"wine", wine.empty() ? Json(nullptr) : Json(wine)},
                     {"status", status},
                     {"statusName", StatusName(status)},
                     {"timing", timing},
                     {"steps", Json::array()}};
    for (const Step& step : steps) {
        document["steps"].push_back(
            {{"name", step.name}, {"verdict", step.verdict}, {"facts", step.facts}, {"text", step.lines}});
    }
    // Bytes that are not UTF-8 become U+FFFD rather than ending the program.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// The console's progress line, rewritten in place; an empty text clears it.
class ProgressLine {
public:
    explicit ProgressLine(bool shown) : shown_(shown) {}
    void Show(const std::string& text) {
        if (!shown_ || (text.empty() && !visible_)) return;
        std::string line = "\r" + text;
        // Padded to the width, so that a shorter text covers a longer one.
        line.resize(kConsoleLineWidth + 1, ' ');
        line += '\r';
        visible_ = !text.empty();
        WriteOut(STD_ERROR_HANDLE, line);
    }

private:
    bool shown_;
    bool visible_ = false;
};

// What the worker is doing, on the console; a driver call that keeps it
// waiting is said to on a pipe too.
void ShowActivity(ProgressLine& progress, bool console, double& nextDriverNotice) {
    Activity activity = CurrentActivity();
    if (activity.kind == Activity::Kind::Listening) {
        progress.Show(Format("%s: %.1f s left (Ctrl+C stops)", activity.what.c_str(),
                             activity.milliseconds > 0 ? activity.milliseconds / 1000.0 : 0.0));
    } else if (activity.kind == Activity::Kind::DriverCall && activity.milliseconds >= kDriverWaitNoticeMs) {
        std::string words = Format("waiting for the D2XX driver: %s has not returned after %.1f s",
                                   activity.what.c_str(), activity.milliseconds / 1000.0);
        if (console) {
            progress.Show(words + " (Ctrl+C stops)");
        } else if (activity.milliseconds >= nextDriverNotice) {
            WriteOut(STD_ERROR_HANDLE, "zmk-doctor: " + words + "\n");
            nextDriverNotice = activity.milliseconds + kDriverWaitRepeatMs;
        }
    } else {
        progress.Show("");
        if (activity.kind != Activity::Kind::DriverCall) nextDriverNotice = kDriverWaitNoticeMs;
    }
}

// Ctrl+C: what was under way, then the end. The process ends without running
// any DLL's unload code: the worker may be inside the driver or the loader,
// holding locks that code would wait for.
[[noreturn]] void StopOnCtrlC(ProgressLine& progress) {
    progress.Show("");
    Activity activity = CurrentActivity();
    std::string words = "zmk-doctor: stopped by Ctrl+C";
    if (activity.kind == Activity::Kind::DriverCall) {
        words += Format("; the D2XX driver's %s had not returned after %.1f s", activity.what.c_str(),
                        activity.milliseconds / 1000.0);
    } else if (activity.kind == Activity::Kind::Listening) {
        words += " while " + activity.what;
    }
    WriteOut(STD_ERROR_HANDLE, words + "\n");
    ::TerminateProcess(::GetCurrentProcess(), kExitInterrupted);
    ::ExitProcess(kExitInterrupted);
}

int Run(int argc, wchar_t** argv) {
    Diagnosis diagnosis;
    bool done = false;
    if (!ParseOptions(argc, argv, diagnosis.options, done)) return kExitUsage;
    if (done) return 0;
    const Options& options = diagnosis.options;
    if (options.patch) return ExplainPatch();
    std::wstring reportPath;
    if (!options.reportFile.empty()) {
        if (int refused = CheckReportFile(options.reportFile, reportPath)) return refused;
    }
    const LARGE_INTEGER started = Now();

    // As the host does before it asks the library.
    WSADATA winsock;
    if (::WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: Winsock did not start\n");
        return kExitInternal;
    }
    UniqueHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_cancel = cancel.get();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);

    UniqueHandle worker(::CreateThread(nullptr, 0, DiagnoseOnWorker, &diagnosis, 0, nullptr));
    if (!worker) {
        WriteOut(STD_ERROR_HANDLE, "zmk-doctor: no thread could be started\n");
        return kExitInternal;
    }
    const bool console = IsConsole(STD_ERROR_HANDLE);
    ProgressLine progress(console && !options.json);
    double nextDriverNotice = kDriverWaitNoticeMs;
    const HANDLE waited[] = {worker.get(), cancel.get()};
    for (;;) {
        DWORD signalled = ::WaitForMultipleObjects(2, waited, FALSE, kWatchStepMs);
        if (signalled == WAIT_OBJECT_0) break;
        if (signalled == WAIT_OBJECT_0 + 1) StopOnCtrlC(progress);
        if (signalled == WAIT_FAILED) {
            WriteOut(STD_ERROR_HANDLE, "zmk-doctor: the wait for its own steps failed\n");
            return kExitInternal;
        }
        ShowActivity(progress, console, nextDriverNotice);
    }
    progress.Show("");
    ::WSACleanup();

    std::string system = "Windows " + WindowsBuild();
    std::string wine = WineVersion();
    if (!wine.empty()) system += ", under Wine " + wine;
    Json timing = {{"runMs", MillisecondsSince(started)}, {"listeningMs", diagnosis.listeningMs}};
    const std::string text = TextReport(diagnosis.steps, system);
    const std::string json = JsonReport(diagnosis.steps, diagnosis.status, timing);
    WriteOut(STD_OUTPUT_HANDLE, Unmarked(options.json ? json : text), options.json);
    if (!reportPath.empty()) {
        Redaction counts;
        std::string report = Redacted(text + "\n" + json, counts);
        report = Format("Redacted for this report: the user's name (%d place%s) and the computer's name (%d place%s).\n\n",
                        counts.user, counts.user == 1 ? "" : "s", counts.computer, counts.computer == 1 ? "" : "s") +
                 report;
        if (int failed = WriteReportFile(reportPath, report)) return failed;
    }
    return diagnosis.status;
}

}  // namespace
}  // namespace zmk::doctor

int wmain(int argc, wchar_t** argv) {
    return zmk::doctor::Run(argc, argv);
}

// The C runtime's start-up for a console program; linked with -municode, it calls wmain.
extern "C" int mainCRTStartup();

// The program's entry point: the stack protector's guard gets its value
// before the C runtime starts and calls into protected code, as in the
// installer.
extern "C" __attribute__((no_stack_protector)) int DoctorEntryPoint() {
    zmk::SeedStackGuard();
    return mainCRTStartup();
}
