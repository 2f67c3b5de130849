#include "usb_step.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "d2xx_binding.h"
#include "detect_interfaces.h"
#include "system_facts.h"
#include "win32/entry_point.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

using FtGetLibraryVersionFunction = FtStatus(WINAPI*)(DWORD* version);

constexpr const char* kEntryPoints[] = {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList", "FT_ListDevices"};
// A driver may describe up to the whole room; the report shows this many.
constexpr DWORD kRecordsShown = 32;

std::string FtStatusText(FtStatus status) {
    const char* names[] = {"FT_OK", "FT_INVALID_HANDLE", "FT_DEVICE_NOT_FOUND", "FT_DEVICE_NOT_OPENED",
                           "FT_IO_ERROR", "FT_INSUFFICIENT_RESOURCES", "FT_INVALID_PARAMETER"};
    return Format("%lu", status) + (status < std::size(names) ? std::string(" ") + names[status] : "");
}

bool PlainText(const char* text, std::size_t length) {
    for (std::size_t i = 0; i < length; ++i) {
        if (text[i] < 0x20 || text[i] >= 0x7F) return false;
    }
    return true;
}

// A fixed text field of the record: quoted, with its bytes when it is not plain text.
std::string FieldWords(const char* field, std::size_t size, Json& facts, const char* name) {
    std::size_t length = strnlen(field, size);
    std::string words = Quote(field, length);
    facts[name] = AnsiToUtf8(std::string(field, length));
    if (!PlainText(field, length) || length == size) {
        std::string bytes = HexBytes(reinterpret_cast<const std::uint8_t*>(field), length);
        words += " (bytes " + bytes + (length == size ? ", no terminator)" : ")");
        facts[std::string(name) + "Bytes"] = bytes;
    }
    return words;
}

void DescribeRecord(Step& step, DWORD index, const FtDeviceListInfoNode& record, Json& candidates) {
    Json facts;
    facts["flags"] = record.flags;
    facts["type"] = record.type;
    facts["id"] = record.id;
    facts["locationId"] = record.locationId;
    std::string flags = DeviceFlagsText(record.flags);
    std::string chip = ChipTypeName(record.type);
    Say(step, "Device %lu: flags 0x%lX (%s)", index + 1, static_cast<unsigned long>(record.flags), flags.c_str());
    Say(step, "  chip type %s, ID 0x%08lX (VID:PID %04lX:%04lX), location ID 0x%lX", chip.c_str(),
        static_cast<unsigned long>(record.id), static_cast<unsigned long>(record.id >> 16),
        static_cast<unsigned long>(record.id & 0xFFFF), static_cast<unsigned long>(record.locationId));
    std::string serial = FieldWords(record.serialNumber, sizeof record.serialNumber, facts, "serial");
    std::string description = FieldWords(record.description, sizeof record.description, facts, "description");
    Say(step, "  serial number %s, description %s", serial.c_str(), description.c_str());
    RowExplanation row = ExplainIdentification(record.type, record.description);
    Say(step, "  identification table step %d: %s -> %d %s", row.step, row.why.c_str(), row.status,
        StatusName(row.status));
    facts["tableStep"] = row.step;
    facts["kind"] = StatusName(row.status);
    facts["why"] = AnsiToUtf8(row.why);
    step.facts["records"].push_back(facts);
    candidates.push_back(Format("USB device %lu: ", index + 1) + StatusName(row.status) + ", description " +
                         AnsiToUtf8(Quote(record.description, strnlen(record.description, sizeof record.description))));
}

// Which entry point the driver lacks, or why it did not load: the library's
// binding failed, this only names the reason.
void ExplainBindFailure(Step& step, DWORD loadError) {
    HMODULE driver = BoundD2xxLibrary();
    if (driver == nullptr) {
        step.facts["loadError"] = loadError;
        Say(step, "  the driver does not load (%s)", ErrorText(loadError).c_str());
        return;
    }
    for (const char* name : kEntryPoints) {
        bool present = ::GetProcAddress(driver, name) != nullptr;
        step.facts["entryPoints"][name] = present;
        Say(step, "  %s: %s", name, present ? "present" : "MISSING");
    }
}

}  // namespace

Step CheckD2xx(UsbOutcome& outcome) {
    Step step{"d2xx", "ok"};
    char systemFolder[kSystemPathSize] = {};
    ::GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    step.facts["systemFolder"] = AnsiToUtf8(systemFolder);
    char path[kSystemPathSize];
    if (!SystemFilePresent(path, "\\ftd2xx.dll")) {
        step.verdict = "driver missing";
        Say(step, "Searched: %s\\ftd2xx.dll: not there. The D2XX driver is not installed; the library counts no "
                  "USB device (this is not an error).", systemFolder);
        return step;
    }
    std::string version = FileVersionOf(path);
    step.facts["driver"] = AnsiToUtf8(path);
    step.facts["fileVersion"] = version;
    Say(step, "Driver: %s, file version %s", path, version.empty() ? "(none recorded)" : version.c_str());

    UnbindD2xx();
    if (!BindD2xx(path)) {
        DWORD loadError = ::GetLastError();
        step.verdict = "driver error";
        outcome.bindFailed = true;
        Say(step, "The library cannot bind the driver: DriverError, whatever the network gives.");
        ExplainBindFailure(step, loadError);
        UnbindD2xx();
        return step;
    }
    Say(step, "  FT_CreateDeviceInfoList, FT_GetDeviceInfoList, FT_ListDevices: present");
    auto libraryVersion =
        ResolveEntryPoint<FtGetLibraryVersionFunction>(BoundD2xxLibrary(), "FT_GetLibraryVersion");
    DWORD versionNumber = 0;
    if (libraryVersion && libraryVersion(&versionNumber) == kFtOk) {
        std::string text = Format("%lx.%02lx.%02lx", versionNumber >> 16 & 0xFF, versionNumber >> 8 & 0xFF,
                                  versionNumber & 0xFF);
        step.facts["libraryVersion"] = text;
        Say(step, "  FT_GetLibraryVersion: %s", text.c_str());
    }

    DWORD counted = 0;
    FtStatus created = CreateDeviceInfoList(&counted);
    step.facts["createStatus"] = created;
    if (created != kFtOk) {
        step.verdict = "call failed";
        Say(step, "FT_CreateDeviceInfoList failed (status %s): the library counts no USB device.",
            FtStatusText(created).c_str());
        UnbindD2xx();
        return step;
    }
    outcome.count = counted;
    step.facts["counted"] = counted;
    Say(step, "FT_CreateDeviceInfoList: %lu device%s", counted, counted == 1 ? "" : "s");
    if (counted == 0) step.verdict = "no device";

    // The room the library gives: the count and a wide margin, ending at a
    // page that is never accessible.
    const DeviceListRoom room(counted);
    DWORD described = 0;
    FtStatus listed = GetDeviceInfoList(room, &described);
    step.facts["listStatus"] = listed;
    step.facts["records"] = Json::array();
    if (listed != kFtOk) {
        Say(step, "FT_GetDeviceInfoList failed (status %s)", FtStatusText(listed).c_str());
    } else {
        step.facts["described"] = described;
        Say(step, "FT_GetDeviceInfoList: %lu record%s", described, described == 1 ? "" : "s");
        if (described != counted) {
            step.verdict = "list moved";
            Say(step, "  the list moved between the two calls: %lu counted, %lu described (another program in "
                      "this process refreshed it, or the driver is at fault)", counted, described);
        }
        const DWORD available = static_cast<DWORD>(described < room.capacity() ? described : room.capacity());
        if (counted == 1 && IdentifyDescribedDevice(listed, 1, room) == DriverError) {
            Say(step, "  the driver counted one device but did not describe exactly one record");
        }
        for (DWORD i = 0; i < available && i < kRecordsShown; ++i) {
            DescribeRecord(step, i, room.records()[i], outcome.candidates);
        }
        if (available > kRecordsShown) Say(step, "  ... and %lu more records", available - kRecordsShown);
    }
    outcome.identified = IdentifyDescribedDevice(listed, described, room);
    UnbindD2xx();
    return step;
}

}  // namespace zmk::doctor
