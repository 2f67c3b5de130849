// The technician's next step, from what the doctor found: the fix for the
// cause the report names, and the general step for a status only when
// nothing more particular was found. No Windows header: tested natively.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "artnet_packets.h"
#include "device_status.h"

namespace zmk::doctor {

// What the steps found that a fix depends on.
struct Findings {
    std::int32_t status = NoDevice;

    enum class Settings {
        Read,                 // the address was read
        NoKey,                // Borvanect's key is missing for this user
        NoValue,              // UserMainFolder is missing
        BadValue,             // of another type, too long, or unterminated
        FolderTooLong,        // the folder or the settings path does not fit a path
        FolderNotInCodePage,  // the folder holds characters the ANSI code page cannot
        FolderMissing,        // the folder named does not exist
        NoFile,               // no Pelvaro.bin in it
        Locked,               // Pelvaro.bin is open in another program
        Unreadable,           // it cannot be read otherwise
    };
    Settings settings = Settings::Read;
    unsigned codePage = 0;        // the ANSI code page, for FolderNotInCodePage
    std::vector<std::string> settingsHolders;  // the programs that have Pelvaro.bin open, where Windows names them
    std::string oddAddress;       // why the configured address is no node's, or empty
    Ipv4Octets configured{};

    enum class Network {
        NotPolled,    // nothing sent: the settings gave no address
        PortBusy,     // port 6454 held by another program
        NotSent,      // the poll could not be sent
        Silent,       // no reply at all (other traffic perhaps)
        Refused,      // a reply from a node, refused
        Accepted,
        Failed,       // the socket failed otherwise
    };
    Network network = Network::NotPolled;
    std::vector<std::string> portHolders;  // "process 1234 (C:\...\x.exe)"
    ReplyFaults refused;                   // of the first reply refused
    ArtPollReplyFields refusedReply;
    Ipv4Octets refusedSource{};

    bool discovered = false;               // --discover ran
    int acceptableNodes = 0;               // among the nodes that answered it
    Ipv4Octets acceptableNode{};           // the one, when there is exactly one

    enum class Usb { NoDriver, DriverUnusable, CountFailed, Counted, ListFailed };
    Usb usb = Usb::NoDriver;
    std::uint32_t usbCount = 0;
    bool deviceInUse = false;              // a device another program has open
};

// The next steps, most particular first; empty when there is nothing to do.
std::vector<std::string> NextSteps(const Findings& findings);

}  // namespace zmk::doctor
