// zmk-doctor: runs the detection the library runs, step by step, and says
// why it comes to its status. It only reads: no registry or file is written,
// no USB device is opened, and nothing but ArtPolls is sent.
#include <winsock2.h>
#include <windows.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "detection_decision.h"
#include "findings.h"
#include "network_step.h"
#include "patch_step.h"
#include "settings_step.h"
#include "system_facts.h"
#include "usb_step.h"
#include "win32/stack_guard.h"
#include "win32/unique_resource.h"
#include "wording.h"
#include "zmk_version.h"

namespace zmk::doctor {
namespace {

constexpr char kDoctorVersion[] = ZMK_DOCTOR_VERSION_TEXT;
constexpr char kLibraryVersion[] = ZMK_LIBRARY_VERSION_TEXT;
constexpr int kSchemaVersion = 1;
// Exit codes of the doctor itself, apart from every status value.
constexpr int kExitUsage = 64;
constexpr int kExitInternal = 70;
constexpr int kExitInterrupted = 130;

constexpr char kUsage[] =
    "usage: zmk-doctor [--discover] [--json] [--report FILE]\n"
    "       zmk-doctor --patch\n"
    "\n"
    "Runs the detection of ZELMORK.dll " ZMK_LIBRARY_VERSION_TEXT " step by step and explains its status: Borvanect's\n"
    "settings, the D2XX driver and every USB record, the Art-Net poll and every datagram within 3 s,\n"
    "and the decision. It changes nothing: it only reads, and sends nothing but ArtPolls.\n"
    "\n"
    "  --discover     also broadcast one ArtPoll on every IPv4 interface and list the nodes\n"
    "  --json         the findings as one JSON document (schema in docs/doctor.md)\n"
    "  --report FILE  write the text and the JSON to FILE for a support ticket, with the user's\n"
    "                 and the computer's names replaced\n"
    "  --patch        only say what the installer stelmorivax_x64.exe would do on this computer, and\n"
    "                 why (exit code 0: it would patch, or there is nothing to do; 1: it would fail)\n"
    "  --version      the doctor's and the library's versions\n"
    "  --help         this text\n"
    "\n"
    "Exit code: the status the library would return (1 DriverError, 2 MultipleDevices, 10 NoDevice,\n"
    "11 OpenDmxUsb, 12 DmxUsbPro, 13 OpenDmxEthernet, 32 UnrecognizedUsbDevice); 64 a wrong\n"
    "command line, 70 the doctor failed, 130 stopped by Ctrl+C.\n";

struct Options {
    bool patch = false;
    bool discover = false;
    bool json = false;
    std::string reportFile;
};

HANDLE g_cancel = nullptr;

BOOL WINAPI OnConsoleControl(DWORD control) {
    if (control != CTRL_C_EVENT && control != CTRL_BREAK_EVENT) return FALSE;
    ::SetEvent(g_cancel);
    return TRUE;
}

// false, with a one-line error printed, for anything it does not know.
bool ParseOptions(int argc, char** argv, Options& options, bool& done) {
    for (int i = 1; i < argc; ++i) {
        std::string option = argv[i];
        if (option == "--help" || option == "-h" || option == "/?") {
            std::fputs(kUsage, stdout);
            done = true;
        } else if (option == "--version") {
            std::printf("zmk-doctor %s, with the detection of ZELMORK.dll %s\n", kDoctorVersion, kLibraryVersion);
            done = true;
        } else if (option == "--patch") {
            options.patch = true;
        } else if (option == "--discover") {
            options.discover = true;
        } else if (option == "--json") {
            options.json = true;
        } else if (option == "--report" && i + 1 < argc && argv[i + 1][0] != '\0') {
            options.reportFile = argv[++i];
        } else {
            std::fprintf(stderr, "zmk-doctor: %s '%s'; zmk-doctor --help lists the options\n",
                         option == "--report" ? "--report needs a file name after" : "unknown option", option.c_str());
            return false;
        }
    }
    return true;
}

Step Decide(const NetworkOutcome& network, const UsbOutcome& usb, std::int32_t& status) {
    Step step{"decision", ""};
    if (usb.bindFailed) {
        status = DriverError;
        Say(step, "The D2XX driver is present but cannot be bound: the library returns DriverError and discards "
                  "the network's count.");
    } else {
        DetectionDecision decision = DecideDeviceStatus(network.count, usb.count);
        status = decision.identifyUsbDevice ? usb.identified : decision.status;
        Say(step, "Network interfaces: %d, USB devices: %lu.", network.count, static_cast<unsigned long>(usb.count));
        if (decision.identifyUsbDevice) {
            Say(step, "One USB device and nothing else: its record decides (see D2XX)%s.",
                status == DriverError ? ", and the driver failed to describe exactly that one device" : "");
        }
        if (status == MultipleDevices) {
            Say(step, "The candidates the dialog is about:");
            if (network.count == 1) Say(step, "  the Open DMX Ethernet node (see Art-Net)");
            for (const Json& candidate : usb.candidates) Say(step, "  %s", candidate.get<std::string>().c_str());
        }
    }
    step.verdict = StatusName(status);
    step.facts["status"] = status;
    step.facts["statusName"] = StatusName(status);
    step.facts["consequence"] = StatusConsequence(status);
    Say(step, "Status: %d %s", status, StatusName(status));
    Say(step, "%s", StatusConsequence(status));
    return step;
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
        Json lines = Json::array();
        for (const std::string& line : step.lines) lines.push_back(AnsiToUtf8(line));
        document["steps"].push_back(
            {{"name", step.name}, {"verdict", AnsiToUtf8(step.verdict)}, {"facts", step.facts}, {"text", lines}});
    }
    // Bytes that are not UTF-8 (a driver's raw description) become U+FFFD
    // rather than ending the program.
    return document.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

// Replaces every occurrence of name (ignoring case) by mark; how many.
int Redact(std::string& text, const std::string& name, const char* mark) {
    if (name.size() < 2) return 0;
    int count = 0;
    auto lower = [](std::string value) {
        for (char& c : value) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
        return value;
    };
    std::string folded = lower(text);
    std::string key = lower(name);
    std::string result;
    std::size_t from = 0;
    for (std::size_t at = folded.find(key); at != std::string::npos; at = folded.find(key, at + key.size())) {
        result += text.substr(from, at - from) + mark;
        from = at + key.size();
        ++count;
    }
    text = result + text.substr(from);
    return count;
}

bool WriteReport(const std::string& file, std::string text) {
    char user[256] = {};
    DWORD userSize = sizeof user;
    char computer[MAX_COMPUTERNAME_LENGTH + 1] = {};
    DWORD computerSize = sizeof computer;
    std::string userName = ::GetUserNameA(user, &userSize) ? user : "";
    std::string computerName = ::GetComputerNameA(computer, &computerSize) ? computer : "";
    int users = Redact(text, userName, "<user>");
    int computers = Redact(text, computerName, "<computer>");
    text = Format("Redacted for this report: the user's name (%d place%s) and the computer's name (%d place%s).\n\n",
                  users, users == 1 ? "" : "s", computers, computers == 1 ? "" : "s") + text;
    UniqueFile out(::CreateFileA(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    DWORD written = 0;
    if (!out || !::WriteFile(out.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) ||
        written != text.size()) {
        return false;
    }
    return ::CloseHandle(out.release()) != FALSE;
}

bool IsConsole(DWORD which) {
    DWORD mode = 0;
    return ::GetConsoleMode(::GetStdHandle(which), &mode) != FALSE;
}

int Run(int argc, char** argv) {
    Options options;
    bool done = false;
    if (!ParseOptions(argc, argv, options, done)) return kExitUsage;
    if (done) return 0;
    if (options.patch) return ExplainPatch();
    LARGE_INTEGER started;
    ::QueryPerformanceCounter(&started);

    // As the host does before it asks the library.
    WSADATA winsock;
    if (::WSAStartup(MAKEWORD(2, 2), &winsock) != 0) {
        std::fputs("zmk-doctor: Winsock did not start\n", stderr);
        return kExitInternal;
    }
    UniqueHandle cancel(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    g_cancel = cancel.get();
    ::SetConsoleCtrlHandler(OnConsoleControl, TRUE);
    WaitControl wait{!options.json && IsConsole(STD_OUTPUT_HANDLE), cancel.get()};

    // In the library's order: the settings and the network first, then USB.
    SettingsOutcome settings;
    Step settingsStep = CheckHostSettings(settings);
    NetworkOutcome network;
    Step networkStep = ProbeConfiguredNode(settings, wait, network);
    UsbOutcome usb;
    Step usbStep = CheckD2xx(usb);
    std::int32_t status = NoDevice;
    Step decisionStep = Decide(network, usb, status);
    std::vector<Step> steps = {settingsStep, usbStep, networkStep};
    NetworkOutcome discovery;
    if (options.discover && !network.cancelled) steps.push_back(DiscoverNodes(settings, wait, discovery));
    steps.push_back(decisionStep);
    ::WSACleanup();
    if (network.cancelled || discovery.cancelled) {
        std::fputs("zmk-doctor: stopped by Ctrl+C\n", stderr);
        return kExitInterrupted;
    }

    std::string system = "Windows " + WindowsBuild();
    std::string wine = WineVersion();
    if (!wine.empty()) system += ", under Wine " + wine;
    Json timing = {{"runMs", MillisecondsSince(started)},
                   {"listeningMs", network.listenedMs + discovery.listenedMs}};
    std::string text = TextReport(steps, system);
    std::string json = JsonReport(steps, status, timing);
    std::fputs(options.json ? json.c_str() : text.c_str(), stdout);
    std::fflush(stdout);
    if (!options.reportFile.empty() && !WriteReport(options.reportFile, text + "\n" + json)) {
        std::fprintf(stderr, "zmk-doctor: the report cannot be written to %s\n", options.reportFile.c_str());
        return kExitInternal;
    }
    return status;
}

}  // namespace
}  // namespace zmk::doctor

int main(int argc, char** argv) {
    return zmk::doctor::Run(argc, argv);
}

// The C runtime's start-up for a console program, which calls main.
extern "C" int mainCRTStartup();

// The program's entry point: the stack protector's guard gets its value
// before the C runtime starts and calls into protected code, as in the
// installer.
extern "C" __attribute__((no_stack_protector)) int DoctorEntryPoint() {
    zmk::SeedStackGuard();
    return mainCRTStartup();
}
