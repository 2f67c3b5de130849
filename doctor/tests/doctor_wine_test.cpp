// The shipped zmk-doctor.exe against the library's own detection, in the
// same setups: the D2XX stand-in in the system folder and the simulated node
// at ZMK_NODE_ADDRESS in a network namespace of its own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include <nlohmann/json.hpp>

#include "detect_interfaces.h"
#include "windows_path.h"
#include "wine_support.h"

namespace zmk {
namespace {

struct DoctorRun {
    DWORD exitCode = 0xFFFFFFFF;
    std::string output;
};

// Runs the doctor with args and collects what it prints.
DoctorRun RunDoctor(const std::string& args) {
    DoctorRun run;
    SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) return run;
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    std::string line = "\"" + test::WindowsPath(std::getenv("ZMK_DOCTOR")) + "\" " + args;
    PROCESS_INFORMATION process = {};
    BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (started) {
        char chunk[4096];
        DWORD read = 0;
        while (ReadFile(readEnd, chunk, sizeof chunk, &read, nullptr) && read > 0) run.output.append(chunk, read);
        WaitForSingleObject(process.hProcess, 30000);
        GetExitCodeProcess(process.hProcess, &run.exitCode);
        CloseHandle(process.hThread);
        CloseHandle(process.hProcess);
    }
    CloseHandle(readEnd);
    return run;
}

struct DetectionSetup {
    const char* name;
    const char* driver;   // stand-in variant in the system folder, or none
    const char* devices;  // its configuration
    const char* node;     // the node's scenario, or none for no settings at all
    DeviceStatus status;
    const char* explained;  // a line of the text report that says why
};

class Doctor : public testing::Test {
protected:
    void SetUp() override { Clear(); }
    void TearDown() override { Clear(); }
    static void Clear() {
        test::RemoveHostKeys();
        test::RemoveSettingsFile(test::kHostFolder);
        test::RemoveFtd2xx();
    }
    void Arrange(const DetectionSetup& setup) {
        Clear();
        if (setup.driver != nullptr) {
            test::InstallFtd2xx(setup.driver);
            test::WriteFtd2xxConfig(setup.devices);
        }
        if (setup.node != nullptr) {
            std::uint32_t node = test::NodeControl::NodeAddress();
            std::uint8_t octets[4];
            std::memcpy(octets, &node, 4);
            test::SetUserMainFolder(test::kHostFolder);
            test::WriteSettingsFile(test::kHostFolder, octets);
            node_.Scenario(setup.node);
        }
    }
    test::NodeControl node_;
};

// Every setup of scripts/try.sh, a list that moves between the driver's two
// calls, and the Art-Net port held by another program: the doctor's status
// (JSON and exit code) is the library's, and its report says why.
TEST_F(Doctor, StatusIsTheLibrarysInEverySetup) {
    const DetectionSetup setups[] = {
        {"nothing", nullptr, "", nullptr, NoDevice, "No ArtPoll is sent: the host settings gave no node address"},
        {"open-dmx-usb", "ftd2xx", "device=0 OPEN DMX USB", nullptr, OpenDmxUsb,
         "identification table step 2: chip type 0 (BM) and the description is exactly \"OPEN DMX USB\""},
        {"dmx-usb-pro", "ftd2xx", "device=5 DMX USB PRO", nullptr, DmxUsbPro, "identification table step 6"},
        {"unrecognised", "ftd2xx", "device=6 FT2232H", nullptr, UnrecognizedUsbDevice,
         "chip type 6 (2232H) is neither BM (0) nor 232R (5)"},
        {"factory-default", "ftd2xx", "device=5 FT232R USB UART", nullptr, OpenDmxUsb, "factory default"},
        {"two-devices", "ftd2xx", "device=0 OPEN DMX USB\ndevice=5 DMX USB PRO", nullptr, MultipleDevices,
         "  USB device 2: DmxUsbPro, description \"DMX USB PRO\""},
        {"node", nullptr, "", "", OpenDmxEthernet, "<- the library takes this reply"},
        {"node-silent", nullptr, "", "reply=none", NoDevice, "Nothing arrived within 3000 ms"},
        {"node-and-usb", "ftd2xx", "device=0 OPEN DMX USB", "", MultipleDevices,
         "  the Open DMX Ethernet node (see Art-Net)"},
        {"driver-missing-entry-point", "ftd2xx-without-list-devices", "device=0 OPEN DMX USB", nullptr, DriverError,
         "  FT_ListDevices: MISSING"},
        {"moving-list", "ftd2xx", "device=0 OPEN DMX USB\ndescribe=2", nullptr, DriverError,
         "the list moved between the two calls: 1 counted, 2 described"},
        {"device-in-use", "ftd2xx", "device=5 DMX USB PRO\nopened=1", nullptr, DmxUsbPro,
         "Next step: close the program that has the USB interface open, then rescan."},
    };
    for (const DetectionSetup& setup : setups) {
        SCOPED_TRACE(setup.name);
        Arrange(setup);
        DeviceStatus library = DetectInterfaces();
        DoctorRun json = RunDoctor("--json");
        EXPECT_EQ(setup.status, library);
        auto document = nlohmann::json::parse(json.output, nullptr, false);
        ASSERT_FALSE(document.is_discarded()) << json.output;
        EXPECT_EQ(library, document["status"].get<int>());
        EXPECT_EQ(static_cast<DWORD>(library), json.exitCode);
        // The text report's lines, as the document carries them.
        std::string text;
        for (const auto& step : document["steps"]) {
            for (const auto& line : step["text"]) text += line.get<std::string>() + "\n";
        }
        EXPECT_NE(std::string::npos, text.find(setup.explained)) << text;
        // A device another program holds is never taken for the one Borvanect will use.
        if (std::strcmp(setup.name, "device-in-use") == 0) {
            EXPECT_EQ(std::string::npos, text.find("will use")) << text;
        }
        // The driver's file version, and its own version when it has the call.
        if (setup.driver != nullptr && std::strcmp(setup.driver, "ftd2xx") == 0) {
            EXPECT_NE(std::string::npos, text.find("ftd2xx.dll, file version 3.2.15.0")) << text;
            EXPECT_NE(std::string::npos, text.find("  FT_GetLibraryVersion: 3.02.15")) << text;
        }
    }

    // The port held here: the library's probe and the doctor both fail to bind it.
    Arrange({"busy-port", nullptr, "", "", NoDevice, ""});
    SOCKET holder = socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    // Only this test holds it: the doctor, started with inherited pipes, is
    // not given the socket too.
    SetHandleInformation(reinterpret_cast<HANDLE>(holder), HANDLE_FLAG_INHERIT, 0);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(6454);
    ASSERT_EQ(0, bind(holder, reinterpret_cast<sockaddr*>(&local), sizeof local));
    const std::string named = "  held by process " + std::to_string(GetCurrentProcessId()) + " (";
    const std::string unnamed = "the system does not say which program holds it";
    // Whether the system names the binder at once (Windows, Wine 10) or only
    // once it has read from its socket (Wine 8, which gives owner 0 before),
    // the doctor names it exactly when the system does, and never process 0
    // nor itself.
    for (bool read : {false, true}) {
        SCOPED_TRACE(read ? "after a read" : "before any read");
        if (read) {
            u_long nonBlocking = 1;
            ioctlsocket(holder, FIONBIO, &nonBlocking);
            char datagram[16];
            EXPECT_EQ(SOCKET_ERROR, recv(holder, datagram, sizeof datagram, 0));
        }
        EXPECT_EQ(NoDevice, DetectInterfaces());
        const DWORD owner = test::UdpPortOwner(6454);
        DoctorRun busy = RunDoctor("");
        EXPECT_EQ(static_cast<DWORD>(NoDevice), busy.exitCode);
        EXPECT_NE(std::string::npos, busy.output.find("== Art-Net: port busy")) << busy.output;
        EXPECT_NE(std::string::npos, busy.output.find("No ArtPoll is sent: UDP port 6454 cannot be taken")) << busy.output;
        EXPECT_EQ(std::string::npos, busy.output.find("held by process 0")) << busy.output;
        EXPECT_EQ(std::string::npos, busy.output.find("zmk-doctor.exe)")) << busy.output;
        if (owner != 0) {
            EXPECT_EQ(GetCurrentProcessId(), owner);
            EXPECT_NE(std::string::npos, busy.output.find(named)) << busy.output;
        } else {
            EXPECT_NE(std::string::npos, busy.output.find(unnamed)) << busy.output;
        }
        // Wine 8 names the binder after the read at the latest.
        if (read) {
            EXPECT_NE(0u, owner);
        }
    }
    closesocket(holder);
}

// Settings a host should never have, but a damaged registry or a busy
// Borvanect give: the doctor comes to the library's status and says why.
TEST_F(Doctor, HostileSettingsGiveTheLibrarysStatusAndTheReason) {
    const std::string folder = test::kHostFolder;
    const std::string longValue(4097, 'a');
    const std::string longFolder = "C:\\" + std::string(300, 'f');
    const struct {
        const char* name;
        DWORD type;
        const std::string* value;
        const char* reason;
    } cases[] = {
        {"expand-sz", REG_EXPAND_SZ, &folder, "the library reads only REG_SZ"},
        {"over-long value", REG_SZ, &longValue, "longer than the 4096 bytes the library reads"},
        {"long folder", REG_SZ, &longFolder, "the text is 303 characters: more than the 259 a path can hold"},
    };
    for (const auto& setting : cases) {
        SCOPED_TRACE(setting.name);
        Clear();
        test::SetUserMainFolderValue(setting.type, setting.value->c_str(),
                                     static_cast<DWORD>(setting.value->size() + 1));
        DeviceStatus library = DetectInterfaces();
        DoctorRun run = RunDoctor("");
        EXPECT_EQ(NoDevice, library);
        EXPECT_EQ(static_cast<DWORD>(library), run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(setting.reason)) << run.output;
    }

    // The settings file held open without sharing, as a running Borvanect may.
    Arrange({"locked", nullptr, "", "", NoDevice, ""});
    HANDLE held = CreateFileA(test::SettingsFilePath(folder).c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0,
                              nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, held);
    DeviceStatus library = DetectInterfaces();
    DoctorRun locked = RunDoctor("");
    CloseHandle(held);
    EXPECT_EQ(NoDevice, library);
    EXPECT_EQ(static_cast<DWORD>(library), locked.exitCode);
    // The program that holds it, where the Restart Manager names it (not under Wine 8).
    EXPECT_NE(std::string::npos, locked.output.find(" has it open")) << locked.output;
}

// Each refusal of the reply check, as the node plays it, named in the
// doctor's words with the field it found; the status stays NoDevice.
TEST_F(Doctor, EveryRefusalIsNamedWithTheFieldItFound) {
    const std::string node = "198.18.0.2";
    const struct {
        const char* scenario;
        std::string words;
    } refusals[] = {
        {"poke=61:20", "LongName is \"Open DMX Ethernet \" (it must be exactly \"Open DMX Ethernet\"); it differs only "
                       "in spaces or case"},
        {"poke=26:4f70656e20444d582045746865726e657400 poke=44:00",
         "the ShortName is \"Open DMX Ethernet\", but only the LongName counts"},
        {"poke=174:40", "port 1 is an input, not an output (PortTypes[0] is 0x40)"},
        {"poke=190:10", "SwOut[0] is 0x10, not 0 (port 1 outputs Sub-Net 1, universe 0 of that sub-net)"},
        {"source=second", "the reply says it is " + node + " but came from 198.18.0.3"},
        {"poke=13:09", "the reply says it is 198.18.0.9, but the node configured in Pelvaro.bin is " + node},
        {"length=241", "longer than the 240 bytes a reply can have (an Art-Net OpPollReply packet)"},
        {"reply=none", "Nothing arrived within 3000 ms"},
    };
    for (const auto& refusal : refusals) {
        SCOPED_TRACE(refusal.scenario);
        Arrange({"refusal", nullptr, "", refusal.scenario, NoDevice, ""});
        DoctorRun run = RunDoctor("");
        EXPECT_EQ(static_cast<DWORD>(NoDevice), run.exitCode);
        EXPECT_NE(std::string::npos, run.output.find(refusal.words)) << run.output;
    }
}

// Two nodes answer a broadcast poll (the second with its output switched),
// while Pelvaro.bin names an address where nothing answers: the doctor marks
// each and says which bytes would name the acceptable one.
TEST(DoctorDiscovery, ListsEveryNodeAndTheOneTheLibraryWouldAccept) {
    test::RemoveFtd2xx();
    test::SetUserMainFolder(test::kHostFolder);
    test::WriteSettingsFile(test::kHostFolder, {198, 18, 0, 9});
    DoctorRun run = RunDoctor("--discover");
    test::RemoveSettingsFile(test::kHostFolder);
    test::RemoveHostKeys();
    EXPECT_EQ(static_cast<DWORD>(NoDevice), run.exitCode);
    for (const char* line : {"== Discovery: 2 nodes, 1 acceptable", "Node 198.18.0.2: the library would accept it at "
                             "this address", "Node 198.18.0.4: refused: SwOut[0] is 0x10, not 0",
                             "Exactly one acceptable node answers, at 198.18.0.2, but Pelvaro.bin names 198.18.0.9: "
                             "the address to enter in Borvanect is 198.18.0.2 (bytes 20 to 23 of Pelvaro.bin: "
                             "C6 12 00 02).",
                             "Next step: enter 198.18.0.2 as the node's address in Borvanect"}) {
        EXPECT_NE(std::string::npos, run.output.find(line)) << line << "\n" << run.output;
    }
}

}  // namespace
}  // namespace zmk
