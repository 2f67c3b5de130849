// Times the detection inside the Windows process, around the call only.
//   detect_bench nothing RUNS           DetectInterfaces, no host settings, no D2XX
//   detect_bench reply DELAY FLOOD RUNS ProbeArtNetNode, node answers after DELAY ms
//                                       with FLOOD unrelated datagrams a second first
//   detect_bench noreply RUNS           ProbeArtNetNode, node silent
//   detect_bench flood RATE MS          a reader on UDP 6454 polls the node, which
//                                       floods it at RATE a second for MS ms: what
//                                       the node sent and what the reader got
#include <winsock2.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "artnet_probe.h"
#include "detect_interfaces.h"
#include "win32/clock.h"
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

// The node's count of flood datagrams sent, over all its scenarios.
long FloodSent(test::NodeControl& node) {
    std::string report = node.Command("report");
    std::size_t at = report.find("flood=");
    return at == std::string::npos ? 0 : std::atol(report.c_str() + at + 6);
}

// Reads as fast as Winsock under Wine lets it, as the probe's socket would.
int FloodReader(int rate, int floodMs) {
    test::NodeControl node;
    long sentBefore = FloodSent(node);
    node.Scenario("reply=none flood=" + std::to_string(rate) + " flood_ms=" + std::to_string(floodMs));
    SOCKET reader = ::socket(AF_INET, SOCK_DGRAM, IPPROTO_UDP);
    sockaddr_in local = {};
    local.sin_family = AF_INET;
    local.sin_port = htons(6454);
    sockaddr_in nodeAddress = local;
    nodeAddress.sin_addr.s_addr = test::NodeControl::NodeAddress();
    if (::bind(reader, reinterpret_cast<const sockaddr*>(&local), sizeof local) != 0) return 1;
    const char poll[14] = {'A', 'r', 't', '-', 'N', 'e', 't', 0, 0x00, 0x20, 0, 14, 0, 0};
    ::sendto(reader, poll, sizeof poll, 0, reinterpret_cast<const sockaddr*>(&nodeAddress), sizeof nodeAddress);
    LARGE_INTEGER start = Now();
    LARGE_INTEGER last = start;
    long received = 0;
    char buffer[2048];
    // The probe's own way of waiting, until the flood has been quiet for half a second.
    WSAEVENT event = ::WSACreateEvent();
    ::WSAEventSelect(reader, event, FD_READ);
    while (::WSAWaitForMultipleEvents(1, &event, FALSE, 500, FALSE) == WSA_WAIT_EVENT_0) {
        ::WSAResetEvent(event);
        if (::recv(reader, buffer, sizeof buffer, 0) > 0) ++received;
        last = Now();
    }
    ::WSACloseEvent(event);
    ::closesocket(reader);
    double ms = MillisecondsBetween(start, last);
    long sent = FloodSent(node) - sentBefore;
    std::printf("flood %6d/s for %5d ms: node sent %7ld (%7.0f/s); "
                "the reader got %7ld in %6.0f ms (%7.0f/s, %5.1f%%)\n",
                rate, floodMs, sent, sent * 1000.0 / floodMs, received, ms, ms > 0 ? received * 1000.0 / ms : 0.0,
                sent > 0 ? received * 100.0 / static_cast<double>(sent) : 0.0);
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    WSADATA data;
    if (argc < 3 || WSAStartup(MAKEWORD(2, 2), &data) != 0) return 2;
    std::string mode = argv[1];
    if (mode == "flood" && argc == 4) return FloodReader(std::atoi(argv[2]), std::atoi(argv[3]));
    int runs = std::atoi(argv[argc - 1]);
    std::vector<double> times;
    int failures = 0;
    char what[96];
    test::RemoveFtd2xx();

    if (mode == "nothing") {
        test::RemoveHostKeys();
        std::snprintf(what, sizeof what, "DetectInterfaces, nothing present");
        for (int i = 0; i < runs; ++i) {
            LARGE_INTEGER start = Now();
            failures += DetectInterfaces() != NoDevice;
            times.push_back(MillisecondsSince(start));
        }
    } else {
        SetUpHost();
        test::NodeControl node;
        bool reply = mode == "reply";
        std::string scenario = reply ? std::string("delay=") + argv[2] + " flood=" + argv[3] : "reply=none";
        std::snprintf(what, sizeof what, "ProbeArtNetNode, %s", scenario.c_str());
        for (int i = 0; i < runs; ++i) {
            node.Scenario(scenario);
            LARGE_INTEGER start = Now();
            failures += ProbeArtNetNode() != (reply ? 1 : 0);
            times.push_back(MillisecondsSince(start));
        }
        test::RemoveSettingsFile(test::kHostFolder);
        test::RemoveHostKeys();
    }
    int result = Report(what, times, failures);
    WSACleanup();
    return result;
}
