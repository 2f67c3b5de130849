#include <gtest/gtest.h>

#include <cstring>

#include "detection_decision.h"
#include "registry_path.h"
#include "usb_classification.h"

namespace zmk {
namespace {

struct DecisionRow {
    int network;
    UsbCandidates usb;
    bool identify;
    DeviceStatus status;
};

TEST(DetectionDecision, CountsGiveTheStatusOfTheTable) {
    const DecisionRow rows[] = {
        {0, {false, 0}, false, NoDevice},
        {1, {false, 0}, false, OpenDmxEthernet},
        {0, {false, 1}, true, UnrecognizedUsbDevice},
        {1, {false, 1}, false, MultipleDevices},
        {0, {false, 2}, false, MultipleDevices},
        {1, {false, 2}, false, MultipleDevices},
        {0, {false, 0xFFFFFFFFu}, false, MultipleDevices},
        {1, {false, 0xFFFFFFFFu}, false, MultipleDevices},
        // A driver that cannot be bound outweighs whatever the network found.
        {0, {true, 0}, false, DriverError},
        {1, {true, 0}, false, DriverError},
    };
    for (const DecisionRow& row : rows) {
        DetectionDecision decision = DecideDeviceStatus(row.network, row.usb);
        EXPECT_EQ(row.identify, decision.identifyUsbDevice) << row.network << "+" << row.usb.count;
        if (!row.identify) EXPECT_EQ(row.status, decision.status) << row.network << "+" << row.usb.count;
    }
}

struct UsbRow {
    std::uint32_t type;
    const char* description;
    DeviceStatus status;
};

TEST(UsbClassification, TypeAndDescriptionGiveTheKindOfTheTable) {
    const UsbRow rows[] = {
        {0, "USB <-> Serial", OpenDmxUsb},
        {0, "OPEN DMX USB", OpenDmxUsb},
        {0, "anything else", OpenDmxUsb},
        {0, "", OpenDmxUsb},
        {5, "FT232R USB UART", OpenDmxUsb},
        {5, "ft232r usb uart", DmxUsbPro},
        {5, "FT232R USB UART ", DmxUsbPro},
        {5, "FT232R USB UAR", DmxUsbPro},
        {5, "FT245R USB FIFO", DmxUsbPro},
        {5, "DMX USB PRO", DmxUsbPro},
        {5, "", DmxUsbPro},
        {1, "DMX USB PRO", UnrecognizedUsbDevice},
        {4, "FT232R USB UART", UnrecognizedUsbDevice},
        {6, "OPEN DMX USB", UnrecognizedUsbDevice},
        {0xFFFFFFFFu, "", UnrecognizedUsbDevice},
    };
    for (const UsbRow& row : rows) {
        char field[kFtDescriptionSize] = {};
        std::strncpy(field, row.description, sizeof field - 1);
        EXPECT_EQ(row.status, FindIdentificationRow(row.type, field).status) << row.type << " \"" << row.description << "\"";
    }
}

TEST(UsbClassification, DescriptionFillingTheWholeFieldMatchesNoText) {
    char field[kFtDescriptionSize];
    std::memset(field, 'A', sizeof field);
    std::memcpy(field, "FT232R USB UART", 15);
    EXPECT_EQ(DmxUsbPro, FindIdentificationRow(5, field).status);
}

TEST(UsbClassification, OnlyARecordTheListCallWroteAloneIsRead) {
    EXPECT_EQ(ListedRecords::OneWritten, CheckListedRecords(true, 1, true, false));
    EXPECT_EQ(ListedRecords::CallFailed, CheckListedRecords(false, 1, true, false));
    EXPECT_EQ(ListedRecords::NotOne, CheckListedRecords(true, 0, false, false));
    EXPECT_EQ(ListedRecords::NotOne, CheckListedRecords(true, 2, true, true));
    EXPECT_EQ(ListedRecords::NoRecordWritten, CheckListedRecords(true, 1, false, false));
    EXPECT_EQ(ListedRecords::SecondRecordWritten, CheckListedRecords(true, 1, true, true));
}

struct KeyPathRow {
    const char* path;
    PredefinedRoot root;
    const char* subkey;
};

TEST(RegistryPath, RootIsRecognisedOnlyByItsExactName) {
    const KeyPathRow rows[] = {
        {kHostKeyPath, PredefinedRoot::CurrentUser, "Software\\Quenford\\Borvanect\\CurrentVersion"},
        {"HKEY_CLASSES_ROOT\\a", PredefinedRoot::ClassesRoot, "a"},
        {"HKEY_LOCAL_MACHINE\\a\\b", PredefinedRoot::LocalMachine, "a\\b"},
        {"HKEY_USERS\\", PredefinedRoot::Users, ""},
        {"HKEY_CURRENT_CONFIG\\x", PredefinedRoot::CurrentConfig, "x"},
        {"HKEY_PERFORMANCE_DATA\\x", PredefinedRoot::None, "x"},
        {"hkey_current_user\\x", PredefinedRoot::None, "x"},
        {"HKEY_CURRENT_USER", PredefinedRoot::None, ""},
        {"\\HKEY_CURRENT_USER", PredefinedRoot::None, "HKEY_CURRENT_USER"},
        {"", PredefinedRoot::None, ""},
    };
    for (const KeyPathRow& row : rows) {
        char subkey[kKeyPathBufferSize];
        EXPECT_EQ(row.root, SplitKeyPath(row.path, subkey)) << row.path;
        EXPECT_STREQ(row.subkey, subkey) << row.path;
    }
}

TEST(RegistryPath, PathLongerThanTheWorkingCopiesHasNoRoot) {
    char path[400];
    std::memset(path, 'k', sizeof path);
    std::memcpy(path, "HKEY_USERS\\", 11);
    char subkey[kKeyPathBufferSize];
    path[260] = '\0';
    EXPECT_EQ(PredefinedRoot::Users, SplitKeyPath(path, subkey));
    EXPECT_EQ(249u, std::strlen(subkey));
    path[260] = 'k';
    path[261] = '\0';
    EXPECT_EQ(PredefinedRoot::None, SplitKeyPath(path, subkey));
    EXPECT_STREQ("", subkey);
}

}  // namespace
}  // namespace zmk
