#include "advice.h"

#include "next_step.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

using Settings = Findings::Settings;
using Network = Findings::Network;
using Usb = Findings::Usb;

// The fix for each field of a refused reply, in the check's order.
void RefusedReplySteps(const Findings& findings, std::vector<std::string>& steps) {
    const ArtPollReplyFields& reply = findings.refusedReply;
    const std::string says = DottedText(reply.ipAddress);
    for (ReplyVerdict fault : kReplyTestOrder) {
        if (!findings.refused.Has(fault)) continue;
        switch (fault) {
            case ReplyVerdict::NotConfiguredNode:
                steps.push_back("the node says it is " + says + ": enter " + says +
                                " as the node's address in Borvanect, or set the node's own address to " +
                                DottedText(findings.configured));
                break;
            case ReplyVerdict::NotFromNode:
                steps.push_back("the node answers from " + DottedText(findings.refusedSource) + " but says it is " +
                                says + ": give the node one address, the one it answers from (no address "
                                "translation between it and this computer)");
                break;
            case ReplyVerdict::PortCannotOutput: steps.push_back("switch the node's first port to output"); break;
            case ReplyVerdict::OutputSwitched:
                steps.push_back("set the node's output universe to 0 (Sub-Net 0, universe 0; it is " +
                                OutputUniverseText(reply.swOut[0]) + ")");
                break;
            case ReplyVerdict::NotOpenDmxEthernet:
                steps.push_back(std::string("set the node's long name to \"") + kOpenDmxEthernetName + "\"");
                break;
            default: break;
        }
    }
}

void SettingsSteps(const Findings& findings, std::vector<std::string>& steps) {
    switch (findings.settings) {
        case Settings::Read:
            if (!findings.oddAddress.empty()) {
                steps.push_back("set the node's address in Borvanect: " + DottedText(findings.configured) + " is " +
                                findings.oddAddress);
            }
            break;
        case Settings::NoKey:
            steps.push_back("Borvanect has not run for this user: run Borvanect as this user and set the node's "
                            "address in it");
            break;
        case Settings::NoValue:
        case Settings::BadValue:
            steps.push_back("Borvanect's setting UserMainFolder is missing or damaged: run Borvanect as this user so "
                            "that it writes it again");
            break;
        case Settings::FolderTooLong:
            steps.push_back("move Borvanect's user folder to a shorter path: the library reads paths of up to 259 "
                            "characters");
            break;
        case Settings::FolderNotInCodePage:
            steps.push_back("move Borvanect's user folder to a path that code page " +
                            std::to_string(findings.codePage) +
                            " can hold, or set Windows' language for non-Unicode programs to one that holds its "
                            "characters");
            break;
        case Settings::FolderMissing:
            steps.push_back("the folder Borvanect names does not exist: run Borvanect as this user, or set its user "
                            "folder again");
            break;
        case Settings::NoFile:
            steps.push_back("Borvanect has no network settings for this user: set the node's address in Borvanect");
            break;
        case Settings::Locked:
            if (findings.settingsHolders.empty()) {
                steps.push_back("close Borvanect (or the program that has Pelvaro.bin open), then rescan");
            }
            for (const std::string& holder : findings.settingsHolders) {
                steps.push_back("close " + holder + ": it has Borvanect's Pelvaro.bin open; then rescan");
            }
            break;
        case Settings::Unreadable:
            steps.push_back("give this user the right to read Borvanect's Pelvaro.bin");
            break;
    }
}

void NetworkSteps(const Findings& findings, std::vector<std::string>& steps) {
    switch (findings.network) {
        case Network::PortBusy:
            if (findings.portHolders.empty()) {
                steps.push_back("close the other Art-Net program (a lighting console, a visualiser, a node utility) "
                                "that holds UDP port 6454, then rescan");
            }
            for (const std::string& holder : findings.portHolders) {
                steps.push_back("close " + holder + ": it holds UDP port 6454; then rescan");
            }
            break;
        case Network::NotSent:
            steps.push_back("connect this computer to the node's network: the poll to " +
                            DottedText(findings.configured) + " could not be sent");
            break;
        case Network::Refused: RefusedReplySteps(findings, steps); break;
        case Network::Silent:
            if (findings.discovered && findings.acceptableNodes == 0) {
                steps.push_back("no node answered, not even a broadcast poll: check that the node is on, plugged in "
                                "and on this computer's subnet");
            } else if (!findings.discovered) {
                steps.push_back("check that the node is on and plugged in and that " + DottedText(findings.configured) +
                                " is its address; zmk-doctor --discover lists the nodes that answer");
            }
            break;
        default: break;
    }
}

}  // namespace

std::vector<std::string> NextSteps(const Findings& findings) {
    std::vector<std::string> steps;
    switch (findings.status) {
        case DriverError:
            if (findings.usb == Usb::ListFailed) {
                steps.push_back("unplug the USB interface, plug it in again and rescan; if that does not help, "
                                "reinstall FTDI's D2XX driver");
            }
            break;
        case OpenDmxUsb:
        case DmxUsbPro:
        case UnrecognizedUsbDevice:
            if (findings.deviceInUse) steps.push_back("close the program that has the USB interface open, then rescan");
            break;
        case NoDevice:
            SettingsSteps(findings, steps);
            NetworkSteps(findings, steps);
            // A node found elsewhere names the fix, whatever the configured address did.
            if (findings.discovered && findings.acceptableNodes == 1 &&
                findings.acceptableNode != findings.configured) {
                steps.push_back("enter " + DottedText(findings.acceptableNode) +
                                " as the node's address in Borvanect: it is the one node there that the library "
                                "accepts");
            }
            if (findings.usb == Usb::NoDriver) {
                steps.push_back("if a USB interface is plugged in: install FTDI's D2XX driver (there is no ftd2xx.dll "
                                "in the system folder)");
            } else if (findings.usb == Usb::CountFailed) {
                steps.push_back("if a USB interface is plugged in: the D2XX driver cannot count devices; unplug it, "
                                "plug it in again, or reinstall the driver");
            }
            break;
        default: break;
    }
    if (steps.empty() && !(findings.status == UnrecognizedUsbDevice && findings.deviceInUse)) {
        if (const char* general = StatusNextStep(findings.status)) steps.push_back(general);
    }
    return steps;
}

}  // namespace zmk::doctor
