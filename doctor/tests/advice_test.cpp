// The Decision's next step follows what the report found: one row a cause.
#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "advice.h"

namespace zmk::doctor {
namespace {

struct Cause {
    const char* name;
    std::function<void(Findings&)> arrange;
    const char* firstStep;  // the first step, as said
};

Findings Silent() {
    Findings findings;
    findings.configured = {198, 18, 0, 2};
    findings.network = Findings::Network::Silent;
    findings.usb = Findings::Usb::Counted;
    return findings;
}

TEST(Advice, EachCauseHasItsOwnFix) {
    using S = Findings::Settings;
    const Cause causes[] = {
        {"no key", [](Findings& f) { f.settings = S::NoKey; f.network = Findings::Network::NotPolled; },
         "Borvanect has not run for this user: run Borvanect as this user and set the node's address in it"},
        {"no file", [](Findings& f) { f.settings = S::NoFile; f.network = Findings::Network::NotPolled; },
         "Borvanect has no network settings for this user: set the node's address in Borvanect"},
        {"locked", [](Findings& f) { f.settings = S::Locked; f.network = Findings::Network::NotPolled; },
         "close Borvanect (or the program that has Pelvaro.bin open), then rescan"},
        {"locked by a named program", [](Findings& f) {
             f.settings = S::Locked;
             f.settingsHolders = {"Borvanect (process 9)"};
             f.network = Findings::Network::NotPolled;
         },
         "close Borvanect (process 9): it has Borvanect's Pelvaro.bin open; then rescan"},
        {"code page", [](Findings& f) { f.settings = S::FolderNotInCodePage; f.codePage = 1252; },
         "move Borvanect's user folder to a path that code page 1252 can hold"},
        {"silent", [](Findings&) {},
         "check that the node is on and plugged in and that 198.18.0.2 is its address; zmk-doctor --discover lists "
         "the nodes that answer"},
        {"found elsewhere", [](Findings& f) { f.discovered = true; f.acceptableNodes = 1; f.acceptableNode = {198, 18, 0, 4}; },
         "enter 198.18.0.4 as the node's address in Borvanect"},
        {"port held", [](Findings& f) { f.network = Findings::Network::PortBusy; f.portHolders = {"process 7 (C:\\x.exe)"}; },
         "close process 7 (C:\\x.exe): it holds UDP port 6454; then rescan"},
        {"long name", [](Findings& f) { f.network = Findings::Network::Refused; f.refused.Add(ReplyVerdict::NotOpenDmxEthernet); },
         "set the node's long name to \"Open DMX Ethernet\""},
        {"input port", [](Findings& f) { f.network = Findings::Network::Refused; f.refused.Add(ReplyVerdict::PortCannotOutput); },
         "switch the node's first port to output"},
        {"universe", [](Findings& f) {
             f.network = Findings::Network::Refused;
             f.refused.Add(ReplyVerdict::OutputSwitched);
             f.refusedReply.swOut[0] = 0x10;
         },
         "set the node's output universe to 0 (Sub-Net 0, universe 0; it is Sub-Net 1, universe 0 of that sub-net)"},
        {"another address", [](Findings& f) {
             f.network = Findings::Network::Refused;
             f.refused.Add(ReplyVerdict::NotConfiguredNode);
             f.refusedReply.ipAddress = {10, 0, 0, 7};
         },
         "the node says it is 10.0.0.7: enter 10.0.0.7 as the node's address in Borvanect"},
        {"no driver, USB", [](Findings& f) { f.network = Findings::Network::Accepted; f.usb = Findings::Usb::NoDriver; },
         "if a USB interface is plugged in: install FTDI's D2XX driver"},
        {"device in use", [](Findings& f) { f.status = DmxUsbPro; f.deviceInUse = true; },
         "close the program that has the USB interface open, then rescan"},
        {"nothing particular", [](Findings& f) { f.status = MultipleDevices; },
         "unplug all but one DMX interface and rescan"},
    };
    for (const Cause& cause : causes) {
        Findings findings = Silent();
        cause.arrange(findings);
        std::vector<std::string> steps = NextSteps(findings);
        ASSERT_FALSE(steps.empty()) << cause.name;
        EXPECT_EQ(0u, steps.front().find(cause.firstStep)) << cause.name << ": " << steps.front();
    }
    // Two faults of one reply: both fixes, in the check's order.
    Findings both = Silent();
    both.network = Findings::Network::Refused;
    both.refused.Add(ReplyVerdict::NotOpenDmxEthernet);
    both.refused.Add(ReplyVerdict::OutputSwitched);
    std::vector<std::string> steps = NextSteps(both);
    ASSERT_EQ(2u, steps.size());
    EXPECT_EQ(0u, steps[0].find("set the node's output universe to 0"));
    EXPECT_EQ(0u, steps[1].find("set the node's long name"));
    // What needs nothing gets nothing.
    Findings found = Silent();
    found.status = OpenDmxEthernet;
    EXPECT_TRUE(NextSteps(found).empty());
}

}  // namespace
}  // namespace zmk::doctor
