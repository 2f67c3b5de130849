// Times the detection inside the Windows process, around the call only.
//   detect_bench nothing RUNS           DetectInterfaces, no host settings, no D2XX
//   detect_bench reply DELAY FLOOD RUNS ProbeArtNetNode, node answers after DELAY ms
//                                       with FLOOD unrelated datagrams a second first
//   detect_bench noreply RUNS           ProbeArtNetNode, node silent
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "clock.h"
#include "wine_support.h"

namespace {

using namespace zmk;

int Report(const char* what, std::vector<double>& times, int failures) {
    std::sort(times.begin(), times.end());
    double median = times.size() % 2 ? times[times.size() / 2]
                                     : (times[times.size() / 2 - 1] + times[times.size() / 2]) / 2;
    std::printf("%-36s runs %3zu  median %9.3f ms  max %9.3f ms  wrong results %d\n", what, times.size(), median,
                times.back(), failures);
    return failures == 0 ? 0 : 1;
}

void SetUpHost() {
    test::SetUserMainFolder(test::kHostFolder);
    std::uint32_t node = test::NodeControl::NodeAddress();
    std::uint8_t octets[4];
    std::memcpy(octets, &node, 4);
    test::WriteSettingsFile(test::kHostFolder, octets);
}

}  // namespace

int main(int argc, char** argv) {
    WSADATA data;
    if (argc < 3 || WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
    std::string mode = argv[1];
    int runs = std::atoi(argv[argc - 1]);
    std::vector<double> times;
    int failures = 0;
    char what[96];
    test::RemoveFtd2xx();

    if (mode == "nothing") {
        test::RemoveHostKeys();
        std::snprintf(what, sizeof what, "DetectInterfaces, nothing present");
        for (int i = 0; i < runs; ++i) {
            LARGE_INTEGER start = host::Now();
            failures += DetectInterfaces() != NoDevice;
            times.push_back(host::MillisecondsSince(start));
        }
    } else {
        SetUpHost();
        test::NodeControl node;
        bool reply = mode == "reply";
        std::string scenario = reply ? std::string("delay=") + argv[2] + " flood=" + argv[3] : "reply=none";
        std::snprintf(what, sizeof what, "ProbeArtNetNode, %s", scenario.c_str());
        for (int i = 0; i < runs; ++i) {
            node.Scenario(scenario);
            LARGE_INTEGER start = host::Now();
            failures += ProbeArtNetNode() != (reply ? 1 : 0);
            times.push_back(host::MillisecondsSince(start));
        }
        test::RemoveSettingsFile(test::kHostFolder);
        test::RemoveHostKeys();
    }
    int result = Report(what, times, failures);
    WSACleanup();
    return result;
}
