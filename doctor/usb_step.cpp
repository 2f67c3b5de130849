#include "usb_step.h"

#include <windows.h>

#include <cstring>
#include <memory>

#include "activity.h"
#include "d2xx_binding.h"
#include "detect_interfaces.h"
#include "system_facts.h"
#include "win32/entry_point.h"
#include "win32/error_text.h"
#include "win32/text_encoding.h"
#include "wording.h"

namespace zmk::doctor {
namespace {

using FtGetLibraryVersionFunction = FtStatus(WINAPI*)(DWORD* version);

constexpr const char* kEntryPoints[] = {"FT_CreateDeviceInfoList", "FT_GetDeviceInfoList", "FT_ListDevices"};
// A driver may describe up to the whole room; the report shows this many.
constexpr DWORD kRecordsShown = 32;
// A driver call that takes this long is said to: the library's detection,
// and with it Borvanect, waits as long.
constexpr double kSlowCallMs = 1000;

std::string FtStatusText(FtStatus status) {
    const char* names[] = {"FT_OK", "FT_INVALID_HANDLE", "FT_DEVICE_NOT_FOUND", "FT_DEVICE_NOT_OPENED",
                           "FT_IO_ERROR", "FT_INSUFFICIENT_RESOURCES", "FT_INVALID_PARAMETER"};
    return Format("%lu", status) + (status < std::size(names) ? std::string(" ") + names[status] : "");
}

std::string TookWords(const DriverCall& call) {
    double ms = call.Milliseconds();
    if (ms < kSlowCallMs) return "";
    return Format(" (it took %.1f s: the library's detection, and Borvanect with it, waits as long)", ms / 1000.0);
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
    std::string words = Given(Quote(field, length));
    facts[name] = Given(Utf8FromAnsi(std::string_view(field, length)));
    if (!PlainText(field, length) || length == size) {
        std::string bytes = HexBytes(reinterpret_cast<const std::uint8_t*>(field), length);
        words += " (bytes " + bytes + (length == size ? ", no terminator)" : ")");
        facts[std::string(name) + "Bytes"] = bytes;
    }
    return words;
}

void DescribeRecord(Step& step, DWORD index, const FtDeviceListInfoNode& record, UsbOutcome& outcome,
                    Findings& findings) {
    Json facts;
    facts["flags"] = record.flags;
    facts["type"] = record.type;
    facts["id"] = record.id;
    facts["locationId"] = record.locationId;
    std::string flags = DeviceFlagsText(record.flags);
    std::string chip = ChipTypeName(record.type);
    if (record.flags & kFtFlagOpened) findings.deviceInUse = true;
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
    facts["why"] = row.why;
    step.facts["records"].push_back(facts);
    outcome.dialogList.push_back(Format("USB device %lu: ", index + 1) + StatusName(row.status) + ", description " +
                                 Given(Quote(record.description, strnlen(record.description, sizeof record.description))));
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

// Drops the binding, the driver's own unload code included, as a driver call.
void Unbind() {
    DriverCall call("FreeLibrary(ftd2xx.dll)");
    UnbindD2xx();
}

}  // namespace

Step CheckD2xx(UsbOutcome& outcome, Findings& findings) {
    Step step{"d2xx", "ok"};
    char systemFolder[kSystemPathSize] = {};
    ::GetSystemDirectoryA(systemFolder, sizeof systemFolder);
    step.facts["systemFolder"] = Given(Utf8FromAnsi(systemFolder));
    char path[kSystemPathSize];
    findings.usb = Findings::Usb::NoDriver;
    if (!SystemFilePresent(path, "\\ftd2xx.dll")) {
        step.verdict = "driver missing";
        Say(step, "Searched: %s\\ftd2xx.dll: not there. The D2XX driver is not installed; the library counts no "
                  "USB device (this is not an error).", Given(Utf8FromAnsi(systemFolder)).c_str());
        return step;
    }
    std::string version = FileVersionOf(path);
    step.facts["driver"] = Given(Utf8FromAnsi(path));
    step.facts["fileVersion"] = version;
    Say(step, "Driver: %s, file version %s", Given(Utf8FromAnsi(path)).c_str(),
        version.empty() ? "(none recorded)" : version.c_str());

    Unbind();
    bool bound = false;
    DWORD loadError = 0;
    {
        DriverCall call("LoadLibrary(ftd2xx.dll)");
        bound = BindD2xx(path);
        loadError = ::GetLastError();
    }
    if (!bound) {
        step.verdict = "driver error";
        outcome.candidates.driverUnusable = true;
        findings.usb = Findings::Usb::DriverUnusable;
        Say(step, "The library cannot bind the driver: DriverError, whatever the network gives.");
        ExplainBindFailure(step, loadError);
        Unbind();
        return step;
    }
    Say(step, "  FT_CreateDeviceInfoList, FT_GetDeviceInfoList, FT_ListDevices: present");
    auto libraryVersion = ResolveEntryPoint<FtGetLibraryVersionFunction>(BoundD2xxLibrary(), "FT_GetLibraryVersion");
    DWORD versionNumber = 0;
    if (libraryVersion) {
        DriverCall call("FT_GetLibraryVersion");
        if (libraryVersion(&versionNumber) == kFtOk) {
            std::string text = Format("%lx.%02lx.%02lx", versionNumber >> 16 & 0xFF, versionNumber >> 8 & 0xFF,
                                      versionNumber & 0xFF);
            step.facts["libraryVersion"] = text;
            Say(step, "  FT_GetLibraryVersion: %s", text.c_str());
        }
    }

    DWORD counted = 0;
    FtStatus created;
    std::string took;
    {
        DriverCall call("FT_CreateDeviceInfoList");
        created = CreateDeviceInfoList(&counted);
        took = TookWords(call);
    }
    step.facts["createStatus"] = created;
    if (created != kFtOk) {
        step.verdict = "call failed";
        findings.usb = Findings::Usb::CountFailed;
        Say(step, "FT_CreateDeviceInfoList failed (status %s)%s: the library counts no USB device.",
            FtStatusText(created).c_str(), took.c_str());
        Unbind();
        return step;
    }
    outcome.candidates.count = counted;
    findings.usb = Findings::Usb::Counted;
    findings.usbCount = counted;
    step.facts["counted"] = counted;
    Say(step, "FT_CreateDeviceInfoList: %lu device%s%s", counted, counted == 1 ? "" : "s", took.c_str());
    if (counted == 0) step.verdict = "no device";

    // The room the library gives: the count and a wide margin, ending at a
    // page that is never accessible.
    const DeviceListRoom room(counted);
    DWORD described = 0;
    FtStatus listed;
    {
        DriverCall call("FT_GetDeviceInfoList");
        listed = GetDeviceInfoList(room, &described);
        took = TookWords(call);
    }
    step.facts["listStatus"] = listed;
    step.facts["records"] = Json::array();
    const ListedRecords verdict = CheckListedRecords(listed, described, room);
    if (listed != kFtOk) {
        Say(step, "FT_GetDeviceInfoList failed (status %s)%s", FtStatusText(listed).c_str(), took.c_str());
    } else {
        step.facts["described"] = described;
        Say(step, "FT_GetDeviceInfoList: %lu record%s%s", described, described == 1 ? "" : "s", took.c_str());
        if (described != counted) step.verdict = "list moved";
        const DWORD available = static_cast<DWORD>(described < room.capacity() ? described : room.capacity());
        for (DWORD i = 0; i < available && i < kRecordsShown; ++i) {
            DescribeRecord(step, i, room.records()[i], outcome, findings);
        }
        if (available > kRecordsShown) Say(step, "  ... and %lu more records", available - kRecordsShown);
    }
    if (findings.deviceInUse && step.verdict == "ok") step.verdict = "device in use";
    // With one device counted, the library identifies it from this call alone.
    if (counted == 1) {
        outcome.identified = IdentifyListedDevice(listed, described, room);
        if (verdict != ListedRecords::OneWritten) {
            findings.usb = Findings::Usb::ListFailed;
            if (verdict != ListedRecords::NotOne || step.verdict == "ok") step.verdict = "list failed";
            Say(step, "  %s: the library identifies nothing and returns DriverError",
                ListedRecordsText(verdict, counted, described).c_str());
        }
    } else if (listed == kFtOk && described != counted) {
        Say(step, "  %s", ListedRecordsText(ListedRecords::NotOne, counted, described).c_str());
    }
    Unbind();
    return step;
}

}  // namespace zmk::doctor
